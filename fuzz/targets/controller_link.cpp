// The microcontroller's output as any bytes, in reads cut anywhere, taken by
// both programs' links (the application's and the verifier's): the same lines
// come out however the reads are cut, and each is handled once by each link.
#include "FuzzSupport.h"

#include "Controller/LineReader.h"
#include "Controller/VerifierController.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// `stream` cut after each of the given sizes (the last piece takes the rest).
QList<QByteArray> pieces(const QByteArray& stream, const std::vector<int>& cuts)
{
    QList<QByteArray> result;
    int at = 0;
    for (int size : cuts) {
        result << stream.mid(at, size);
        at += size;
    }
    result << stream.mid(at);
    return result;
}

QStringList lines(const QList<QByteArray>& reads)
{
    LineReader reader(Controller::kMaxLineBytes);
    QStringList taken;
    for (const QByteArray& read : reads)
        reader.take(read, taken);
    return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    FuzzedDataProvider input(data, size);
    std::vector<int> cuts(input.ConsumeIntegralInRange<int>(0, 16));
    for (int& cut : cuts)
        cut = input.ConsumeIntegralInRange<int>(0, 2 * Controller::kMaxLineBytes);
    const QByteArray stream = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());
    const QList<QByteArray> reads = pieces(stream, cuts);
    FUZZ_CHECK(lines({stream}) == lines(reads));

    Controller application;
    verifier::Controller verifierLink;
    for (Controller* link : {&application, static_cast<Controller*>(&verifierLink)}) {
        for (const QByteArray& read : reads)
            link->takeReceived(read);
    }
    return 0;
}
