#pragma once
// Waiting for a condition with a deadline instead of sleeping a fixed time.

#include <chrono>
#include <functional>

namespace veltro::test {

// Polls cond every millisecond until it holds or the time-out passes; returns cond().
bool WaitFor(const std::function<bool()>& cond,
             std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace veltro::test
