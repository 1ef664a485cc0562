// Round-trip time of a blocking GET_POS from the link to the simulated
// microcontroller and back, over its pseudo-terminal. Google Benchmark
// reports the mean; the median of the iterations is the counter "median_us".
#include "Controller/Controller.h"

#include "McuSimulator.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

void BM_GetPosRoundTrip(benchmark::State& state)
{
    QTemporaryDir root;
    qputenv("KOVA3_ROOT", root.path().toLocal8Bit());
    McuSimulator sim;
    Controller controller;
    if (!sim.start() || !sim.linkAt()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    sim.setPosition(32000);
    controller.openSerialPort();
    qunsetenv("KOVA3_ROOT");
    if (!controller.isOpen()) {
        state.SkipWithError("no handshake");
        return;
    }

    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        const int position = controller.z_stage_pos();
        const auto end = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(position);
        if (position != 32000) {
            state.SkipWithError("wrong position");
            break;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(end - begin).count());
    }
    if (micros.empty())
        return;
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p90_us"] = micros[micros.size() * 9 / 10];
}
BENCHMARK(BM_GetPosRoundTrip)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
