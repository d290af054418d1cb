// How long a timed read takes to return once its condition is met: with the event thread
// signalling DataWaitEvent as bytes arrive (arg 1), and without it (arg 0), when the read
// notices only at its next 50 ms poll. The far end is a pty master that sends one byte at
// a moment that moves across the poll period from one iteration to the next.
#include "link/CommInt.h"
#include "platform/ManualUiDispatcher.h"
#include "support/PtyPair.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using namespace veltro;
using Clock = std::chrono::steady_clock;

static void BM_TimedReadLatency(benchmark::State& state)
{
    test::PortDir dir;
    test::PtyPair pty;
    dir.Publish(1, pty.SlavePath());
    platform::ManualUiDispatcher ui;
    platform::UiDispatcher* previous = platform::InstallUiDispatcher(&ui);
    std::vector<double> latenciesMs;
    {
        link::TComm port;
        port.SetDeviceName("COM1");
        port.Open();
        port.SetSignalDataArrival(state.range(0) != 0);
        int i = 0;
        for (auto _ : state) {
            const auto delay = std::chrono::milliseconds(3 + (i++ * 7) % 45);
            std::atomic<Clock::time_point> sent{};
            std::thread peer([&] {
                std::this_thread::sleep_for(delay);
                sent = Clock::now();
                pty.Send("\x06");
            });
            uint8_t b = 0;
            const int32_t n = port.ReadTimed(&b, 1, 2000);
            const auto returned = Clock::now();
            peer.join();
            if (n != 1) {
                state.SkipWithError("no byte arrived");
                break;
            }
            const std::chrono::duration<double> latency = returned - sent.load();
            state.SetIterationTime(latency.count());
            latenciesMs.push_back(latency.count() * 1000.0);
        }
    }
    platform::InstallUiDispatcher(previous);
    if (!latenciesMs.empty()) {
        std::sort(latenciesMs.begin(), latenciesMs.end());
        state.counters["median_ms"] = latenciesMs[latenciesMs.size() / 2];
        state.counters["max_ms"] = latenciesMs.back();
    }
}
BENCHMARK(BM_TimedReadLatency)
    ->ArgName("signalled")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
