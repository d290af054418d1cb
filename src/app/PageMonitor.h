#pragma once
// The "Controllo" page: the Modbus/RTU settings of the module, the start/stop button,
// the phasor diagram, the grids of totals and load-profile records, the power values
// and the communication log.

#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace veltro::app {

class UpDown;

class PageMonitor : public QWidget {
public:
    explicit PageMonitor(QWidget* parent = nullptr);

    // One line in the communication log: local long time, a blank, the message. The
    // log keeps the newest 101 lines; each line also goes to the debugger output.
    void AddLog(const QString& msg);

    bool FRunning = false;  // polling started

    QGroupBox* grpModbus;
    QLineEdit* editMBAddress;
    UpDown* udMBAddress;
    QLineEdit* editComPort;
    UpDown* udComPort;
    QComboBox* cmbMB2Bps;
    QComboBox* cmbMB2Databits;
    QComboBox* cmbMB2Parity;
    QComboBox* cmbMB2Stopbits;
    QPushButton* btnStartStop;
    QLabel* lblMatricola;
    QLabel* lblDateTime;
    QWidget* pnlPolar;
    QTableWidget* gridTotals;
    QLabel* lblCosPhi;
    QLabel* lblPowerA;
    QLabel* lblPowerQ;
    QLabel* lblPowerS;
    QTableWidget* gridProfiles;
    QListWidget* listLog;
    QWidget* pnlDebug;
    QPlainTextEdit* memoDebug;
    QPushButton* Button1;

private:
    void CreateModbusGroup();
    void CreateValues();
    void CreateLog();
};

}  // namespace veltro::app
