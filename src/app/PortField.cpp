#include "app/PortField.h"

#include "app/Guard.h"
#include "app/PortNumbersDialog.h"
#include "app/UpDown.h"
#include "app/Widgets.h"
#include "platform/PortCatalog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

#include <algorithm>

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
    picker_->setToolTip(QStringLiteral("Elenca le porte seriali per sceglierne una, o per cambiarne i numeri"));
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
    // What the system says of the adapters is never asked for here, on the window's start
    // path: the port watcher asks it and has the labels look again.
    label_->SetFullText(platform::DescribePort(number, platform::AdapterDetail::KnownOnly).Label());
}

void PortField::FillMenu()
{
    menu_->clear();
    const QList<platform::PortDescription> ports = platform::DescribeMappedPorts();
    for (const platform::PortDescription& port : ports) {
        QAction* pick = menu_->addAction(port.ListLine());
        const int number = port.number;
        // A number the field cannot hold (an override entry such as COM250) is shown, not offered.
        pick->setEnabled(number >= upDown_->Min() && number <= upDown_->Max());
        // A device may vanish between the listing and the pick, and an unplugged adapter's
        // number is worth choosing before it is plugged in: the number is filled in all the
        // same and the label says what stands for it.
        connect(pick, &QAction::triggered, this, Guarded([this, number] { upDown_->SetPosition(number); }));
    }
    if (std::none_of(ports.begin(), ports.end(), [](const auto& p) { return p.present; }))
        menu_->addAction(QStringLiteral("Nessuna porta seriale presente"))->setEnabled(false);
    menu_->addSeparator();
    QAction* manage = menu_->addAction(QStringLiteral("Cambia o libera i numeri delle porte..."));
    manage->setObjectName(QStringLiteral("actPortNumbers"));
    manage->setEnabled(std::any_of(ports.begin(), ports.end(), [](const auto& p) { return p.kept; }));
    connect(manage, &QAction::triggered, this, Guarded([this] { OpenNumbers(); }));
}

void PortField::OpenNumbers()
{
    auto* dialog = new PortNumbersDialog(picker_->window(), upDown_->Max());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    // The other field learns of it from the port watcher, which sees the map file change.
    dialog->OnChanged = [this] { Refresh(); };
    dialog->open();
}

}  // namespace veltro::app
