#include "app/PageConfig.h"

#include "core/Common.h"
#include "app/Glyphs.h"
#include "app/Guard.h"
#include "app/InputRules.h"
#include "core/LostPort.h"
#include "app/PortField.h"
#include "core/PortHelp.h"
#include "core/SerialSettingsText.h"
#include "app/TextFit.h"
#include "app/UpDown.h"
#include "app/VerifyRun.h"
#include "app/LineCombos.h"
#include "app/Widgets.h"
#include "link/Iec1107.h"
#include "link/LinkClasses.h"
#include "link/LinkSerial.h"
#include "platform/UiDispatcher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <array>

#include <functional>

namespace veltro::app {

using namespace core;

namespace {
const QStringList kParityItems = {QStringLiteral("Nessuna"), QStringLiteral("Pari"), QStringLiteral("Dispari")};
const QStringList kStopItems = {QStringLiteral("1"), QStringLiteral("2")};

QPlainTextEdit* AddMemo(QWidget* parent, const char* name)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setReadOnly(true);
    memo->setMinimumWidth(180);
    return memo;
}

std::string Text(const QWidget* widget)
{
    if (auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->currentText().toStdString();
    return static_cast<const QLineEdit*>(widget)->text().toStdString();
}

bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(' ') == std::string::npos;
}

// A manual Modbus address: a decimal integer the module accepts.
bool IsServerAddress(const std::string& text, int32_t& value)
{
    return TryStrToInt(text, value) && value >= 1 && value <= 247;
}

QPushButton* AddGlyphButton(QWidget* parent, const char* name, const QString& caption, const QIcon& glyph)
{
    auto* button = new QPushButton(glyph, caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIconSize(QSize(22, 22));
    button->setMinimumHeight(36);
    return button;
}
}  // namespace

PageConfig::PageConfig(QWidget* parent) : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    CreateIecGroup(page);
    auto* columns = new QHBoxLayout;
    page->addLayout(columns, 1);
    CreateReadColumn(columns);
    CreateModuleGroups(columns);
    CreateWriteColumn(columns);
    ConnectHandlers();
    // Until a read has filled them in, the module's values cannot be edited.
    grpServerAddress->setEnabled(false);
    grpMBSerialConfig->setEnabled(false);
}

PageConfig::~PageConfig() = default;

bool PageConfig::RunInProgress() const
{
    return running_ || FVerify->Busy();
}

void PageConfig::SetRs485Line(LineUse* line)
{
    FVerify->SetLine(line);
    btnVerifyConfig->setEnabled(FVerify->Available());
}

void PageConfig::CreateIecGroup(QVBoxLayout* page)
{
    auto* top = new QHBoxLayout;
    page->addLayout(top);
    QGroupBox* group = grpIECSerialConfig = AddGroup(this, "grpIECSerialConfig",
                           QStringLiteral("Parametri di comunicazione su interfaccia secondaria IEC 62056-21  "));
    top->addWidget(group, 1);
    // Labels above their fields: five settings on the first two rows, identifier and
    // password on the next two.
    auto* grid = new QGridLayout(group);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(12);
    auto place = [&](const char* label, int column, int row, QWidget* field, int span = 1) {
        grid->addWidget(AddLabel(group, QString::fromUtf8(label)), row, column, 1, span);
        grid->addWidget(field, row + 1, column, 1, span);
    };
    grid->addWidget(AddLabel(group, QStringLiteral("Porta seriale PC")), 0, 0);
    editIECComPort = AddEdit(group, "editIECComPort", QStringLiteral("1"));
    udIECComPort = new UpDown(editIECComPort, 1, 200, 1, group);
    udIECComPort->setObjectName(QStringLiteral("udIECComPort"));
    IECPortField = new PortField(editIECComPort, udIECComPort, group, "lblIECComPortDevice", "btnIECComPortList");
    lblIECComPortDevice = IECPortField->Label();
    btnIECComPortList = IECPortField->Picker();
    grid->addLayout(IECPortField->NumberLayout(), 1, 0);
    cmbIECBps = AddCombo(group, "cmbIECBps", {"19200", "9600", "4800", "2400", "1200", "600", "300"}, "9600");
    place("Bit per secondo", 1, 0, cmbIECBps);
    cmbIECParity = AddCombo(group, "cmbIECParity", kParityItems, "Pari");
    place("Parità", 2, 0, cmbIECParity);
    cmbIECDatabits = AddCombo(group, "cmbIECDatabits", {"8", "7"}, "7");
    place("Bit di dati", 3, 0, cmbIECDatabits);
    cmbIECStopbits = AddCombo(group, "cmbIECStopbits", kStopItems, "1");
    place("Bit di stop", 4, 0, cmbIECStopbits);
    // What the port number stands for, under it, with the whole row as its room.
    grid->addWidget(lblIECComPortDevice, 2, 0, 1, 5);
    grid->setRowMinimumHeight(2, lblIECComPortDevice->sizeHint().height() + 6);

    editCommIdent = AddEdit(group, "editCommIdent", QString());
    SetHint(editCommIdent, QStringLiteral("Identificativo di comunicazione"));
    place("ID di comunicazione", 0, 3, editCommIdent, 2);
    editPassword = AddEdit(group, "editPassword", QString::fromLatin1(kDefaultMeterPassword));
    editPassword->setEchoMode(QLineEdit::Password);
    SetHint(editPassword, QStringLiteral("Necessaria per la scrittura sul contatore"));
    place("Password", 2, 3, editPassword, 2);
    for (int column = 0; column < 5; ++column)
        grid->setColumnStretch(column, 1);

    auto* meter = new MeterPicture(this);
    meter->setFixedSize(102, 118);
    top->addWidget(meter, 0, Qt::AlignTop);

    auto* banner = new QLabel(QStringLiteral("Modifica delle impostazioni predefinite per il modulo Modbus/RTU"), this);
    banner->setObjectName(QStringLiteral("Panel1"));
    banner->setAlignment(Qt::AlignCenter);
    banner->setFrameStyle(QFrame::Panel | QFrame::Raised);
    QFont bold = banner->font();
    bold.setBold(true);
    banner->setFont(bold);
    banner->setMinimumHeight(banner->sizeHint().height() + 8);
    page->addWidget(banner);
}

void PageConfig::CreateReadColumn(QHBoxLayout* columns)
{
    auto* column = new QVBoxLayout;
    columns->addLayout(column, 1);
    btnReadConfig = AddGlyphButton(this, "btnReadConfig", QStringLiteral("   1. Leggi"), ReadGlyph());
    btnReadConfig->setToolTip(QStringLiteral("Legge la configurazione attuale dal contatore"));
    column->addWidget(btnReadConfig);
    memoLog1 = AddMemo(this, "memoLog1");
    column->addWidget(memoLog1, 1);
}

void PageConfig::CreateModuleGroups(QHBoxLayout* columns)
{
    auto* column = new QVBoxLayout;
    columns->addLayout(column);
    auto* module = new ModulePicture(this);
    module->setFixedSize(220, 52);
    column->addWidget(module, 0, Qt::AlignHCenter);

    grpServerAddress = AddGroup(this, "grpServerAddress", QStringLiteral("Indirizzo server Modbus"));
    column->addWidget(grpServerAddress);
    auto* address = new QGridLayout(grpServerAddress);
    address->setVerticalSpacing(12);
    chkAutoAddress = new QCheckBox(QStringLiteral("Usa l'indirizzo automatico"), grpServerAddress);
    chkAutoAddress->setObjectName(QStringLiteral("chkAutoAddress"));
    address->addWidget(chkAutoAddress, 0, 0);
    editAutoAddress = AddEdit(grpServerAddress, "editAutoAddress", QString());
    editAutoAddress->setReadOnly(true);
    FitEdit(editAutoAddress, WidestNumber(editAutoAddress->fontMetrics(), 3, 0));
    SetHint(editAutoAddress,
            QStringLiteral("Viene generato in automatico con le ultime 2 cifre della matricola e aggiungendo 100"));
    address->addWidget(editAutoAddress, 0, 1);
    address->addWidget(AddLabel(grpServerAddress, QStringLiteral("Indirizzo manuale")), 1, 0);
    editServerAddress = AddEdit(grpServerAddress, "editServerAddress", QString());
    // Also what a meter holding an address out of range shows: "invalid (300)".
    const QString outOfRange = WidestNumber(editServerAddress->fontMetrics(), 3, 0);
    FitEdit(editServerAddress, QStringLiteral("invalid (%1)").arg(outOfRange));
    SetHint(editServerAddress, QStringLiteral("Indirizzo del contatore con protocollo MODBUS"));
    address->addWidget(editServerAddress, 1, 1);
    address->setColumnStretch(0, 1);

    grpMBSerialConfig = AddGroup(this, "grpMBSerialConfig", QStringLiteral("Parametri di comunicazione RS485 "));
    column->addWidget(grpMBSerialConfig);
    auto* serial = new QGridLayout(grpMBSerialConfig);
    chkMBAutoConfig = new QCheckBox(QStringLiteral("Usa le impostazioni predefinite (9600 8N1)"), grpMBSerialConfig);
    chkMBAutoConfig->setObjectName(QStringLiteral("chkMBAutoConfig"));
    serial->addWidget(chkMBAutoConfig, 0, 0, 1, 2);
    serial->setRowMinimumHeight(1, 4);
    auto row = [&](const char* label, int r, QComboBox* combo) {
        serial->addWidget(AddLabel(grpMBSerialConfig, QString::fromUtf8(label)), r, 0);
        serial->addWidget(combo, r, 1);
        return combo;
    };
    cmbMBBps = row("Bit per secondo", 2,
                   AddCombo(grpMBSerialConfig, "cmbMBBps", {"19200", "9600", "4800", "2400"}, "9600"));
    cmbMBDatabits = row("Bit di dati", 3, AddCombo(grpMBSerialConfig, "cmbMBDatabits", {"8"}, "8"));
    cmbMBParity = row("Parità", 4, AddCombo(grpMBSerialConfig, "cmbMBParity", kParityItems, "Nessuna"));
    cmbMBStopbits = row("Bit di stop", 5, AddCombo(grpMBSerialConfig, "cmbMBStopbits", kStopItems, "1"));
    serial->setColumnStretch(0, 1);

    auto* meter = new QGridLayout;
    meter->setContentsMargins(10, 6, 10, 0);
    meter->setVerticalSpacing(0);
    column->addLayout(meter);
    meter->addWidget(AddLabel(this, QStringLiteral("Matricola")), 0, 0);
    meter->addWidget(AddLabel(this, QStringLiteral("contatore")), 1, 0);
    editMeterIdent = AddEdit(this, "editMeterIdent", QString());
    editMeterIdent->setReadOnly(true);
    editMeterIdent->setEnabled(false);
    FitEdit(editMeterIdent, WidestNumber(editMeterIdent->fontMetrics(), 10, 0));
    SetHint(editMeterIdent, QStringLiteral("Numero di serie del contatore"));
    meter->addWidget(editMeterIdent, 0, 1, 2, 1, Qt::AlignVCenter);
    meter->setColumnStretch(0, 1);
    column->addStretch(1);
}

void PageConfig::CreateWriteColumn(QHBoxLayout* columns)
{
    auto* column = new QVBoxLayout;
    columns->addLayout(column, 1);
    btnWriteConfig = AddGlyphButton(this, "btnWriteConfig", QStringLiteral("2. Scrivi   "), WriteGlyph());
    // The glyph sits on the right of the caption: data leaves towards the meter.
    btnWriteConfig->setLayoutDirection(Qt::RightToLeft);
    SetHint(btnWriteConfig, QStringLiteral("Scrive la nuova configurazione nel contatore"));
    column->addWidget(btnWriteConfig);
    memoLog2 = AddMemo(this, "memoLog2");
    column->addWidget(memoLog2, 1);
    // Under the log it writes its steps into: the check follows the write.
    btnVerifyConfig = new QPushButton(QStringLiteral("3. Verifica"), this);
    btnVerifyConfig->setObjectName(QStringLiteral("btnVerifyConfig"));
    btnVerifyConfig->setMinimumHeight(36);
    btnVerifyConfig->setToolTip(
        QStringLiteral("Legge la matricola dal modulo sulla porta RS485 del controllo, con l'indirizzo e le "
                       "impostazioni appena lette o scritte, e la confronta con quella del contatore"));
    btnVerifyConfig->setEnabled(false);
    // After a check that proved the module: one click and "Controllo" polls it.
    btnUseVerified = new QPushButton(QStringLiteral("Usa in Controllo"), this);
    btnUseVerified->setObjectName(QStringLiteral("btnUseVerified"));
    btnUseVerified->setMinimumHeight(36);
    btnUseVerified->setToolTip(QStringLiteral("Copia nella pagina Controllo l'indirizzo e le impostazioni RS485 "
                                              "appena verificati, pronti per \"Avvia\""));
    btnUseVerified->setEnabled(false);
    auto* verifyRow = new QHBoxLayout;
    verifyRow->addWidget(btnVerifyConfig, 1);
    verifyRow->addWidget(btnUseVerified);
    column->addLayout(verifyRow);
    FVerify = std::make_unique<VerifyRun>(*this);
    FVerify->OnBusy = [this](bool busy) { ShowVerifyBusy(busy); };
}

void PageConfig::ConnectHandlers()
{
    DigitsKeyPress(editIECComPort);
    DigitsKeyPress(editCommIdent);
    DigitsKeyPress(editServerAddress);
    OnExit(editIECComPort, [this] { ValidateRange(editIECComPort, *udIECComPort); });
    udIECComPort->SetOnChangingEx([this](bool& allow, int value, UpDown::TUpDownDirection direction) {
        udIECComPortChangingEx(allow, value, direction);
    });

    connect(editIECComPort, &QLineEdit::textChanged, this, Guarded([this] { QueryParamChange(); }));
    connect(editCommIdent, &QLineEdit::textChanged, this, Guarded([this] { QueryParamChange(); }));
    for (QComboBox* combo : {cmbIECBps, cmbIECParity, cmbIECDatabits, cmbIECStopbits})
        connect(combo, &QComboBox::currentIndexChanged, this, Guarded([this] { QueryParamChange(); }));
    // Both boxes react to every change of state, by the user or by a read.
    connect(chkAutoAddress, &QCheckBox::toggled, this, Guarded([this] { chkAutoAddressClick(); }));
    connect(chkMBAutoConfig, &QCheckBox::toggled, this, Guarded([this] { chkMBAutoConfigClick(); }));
    connect(btnReadConfig, &QPushButton::clicked, this, Guarded([this] { btnReadConfigClick(); }));
    connect(btnWriteConfig, &QPushButton::clicked, this, Guarded([this] { btnWriteConfigClick(); }));
    connect(btnVerifyConfig, &QPushButton::clicked, this, Guarded([this] { FVerify->Begin(); }));
    connect(btnUseVerified, &QPushButton::clicked, this, Guarded([this] { btnUseVerifiedClick(); }));
}

IecSettings PageConfig::Iec() const
{
    return {udIECComPort->Position(), IecCombos().Get(), editCommIdent->text()};
}

void PageConfig::ShowIec(const IecSettings& settings)
{
    {
        const LineCombos combos = IecCombos();
        const std::array<QSignalBlocker, 6> quiet = {
            QSignalBlocker(editIECComPort), QSignalBlocker(editCommIdent), QSignalBlocker(combos.bps),
            QSignalBlocker(combos.dataBits), QSignalBlocker(combos.parity), QSignalBlocker(combos.stopBits)};
        // The up-down position moves with the text, so a range check puts back the
        // restored port, not the default.
        udIECComPort->SetPosition(settings.port);
        combos.Set(settings.line);
        editCommIdent->setText(settings.commIdent);
    }
    RefreshPortLabel();  // its own signal was held back with the others
}

void PageConfig::RefreshPortLabel()
{
    IECPortField->Refresh();
}

LineCombos PageConfig::IecCombos() const
{
    return {cmbIECBps, cmbIECDatabits, cmbIECParity, cmbIECStopbits};
}

QString PageConfig::MeterSerial() const
{
    return editMeterIdent->text();
}

QStringList PageConfig::RunLog(bool write) const
{
    return (write ? memoLog2 : memoLog1)->toPlainText().split(QLatin1Char('\n'));
}

void PageConfig::AppendRunLog(bool write, const QString& line)
{
    (write ? memoLog2 : memoLog1)->appendPlainText(line);
}

void PageConfig::EnableWriteControls(bool enable)
{
    btnWriteConfig->setEnabled(enable);
    grpServerAddress->setEnabled(enable);
    grpMBSerialConfig->setEnabled(enable);
}

// New write data is only accepted after a fresh read with the IEC settings now shown.
void PageConfig::QueryParamChange()
{
    EnableWriteControls(false);
}

void PageConfig::udIECComPortChangingEx(bool&, int, int)
{
    EnableWriteControls(false);
}

void PageConfig::chkAutoAddressClick()
{
    editAutoAddress->setText(QString::number(AutomaticAddress(editMeterIdent->text().toStdString())));
    editServerAddress->setEnabled(!chkAutoAddress->isChecked());
}

void PageConfig::chkMBAutoConfigClick()
{
    const bool manual = !chkMBAutoConfig->isChecked();
    for (QComboBox* combo : {cmbMBBps, cmbMBParity, cmbMBStopbits, cmbMBDatabits})
        combo->setEnabled(manual);
}

// The run's steps go to the memo as they are taken: the run holds the UI thread and only
// lets it repaint while the link waits for the meter. What the run got is kept even when
// an exception cuts it short, for the job record.
bool PageConfig::RunConfig(QPlainTextEdit* memo, const std::function<bool(ConfigRun&)>& run)
{
    memo->clear();
    ConfigRun config(Iec(),
                     [memo](const std::string& line) { memo->appendPlainText(QString::fromStdString(line)); });
    config.OnValue = [this](const std::string& code, const std::string& value) { ShowValue(code, value); };
    try {
        const bool ok = run(config);
        run_.registers = config.Result().registers;
        return ok;
    } catch (...) {
        run_.registers = config.Result().registers;
        throw;
    }
}

bool PageConfig::ReadConfiguration(const std::string& commIdent)
{
    return RunConfig(memoLog1, [&](ConfigRun& run) { return run.Read(commIdent); });
}

// The automatic address follows the serial number just read, also when the box is
// checked already and the address read next does not change it.
void PageConfig::ShowValue(const std::string& code, const std::string& value)
{
    if (code == kSerialNumberCode) {
        editMeterIdent->setText(QString::fromStdString(value));
        chkAutoAddressClick();
    } else if (code == kModbusAddressCode) {
        ShowServerAddress(value);
    } else if (code == kModbusSettingsCode) {
        ShowSerialSettings(value);
    }
}

void PageConfig::ShowServerAddress(const std::string& value)
{
    chkAutoAddress->setChecked(true);
    int32_t address = 0;
    if (IsServerAddress(value, address)) {
        editServerAddress->setText(QString::fromStdString(value));
        chkAutoAddress->setChecked(false);  // the module uses a manual address
    } else if (!TryStrToInt(value, address) && IsBlank(value)) {
        editServerAddress->clear();  // empty: the automatic address
    } else {
        editServerAddress->setText(QStringLiteral("invalid (%1)").arg(QString::fromStdString(value)));
    }
}

void PageConfig::ShowSerialSettings(const std::string& value)
{
    chkMBAutoConfig->setChecked(true);
    if (!IsBlank(value) && ParseSerialSettings(value))
        chkMBAutoConfig->setChecked(false);
    // Also when the box kept its state, so the combos always match it after a read.
    chkMBAutoConfigClick();
}

bool PageConfig::ParseSerialSettings(const std::string& value)
{
    using namespace link;
    // A part that does not fit stops the parse; the combos of the parts before it keep
    // what they were given.
    SerialSettingsIndices parsed;
    const bool ok = ParseSerialSettingsText(value, parsed);
    if (parsed.baud)
        SelectComboItem(cmbMBBps, LinkBaudNames, *parsed.baud);
    if (parsed.dataBits)
        SelectComboItem(cmbMBDatabits, LinkDataBitsNames, *parsed.dataBits);
    if (parsed.parity)
        SelectComboItem(cmbMBParity, LinkParityNames, *parsed.parity);
    if (parsed.stopBits)
        SelectComboItem(cmbMBStopbits, LinkStopBitsNames, *parsed.stopBits);
    return ok;
}

bool PageConfig::WriteConfiguration(const std::string& commIdent)
{
    const std::string password = Text(editPassword);
    const ConfigToWrite values = ValuesToWrite();
    return RunConfig(memoLog2, [&](ConfigRun& run) { return run.Write(commIdent, password, values); });
}

ConfigToWrite PageConfig::ValuesToWrite() const
{
    return {chkAutoAddress->isChecked() ? std::string() : Text(editServerAddress), SerialSettingsToWrite()};
}

// "9600 8N1" from the four combo boxes; empty for the module's default settings.
std::string PageConfig::SerialSettingsToWrite() const
{
    using namespace link;
    if (chkMBAutoConfig->isChecked())
        return {};
    return SerialSettingsToText(StrToTableValue(LinkBaudNames, LinkBaudValues, Text(cmbMBBps)),
                                StrToTableValue(LinkDataBitsNames, LinkDataBitsValues, Text(cmbMBDatabits)),
                                StrToTableValue(LinkParityNames, LinkParityValues, Text(cmbMBParity)),
                                StrToTableValue(LinkStopBitsNames, LinkStopBitsValues, Text(cmbMBStopbits)));
}

void PageConfig::SetRunControlsEnabled(bool enable, bool includeWriteGroups)
{
    btnReadConfig->setEnabled(enable);
    btnVerifyConfig->setEnabled(enable && FVerify->Available() && !FVerify->Busy());
    btnUseVerified->setEnabled(enable && !FVerify->Busy() && FVerify->ProvenModule().has_value());
    grpIECSerialConfig->setEnabled(enable);
    editCommIdent->setEnabled(enable);
    editPassword->setEnabled(enable);
    if (includeWriteGroups)
        EnableWriteControls(enable);
}

void PageConfig::btnReadConfigClick()
{
    if (editCommIdent->text().isEmpty()) {
        QMessageBox::information(this, QApplication::applicationName(),
                                 QStringLiteral("Inserire l'identificativo di comunicazione"));
        return;
    }
    SetRunControlsEnabled(false, true);
    StartRun(false);
    bool result = false;
    try {
        result = ReadConfiguration(Text(editCommIdent));
    } catch (...) {
        SetRunControlsEnabled(true, false);
        EnableWriteControls(false);
        FinishRun(false, platform::ExceptionMessage(std::current_exception()));
        throw;
    }
    SetRunControlsEnabled(true, false);
    EnableWriteControls(result);
    FinishRun(result);
}

void PageConfig::btnWriteConfigClick()
{
    int32_t address = 0;
    if (!chkAutoAddress->isChecked() && !IsServerAddress(Text(editServerAddress), address)) {
        QMessageBox::information(this, QApplication::applicationName(),
                                 QStringLiteral("Inserire un indirizzo MODBUS manuale valido (1-247)"));
        return;
    }
    SetRunControlsEnabled(false, true);
    StartRun(true);
    bool result = false;
    try {
        result = WriteConfiguration(Text(editCommIdent));
    } catch (...) {
        SetRunControlsEnabled(true, true);
        FinishRun(false, platform::ExceptionMessage(std::current_exception()));
        throw;
    }
    SetRunControlsEnabled(true, true);
    FinishRun(result);
}

// The check locks the controls as the runs do, and gives the write controls back as
// they were.
void PageConfig::ShowVerifyBusy(bool busy)
{
    if (busy)
        writeEnabledBeforeVerify_ = btnWriteConfig->isEnabled();
    SetRunControlsEnabled(!busy, busy);
    if (!busy)
        EnableWriteControls(writeEnabledBeforeVerify_);
    btnVerifyConfig->setEnabled(!busy && FVerify->Available());
    btnUseVerified->setEnabled(!busy && FVerify->ProvenModule().has_value());
}

void PageConfig::btnUseVerifiedClick()
{
    const std::optional<ModuleTarget> module = FVerify->ProvenModule();
    if (!module)
        return;
    memoLog2->appendPlainText(QStringLiteral("Indirizzo %1 e impostazioni %2 copiati nella pagina Controllo")
                                  .arg(module->Address)
                                  .arg(QString::fromStdString(module->Settings.Text())));
    if (OnUseModule)
        OnUseModule(module->Address, module->Settings);
}

void PageConfig::StartRun(bool write)
{
    run_ = ConfigRunResult{};
    run_.write = write;
    running_ = true;
}

// A run that ended in an exception is reported as well, before its error box.
void PageConfig::FinishRun(bool success, std::string error)
{
    running_ = false;
    run_.success = success;
    run_.error = std::move(error);
    FVerify->RunFinished(run_);
    btnVerifyConfig->setEnabled(FVerify->Available());
    btnUseVerified->setEnabled(false);
    if (OnRunFinished)
        OnRunFinished(run_);
}

}  // namespace veltro::app
