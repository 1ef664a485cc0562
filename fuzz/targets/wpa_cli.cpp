// The supplicant client's output as any bytes, as the network manager reads
// it: the scan cycle, its reports and the scan list. However the output is
// cut into reads, the same commands, reports and networks come out.
#include "FuzzSupport.h"

#include "Network/WpaCliParser.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

struct Outcome
{
    WpaCliParser::Actions actions;
    QList<ScanRecord> scanList;
};

bool same(const ScanRecord& a, const ScanRecord& b)
{
    return a.bssid == b.bssid && a.frequency == b.frequency && a.level == b.level && a.flags == b.flags
        && a.ssid == b.ssid;
}

// Feeds `output` in reads of the given sizes (the last read takes the rest).
Outcome run(const QByteArray& output, const std::vector<int>& cuts)
{
    WpaCliParser parser;
    Outcome outcome;
    outcome.actions = parser.setScanWanted(true);
    int at = 0;
    for (int size : cuts) {
        outcome.actions += parser.feed(output.mid(at, size));
        at += size;
    }
    outcome.actions += parser.feed(output.mid(at));
    outcome.scanList = parser.scanList();
    for (const APInfo& network : parser.scanResults())
        WpaCliParser::unescape(network.ssid);
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    FuzzedDataProvider input(data, size);
    std::vector<int> cuts(input.ConsumeIntegralInRange<int>(0, 16));
    for (int& cut : cuts)
        cut = input.ConsumeIntegralInRange<int>(0, 64);
    const QByteArray output = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());

    const Outcome whole = run(output, {});
    const Outcome inReads = run(output, cuts);
    FUZZ_CHECK(whole.actions == inReads.actions);
    FUZZ_CHECK(whole.scanList.size() == inReads.scanList.size());
    for (int i = 0; i < whole.scanList.size(); ++i)
        FUZZ_CHECK(same(whole.scanList[i], inReads.scanList[i]));
    return 0;
}
