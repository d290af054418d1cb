// The trend chart's costs: what 8 hours of polling leave in memory (fed at the poll's
// pace as fast as the history takes them, not waited for), and one full repaint of the
// chart at the size "Controllo" gives it with every quantity shown and 8 hours held.
#include "trend/TrendChart.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace veltro::trend;
using namespace std::chrono_literals;

constexpr auto kPoll = 700ms;  // one cycle of the three blocks at 9600 bit/s
constexpr auto kSession = 8h;

// A cycle with every value moving a little, as a real load does.
TrendCycle CycleAt(TrendTime t, int n)
{
    TrendCycle c;
    c.time = t;
    const double wave = std::sin(n * 0.01);
    for (Quantity q : kAllQuantities)
        c.Set(q, 100.0 + 10.0 * wave + static_cast<double>(IndexOf(q)));
    return c;
}

void FeedSession(TrendChart& chart)
{
    TrendTime t = TrendTime(1'700'000'000s);
    int n = 0;
    for (auto fed = 0ms; fed < kSession; fed += kPoll, t += kPoll)
        chart.AddCycle(CycleAt(t, n++));
}

void BM_EightHoursHeld(benchmark::State& state)
{
    for (auto _ : state) {
        TrendChart chart;
        FeedSession(chart);
        state.counters["memory_kb"] = static_cast<double>(chart.History().MemoryBytes()) / 1024.0;
        state.counters["bound_kb"] = static_cast<double>(kTrendMemoryBound) / 1024.0;
    }
}

void BM_Repaint(benchmark::State& state)
{
    TrendChart chart;
    chart.resize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (Quantity q : kAllQuantities)
        chart.SetShown(q, true);
    FeedSession(chart);
    for (auto _ : state)
        chart.Render();
}

BENCHMARK(BM_EightHoursHeld)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
// The room the page gives the chart at 1024 × 768, and a large window's.
BENCHMARK(BM_Repaint)->Args({960, 200})->Args({1600, 500})->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
