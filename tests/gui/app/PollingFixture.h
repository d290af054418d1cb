#pragma once
// The "Controllo" page polling a real Modbus peer: a libmodbus RTU server holding the
// module's register map, reached through a pseudo-terminal published as COM1.
#include "app/FormMain.h"
#include "core/Formatting.h"
#include "core/ModuleRegisters.h"
#include "app/PageMonitor.h"
#include "core/RegisterWords.h"
#include "gui/ModalBox.h"
#include "integration/modbus/LibmodbusPeer.h"
#include "phasor/PolarDiagram.h"
#include "support/PtyPair.h"

#include <QGroupBox>
#include <QLabel>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace veltro::test {

inline void Put(modbus_mapping_t& map, size_t at, const std::vector<uint16_t>& words)
{
    for (size_t i = 0; i < words.size(); ++i)
        map.tab_registers[at + i] = words[i];
}

inline void PutStamp(modbus_mapping_t& map, size_t at, int h, int mi, int s, int y, int mo, int d)
{
    for (int v : {h, mi, s, y, mo, d})
        map.tab_registers[at++] = app::SwapWord(static_cast<uint16_t>(v));
}

// A module at 230/231/229 V with a few known totals and two profile records.
inline void FillModule(modbus_mapping_t& map)
{
    Put(map, 0, app::LongWordToWords(12345678));
    PutStamp(map, 2, 17, 58, 0, 2011, 3, 30);
    Put(map, 8, app::DoubleToWords(1.7209));
    Put(map, 16, app::DoubleToWords(2e38));  // "3.8.0": out of range, shows as 0
    Put(map, 20, app::DoubleToWords(-5.5));
    Put(map, 48, app::SingleToWords(0.98f));
    Put(map, 50, app::SingleToWords(49.96f));
    Put(map, 52, app::SingleToWords(1520.5f));
    const float currents[] = {2.5f, 2.25f, 2.75f}, voltages[] = {230.f, 231.f, 229.f};
    for (size_t i = 0; i < 3; ++i) {
        Put(map, 58 + 2 * i, app::SingleToWords(10.0f + static_cast<float>(i)));
        Put(map, 58 + app::kRegCurrent[i], app::SingleToWords(currents[i]));
        Put(map, 58 + app::kRegVoltage[i], app::SingleToWords(voltages[i]));
    }
    Put(map, 64, app::SingleToWords(120.0f));
    Put(map, 66, app::SingleToWords(240.0f));
    PutStamp(map, 116, 0, 0, 0, 2011, 3, 30);  // P.01 at midnight
    for (size_t ch = 0; ch < 6; ++ch)
        Put(map, 122 + 4 * ch, app::DoubleToWords(static_cast<double>(ch) + 0.5));
    PutStamp(map, 146, 10, 15, 0, 2011, 13, 1);  // P.02 with month 13
}

class Polling : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QStringLiteral("it_IT")));
        ports.Publish(1, bridge.ClientPath());
        server.WithMap(FillModule);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void TearDown() override
    {
        if (page().FRunning)
            Click();
        QLocale::setDefault(QLocale::c());
    }

    app::PageMonitor& page() { return *window.tabTest(); }
    void Click() { QTest::mouseClick(page().btnStartStop, Qt::LeftButton); }
    QString Cell(QTableWidget* grid, int row, int column) { return grid->item(row, column)->text(); }
    bool WaitFor(const std::function<bool()>& condition, int ms = 10000) { return QTest::qWaitFor(condition, ms); }

    PortDir ports;
    modbus::test::PtyBridge bridge;
    modbus::test::LibmodbusServer server{bridge.ServerPath(), 100, 9600};
    app::TfrmMain window;
};

}  // namespace veltro::test
