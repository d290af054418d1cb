#include "app/InputRules.h"

#include "core/Common.h"
#include "app/Guard.h"
#include "app/UpDown.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace veltro::app {

using namespace core;

namespace {

class DigitsFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const QString text = static_cast<QKeyEvent*>(event)->text();
        // Control characters (backspace, tab, the editing shortcuts) are not typed text.
        if (text.isEmpty() || text.at(0).unicode() < 0x20 || text.at(0).unicode() == 0x7F)
            return false;
        const bool digits = std::all_of(text.begin(), text.end(),
                                        [](QChar c) { return c >= u'0' && c <= u'9'; });
        return !digits;
    }
};

class ExitFilter : public QObject {
public:
    ExitFilter(QLineEdit* edit, std::function<void()> handler) : QObject(edit), handler_(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                RunGuarded(handler_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> handler_;
};

}  // namespace

void DigitsKeyPress(QLineEdit* edit)
{
    edit->installEventFilter(new DigitsFilter(edit));
}

void OnExit(QLineEdit* edit, std::function<void()> handler)
{
    edit->installEventFilter(new ExitFilter(edit, std::move(handler)));
}

void ValidateRange(QLineEdit* edit, const UpDown& upDown)
{
    const int32_t value = StrToInt(edit->text().toStdString());
    if (value > upDown.Max() || value < upDown.Min())
        edit->setText(QString::number(upDown.Position()));
    else
        upDown.FollowEdit();
}

}  // namespace veltro::app
