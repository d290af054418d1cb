#pragma once
// The event loop of a command whose job moves on posted events (the search, the check,
// polling): the core's objects deliver on the Qt UI dispatcher, and the command waits
// here until its job says it is done, or until Ctrl-C has ended it.

#include <QEventLoop>
#include <QObject>

#include <functional>

namespace veltro::cli {

class EventLoop {
public:
    // Until Quit. Returns at once when a Quit was posted before.
    void Run() { loop_.exec(); }
    // On the loop's thread, from inside a delivery.
    void Quit() { loop_.quit(); }
    // From any thread: fn runs on the loop's thread after what is pending there. A call
    // still pending when the loop is destroyed is dropped, so fn may hold references to
    // what the command owns.
    void Post(std::function<void()> fn) { QMetaObject::invokeMethod(&context_, std::move(fn), Qt::QueuedConnection); }

private:
    QEventLoop loop_;
    QObject context_;
};

}  // namespace veltro::cli
