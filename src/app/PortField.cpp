#include "app/PortField.h"

#include "app/Guard.h"
#include "app/UpDown.h"
#include "app/Widgets.h"
#include "platform/PortCatalog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace veltro::app {

DeviceLabel::DeviceLabel(QWidget* parent) : QLabel(parent)
{
    // Ignored: the layout gives the label its room and the label's text never widens it.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setTextFormat(Qt::PlainText);
}

void DeviceLabel::SetFullText(const QString& text)
{
    if (text == full_)
        return;
    full_ = text;
    setToolTip(text);
    Elide();
}

void DeviceLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    Elide();
}

void DeviceLabel::Elide()
{
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideRight, contentsRect().width());
    if (shown != text())
        setText(shown);
}

PortField::PortField(QLineEdit* edit, UpDown* upDown, QWidget* parent, const char* labelName,
                     const char* buttonName)
    : QObject(parent), edit_(edit), upDown_(upDown), label_(new DeviceLabel(parent)),
      picker_(new QToolButton(parent)), menu_(new QMenu(picker_))
{
    label_->setObjectName(QString::fromLatin1(labelName));
    picker_->setObjectName(QString::fromLatin1(buttonName));
    picker_->setText(QStringLiteral("..."));
    picker_->setToolTip(QStringLiteral("Elenca le porte seriali presenti per sceglierne una"));
    // The list is made when it opens, so it shows the devices present at that moment.
    connect(picker_, &QToolButton::clicked, this, Guarded([this] {
        FillMenu();
        menu_->exec(picker_->mapToGlobal(QPoint(0, picker_->height())));
    }));
    connect(edit_, &QLineEdit::textChanged, this, Guarded([this] { Refresh(); }));
    Refresh();
}

QHBoxLayout* PortField::NumberLayout() const
{
    QHBoxLayout* row = NumberField(edit_, upDown_);
    picker_->setFixedHeight(edit_->sizeHint().height());
    row->insertSpacing(2, 4);
    row->insertWidget(3, picker_);
    return row;
}

void PortField::Refresh()
{
    // The text as it stands, not the up-down position: reading the position would take a
    // half-typed number as the one the range check puts back.
    bool ok = false;
    const int number = edit_->text().toInt(&ok, 10);
    if (!ok || number < upDown_->Min() || number > upDown_->Max())
        return label_->SetFullText(QString());
    label_->SetFullText(platform::DescribePort(number).Label());
}

void PortField::FillMenu()
{
    menu_->clear();
    const QList<platform::PortDescription> ports = platform::ListPresentPorts();
    for (const platform::PortDescription& port : ports) {
        QAction* pick = menu_->addAction(port.ListLine());
        const int number = port.number;
        // A number the field cannot hold (an override entry such as COM250) is shown, not offered.
        pick->setEnabled(number >= upDown_->Min() && number <= upDown_->Max());
        // A device may vanish between the listing and the pick: the number is filled in
        // all the same and the label then says that nothing answers to it.
        connect(pick, &QAction::triggered, this, Guarded([this, number] { upDown_->SetPosition(number); }));
    }
    if (ports.isEmpty())
        menu_->addAction(QStringLiteral("Nessuna porta seriale presente"))->setEnabled(false);
}

}  // namespace veltro::app
