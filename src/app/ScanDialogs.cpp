#include "app/ScanDialogs.h"

#include "core/ProbeTexts.h"
#include "app/TextFit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace veltro::app {

using namespace core;

namespace {

// The settings a box of each list stands for, from the texts the page's lists hold.
std::optional<RtuSettings> RateOf(const QString& text)
{
    return RtuSettingsFromTexts(text.toStdString(), "8", "Nessuna", "1");
}
std::optional<RtuSettings> ParityOf(const QString& text)
{
    return RtuSettingsFromTexts("9600", "8", text.toStdString(), "1");
}
std::optional<RtuSettings> StopBitsOf(const QString& text)
{
    return RtuSettingsFromTexts("9600", "8", "Nessuna", text.toStdString());
}

// A titled row of boxes, one per text, ticked when used says so.
std::vector<QCheckBox*> AddBoxes(QDialog* dialog, QVBoxLayout* page, const QString& title, const char* name,
                                 const QStringList& texts, const std::function<bool(const QString&)>& used)
{
    auto* group = new QGroupBox(title, dialog);
    auto* row = new QHBoxLayout(group);
    std::vector<QCheckBox*> boxes;
    for (const QString& text : texts) {
        auto* box = new QCheckBox(text, group);
        box->setObjectName(QString::fromLatin1(name) + text);
        box->setChecked(used(text));
        row->addWidget(box);
        boxes.push_back(box);
    }
    row->addStretch(1);
    page->addWidget(group);
    return boxes;
}

// Whether one of settings has the value of member that s has.
template <class T>
bool Uses(const std::vector<RtuSettings>& settings, T RtuSettings::*member, std::optional<RtuSettings> s)
{
    return s && std::any_of(settings.begin(), settings.end(),
                            [&](const RtuSettings& x) { return x.*member == (*s).*member; });
}

}  // namespace

ScanSetupDialog::ScanSetupDialog(QWidget* parent, const ScanChoices& choices, const ScanOptions& options)
    : QDialog(parent), options_(options)
{
    setObjectName(QStringLiteral("dlgScanSetup"));
    setWindowTitle(QStringLiteral("Cerca modulo sulla porta %1").arg(QString::fromStdString(options.Port)));
    auto* page = new QVBoxLayout(this);

    auto* range = new QHBoxLayout;
    page->addLayout(range);
    const auto address = [&](const char* name, int value) {
        auto* spin = new QSpinBox(this);
        spin->setObjectName(QString::fromLatin1(name));
        spin->setRange(1, 247);
        spin->setValue(value);
        range->addWidget(spin);
        return spin;
    };
    range->addWidget(new QLabel(QStringLiteral("Indirizzi da"), this));
    spinScanFirst = address("spinScanFirst", options.FirstAddress);
    range->addWidget(new QLabel(QStringLiteral("a"), this));
    spinScanLast = address("spinScanLast", options.LastAddress);
    range->addStretch(1);

    const auto& used = options.Settings;
    chkScanRates = AddBoxes(this, page, QStringLiteral("Bit per secondo"), "chkScanRate", choices.Rates,
                            [&](const QString& t) { return Uses(used, &RtuSettings::BaudRate, RateOf(t)); });
    chkScanParities = AddBoxes(this, page, QStringLiteral("Parità"), "chkScanParity", choices.Parities,
                               [&](const QString& t) { return Uses(used, &RtuSettings::Parity, ParityOf(t)); });
    chkScanStopBits = AddBoxes(this, page, QStringLiteral("Bit di stop"), "chkScanStopBits", choices.StopBits,
                               [&](const QString& t) { return Uses(used, &RtuSettings::StopBits, StopBitsOf(t)); });

    rbScanStopAtFirst = new QRadioButton(QStringLiteral("Fermarsi al primo modulo trovato"), this);
    rbScanStopAtFirst->setObjectName(QStringLiteral("rbScanStopAtFirst"));
    rbScanContinue = new QRadioButton(QStringLiteral("Continuare ed elencare tutte le stazioni trovate"), this);
    rbScanContinue->setObjectName(QStringLiteral("rbScanContinue"));
    (options.StopAtFirst ? rbScanStopAtFirst : rbScanContinue)->setChecked(true);
    page->addWidget(rbScanStopAtFirst);
    page->addWidget(rbScanContinue);

    lblScanEstimate = new QLabel(this);
    lblScanEstimate->setObjectName(QStringLiteral("lblScanEstimate"));
    page->addWidget(lblScanEstimate);

    auto* buttons = new QDialogButtonBox(this);
    btnScanStart = buttons->addButton(QStringLiteral("Cerca"), QDialogButtonBox::AcceptRole);
    btnScanStart->setObjectName(QStringLiteral("btnScanStart"));
    btnScanCancel = buttons->addButton(QStringLiteral("Annulla"), QDialogButtonBox::RejectRole);
    btnScanCancel->setObjectName(QStringLiteral("btnScanCancel"));
    page->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    for (QSpinBox* spin : {spinScanFirst, spinScanLast})
        connect(spin, &QSpinBox::valueChanged, this, [this] { ShowEstimate(); });
    for (const auto* list : {&chkScanRates, &chkScanParities, &chkScanStopBits})
        for (QCheckBox* box : *list)
            connect(box, &QCheckBox::toggled, this, [this] { ShowEstimate(); });
    // Room for the longest estimate, so the dialog does not change size as boxes are ticked.
    const QString longest = WidestText(lblScanEstimate->fontMetrics(),
                                       {QStringLiteral("Indirizzo iniziale oltre quello finale: nessuna prova"),
                                        QStringLiteral("Scegliere almeno un valore per elenco"),
                                        QStringLiteral("9999 prove, al massimo 88:88:88")});
    lblScanEstimate->setMinimumWidth(TextWidth(lblScanEstimate, longest));
    // Rates, parities and stop bits are set in the gateway, not tried through it.
    if (options_.Link.Tcp())
        for (const auto* list : {&chkScanRates, &chkScanParities, &chkScanStopBits})
            for (QCheckBox* box : *list)
                box->setEnabled(false);
    ShowEstimate();
}

ScanOptions ScanSetupDialog::Options() const
{
    ScanOptions o = options_;
    std::vector<modbus::TBaudRate> rates;
    std::vector<modbus::TParityScheme> parities;
    std::vector<modbus::TStopBits> stopBits;
    for (QCheckBox* box : chkScanRates)
        if (const auto s = RateOf(box->text()); s && box->isChecked())
            rates.push_back(s->BaudRate);
    for (QCheckBox* box : chkScanParities)
        if (const auto s = ParityOf(box->text()); s && box->isChecked())
            parities.push_back(s->Parity);
    for (QCheckBox* box : chkScanStopBits)
        if (const auto s = StopBitsOf(box->text()); s && box->isChecked())
            stopBits.push_back(s->StopBits);
    if (o.Link.Tcp())  // through a gateway the line settings are the gateway's: addresses alone are tried
        o.Settings = {RtuSettings{}};
    else if (rates.empty() || parities.empty() || stopBits.empty())
        o.Settings.clear();  // no box ticked in a list leaves nothing to try (an empty list would stand for all)
    else
        o.Settings = ScanSettings(rates, parities, stopBits);
    o.FirstAddress = spinScanFirst->value();
    o.LastAddress = spinScanLast->value();
    o.StopAtFirst = rbScanStopAtFirst->isChecked();
    return o;
}

void ScanSetupDialog::ShowEstimate()
{
    const ScanOptions o = Options();
    QString text;
    if (o.FirstAddress > o.LastAddress) {
        text = QStringLiteral("Indirizzo iniziale oltre quello finale: nessuna prova");
    } else if (o.Settings.empty()) {
        text = QStringLiteral("Scegliere almeno un valore per elenco");
    } else {
        const int addresses = o.LastAddress - o.FirstAddress + 1;
        std::chrono::milliseconds longest{0};
        for (const RtuSettings& s : o.Settings)
            longest += (o.Link.Tcp() ? GatewayScanReceiveTimeout(o.Turnaround) : ScanReceiveTimeout(s, o.Turnaround))
                       * addresses;
        text = QStringLiteral("%1 prove, al massimo %2")
                   .arg(static_cast<int>(o.Settings.size()) * addresses)
                   .arg(QString::fromStdString(
                       DurationText(std::chrono::ceil<std::chrono::seconds>(longest))));
    }
    lblScanEstimate->setText(text);
    btnScanStart->setEnabled(o.FirstAddress <= o.LastAddress && !o.Settings.empty());
}

ScanProgressDialog::ScanProgressDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgScanProgress"));
    setWindowTitle(QStringLiteral("Ricerca del modulo"));
    auto* page = new QVBoxLayout(this);
    lblScanProgress = new QLabel(this);
    lblScanProgress->setObjectName(QStringLiteral("lblScanProgress"));
    // The longest progress line, so the dialog keeps its size while the search runs.
    ScanProgress widest{ParseRtuSettings("19200 8E2").value(), 247, 9998, 9999, std::chrono::hours(99)};
    lblScanProgress->setMinimumWidth(TextWidth(lblScanProgress, QString::fromStdString(widest.Text())));
    page->addWidget(lblScanProgress);
    barScanProgress = new QProgressBar(this);
    barScanProgress->setObjectName(QStringLiteral("barScanProgress"));
    barScanProgress->setRange(0, 1);
    barScanProgress->setValue(0);
    page->addWidget(barScanProgress);
    lblScanFinds = new QLabel(this);
    lblScanFinds->setObjectName(QStringLiteral("lblScanFinds"));
    page->addWidget(lblScanFinds);
    ShowFinds(0, 0);
    auto* buttons = new QHBoxLayout;
    page->addLayout(buttons);
    buttons->addStretch(1);
    btnScanAbort = new QPushButton(QStringLiteral("Annulla"), this);
    btnScanAbort->setObjectName(QStringLiteral("btnScanAbort"));
    buttons->addWidget(btnScanAbort);
    connect(btnScanAbort, &QPushButton::clicked, this, [this] { AskCancel(); });
}

void ScanProgressDialog::ShowProgress(const ScanProgress& progress)
{
    if (!cancelAsked_)
        lblScanProgress->setText(QString::fromStdString(progress.Text()));
    barScanProgress->setRange(0, std::max(progress.Total, 1));
    barScanProgress->setValue(progress.Done);
}

void ScanProgressDialog::ShowFinds(int stations, int disturbances)
{
    lblScanFinds->setText(
        QStringLiteral("Stazioni trovate: %1, disturbi sulla linea: %2").arg(stations).arg(disturbances));
}

void ScanProgressDialog::AskCancel()
{
    if (cancelAsked_)
        return;
    cancelAsked_ = true;
    btnScanAbort->setEnabled(false);
    lblScanProgress->setText(QStringLiteral("Annullamento in corso..."));
    if (OnCancel)
        OnCancel();
}

void ScanProgressDialog::reject()
{
    AskCancel();
}

void ScanProgressDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
    AskCancel();
}

}  // namespace veltro::app
