// Network benchmarks: one media check of the network manager over 2 to 4
// linked interfaces that are up already (so no `ip` runs; the simulated
// sysfs stands where the instrument reads its own), and the wpa_cli parser
// reading a listing of 100 access points up to the prompt, with the
// scan-result table built from it.
#include "NetSim.h"
#include "Network/NetworkManager.h"
#include "Network/WpaCliParser.h"
#include "TempRoot.h"
#include "platform/CommandRunner.h"

#include <benchmark/benchmark.h>

namespace {

void BM_MediaCheck(benchmark::State& state)
{
    TempRoot root;
    const kovasim::NetSim sim(root.root());
    const char* const names[] = {"eth0", "enp1s0", "eth1", "enp2s0"};
    bool ready = sim.installStandIns();
    for (int i = 0; i < state.range(0); ++i)
        ready = ready && sim.add(names[i]) && platform::CommandRunner::run("/sbin/ip", {"link", "set", names[i], "up"}).succeeded();
    if (!ready) {
        state.SkipWithError("no simulated network");
        return;
    }
    NetworkManager manager;
    manager.currentConnections(true);
    manager.slotMediaCheck();  // every device new: the list is read again
    manager.slotMediaCheck();  // the new records' links
    for (auto _ : state)
        manager.slotMediaCheck();
}
BENCHMARK(BM_MediaCheck)->DenseRange(2, 4)->Unit(benchmark::kMicrosecond);

// A listing of state.range(0) networks in one read: the time grows with the
// listing's length, not with its square.
void BM_ParseAccessPoints(benchmark::State& state)
{
    const int count = int(state.range(0));
    QByteArray listing = "bssid / frequency / signal level / flags / ssid\n";
    for (int i = 0; i < count; ++i)
        listing += QStringLiteral("02:00:00:00:%1:%2\t%3\t%4\t%5\tNetwork %6\n")
                       .arg(i / 256 % 256, 2, 16, QLatin1Char('0'))
                       .arg(i % 256, 2, 16, QLatin1Char('0'))
                       .arg(i % 2 ? 2437 : 5180)
                       .arg(-40 - i % 50)
                       .arg(i % 3 ? QStringLiteral("[WPA2-PSK-CCMP][ESS]") : QStringLiteral("[ESS]"))
                       .arg(i)
                       .toUtf8();
    listing += "> ";
    for (auto _ : state) {
        WpaCliParser parser;
        benchmark::DoNotOptimize(parser.feed(listing));
        benchmark::DoNotOptimize(parser.scanResults());
    }
    state.SetComplexityN(count);
}
BENCHMARK(BM_ParseAccessPoints)->RangeMultiplier(10)->Range(100, 100000)->Complexity()->Unit(benchmark::kMicrosecond);

}  // namespace
