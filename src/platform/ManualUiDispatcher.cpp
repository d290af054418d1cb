#include "ManualUiDispatcher.h"

namespace veltro::platform {

void ManualUiDispatcher::Post(Task task)
{
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
        wake_ = true;
    }
    cv_.notify_all();
}

void ManualUiDispatcher::WakeForHandOver()
{
    {
        std::lock_guard lock(mutex_);
        wake_ = true;
    }
    cv_.notify_all();
}

size_t ManualUiDispatcher::PendingPosts() const
{
    std::lock_guard lock(mutex_);
    return posted_.size();
}

int ManualUiDispatcher::Pump()
{
    int ran = ServeHandOvers();
    // Only what was queued when the pump started runs now, so a task that posts again
    // cannot keep the pump from returning.
    std::deque<Task> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(posted_);
        wake_ = false;
    }
    while (!batch.empty()) {
        Task task = std::move(batch.front());
        batch.pop_front();
        try {
            task();
        } catch (...) {
            ReportException(std::current_exception());
        }
        ++ran;
        ran += ServeHandOvers();
    }
    return ran;
}

void ManualUiDispatcher::WaitForWork(std::chrono::steady_clock::time_point until)
{
    std::unique_lock lock(mutex_);
    cv_.wait_until(lock, until, [&] { return wake_ || quit_.load(); });
}

bool ManualUiDispatcher::PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        Pump();
        if (pred())
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return pred();
        // Wake at least every few milliseconds: pred may depend on state that changes
        // without a post (a flag set by another thread).
        WaitForWork(std::min(deadline, now + std::chrono::milliseconds(5)));
    }
}

void ManualUiDispatcher::PumpFor(std::chrono::milliseconds duration)
{
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline) {
        Pump();
        WaitForWork(deadline);
    }
    Pump();
}

void ManualUiDispatcher::Run()
{
    quit_ = false;
    while (!quit_) {
        Pump();
        WaitForWork(std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
    }
    Pump();
}

void ManualUiDispatcher::Quit()
{
    quit_ = true;
    cv_.notify_all();
}

}  // namespace veltro::platform
