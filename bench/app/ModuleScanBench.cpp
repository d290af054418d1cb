// The module search over one line setting (9600 8N1), against the simulated module behind
// a paced line, so that every request takes its line time as on a cable:
//
// - "found" 1: the module at address 178; the search stops there after 177 silent
//   addresses, so it takes about 177 receive time-outs.
// - "found" 0: nobody answers; all 247 addresses, the worst case of one setting.
//
// Each is shown against the line floor of its requests (8 characters each) and against
// its count of receive time-outs.
#include "core/ModuleScanner.h"
#include "platform/ManualUiDispatcher.h"
#include "simulator/Simulator.h"
#include "support/PtyPair.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>

namespace {

using namespace veltro;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kModuleAddress = 178;

void BM_Scan(benchmark::State& state)
{
    const bool found = state.range(0) != 0;
    platform::ManualUiDispatcher ui;
    test::PortDir dir;
    sim::Simulator sim{{.portDir = dir.Path(), .meterPort = 1, .pace = true, .modulePort = 2}};
    sim.State().SetModbusAddressText(std::to_string(kModuleAddress));
    if (!found)
        sim.SetModuleFaults({.silent = true});
    sim.Start();

    core::ModuleScanner scanner(&ui);
    std::optional<core::ScanResult> result;
    scanner.OnFinished = [&](const core::ScanResult& r) { result = r; };
    core::ScanOptions options;
    options.Port = "COM2";
    options.Settings = {core::RtuSettings{}};
    const auto timeout = core::ScanReceiveTimeout(options.Settings[0], options.Turnaround);
    double elapsedMs = 0;
    int tried = 0;
    for (auto _ : state) {
        result.reset();
        const auto start = Clock::now();
        scanner.Start(options);
        if (!ui.PumpUntil([&] { return result.has_value(); }, 120s) ||
            result->Stations.size() != (found ? 1u : 0u)) {
            state.SkipWithError("the search did not end as expected");
            return;
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        state.SetIterationTime(ms / 1000.0);
        elapsedMs = ms;
        tried = result->Done;
    }
    const int silent = found ? tried - 1 : tried;
    state.counters["total_ms"] = elapsedMs;
    state.counters["addresses"] = tried;
    state.counters["timeout_ms"] = static_cast<double>(timeout.count());
    state.counters["per_address_ms"] = tried > 0 ? elapsedMs / tried : 0.0;
    // The line floor: every request's 8 characters, and the one reply's 9 when found.
    const core::RtuSettings line = options.Settings[0];
    state.counters["floor_ms"] =
        static_cast<double>(tried * 8 + (found ? 9 : 0)) * line.BitsPerCharacter() * 1000.0 / line.BitRate();
    state.counters["timeouts_ms"] = static_cast<double>(silent * timeout.count());
}

BENCHMARK(BM_Scan)->ArgName("found")->Arg(1)->Arg(0)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
