#pragma once
// An edit field's up-down buttons. The edit keeps the text the user typed; the up-down
// control keeps the last valid position. Reading the position takes the edit's text when it
// is an in-range number, otherwise the last valid position stays. Typing does not move the
// position by itself, so a range check on leaving can put back the value the field had
// before the user started typing.

#include <QWidget>

#include <functional>

class QLineEdit;
class QToolButton;

namespace veltro::app {

class UpDown : public QWidget {
public:
    enum TUpDownDirection { updNone, updUp, updDown };
    // Raised before a button or arrow key moves the position; clearing allowChange
    // keeps the old position.
    using ChangingEx = std::function<void(bool& allowChange, int newValue, TUpDownDirection direction)>;

    UpDown(QLineEdit* associate, int min, int max, int position, QWidget* parent);

    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const;
    void SetPosition(int position);  // clamped to the range; updates the edit
    QLineEdit* Associate() const { return edit_; }
    void SetOnChangingEx(ChangingEx handler) { onChangingEx_ = std::move(handler); }

    void Step(TUpDownDirection direction);
    // Takes the edit's text as the position when it is an in-range number.
    void FollowEdit() const;

    // As wide as a spin box's buttons, as high as the edit beside it.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QLineEdit* edit_;
    QToolButton* up_;
    QToolButton* down_;
    int min_, max_;
    mutable int position_;
    ChangingEx onChangingEx_;
};

}  // namespace veltro::app
