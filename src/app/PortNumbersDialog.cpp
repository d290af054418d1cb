#include "app/PortNumbersDialog.h"

#include "app/Guard.h"
#include "app/LineUse.h"
#include "platform/PortNames.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace veltro::app {

namespace {

QTableWidgetItem* Cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setToolTip(text);
    return item;
}

}  // namespace

PortNumbersDialog::PortNumbersDialog(QWidget* parent, int maxNumber) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgPortNumbers"));
    setWindowTitle(QStringLiteral("Numeri delle porte COM"));
    auto* page = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Ogni adattatore seriale conserva il suo numero di porta anche quando è scollegato, "
                       "e nessun altro adattatore lo riceve finché il numero non viene liberato."),
        this);
    intro->setWordWrap(true);
    page->addWidget(intro);

    gridPortNumbers = new QTableWidget(0, 4, this);
    gridPortNumbers->setObjectName(QStringLiteral("gridPortNumbers"));
    gridPortNumbers->setHorizontalHeaderLabels(
        {QStringLiteral("Porta"), QStringLiteral("Stato"), QStringLiteral("Dispositivo"), QStringLiteral("Adattatore")});
    gridPortNumbers->verticalHeader()->hide();
    gridPortNumbers->horizontalHeader()->setStretchLastSection(true);
    gridPortNumbers->setSelectionBehavior(QAbstractItemView::SelectRows);
    gridPortNumbers->setSelectionMode(QAbstractItemView::SingleSelection);
    gridPortNumbers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    gridPortNumbers->setMinimumWidth(560);
    page->addWidget(gridPortNumbers, 1);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Nuovo numero: COM"), this));
    spinNewNumber = new QSpinBox(this);
    spinNewNumber->setObjectName(QStringLiteral("spinNewNumber"));
    spinNewNumber->setRange(1, std::min(maxNumber, platform::PortMap::kMaxNumber));
    row->addWidget(spinNewNumber);
    btnRenumber = new QPushButton(QStringLiteral("Assegna all'adattatore scelto"), this);
    btnRenumber->setObjectName(QStringLiteral("btnRenumber"));
    row->addWidget(btnRenumber);
    row->addStretch(1);
    btnFreeNumber = new QPushButton(QStringLiteral("Libera il numero"), this);
    btnFreeNumber->setObjectName(QStringLiteral("btnFreeNumber"));
    btnFreeNumber->setToolTip(QStringLiteral("Dimentica l'adattatore scollegato: il numero torna libero"));
    row->addWidget(btnFreeNumber);
    page->addLayout(row);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    btnClose = new QPushButton(QStringLiteral("Chiudi"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    bottom->addWidget(btnClose);
    page->addLayout(bottom);

    connect(gridPortNumbers, &QTableWidget::itemSelectionChanged, this, Guarded([this] { ShowButtons(); }));
    connect(btnRenumber, &QPushButton::clicked, this, Guarded([this] { Renumber(); }));
    connect(btnFreeNumber, &QPushButton::clicked, this, Guarded([this] { Free(); }));
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    Load(0);
}

void PortNumbersDialog::Load(int select)
{
    ports_ = platform::DescribeMappedPorts();
    kept_ = ports_;
    kept_.removeIf([](const platform::PortDescription& p) { return !p.kept; });
    gridPortNumbers->clearSelection();
    gridPortNumbers->setRowCount(static_cast<int>(kept_.size()));
    for (int r = 0; r < kept_.size(); ++r) {
        const platform::PortDescription& port = kept_[r];
        gridPortNumbers->setItem(r, 0, Cell(QStringLiteral("COM%1").arg(port.number)));
        gridPortNumbers->setItem(r, 1, Cell(port.detached ? platform::DetachedText() : QStringLiteral("collegato")));
        gridPortNumbers->setItem(r, 2, Cell(port.device));
        gridPortNumbers->setItem(r, 3, Cell(port.what));
        if (port.number == select)
            gridPortNumbers->selectRow(r);
    }
    gridPortNumbers->resizeColumnsToContents();
    // The first free number is the likely choice.
    for (int n = 1; n <= spinNewNumber->maximum(); ++n) {
        if (std::none_of(ports_.begin(), ports_.end(), [n](const auto& p) { return p.number == n; })) {
            spinNewNumber->setValue(n);
            break;
        }
    }
    ShowButtons();
}

int PortNumbersDialog::Selected() const
{
    const QList<QTableWidgetSelectionRange> ranges = gridPortNumbers->selectedRanges();
    if (ranges.isEmpty() || ranges.first().topRow() >= kept_.size())
        return 0;
    return kept_[ranges.first().topRow()].number;
}

void PortNumbersDialog::ShowButtons()
{
    const int number = Selected();
    const auto port = std::find_if(kept_.begin(), kept_.end(), [&](const auto& p) { return p.number == number; });
    btnRenumber->setEnabled(port != kept_.end());
    // A connected adapter whose number is freed would get the first free number at once:
    // for it, "Assegna" is the way to another number.
    btnFreeNumber->setEnabled(port != kept_.end() && port->detached);
}

void PortNumbersDialog::Renumber()
{
    const int from = Selected();
    const int to = spinNewNumber->value();
    if (from == 0 || from == to)
        return;
    const bool inUse = std::any_of(ports_.begin(), ports_.end(), [to](const auto& p) { return p.number == to; });
    const platform::RenumberResult result = inUse ? platform::RenumberResult::Taken : platform::RenumberPort(from, to);
    switch (result) {
    case platform::RenumberResult::Done:
        return Changed(to);
    case platform::RenumberResult::Taken:
        Load(from);
        return ShowNotice(this, QStringLiteral("Il numero COM%1 è già in uso: sceglierne uno libero.").arg(to));
    case platform::RenumberResult::NotHeld:
        Load(0);
        return ShowNotice(this, QStringLiteral("Il numero COM%1 non appartiene più a nessun adattatore.").arg(from));
    case platform::RenumberResult::OutOfRange:
        return ShowNotice(this, QStringLiteral("Il numero COM%1 non è valido.").arg(to));
    }
}

void PortNumbersDialog::Free()
{
    const int number = Selected();
    if (number != 0 && platform::FreePort(number))
        Changed(0);
    else
        Load(0);
}

void PortNumbersDialog::Changed(int select)
{
    Load(select);
    if (OnChanged)
        OnChanged();
}

}  // namespace veltro::app
