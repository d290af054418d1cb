#pragma once
// The "Controllo" page: the Modbus/RTU settings of the module, the start/stop button,
// the phasor diagram, the grids of totals and load-profile records, the power values
// and the communication log.

#include "app/LineUse.h"
#include "core/Exports.h"
#include "core/ModulePoller.h"
#include "core/SettingsStore.h"
#include "app/ScanDialogs.h"

#include "modbus/ModbusClient.h"
#include "modbus/ModbusConnection.h"

#include "core/RtuSettings.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSplitter;
class QTableWidget;
class QTimer;
class QToolButton;
class QVBoxLayout;

namespace veltro::phasor {
class TPolarDiagram;
}
namespace veltro::trend {
class TrendChart;
}

namespace veltro::app {

using namespace core;

class DeviceLabel;
struct LineCombos;
class LinkField;
class LogLines;
class MonitorRecording;
class PolarFrame;
class PortField;
class ScanRun;
class UpDown;

class PageMonitor : public QWidget {
public:
    explicit PageMonitor(QWidget* parent = nullptr);
    ~PageMonitor() override;

    // One line in the communication log: local long time, a blank, the message. The
    // log keeps the newest 101 lines; each line also goes to the debugger output.
    void AddLog(const QString& msg);
    // Fills the address and the RS485 settings to poll: a module found or just proven.
    void UseModule(int address, const RtuSettings& settings);
    // The address, port and line settings to poll, and putting them back (at start).
    ModbusSettings Modbus() const;
    void ShowModbus(const ModbusSettings& settings);
    // What the line-settings lists offer, for the module search to choose from.
    ScanChoices LineChoices() const;
    // The line under the port field looks again (adapters came or went).
    void RefreshPortLabel();
    // Polling stops if it runs (the window closes).
    void StopIfPolling();
    // The communication log's lines, and the values on screen as rows for a CSV file
    // (texts as the page shows them; a value not read yet is empty).
    QStringList CommunicationLog() const;
    QList<CsvRow> ValuesOnScreen() const;

    // Polling: start/stop, the outcome of each request, the frames.
    void btnStartStopClick();
    void mbClientHoldingRegistersRead(modbus::TTransactionInfo& Info, uint16_t StartReg, uint16_t RegCount,
                                      const modbus::TRegValues& RegValues);
    void mbConnFrameSend(const modbus::TFrameData& Data);
    void mbConnFrameReceive(const modbus::TFrameData& Data);

    // Fixed texts of both grids.
    void InitGrids();
    // The statistics panel: shown and filled on a double-click on the log, hidden by a
    // double-click on itself; "Reset" zeroes every counter and time.
    void listLogDblClick();
    // The statistics panel's lines as they stand now.
    QStringList StatisticsLines() const;
    void memoDebugDblClick();
    void Button1Click();

    bool FRunning = false;  // polling started
    // The poll: its connection, client and timer, which block next, what each reply means,
    // an adapter that went away.
    std::unique_ptr<ModulePoller> FPoller;
    PollStatistics& FStats;
    LineUse FLine;          // polling, the module search or a configuration check holds the port
    std::unique_ptr<ScanRun> FScan;  // "Cerca modulo"
    phasor::TPolarDiagram* FDiagram;
    QTimer* Timer1;
    modbus::TModbusConnection* mbConn;
    modbus::TModbusClient* mbClient;

    QGroupBox* grpModbus;
    QLineEdit* editMBAddress;
    UpDown* udMBAddress;
    QLineEdit* editComPort;
    UpDown* udComPort;
    PortField* ComPortField;
    DeviceLabel* lblComPortDevice;
    QToolButton* btnComPortList;
    QComboBox* cmbMB2Bps;
    QComboBox* cmbMB2Databits;
    QComboBox* cmbMB2Parity;
    QComboBox* cmbMB2Stopbits;
    std::unique_ptr<LinkField> FLink;  // RS485 port or gateway
    QComboBox* cmbLink;
    QLineEdit* editGateway;
    DeviceLabel* lblGatewayInUse;
    QPushButton* btnStartStop;
    QPushButton* btnScan;
    QLabel* lblMatricola;
    QLabel* lblDateTime;
    QWidget* pnlPolar;
    QTableWidget* gridTotals;
    QLabel* lblCosPhi;
    QLabel* lblPowerA;
    QLabel* lblPowerQ;
    QLabel* lblPowerS;
    QTableWidget* gridProfiles;
    QSplitter* splitMonitor;   // values, trend and log share the height
    QScrollArea* scrollValues;
    QWidget* pnlValues;
    QPushButton* btnRecord;    // "Registra"
    QLabel* lblRecord;         // where the recording goes and how many rows it has
    std::unique_ptr<MonitorRecording> FRecording;
    trend::TrendChart* chartTrend;
    QListWidget* listLog;
    LogLines* FLogLines;  // the log's line limit and paced painting
    QWidget* pnlDebug;
    QPlainTextEdit* memoDebug;
    QPushButton* Button1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateModbusGroup(QVBoxLayout* page);
    void CreateValues();
    void CreateTrend();
    void CreateLog();
    void FitGrids();
    void CreateModbus();
    void StartPolling();
    void StopPolling();
    void ConfigureConnection();
    void ShowReply(const PollReply& reply);
    void ShowMeter(const MeterReadings& values);
    void ShowPhases(const PhaseReadings& values);
    void ShowProfiles(const ProfileReadings& values);
    void ShowStartStop(bool running);
    void ShowLinkChoice();
    void PollingEnded();
    LineCombos ModbusCombos() const;

    PolarFrame* polarFrame_ = nullptr;
};

}  // namespace veltro::app
