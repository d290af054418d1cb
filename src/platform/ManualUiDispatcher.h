#pragma once
// A UI dispatcher without a toolkit: posted tasks wait in a queue until the UI thread
// pumps it. Tests use it to decide exactly when deliveries happen; programs without a
// window (the simulator) run their main loop on it.

#include "UiDispatcher.h"

#include <atomic>

namespace veltro::platform {

class ManualUiDispatcher : public UiDispatcher {
public:
    ManualUiDispatcher() = default;

    void Post(Task task) override;
    void ProcessPendingEvents() override { Pump(); }

    // Runs everything queued (posted tasks in order, and hand-overs); returns how many ran.
    int Pump();
    // Pumps until pred() holds or the timeout passes; returns pred().
    bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);
    // Pumps for the given time.
    void PumpFor(std::chrono::milliseconds duration);
    // Pumps until Quit() is called from any thread.
    void Run();
    void Quit();

    size_t PendingPosts() const;
    // Makes the calling thread the UI thread (for a dispatcher created on another one).
    void AdoptCurrentThread() { SetUiThread(std::this_thread::get_id()); }

protected:
    void WakeForHandOver() override;

private:
    void WaitForWork(std::chrono::steady_clock::time_point until);

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Task> posted_;
    bool wake_ = false;
    std::atomic<bool> quit_{false};
};

}  // namespace veltro::platform
