#include "app/PageMonitor.h"

#include "core/Formatting.h"
#include "app/Glyphs.h"
#include "core/Common.h"
#include "app/Guard.h"
#include "core/LostPort.h"
#include "core/ModuleRegisters.h"
#include "core/ModulePoller.h"
#include "core/ModuleValues.h"
#include "app/PolarFrame.h"
#include "app/PortField.h"
#include "core/PortHelp.h"
#include "modbus/FieldwireError.h"
#include "app/ScanRun.h"
#include "app/InputRules.h"
#include "app/LineCombos.h"
#include "app/LinkField.h"
#include "app/LogLines.h"
#include "app/MonitorRecording.h"
#include "app/MonitorTrend.h"
#include "app/TextFit.h"
#include "app/UpDown.h"
#include "app/Widgets.h"
#include "link/LinkClasses.h"
#include "phasor/PolarDiagram.h"
#include "trend/TrendChart.h"
#include "platform/DebugOutput.h"

#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <QTimeZone>

#include <numbers>
#include <vector>

namespace veltro::app {

using namespace core;

namespace {

constexpr int kLogLimit = 100;  // a line is dropped once more than this many are shown
constexpr int kRowHeight = 16;

QDateTime LocalTime(PollStatistics::Time t)
{
    return QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count());
}

std::string DateTimeText(PollStatistics::Time t)
{
    const QDateTime local = LocalTime(t);
    return FormatDateTime(local.date(), local.time()).toStdString();
}

std::string LongTimeText(PollStatistics::Time t)
{
    return FormatLongTime(LocalTime(t).time()).toStdString();
}

QString StampText(const MeterStamp& s)
{
    return FormatDateTime(QDate(s.date.year, s.date.month, s.date.day), QTime(s.time.hour, s.time.minute, s.time.second));
}

double Radians(double degrees)
{
    return degrees * std::numbers::pi / 180.0;
}

std::string ComboText(const QComboBox* combo)
{
    return combo->currentText().toStdString();
}

// A display-only grid whose first row is fixed (the column titles live in it). Its
// columns and rows are sized by FitGrid once the texts are known.
QTableWidget* AddGrid(QWidget* parent, const char* name, int columns, int rows)
{
    auto* grid = new QTableWidget(rows, columns, parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            auto* item = new QTableWidgetItem;
            if (r == 0)
                item->setBackground(parent->palette().button());
            grid->setItem(r, c, item);
        }
    // Display only: no focus, no selection, clicks pass through, text stays readable.
    grid->setFocusPolicy(Qt::NoFocus);
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    grid->setAttribute(Qt::WA_TransparentForMouseEvents);
    return grid;
}

// A label for a polled value, as wide as its widest text. Its size is fixed, so a new
// value repaints the label without laying out the page again at every poll.
QLabel* AddValueLabel(QWidget* parent, const char* name, const QString& widest)
{
    auto* value = new QLabel(QStringLiteral("..."), parent);
    value->setObjectName(QString::fromLatin1(name));
    value->setFixedSize(TextWidth(value, widest), value->sizeHint().height());
    return value;
}

// A caption and its value label.
QLabel* AddValue(QWidget* parent, QHBoxLayout* row, const char* name, const QString& caption, const QString& widest)
{
    row->addWidget(AddLabel(parent, caption));
    QLabel* value = AddValueLabel(parent, name, widest);
    row->addWidget(value);
    return value;
}

// A scroll area that asks for the room its page of values would fill, so the splitter
// gives the values their full height whenever the window has it and scrolls them only
// on a screen too low for everything.
class ValuesScroll : public QScrollArea {
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override
    {
        if (!widget())
            return QScrollArea::sizeHint();
        // A low window scrolls the values up and down: the bar it then needs must not take
        // their width too.
        const int frame = 2 * frameWidth();
        return widget()->sizeHint() + QSize(frame + verticalScrollBar()->sizeHint().width(), frame);
    }
};

}  // namespace

PageMonitor::PageMonitor(QWidget* parent)
    : QWidget(parent), FPoller(std::make_unique<ModulePoller>()), FStats(FPoller->Statistics())
{
    auto* layout = new QVBoxLayout(this);
    CreateModbusGroup(layout);
    // Below the settings, the values, the trend and the log share the height by a
    // splitter: on a low screen the values scroll rather than the window growing past it.
    splitMonitor = new QSplitter(Qt::Vertical, this);
    splitMonitor->setObjectName(QStringLiteral("splitMonitor"));
    splitMonitor->setChildrenCollapsible(false);
    layout->addWidget(splitMonitor, 1);
    CreateValues();
    CreateTrend();
    CreateLog();
    // A larger window gives most of its extra height to the values, so to the diagram.
    splitMonitor->setStretchFactor(0, 4);
    splitMonitor->setStretchFactor(1, 1);
    splitMonitor->setStretchFactor(2, 1);
    FDiagram = new phasor::TPolarDiagram(pnlPolar);
    FDiagram->setObjectName(QStringLiteral("FDiagram"));
    FDiagram->setGeometry(pnlPolar->rect());
    ShowStartStop(false);
    InitGrids();
    FitGrids();
    polarFrame_->SetPanel(pnlPolar, FDiagram);
    polarFrame_->SetPreferredSide(gridTotals->height());
    CreateModbus();
}

PageMonitor::~PageMonitor() = default;

void PageMonitor::CreateModbus()
{
    // The poll's connection, client and timer are the core poller's, as the command line's.
    Timer1 = &FPoller->Timer();
    Timer1->setObjectName(QStringLiteral("Timer1"));
    mbConn = &FPoller->Connection();
    mbConn->SetBaudRate(modbus::br9600);
    mbConn->SetParity(modbus::psNone);
    mbConn->SetPort("COM7");
    mbClient = &FPoller->Client();
    mbClient->SetServerAddress(121);
    FPoller->OnFrame = [this](const modbus::TFrameData& data, bool sent) {
        RunGuarded([&] { sent ? mbConnFrameSend(data) : mbConnFrameReceive(data); });
    };
    FPoller->OnReply = [this](const PollReply& reply) { RunGuarded([&] { ShowReply(reply); }); };
    FPoller->OnLog = [this](const QString& line) { AddLog(line); };
    // A gateway never reached ends polling with its reason; one reached and lost later is
    // tried again, as an adapter that went away.
    FPoller->OnUnreachable = [this](const QString& line) {
        RunGuarded([&] {
            AddLog(line);
            PollingEnded();
        });
    };

    connect(btnStartStop, &QPushButton::clicked, this, Guarded([this] { btnStartStopClick(); }));

    FLine.PortName = [this] { return "COM" + std::to_string(udComPort->Position()); };
    FLine.Link = [this] { return FLink->Link(); };
    FLine.OnChanged = [this] { btnScan->setEnabled(FLine.Free()); };
    FScan = std::make_unique<ScanRun>(*this);
    connect(btnScan, &QPushButton::clicked, this, Guarded([this] { FScan->Begin(); }));
}

void PageMonitor::ShowStartStop(bool running)
{
    btnStartStop->setText(running ? QStringLiteral("Arresta") : QStringLiteral("Avvia"));
    btnStartStop->setIcon(StartStopGlyph(running ? 1 : 0));
}

void PageMonitor::btnStartStopClick()
{
    if (FRunning)
        StopPolling();
    else
        StartPolling();
}

void PageMonitor::StartPolling()
{
    if (const QString refusal = FLine.Refusal(LineJob::Polling); !refusal.isEmpty())
        return ShowNotice(this, refusal);
    const std::optional<ModuleLink> link = FLink->Link();
    if (!link)
        return ShowNotice(this, FLink->Problem());
    // The angles are 6.28/3 and 12.56/3, as the module's own tools draw them.
    const double angles[3] = {0.0, 2.0933333333333333, 4.1866666666666665};
    for (int i = 0; i < 3; ++i) {
        const QString phase = QStringLiteral("L%1").arg(i + 1);
        FDiagram->SetVoltageArrow(i, phase, QStringLiteral("VL%1").arg(i + 1), 0.0, angles[i], 1, Qt::SolidLine);
    }
    for (int i = 0; i < 3; ++i) {
        const QString phase = QStringLiteral("L%1").arg(i + 1);
        FDiagram->SetCurrentArrow(i, phase, QStringLiteral("CL%1").arg(i + 1), 0.0, angles[i], 2, Qt::SolidLine);
    }
    ConfigureConnection();
    try {
        FPoller->Start();
    } catch (const modbus::EFieldwireError&) {
        // The library's own words say only that it failed; the technician needs to know why.
        ShowErrorBox(LinkOpenFailureText(*link, mbConn->Port(), mbConn->Line().LastError()));
        return;
    }
    grpModbus->setEnabled(false);
    chartTrend->Clear();
    FRecording->PollingStarted();
    FRunning = true;
    FLine.Take(LineJob::Polling, link->Tcp() ? link->Gateway : mbConn->Port());
    ShowStartStop(true);
}

void PageMonitor::ConfigureConnection()
{
    using namespace link;
    mbConn->SetPort("COM" + std::to_string(udComPort->Position()));
    ApplyLink(*mbConn, FLink->Link().value_or(ModuleLink{}));
    switch (StrToTableValue(LinkBaudNames, LinkBaudValues, ComboText(cmbMB2Bps))) {
    case 3: mbConn->SetBaudRate(modbus::br2400); break;
    case 4: mbConn->SetBaudRate(modbus::br4800); break;
    case 5: mbConn->SetBaudRate(modbus::br9600); break;
    case 6: mbConn->SetBaudRate(modbus::br19200); break;
    default: break;  // a rate the module does not offer keeps the previous one
    }
    const int parity = StrToTableValue(LinkParityNames, LinkParityValues, ComboText(cmbMB2Parity));
    mbConn->SetParity(parity == 1 ? modbus::psOdd : parity == 2 ? modbus::psEven : modbus::psNone);
    const int dataBits = StrToTableValue(LinkDataBitsNames, LinkDataBitsValues, ComboText(cmbMB2Databits));
    mbConn->SetDataBits(dataBits == 0 ? modbus::db7 : modbus::db8);
    const int stopBits = StrToTableValue(LinkStopBitsNames, LinkStopBitsValues, ComboText(cmbMB2Stopbits));
    mbConn->SetStopBits(stopBits == 1 ? modbus::sb2 : modbus::sb1);
    mbClient->SetServerAddress(static_cast<uint8_t>(udMBAddress->Position()));
}

void PageMonitor::UseModule(int address, const RtuSettings& settings)
{
    udMBAddress->SetPosition(address);
    cmbMB2Bps->setCurrentText(QString::number(settings.BitRate()));
    cmbMB2Databits->setCurrentText(QString::fromUtf8(settings.DataBitsName()));
    cmbMB2Parity->setCurrentText(QString::fromUtf8(settings.ParityName()));
    cmbMB2Stopbits->setCurrentText(QString::fromUtf8(settings.StopBitsName()));
}

ModbusSettings PageMonitor::Modbus() const
{
    return {udMBAddress->Position(), udComPort->Position(), ModbusCombos().Get(), FLink->Index(), FLink->GatewayText()};
}

void PageMonitor::ShowModbus(const ModbusSettings& settings)
{
    udMBAddress->SetPosition(settings.address);
    udComPort->SetPosition(settings.port);
    ModbusCombos().Set(settings.line);
    FLink->Show(settings.link, settings.gateway);
}

LineCombos PageMonitor::ModbusCombos() const
{
    return {cmbMB2Bps, cmbMB2Databits, cmbMB2Parity, cmbMB2Stopbits};
}

ScanChoices PageMonitor::LineChoices() const
{
    const auto items = [](const QComboBox* combo) {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        return texts;
    };
    return {items(cmbMB2Bps), items(cmbMB2Parity), items(cmbMB2Stopbits)};
}

void PageMonitor::RefreshPortLabel()
{
    ComPortField->Refresh();
}

void PageMonitor::StopIfPolling()
{
    if (FRunning)
        btnStartStop->click();
}

QStringList PageMonitor::CommunicationLog() const
{
    QStringList lines;
    for (int i = 0; i < listLog->count(); ++i)
        lines << listLog->item(i)->text();
    return lines;
}

QList<CsvRow> PageMonitor::ValuesOnScreen() const
{
    // "..." stands on the page for a value no poll has brought yet.
    const auto shown = [](const QLabel* label) {
        return label->text() == QStringLiteral("...") ? QString() : label->text();
    };
    const auto addGrid = [](QList<CsvRow>& rows, const QTableWidget* grid) {
        for (int r = 0; r < grid->rowCount(); ++r) {
            CsvRow row;
            for (int c = 0; c < grid->columnCount(); ++c)
                row << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
            rows << row;
        }
    };
    QList<CsvRow> rows;
    rows << CsvRow{QStringLiteral("Matricola"), shown(lblMatricola)};
    rows << CsvRow{QStringLiteral("Data/ora"), shown(lblDateTime)};
    rows << CsvRow{};
    addGrid(rows, gridTotals);
    rows << CsvRow{};
    rows << CsvRow{QStringLiteral("Cos phi"), shown(lblCosPhi)};
    rows << CsvRow{QStringLiteral("Potenza attiva"), shown(lblPowerA)};
    rows << CsvRow{QStringLiteral("Potenza reattiva"), shown(lblPowerQ)};
    rows << CsvRow{QStringLiteral("Potenza apparente"), shown(lblPowerS)};
    rows << CsvRow{};
    addGrid(rows, gridProfiles);
    return rows;
}

void PageMonitor::StopPolling()
{
    FPoller->Stop();
    PollingEnded();
}

// Polling has stopped (by "Arresta", or because its gateway could not be reached).
void PageMonitor::PollingEnded()
{
    FRecording->PollingStopped();
    grpModbus->setEnabled(true);
    FRunning = false;
    FLine.Release(LineJob::Polling);
    ShowStartStop(false);
}

// The poller raises each reply it gets; a window may hand one over itself.
void PageMonitor::mbClientHoldingRegistersRead(modbus::TTransactionInfo& Info, uint16_t StartReg, uint16_t,
                                               const modbus::TRegValues& RegValues)
{
    FPoller->Replied(Info, StartReg, RegValues);
}

void PageMonitor::ShowReply(const PollReply& reply)
{
    if (reply.back)
        AddLog(*reply.back);
    if (reply.log)
        AddLog(*reply.log);
    if (reply.values.meter)
        ShowMeter(*reply.values.meter);
    if (reply.values.phases)
        ShowPhases(*reply.values.phases);
    if (reply.values.profiles)
        ShowProfiles(*reply.values.profiles);
    if (reply.cycle) {
        chartTrend->AddCycle(TrendCycleOf(*reply.cycle, std::chrono::system_clock::now()));
        FRecording->Cycle(reply);
    }
    if (pnlDebug->isVisible())
        listLogDblClick();
}

void PageMonitor::ShowMeter(const MeterReadings& v)
{
    lblMatricola->setText(QString::number(v.serialNumber));
    if (v.clock)
        lblDateTime->setText(StampText(*v.clock));
    for (size_t i = 0; i < kTotalCount; ++i)
        gridTotals->item(static_cast<int>(i) + 1, 1)->setText(FormatGeneral(v.totals[i]));
    lblCosPhi->setText(FormatFixed(v.cosPhi, 3));
    FDiagram->SetFrequency(v.frequency);
    lblPowerA->setText(FormatFixed(v.activePower, 3));
    lblPowerQ->setText(FormatFixed(v.reactivePower, 3));
    lblPowerS->setText(FormatFixed(v.apparentPower, 3));
}

void PageMonitor::ShowPhases(const PhaseReadings& v)
{
    for (int i = 0; i < 3; ++i) {
        const auto p = static_cast<size_t>(i);
        FDiagram->SetCurrent(i, v.currents[p], Radians(v.currentAngles[p]));
    }
    for (int i = 0; i < 3; ++i) {
        const auto p = static_cast<size_t>(i);
        FDiagram->SetVoltage(i, v.voltages[p], Radians(v.voltageAngles[p]));
    }
    for (int i = 0; i < 3; ++i) {
        const auto p = static_cast<size_t>(i);
        gridTotals->item(11 + i, 1)->setText(FormatFixed(v.currents[p], 3));
        gridTotals->item(14 + i, 1)->setText(FormatFixed(v.voltages[p], 1));
    }
}

void PageMonitor::ShowProfiles(const ProfileReadings& v)
{
    for (int record = 0; record < 2; ++record) {
        const ProfileRecord& r = v.records[static_cast<size_t>(record)];
        const int row = record + 1;
        gridProfiles->item(row, 0)->setText(r.stamp ? StampText(*r.stamp) : QString());
        gridProfiles->item(row, 1)->setText(r.stamp ? QStringLiteral("P.0%1").arg(record + 1) : QString());
        for (size_t ch = 0; ch < kProfileChannels; ++ch)
            gridProfiles->item(row, static_cast<int>(ch) + 2)->setText(r.stamp ? FormatGeneral(r.channels[ch]) : QString());
    }
}

void PageMonitor::mbConnFrameSend(const modbus::TFrameData& Data)
{
    AddLog(QStringLiteral("Send: ") + QString::fromStdString(BytesToHex(Data)));
}

void PageMonitor::mbConnFrameReceive(const modbus::TFrameData& Data)
{
    AddLog(QStringLiteral("Recv: ") + QString::fromStdString(BytesToHex(Data)));
}

void PageMonitor::InitGrids()
{
    gridTotals->item(0, 0)->setText(QStringLiteral("Registro"));
    gridTotals->item(0, 1)->setText(QStringLiteral("Valore"));
    gridTotals->item(0, 2)->setText(QStringLiteral("Descrizione"));
    for (int row = 1; row <= 16; ++row) {
        const ValueName& name = kTotalNames[static_cast<size_t>(row - 1)];
        gridTotals->item(row, 0)->setText(QString::fromUtf8(name.code));
        gridTotals->item(row, 2)->setText(QString::fromUtf8(name.description));
    }
    gridProfiles->item(0, 0)->setText(QStringLiteral("Data"));
    gridProfiles->item(0, 1)->setText(QStringLiteral("Profilo"));
    for (int channel = 1; channel <= 6; ++channel)
        gridProfiles->item(0, channel + 1)->setText(QStringLiteral("Canale %1").arg(channel));
}

void PageMonitor::FitGrids()
{
    const QFontMetrics metrics = fontMetrics();
    // Energies are shown with up to 15 significant digits (a total carries a sign); the
    // profiles' dates in the locale's longest form.
    FitGrid(gridTotals, {47, 64, 187}, {QString(), WidestNumber(metrics, 9, 6, true), QString()}, kRowHeight);
    std::vector<QString> profile(8, WidestNumber(metrics, 9, 6));
    profile[0] = WidestDateTime(metrics);
    profile[1] = QString();
    FitGrid(gridProfiles, {126, 64, 64, 64, 64, 64, 64, 64}, profile, kRowHeight);
}

void PageMonitor::listLogDblClick()
{
    pnlDebug->show();
    memoDebug->clear();
    for (const QString& line : StatisticsLines())
        memoDebug->appendPlainText(line);
}

QStringList PageMonitor::StatisticsLines() const
{
    QStringList lines;
    for (const std::string& line : FStats.Lines(DateTimeText, LongTimeText))
        lines << QString::fromStdString(line);
    return lines;
}

void PageMonitor::memoDebugDblClick()
{
    pnlDebug->hide();
}

void PageMonitor::Button1Click()
{
    FStats.Reset();
}

void PageMonitor::CreateModbusGroup(QVBoxLayout* page)
{
    auto* top = new QHBoxLayout;
    page->addLayout(top);
    grpModbus = AddGroup(this, "grpModbus", QStringLiteral("Parametri Modbus/RTU "));
    top->addWidget(grpModbus);
    // Three columns of label and field, two rows.
    auto* grid = new QGridLayout(grpModbus);
    grid->setHorizontalSpacing(10);
    auto label = [&](const char* text, int c, int r) {
        grid->addWidget(AddLabel(grpModbus, QString::fromUtf8(text)), r, 2 * c);
    };
    label("Indirizzo server", 0, 0);
    editMBAddress = AddEdit(grpModbus, "editMBAddress", QStringLiteral("100"));
    udMBAddress = new UpDown(editMBAddress, 1, 247, 100, grpModbus);
    udMBAddress->setObjectName(QStringLiteral("udMBAddress"));
    grid->addLayout(NumberField(editMBAddress, udMBAddress), 0, 1);
    label("Porta seriale", 1, 0);
    editComPort = AddEdit(grpModbus, "editComPort", QStringLiteral("1"));
    udComPort = new UpDown(editComPort, 1, 200, 1, grpModbus);
    udComPort->setObjectName(QStringLiteral("udComPort"));
    ComPortField = new PortField(editComPort, udComPort, grpModbus, "lblComPortDevice", "btnComPortList");
    lblComPortDevice = ComPortField->Label();
    btnComPortList = ComPortField->Picker();
    grid->addLayout(ComPortField->NumberLayout(), 0, 3);
    label("Bit per secondo", 2, 0);
    cmbMB2Bps = AddCombo(grpModbus, "cmbMB2Bps", {"19200", "9600", "4800", "2400"}, "9600");
    grid->addWidget(cmbMB2Bps, 0, 5);
    label("Bit di dati", 0, 1);
    cmbMB2Databits = AddCombo(grpModbus, "cmbMB2Databits", {"8"}, "8");
    grid->addWidget(cmbMB2Databits, 1, 1);
    label("Parità", 1, 1);
    cmbMB2Parity = AddCombo(grpModbus, "cmbMB2Parity", {"Nessuna", "Pari", "Dispari"}, "Nessuna");
    grid->addWidget(cmbMB2Parity, 1, 3);
    label("Bit di stop", 2, 1);
    cmbMB2Stopbits = AddCombo(grpModbus, "cmbMB2Stopbits", {"1", "2"}, "1");
    grid->addWidget(cmbMB2Stopbits, 1, 5);
    // What the port number stands for, under the port's column to the group's edge; for
    // a gateway, the gateway and its framing in the same place.
    grid->addWidget(lblComPortDevice, 2, 2, 1, 4);
    FLink = std::make_unique<LinkField>(grpModbus);
    cmbLink = FLink->Choice();
    editGateway = FLink->Gateway();
    lblGatewayInUse = FLink->InUse();
    grid->addWidget(lblGatewayInUse, 2, 2, 1, 4);
    label("Collegamento", 0, 3);
    auto* linkRow = new QHBoxLayout;
    linkRow->addWidget(cmbLink);
    linkRow->addSpacing(6);
    linkRow->addWidget(AddLabel(grpModbus, QStringLiteral("Gateway")));
    linkRow->addWidget(editGateway, 1);
    grid->addLayout(linkRow, 3, 1, 1, 5);
    FLink->OnChanged = [this] { ShowLinkChoice(); };
    ShowLinkChoice();
    btnScan = new QPushButton(QStringLiteral("Cerca modulo"), grpModbus);
    btnScan->setObjectName(QStringLiteral("btnScan"));
    btnScan->setToolTip(QStringLiteral("Cerca il modulo sulla porta seriale: indirizzo e impostazioni di linea"));
    grid->addWidget(btnScan, 2, 0, 1, 2);

    DigitsKeyPress(editMBAddress);
    DigitsKeyPress(editComPort);
    OnExit(editMBAddress, [this] { ValidateRange(editMBAddress, *udMBAddress); });
    OnExit(editComPort, [this] { ValidateRange(editComPort, *udComPort); });

    btnStartStop = new QPushButton(StartStopGlyph(0), QStringLiteral("Avvia"), this);
    btnStartStop->setObjectName(QStringLiteral("btnStartStop"));
    btnStartStop->setIconSize(QSize(22, 22));
    // A large button: the width of the wider caption with room to spare, the group's height.
    const int captions = std::max(TextWidth(btnStartStop, QStringLiteral("Arresta")),
                                  TextWidth(btnStartStop, QStringLiteral("Avvia")));
    btnStartStop->setMinimumSize(std::max(96, captions + 22 + 40), 72);
    btnStartStop->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    top->addWidget(btnStartStop);

    auto* meter = new QVBoxLayout;
    meter->setSpacing(0);
    top->addLayout(meter);
    meter->addWidget(AddLabel(this, QStringLiteral("Matricola:")));
    lblMatricola = AddValueLabel(this, "lblMatricola", WidestNumber(fontMetrics(), 10, 0));
    meter->addWidget(lblMatricola);
    meter->addSpacing(4);
    meter->addWidget(AddLabel(this, QStringLiteral("Data/ora:")));
    lblDateTime = AddValueLabel(this, "lblDateTime", WidestDateTime(fontMetrics()));
    meter->addWidget(lblDateTime);
    meter->addStretch(1);
    top->addStretch(1);
}

// The serial port and its line settings mean nothing through a gateway: they step aside.
void PageMonitor::ShowLinkChoice()
{
    const bool serial = !FLink->Tcp();
    for (QWidget* w : std::initializer_list<QWidget*>{editComPort, udComPort, btnComPortList, cmbMB2Bps,
                                                      cmbMB2Databits, cmbMB2Parity, cmbMB2Stopbits})
        w->setEnabled(serial);
    lblComPortDevice->setVisible(serial);
}

void PageMonitor::CreateValues()
{
    pnlValues = new QWidget;
    pnlValues->setObjectName(QStringLiteral("pnlValues"));
    auto* page = new QVBoxLayout(pnlValues);
    page->setContentsMargins(0, 0, 0, 0);
    scrollValues = new ValuesScroll(splitMonitor);
    scrollValues->setObjectName(QStringLiteral("scrollValues"));
    scrollValues->setFrameShape(QFrame::NoFrame);
    scrollValues->setWidgetResizable(true);
    scrollValues->setWidget(pnlValues);
    splitMonitor->addWidget(scrollValues);
    // The diagram beside the totals grid. A larger window gives most of its extra height
    // to the diagram, the rest to the trend and the log.
    auto* middle = new QHBoxLayout;
    page->addLayout(middle, 3);
    polarFrame_ = new PolarFrame(this);
    middle->addWidget(polarFrame_, 1);
    pnlPolar = new QWidget(polarFrame_);
    pnlPolar->setObjectName(QStringLiteral("pnlPolar"));
    gridTotals = AddGrid(this, "gridTotals", 3, 17);
    middle->addWidget(gridTotals, 0, Qt::AlignTop);

    auto* values = new QHBoxLayout;
    values->setSpacing(4);
    page->addLayout(values);
    const QFontMetrics metrics = fontMetrics();
    // Powers as a single carries them: signed, up to seven digits before the decimals, in
    // exponent notation beyond.
    const QString power = WidestText(metrics, {WidestNumber(metrics, 7, 3, true), QLatin1Char('-') +
                                               WidestNumber(metrics, 1, 6) + QStringLiteral("E+") +
                                               WidestNumber(metrics, 2, 0)});
    lblCosPhi = AddValue(this, values, "lblCosPhi", QStringLiteral("Cos phi:"), WidestNumber(metrics, 1, 3, true));
    values->addSpacing(16);
    lblPowerA = AddValue(this, values, "lblPowerA", QStringLiteral("Potenza attiva: "), power);
    values->addSpacing(16);
    lblPowerQ = AddValue(this, values, "lblPowerQ", QStringLiteral("Potenza reattiva: "), power);
    values->addSpacing(16);
    lblPowerS = AddValue(this, values, "lblPowerS", QStringLiteral("Potenza apparente: "), power);
    values->addStretch(1);

    gridProfiles = AddGrid(this, "gridProfiles", 8, 3);
    page->addWidget(gridProfiles, 0, Qt::AlignLeft);
}

void PageMonitor::CreateTrend()
{
    auto* pane = new QWidget(splitMonitor);
    pane->setObjectName(QStringLiteral("pnlTrend"));
    splitMonitor->addWidget(pane);
    auto* column = new QVBoxLayout(pane);
    column->setContentsMargins(0, 0, 0, 0);
    FRecording = std::make_unique<MonitorRecording>(pane);
    btnRecord = FRecording->Button();
    lblRecord = FRecording->Status();
    FRecording->SerialNumber = [this] {
        return lblMatricola->text() == QStringLiteral("...") ? QString() : lblMatricola->text();
    };
    FRecording->OnLog = [this](const QString& line) { AddLog(line); };
    auto* row = new QHBoxLayout;
    row->addWidget(btnRecord);
    row->addWidget(lblRecord, 1);
    column->addLayout(row);
    chartTrend = new trend::TrendChart(pane);
    column->addWidget(chartTrend, 1);
}

void PageMonitor::CreateLog()
{
    // The statistics panel covers the log when it is shown: both share one cell.
    auto* pane = new QWidget(splitMonitor);
    pane->setObjectName(QStringLiteral("pnlLog"));
    splitMonitor->addWidget(pane);
    auto* cell = new QGridLayout(pane);
    cell->setContentsMargins(0, 0, 0, 0);
    auto* group = AddGroup(pane, "GroupBox1", QStringLiteral("Comunicazione"));
    cell->addWidget(group, 0, 0);
    listLog = new QListWidget(group);
    listLog->setObjectName(QStringLiteral("listLog"));
    listLog->setFrameShape(QFrame::NoFrame);
    FLogLines = new LogLines(listLog, kLogLimit);
    // Six lines unless the window is made taller: every new line repaints the lines in
    // view, and long frames make that the main cost of polling.
    listLog->setMinimumHeight(6 * listLog->fontMetrics().lineSpacing());
    listLog->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    (new QVBoxLayout(group))->addWidget(listLog);

    pnlDebug = new QWidget(pane);
    pnlDebug->setObjectName(QStringLiteral("pnlDebug"));
    cell->addWidget(pnlDebug, 0, 0);
    auto* debug = new QHBoxLayout(pnlDebug);
    debug->setContentsMargins(0, 0, 0, 0);
    memoDebug = new QPlainTextEdit(pnlDebug);
    memoDebug->setObjectName(QStringLiteral("memoDebug"));
    debug->addWidget(memoDebug, 1);
    Button1 = new QPushButton(QStringLiteral("Reset"), pnlDebug);
    Button1->setObjectName(QStringLiteral("Button1"));
    debug->addWidget(Button1, 0, Qt::AlignTop);
    pnlDebug->hide();

    // A double-click anywhere on the log, on a line or below the last one.
    listLog->viewport()->installEventFilter(this);
    memoDebug->viewport()->installEventFilter(this);
    connect(Button1, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
}

bool PageMonitor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == memoDebug->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        RunGuarded([this] { memoDebugDblClick(); });
        return true;
    }
    if (watched == listLog->viewport() && event->type() == QEvent::MouseButtonDblClick)
        RunGuarded([this] { listLogDblClick(); });
    return QWidget::eventFilter(watched, event);
}

void PageMonitor::AddLog(const QString& msg)
{
    const QString line = FormatLongTime(QTime::currentTime()) + QLatin1Char(' ') + msg;
    platform::DebugOutput(line.toStdString());
    FLogLines->Append(line);
}

}  // namespace veltro::app
