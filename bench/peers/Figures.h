#pragma once
// How the benchmarks that time whole runs report them: the median of the runs beside the
// median of their line floors, and the ratio of the two.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace veltro::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

inline void Report(benchmark::State& state, const std::vector<double>& elapsedMs, const std::vector<double>& floorMs)
{
    if (elapsedMs.empty())
        return;
    const double median = Median(elapsedMs), floor = Median(floorMs);
    state.counters["median_ms"] = median;
    state.counters["floor_ms"] = floor;
    state.counters["ratio"] = floor > 0 ? median / floor : 0.0;
}

}  // namespace veltro::bench
