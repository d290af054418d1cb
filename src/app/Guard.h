#pragma once
// The one guard of the window: every handler that can throw runs inside it, so no
// exception ever unwinds through a Qt frame. A caught exception ends the handler and the
// user sees the generic error box with its message, as for any failed action.

#include <QString>

#include <exception>
#include <functional>
#include <utility>

class QWidget;

namespace veltro::app {

// The generic error box: the application's title, a critical icon, the message, OK.
void ShowErrorBox(const QString& message);
// Runs fn; an exception it throws is shown in the error box instead of propagating.
void RunGuarded(const std::function<void()>& fn);
// Routes errors reported by the library's worker threads (through the UI dispatcher) to
// the same box. Call once after the QApplication exists.
void InstallErrorDisplay();

// Wraps a handler for connect(): Guarded([this] { ... }). The handler takes no
// arguments; the signal's arguments are dropped.
template <class F>
auto Guarded(F&& fn)
{
    return [fn = std::forward<F>(fn)] { RunGuarded(fn); };
}

}  // namespace veltro::app
