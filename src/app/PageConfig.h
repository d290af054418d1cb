#pragma once
// The "Configurazione" page: IEC 62056-21 settings of the meter's optical port, the
// read and write buttons with their progress logs, and the Modbus address and RS485
// settings that a read fills in and a write sends to the meter.

#include <QWidget>

#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace veltro::link {
class TLinkSerial;
}

namespace veltro::app {

class UpDown;

class PageConfig : public QWidget {
public:
    explicit PageConfig(QWidget* parent = nullptr);

    void EnableWriteControls(bool enable);
    void QueryParamChange();
    void udIECComPortChangingEx(bool& allowChange, int newValue, int direction);
    void chkAutoAddressClick();
    void chkMBAutoConfigClick();

    void btnReadConfigClick();
    void btnWriteConfigClick();
    // The two runs; true only when every step the meter had to confirm was confirmed.
    bool ReadConfiguration(const std::string& commIdent);
    bool WriteConfiguration(const std::string& commIdent);
    // Fills the RS485 combo boxes from a "0.0.8" value such as "19200 8E2".
    bool ParseSerialSettings(const std::string& value);

    // IEC group
    QGroupBox* grpIECSerialConfig;
    QLineEdit* editIECComPort;
    UpDown* udIECComPort;
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
    void ConfigureLink(link::TLinkSerial& link) const;
};

}  // namespace veltro::app
