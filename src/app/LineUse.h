#pragma once
// Who holds the RS485 port of the "Controllo" page: polling, the module search or the
// check of a configuration just written. One job at a time owns the port (it is opened
// exclusively), and a second job asked for while one runs is refused with a message that
// says which job holds the port and what the user can do about it.

#include "core/ModuleLink.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace veltro::app {

enum class LineJob { None, Polling, Scan, Verify };

class LineUse {
public:
    LineJob Holder() const { return holder_; }
    bool Free() const { return holder_ == LineJob::None; }
    // Empty when wanted may start now; otherwise the Italian message that refuses it.
    QString Refusal(LineJob wanted) const;
    // The job starts on Port ("COM2"); OnChanged follows.
    void Take(LineJob job, const std::string& port);
    // The job has ended and closed the port; nothing happens for a job that does not hold it.
    void Release(LineJob job);

    // The port the page's field names now, for jobs started from another page, and how the
    // page reaches the module (a gateway instead of the port); nothing for a gateway field
    // that names none.
    std::function<std::string()> PortName;
    std::function<std::optional<core::ModuleLink>()> Link;
    std::function<void()> OnChanged;

private:
    LineJob holder_ = LineJob::None;
    std::string port_;
};

// An information box that does not wait: window-modal over parent's window, closed by
// its OK button. Used where a job's events keep arriving while the box is up, so no
// handler is entered again from inside a box's own event loop.
void ShowNotice(QWidget* parent, const QString& text);

}  // namespace veltro::app
