#pragma once
// The configuration page against the simulated meter on a pseudo-terminal, through the
// real serial link and IEC client.
#include "app/PageConfig.h"
#include "gui/ModalBox.h"
#include "simulator/Simulator.h"
#include "support/PtyPair.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace veltro::test {

class ConfigRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim.State().SetSerialNumber("12345678");
        sim.State().SetCommIdent("12345678");
        sim.Start();
        page.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
        page.editCommIdent->setText(QStringLiteral("12345678"));
    }

    QStringList Log(const QPlainTextEdit* memo) const { return memo->toPlainText().split(QLatin1Char('\n')); }
    void Read() { QTest::mouseClick(page.btnReadConfig, Qt::LeftButton); }
    void Write() { QTest::mouseClick(page.btnWriteConfig, Qt::LeftButton); }
    bool WriteControlsEnabled() const
    {
        return page.btnWriteConfig->isEnabled() && page.grpServerAddress->isEnabled() &&
               page.grpMBSerialConfig->isEnabled();
    }
    bool CombosEnabled() const
    {
        return page.cmbMBBps->isEnabled() && page.cmbMBDatabits->isEnabled() && page.cmbMBParity->isEnabled() &&
               page.cmbMBStopbits->isEnabled();
    }

    PortDir ports;
    sim::Simulator sim{sim::SimulatorOptions{ports.Path(), 1}};
    app::PageConfig page;
};

inline const QStringList kReadLog = {
    "Connessione fisica", "Connessione al contatore 12345678", "Cambio velocità", "Lettura matricola",
    "Lettura indirizzo server modbus", "Lettura configurazione seriale modbus", "Disconnessione contatore",
    "Disconnessione fisica", "Fine lavoro"};

}  // namespace veltro::test
