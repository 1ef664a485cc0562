// kova-evaluate's command line as any arguments (the input cut at its NUL
// bytes): refused with a message, or within every option's range.
#include "FuzzSupport.h"

#include "EvaluateCommand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    QStringList arguments{QStringLiteral("kova-evaluate")};
    for (const QByteArray& argument : fuzz::bytes(data, size).split('\0'))
        arguments << QString::fromUtf8(argument);
    const evaluation::EvaluateCommand command = evaluation::parseEvaluateCommand(arguments);
    if (command.kind == evaluation::EvaluateCommand::Refused)
        FUZZ_CHECK(!command.error.isEmpty());
    if (command.kind != evaluation::EvaluateCommand::Count)
        return 0;
    const evaluation::Protocol& p = command.setup.protocol;
    FUZZ_CHECK(p.minSearchSize >= 0 && p.minSearchSize <= p.maxSearchSize && p.maxSearchSize <= 180);
    FUZZ_CHECK(p.detectionLevel >= 1 && p.detectionLevel <= 10 && p.liveLevel >= 1 && p.liveLevel <= 10);
    FUZZ_CHECK(p.noiseLevel >= 0 && p.noiseLevel <= 9 && p.dilution >= 1 && p.dilution <= 100);
    return 0;
}
