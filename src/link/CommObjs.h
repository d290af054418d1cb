#pragma once
// The small synchronisation objects the serial port component is built on: a
// manual-reset event and a critical section, with the names the component uses.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace veltro::link {

enum TWaitResult { wrSignaled = 0, wrTimeout = 1, wrAbandoned = 2, wrError = 3 };

// Base of the waitable objects; keeps the error code of the last failed wait.
class THandleObject {
public:
    virtual ~THandleObject() = default;
    int32_t LastError() const { return lastError_; }

protected:
    int32_t lastError_ = 0;
};

// A manual-reset event, created not signalled: it stays signalled until ResetEvent.
class TEvent : public THandleObject {
public:
    // A negative time-out waits without limit.
    TWaitResult WaitFor(int32_t timeoutMs);
    void SetEvent();
    void ResetEvent();
    bool IsSet() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

class TSimpleEvent : public TEvent {};

class TCriticalSection {
public:
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }

private:
    // Recursive like a Windows critical section: the owning thread may enter again.
    std::recursive_mutex mutex_;
};

}  // namespace veltro::link
