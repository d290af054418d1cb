#include "app/PageConfig.h"

#include "app/Common.h"
#include "app/Glyphs.h"
#include "app/Guard.h"
#include "app/InputRules.h"
#include "app/UpDown.h"
#include "app/Widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace veltro::app {

namespace {
const QStringList kParityItems = {QStringLiteral("Nessuna"), QStringLiteral("Pari"), QStringLiteral("Dispari")};
const QStringList kStopItems = {QStringLiteral("1"), QStringLiteral("2")};

QPlainTextEdit* AddMemo(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setReadOnly(true);
    memo->setGeometry(geometry);
    return memo;
}

QPushButton* AddGlyphButton(QWidget* parent, const char* name, const QString& caption, const QIcon& glyph,
                            const QRect& geometry)
{
    auto* button = new QPushButton(glyph, caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIconSize(QSize(22, 22));
    button->setGeometry(geometry);
    return button;
}
}  // namespace

PageConfig::PageConfig(QWidget* parent) : QWidget(parent)
{
    CreateIecGroup();
    CreateReadColumn();
    CreateModuleGroups();
    CreateWriteColumn();
    ConnectHandlers();
    // Until a read has filled them in, the module's values cannot be edited.
    grpServerAddress->setEnabled(false);
    grpMBSerialConfig->setEnabled(false);
}

void PageConfig::CreateIecGroup()
{
    auto* group = AddGroup(this, "grpIECSerialConfig",
                           QStringLiteral("Parametri di comunicazione su interfaccia secondaria IEC 62056-21  "),
                           QRect(8, 4, 540, 118));
    AddLabel(group, QStringLiteral("Porta seriale PC"), QRect(12, 26, 100, 16));
    editIECComPort = AddEdit(group, "editIECComPort", QStringLiteral("1"), QRect(12, 44, 60, 21));
    udIECComPort = new UpDown(editIECComPort, 1, 200, 1, group);
    udIECComPort->setObjectName(QStringLiteral("udIECComPort"));
    AddLabel(group, QStringLiteral("Bit per secondo"), QRect(112, 26, 96, 16));
    cmbIECBps = AddCombo(group, "cmbIECBps",
                         {"19200", "9600", "4800", "2400", "1200", "600", "300"}, "9600", QRect(112, 44, 96, 21));
    AddLabel(group, QStringLiteral("Parità"), QRect(220, 26, 96, 16));
    cmbIECParity = AddCombo(group, "cmbIECParity", kParityItems, "Pari", QRect(220, 44, 96, 21));
    AddLabel(group, QStringLiteral("Bit di dati"), QRect(328, 26, 80, 16));
    cmbIECDatabits = AddCombo(group, "cmbIECDatabits", {"8", "7"}, "7", QRect(328, 44, 80, 21));
    AddLabel(group, QStringLiteral("Bit di stop"), QRect(420, 26, 80, 16));
    cmbIECStopbits = AddCombo(group, "cmbIECStopbits", kStopItems, "1", QRect(420, 44, 80, 21));

    AddLabel(group, QStringLiteral("ID di comunicazione"), QRect(12, 70, 140, 16));
    editCommIdent = AddEdit(group, "editCommIdent", QString(), QRect(12, 88, 196, 21));
    SetHint(editCommIdent, QStringLiteral("Identificativo di comunicazione"));
    AddLabel(group, QStringLiteral("Password"), QRect(220, 70, 96, 16));
    editPassword = AddEdit(group, "editPassword", QStringLiteral("KLOMB"), QRect(220, 88, 188, 21));
    editPassword->setEchoMode(QLineEdit::Password);
    SetHint(editPassword, QStringLiteral("Necessaria per la scrittura sul contatore"));

    auto* meter = new MeterPicture(this);
    meter->setGeometry(556, 4, 102, 118);

    auto* banner = new QLabel(QStringLiteral("Modifica delle impostazioni predefinite per il modulo Modbus/RTU"), this);
    banner->setObjectName(QStringLiteral("Panel1"));
    banner->setGeometry(8, 128, 650, 24);
    banner->setAlignment(Qt::AlignCenter);
    banner->setFrameStyle(QFrame::Panel | QFrame::Raised);
    QFont bold = banner->font();
    bold.setBold(true);
    banner->setFont(bold);
}

void PageConfig::CreateReadColumn()
{
    btnReadConfig = AddGlyphButton(this, "btnReadConfig", QStringLiteral("   1. Leggi"), ReadGlyph(),
                                   QRect(8, 162, 180, 36));
    btnReadConfig->setToolTip(QStringLiteral("Legge la configurazione attuale dal contatore"));
    memoLog1 = AddMemo(this, "memoLog1", QRect(8, 206, 180, 356));
}

void PageConfig::CreateModuleGroups()
{
    auto* module = new ModulePicture(this);
    module->setGeometry(222, 158, 220, 52);

    grpServerAddress = AddGroup(this, "grpServerAddress", QStringLiteral("Indirizzo server Modbus"),
                                QRect(196, 214, 272, 104));
    chkAutoAddress = new QCheckBox(QStringLiteral("Usa l'indirizzo automatico"), grpServerAddress);
    chkAutoAddress->setObjectName(QStringLiteral("chkAutoAddress"));
    chkAutoAddress->setGeometry(10, 28, 190, 20);
    editAutoAddress = AddEdit(grpServerAddress, "editAutoAddress", QString(), QRect(206, 27, 56, 21));
    editAutoAddress->setReadOnly(true);
    SetHint(editAutoAddress,
            QStringLiteral("Viene generato in automatico con le ultime 2 cifre della matricola e aggiungendo 100"));
    AddLabel(grpServerAddress, QStringLiteral("Indirizzo manuale"), QRect(10, 66, 150, 16));
    editServerAddress = AddEdit(grpServerAddress, "editServerAddress", QString(), QRect(206, 64, 56, 21));
    SetHint(editServerAddress, QStringLiteral("Indirizzo del contatore con protocollo MODBUS"));

    grpMBSerialConfig = AddGroup(this, "grpMBSerialConfig", QStringLiteral("Parametri di comunicazione RS485 "),
                                 QRect(196, 326, 272, 168));
    chkMBAutoConfig = new QCheckBox(QStringLiteral("Usa le impostazioni predefinite (9600 8N1)"), grpMBSerialConfig);
    chkMBAutoConfig->setObjectName(QStringLiteral("chkMBAutoConfig"));
    chkMBAutoConfig->setGeometry(10, 28, 256, 20);
    const int labelX = 10, comboX = 150, width = 112;
    AddLabel(grpMBSerialConfig, QStringLiteral("Bit per secondo"), QRect(labelX, 60, 130, 16));
    cmbMBBps = AddCombo(grpMBSerialConfig, "cmbMBBps", {"19200", "9600", "4800", "2400"}, "9600",
                        QRect(comboX, 58, width, 21));
    AddLabel(grpMBSerialConfig, QStringLiteral("Bit di dati"), QRect(labelX, 86, 130, 16));
    cmbMBDatabits = AddCombo(grpMBSerialConfig, "cmbMBDatabits", {"8"}, "8", QRect(comboX, 84, width, 21));
    AddLabel(grpMBSerialConfig, QStringLiteral("Parità"), QRect(labelX, 112, 130, 16));
    cmbMBParity = AddCombo(grpMBSerialConfig, "cmbMBParity", kParityItems, "Nessuna", QRect(comboX, 110, width, 21));
    AddLabel(grpMBSerialConfig, QStringLiteral("Bit di stop"), QRect(labelX, 138, 130, 16));
    cmbMBStopbits = AddCombo(grpMBSerialConfig, "cmbMBStopbits", kStopItems, "1", QRect(comboX, 136, width, 21));

    AddLabel(this, QStringLiteral("Matricola"), QRect(206, 508, 100, 16));
    AddLabel(this, QStringLiteral("contatore"), QRect(206, 524, 100, 16));
    editMeterIdent = AddEdit(this, "editMeterIdent", QString(), QRect(346, 511, 112, 21));
    editMeterIdent->setReadOnly(true);
    editMeterIdent->setEnabled(false);
    SetHint(editMeterIdent, QStringLiteral("Numero di serie del contatore"));
}

void PageConfig::CreateWriteColumn()
{
    btnWriteConfig = AddGlyphButton(this, "btnWriteConfig", QStringLiteral("2. Scrivi   "), WriteGlyph(),
                                    QRect(478, 162, 180, 36));
    // The glyph sits on the right of the caption: data leaves towards the meter.
    btnWriteConfig->setLayoutDirection(Qt::RightToLeft);
    SetHint(btnWriteConfig, QStringLiteral("Scrive la nuova configurazione nel contatore"));
    memoLog2 = AddMemo(this, "memoLog2", QRect(478, 206, 180, 356));
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
    int32_t serial = 0;
    const int remainder = TryStrToInt(editMeterIdent->text().toStdString(), serial) ? serial % 100 : 0;
    editAutoAddress->setText(QString::number(remainder + 100));
    editServerAddress->setEnabled(!chkAutoAddress->isChecked());
}

void PageConfig::chkMBAutoConfigClick()
{
    const bool manual = !chkMBAutoConfig->isChecked();
    for (QComboBox* combo : {cmbMBBps, cmbMBParity, cmbMBStopbits, cmbMBDatabits})
        combo->setEnabled(manual);
}

}  // namespace veltro::app
