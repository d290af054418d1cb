#include "app/UpDown.h"

#include "app/Guard.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace veltro::app {

namespace {
QToolButton* MakeArrow(Qt::ArrowType arrow, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}
}  // namespace

UpDown::UpDown(QLineEdit* associate, int min, int max, int position, QWidget* parent)
    : QWidget(parent), edit_(associate), up_(MakeArrow(Qt::UpArrow, this)),
      down_(MakeArrow(Qt::DownArrow, this)), min_(min), max_(max), position_(std::clamp(position, min, max))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(up_, &QToolButton::clicked, this, Guarded([this] { Step(updUp); }));
    connect(down_, &QToolButton::clicked, this, Guarded([this] { Step(updDown); }));
    edit_->installEventFilter(this);
    edit_->setText(QString::number(position_));
}

void UpDown::SetPosition(int position)
{
    position_ = std::clamp(position, min_, max_);
    const QString text = QString::number(position_);
    if (edit_->text() != text)
        edit_->setText(text);
}

void UpDown::Step(TUpDownDirection direction)
{
    // A button press starts from what the edit shows when it is a valid number.
    const int next = std::clamp(Position() + (direction == updUp ? 1 : -1), min_, max_);
    bool allow = true;
    if (onChangingEx_)
        onChangingEx_(allow, next, direction);
    if (allow)
        SetPosition(next);
}

QSize UpDown::sizeHint() const
{
    return {16, edit_->sizeHint().height()};
}

void UpDown::resizeEvent(QResizeEvent*)
{
    up_->setGeometry(0, 0, width(), height() / 2);
    down_->setGeometry(0, height() / 2, width(), height() - height() / 2);
}

int UpDown::Position() const
{
    FollowEdit();
    return position_;
}

void UpDown::FollowEdit() const
{
    bool ok = false;
    const int value = edit_->text().toInt(&ok, 10);
    if (ok && value >= min_ && value <= max_)
        position_ = value;
}

bool UpDown::eventFilter(QObject* watched, QEvent* event)
{
    // Whatever valid number the field holds when the user enters it is the value a
    // range check on leaving puts back.
    if (watched == edit_ && event->type() == QEvent::FocusIn)
        FollowEdit();
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            RunGuarded([&] { Step(key == Qt::Key_Up ? updUp : updDown); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace veltro::app
