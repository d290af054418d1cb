#include "app/WindowSettings.h"

#include "app/FormMain.h"
#include "app/PageConfig.h"
#include "app/PageControl.h"
#include "app/PageMonitor.h"
#include "app/PortField.h"
#include "app/UpDown.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include <array>

namespace veltro::app {

namespace {

struct LineCombos {
    QComboBox* bps;
    QComboBox* dataBits;
    QComboBox* parity;
    QComboBox* stopBits;

    LineSettings Get() const
    {
        return {bps->currentText().toInt(), dataBits->currentText().toInt(), parity->currentText(),
                stopBits->currentText().toInt()};
    }
    void Set(const LineSettings& line) const
    {
        const auto select = [](QComboBox* combo, const QString& text) {
            if (const int i = combo->findText(text); i >= 0)
                combo->setCurrentIndex(i);
        };
        select(bps, QString::number(line.baud));
        select(dataBits, QString::number(line.dataBits));
        select(parity, line.parity);
        select(stopBits, QString::number(line.stopBits));
    }
};

LineCombos IecCombos(const PageConfig& page)
{
    return {page.cmbIECBps, page.cmbIECDatabits, page.cmbIECParity, page.cmbIECStopbits};
}

LineCombos ModbusCombos(const PageMonitor& page)
{
    return {page.cmbMB2Bps, page.cmbMB2Databits, page.cmbMB2Parity, page.cmbMB2Stopbits};
}

}  // namespace

IecSettings IecSettingsOf(const PageConfig& page)
{
    return {page.udIECComPort->Position(), IecCombos(page).Get(), page.editCommIdent->text()};
}

SavedSettings SettingsOf(const TfrmMain& window)
{
    const PageMonitor& monitor = *window.tabTest();
    SavedSettings s;
    s.iec = IecSettingsOf(*window.tabConfig());
    s.modbus = {monitor.udMBAddress->Position(), monitor.udComPort->Position(), ModbusCombos(monitor).Get()};
    s.page = window.pageControl()->currentIndex();
    return s;
}

void ApplySettings(TfrmMain& window, const SavedSettings& s)
{
    PageConfig& config = *window.tabConfig();
    {
        const LineCombos combos = IecCombos(config);
        const std::array<QSignalBlocker, 6> quiet = {
            QSignalBlocker(config.editIECComPort), QSignalBlocker(config.editCommIdent),
            QSignalBlocker(combos.bps),            QSignalBlocker(combos.dataBits),
            QSignalBlocker(combos.parity),         QSignalBlocker(combos.stopBits)};
        // The up-down position moves with the text, so a range check puts back the
        // restored port, not the default.
        config.udIECComPort->SetPosition(s.iec.port);
        combos.Set(s.iec.line);
        config.editCommIdent->setText(s.iec.commIdent);
    }
    config.IECPortField->Refresh();  // its own signal was held back with the others

    PageMonitor& monitor = *window.tabTest();
    monitor.udMBAddress->SetPosition(s.modbus.address);
    monitor.udComPort->SetPosition(s.modbus.port);
    ModbusCombos(monitor).Set(s.modbus.line);
    // The page last shown; never while polling, which cannot run yet at start.
    if (!monitor.FRunning)
        window.pageControl()->setCurrentIndex(s.page);
}

}  // namespace veltro::app
