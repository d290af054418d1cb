#pragma once
// The "Configurazione" page: IEC 62056-21 settings of the meter's optical port, the
// read and write buttons with their progress logs, and the Modbus address and RS485
// settings that a read fills in and a write sends to the meter.

#include "core/ConfigRun.h"
#include "core/RtuSettings.h"

#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace veltro::link {
class TLinkSerial;
}

namespace veltro::app {

using namespace core;

class DeviceLabel;
struct LineCombos;
class LineUse;
class PortField;
class UpDown;
class VerifyRun;

class PageConfig : public QWidget {
public:
    explicit PageConfig(QWidget* parent = nullptr);
    ~PageConfig() override;

    // Raised once every read or write run has ended, however it ended, with the page
    // showing its result.
    std::function<void(const ConfigRunResult&)> OnRunFinished;
    // True from the start of a read, write or check run to its end.
    bool RunInProgress() const;
    // The RS485 port of the "Controllo" page, which "3. Verifica" checks the module on.
    void SetRs485Line(LineUse* line);
    // The optical port, its line settings and the communication identifier.
    IecSettings Iec() const;
    // Puts settings back (at start): not an edit, so the write controls keep their state.
    void ShowIec(const IecSettings& settings);
    // The line under the port field looks again (adapters came or went).
    void RefreshPortLabel();
    // The meter serial number the last read found.
    QString MeterSerial() const;
    // The log of the read run or of the write run (where "3. Verifica" writes too).
    QStringList RunLog(bool write) const;
    void AppendRunLog(bool write, const QString& line);
    // Raised by "Usa in Controllo" with the address and settings the last check proved.
    std::function<void(int address, const RtuSettings& settings)> OnUseModule;

    void EnableWriteControls(bool enable);
    void QueryParamChange();
    void udIECComPortChangingEx(bool& allowChange, int newValue, int direction);
    void chkAutoAddressClick();
    void chkMBAutoConfigClick();

    void btnReadConfigClick();
    void btnWriteConfigClick();
    void btnUseVerifiedClick();
    // The two runs; true only when every step the meter had to confirm was confirmed.
    bool ReadConfiguration(const std::string& commIdent);
    bool WriteConfiguration(const std::string& commIdent);
    // Fills the RS485 combo boxes from a "0.0.8" value such as "19200 8E2".
    bool ParseSerialSettings(const std::string& value);

    // IEC group
    QGroupBox* grpIECSerialConfig;
    QLineEdit* editIECComPort;
    UpDown* udIECComPort;
    PortField* IECPortField;
    DeviceLabel* lblIECComPortDevice;
    QToolButton* btnIECComPortList;
    QComboBox* cmbIECBps;
    QComboBox* cmbIECParity;
    QComboBox* cmbIECDatabits;
    QComboBox* cmbIECStopbits;
    QLineEdit* editCommIdent;
    QLineEdit* editPassword;
    // read column
    QPushButton* btnReadConfig;
    QPlainTextEdit* memoLog1;
    // values of the module
    QGroupBox* grpServerAddress;
    QCheckBox* chkAutoAddress;
    QLineEdit* editAutoAddress;
    QLineEdit* editServerAddress;
    QGroupBox* grpMBSerialConfig;
    QCheckBox* chkMBAutoConfig;
    QComboBox* cmbMBBps;
    QComboBox* cmbMBDatabits;
    QComboBox* cmbMBParity;
    QComboBox* cmbMBStopbits;
    QLineEdit* editMeterIdent;
    // write column
    QPushButton* btnWriteConfig;
    QPlainTextEdit* memoLog2;
    QPushButton* btnVerifyConfig;
    QPushButton* btnUseVerified;
    std::unique_ptr<VerifyRun> FVerify;

private:
    void CreateIecGroup(QVBoxLayout* page);
    void CreateReadColumn(QHBoxLayout* columns);
    void CreateModuleGroups(QHBoxLayout* columns);
    void CreateWriteColumn(QHBoxLayout* columns);
    void ConnectHandlers();
    void SetRunControlsEnabled(bool enable, bool includeWriteGroups);
    void ShowServerAddress(const std::string& value);
    void ShowSerialSettings(const std::string& value);
    std::string SerialSettingsToWrite() const;
    void ShowValue(const std::string& code, const std::string& value);
    ConfigToWrite ValuesToWrite() const;
    // One run through the optical head with the page's settings, its steps in memo.
    bool RunConfig(QPlainTextEdit* memo, const std::function<bool(ConfigRun&)>& run);
    void StartRun(bool write);
    void FinishRun(bool success, std::string error = {});
    void ShowVerifyBusy(bool busy);
    LineCombos IecCombos() const;

    ConfigRunResult run_;
    bool running_ = false;
    bool writeEnabledBeforeVerify_ = false;
};

}  // namespace veltro::app
