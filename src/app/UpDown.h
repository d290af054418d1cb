#pragma once
// An edit field's up-down buttons. The edit keeps the text the user typed; the up-down
// control keeps the last valid position. The position follows the edit's text whenever it
// is an in-range number at a moment that counts: when the position is read, when the user
// enters the field and when the range check accepts the value on leaving. Keystrokes in
// between do not move it, so the check can put back the value the field held before the
// user started typing, or the one it accepted when the field was last left.

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
