#pragma once
// Waits for a condition another thread or process makes true, looking again every
// millisecond; true when it held before the deadline.

#include <chrono>
#include <functional>
#include <thread>

namespace veltro::test {

inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace veltro::test
