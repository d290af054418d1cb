#include "link/CommObjs.h"

namespace veltro::link {

TWaitResult TEvent::WaitFor(int32_t timeoutMs)
{
    std::unique_lock lock(mutex_);
    if (timeoutMs < 0) {
        cv_.wait(lock, [&] { return signalled_; });
        return wrSignaled;
    }
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return signalled_; })
               ? wrSignaled
               : wrTimeout;
}

void TEvent::SetEvent()
{
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_all();
}

void TEvent::ResetEvent()
{
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool TEvent::IsSet() const
{
    std::lock_guard lock(mutex_);
    return signalled_;
}

}  // namespace veltro::link
