#pragma once
// Beside a port-number field: a label saying what the number stands for (the device and
// the adapter behind it, an adapter that holds it while unplugged, or that nothing answers
// to it), and a small button listing every number in use, whose pick fills in the number,
// and opening the dialog that changes or frees the numbers. The label follows the number
// as it is typed or stepped; the window asks it to look again when adapters come or go.

#include <QLabel>
#include <QObject>

class QHBoxLayout;
class QLineEdit;
class QMenu;
class QToolButton;

namespace veltro::app {

class UpDown;

// One line of text cut short with "…" where its room ends; the whole text is its tooltip.
// It takes the room the layout gives it and never asks for more, so a long adapter name
// cannot widen the window.
class DeviceLabel : public QLabel {
public:
    explicit DeviceLabel(QWidget* parent = nullptr);
    void SetFullText(const QString& text);
    const QString& FullText() const { return full_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();
    QString full_;
};

class PortField : public QObject {
public:
    // Creates the label and the button (named labelName and buttonName) in parent; the
    // page places them.
    PortField(QLineEdit* edit, UpDown* upDown, QWidget* parent, const char* labelName, const char* buttonName);

    // The edit, its up-down buttons and the list button in a row, for the page's layout.
    QHBoxLayout* NumberLayout() const;
    DeviceLabel* Label() const { return label_; }
    QToolButton* Picker() const { return picker_; }
    // Describes the number the field holds now; nothing while it holds no valid number.
    void Refresh();

private:
    void FillMenu();
    void OpenNumbers();

    QLineEdit* edit_;
    UpDown* upDown_;
    DeviceLabel* label_;
    QToolButton* picker_;
    QMenu* menu_;
};

}  // namespace veltro::app
