// The install script's standard output as any bytes, cut into lines as the
// viewer reads them (at most the longest line each) and matched as both front
// ends match a task line.
#include "FuzzSupport.h"

#include "ProgressText.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const QByteArray output = fuzz::bytes(data, size);
    for (int at = 0; at < output.size();) {
        const int end = output.indexOf('\n', at);
        const int length = std::min(end < 0 ? output.size() - at : end + 1 - at, kMaxScriptLineBytes);
        const QString line = QString::fromUtf8(output.mid(at, length));
        at += length;
        const QRegularExpressionMatch task = kTaskLine.match(line);
        if (task.hasMatch())
            FUZZ_CHECK(!task.captured(1).isEmpty());
    }
    return 0;
}
