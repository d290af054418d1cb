#pragma once
// The UI-thread hooks the protocol core needs, without the core knowing the toolkit.
//
// Worker threads hand results to the UI thread with Post (first in, first out, never
// blocks the worker) and hand over a call they must wait for with InvokeAndWait.
// Code running on the UI thread that waits for something a worker does (closing a
// port, joining a thread) calls WaitServing, so a worker blocked in InvokeAndWait
// is served instead of deadlocking the wait.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace veltro::platform {

class UiDispatcher {
public:
    using Task = std::function<void()>;

    // The thread that constructs the dispatcher is its UI thread.
    UiDispatcher();
    virtual ~UiDispatcher();
    UiDispatcher(const UiDispatcher&) = delete;
    UiDispatcher& operator=(const UiDispatcher&) = delete;

    // Queues task to run on the UI thread after everything posted before it.
    virtual void Post(Task task) = 0;

    // Runs task on the UI thread and returns when it has run; an exception thrown by
    // the task is rethrown here. Called on the UI thread, it runs the task at once.
    void InvokeAndWait(const Task& task);

    // On the UI thread: runs what is pending (posted tasks and hand-overs), then returns.
    virtual void ProcessPendingEvents() = 0;

    // On the UI thread: returns when done() holds, serving hand-overs (not posted tasks)
    // meanwhile. done() is checked after each hand-over and at least every poll period.
    void WaitServing(const std::function<bool()>& done,
                     std::chrono::milliseconds poll = std::chrono::milliseconds(2));

    bool IsUiThread() const { return std::this_thread::get_id() == uiThread_; }
    std::thread::id UiThreadId() const { return uiThread_; }

    // Runs the hand-overs queued so far; returns how many ran. UI thread only.
    int ServeHandOvers();

protected:
    // Asks the UI thread's event loop to call ServeHandOvers soon.
    virtual void WakeForHandOver() = 0;
    // Implementations that change threads (tests) may re-bind the UI thread.
    void SetUiThread(std::thread::id id) { uiThread_ = id; }

private:
    struct HandOver {
        Task task;
        std::exception_ptr error;
        bool done = false;
    };

    std::thread::id uiThread_;
    std::mutex mutex_;
    std::condition_variable cv_;           // a hand-over arrived or completed
    std::deque<std::shared_ptr<HandOver>> handOvers_;
};

// The process-wide dispatcher used by components that were not given one.
// Install returns the previous one. Without an installed dispatcher, Ui() creates a
// ManualUiDispatcher bound to the calling thread.
UiDispatcher* InstallUiDispatcher(UiDispatcher* dispatcher);
UiDispatcher& Ui();

// The application's standard exception display: errors that must reach the user but
// have no caller to propagate to (an event handler failing, a worker's error report).
// Must be called on the UI thread. The default writes the message to the debug output.
using ExceptionHandler = std::function<void(std::exception_ptr)>;
ExceptionHandler SetExceptionHandler(ExceptionHandler handler);
void ReportException(std::exception_ptr error);
// The message text of an exception (what() of a std::exception, else a fixed text).
std::string ExceptionMessage(std::exception_ptr error);

}  // namespace veltro::platform
