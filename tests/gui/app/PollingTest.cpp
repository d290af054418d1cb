// The "Controllo" page polling a real Modbus peer: a libmodbus RTU server holding the
// module's register map, reached through a pseudo-terminal published as COM1.
#include "app/FormMain.h"
#include "app/Formatting.h"
#include "app/ModuleRegisters.h"
#include "app/PageMonitor.h"
#include "app/RegisterWords.h"
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

using namespace veltro;
using app::PageMonitor;

namespace {

void Put(modbus_mapping_t& map, size_t at, const std::vector<uint16_t>& words)
{
    for (size_t i = 0; i < words.size(); ++i)
        map.tab_registers[at + i] = words[i];
}

void PutStamp(modbus_mapping_t& map, size_t at, int h, int mi, int s, int y, int mo, int d)
{
    for (int v : {h, mi, s, y, mo, d})
        map.tab_registers[at++] = app::SwapWord(static_cast<uint16_t>(v));
}

// A module at 230/231/229 V with a few known totals and two profile records.
void FillModule(modbus_mapping_t& map)
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

    PageMonitor& page() { return *window.tabTest(); }
    void Click() { QTest::mouseClick(page().btnStartStop, Qt::LeftButton); }
    QString Cell(QTableWidget* grid, int row, int column) { return grid->item(row, column)->text(); }
    bool WaitFor(const std::function<bool()>& condition, int ms = 10000) { return QTest::qWaitFor(condition, ms); }

    test::PortDir ports;
    modbus::test::PtyBridge bridge;
    modbus::test::LibmodbusServer server{bridge.ServerPath(), 100, 9600};
    app::TfrmMain window;
};

}  // namespace

TEST_F(Polling, ThreeBlocksFillThePageAndEveryFrameIsLogged)
{
    Click();
    ASSERT_TRUE(page().FRunning);
    EXPECT_EQ(page().btnStartStop->text(), "Arresta");
    EXPECT_FALSE(page().grpModbus->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !Cell(page().gridProfiles, 1, 1).isEmpty(); }));

    EXPECT_EQ(page().lblMatricola->text(), "12345678");
    EXPECT_EQ(page().lblDateTime->text(), app::FormatDateTime(QDate(2011, 3, 30), QTime(17, 58, 0)));
    EXPECT_EQ(Cell(page().gridTotals, 1, 1), "1,7209");
    EXPECT_EQ(Cell(page().gridTotals, 3, 1), "0");
    EXPECT_EQ(Cell(page().gridTotals, 4, 1), "-5,5");
    EXPECT_EQ(page().lblCosPhi->text(), "0,980");
    EXPECT_EQ(page().lblPowerA->text(), "1520,500");
    EXPECT_EQ(Cell(page().gridTotals, 11, 1), "2,500");
    EXPECT_EQ(Cell(page().gridTotals, 16, 1), "229,0");
    EXPECT_NEAR(page().FDiagram->Frequency(), 49.96, 1e-4);
    EXPECT_EQ(Cell(page().gridProfiles, 1, 0), app::FormatShortDate(QDate(2011, 3, 30)));  // midnight: date alone
    EXPECT_EQ(Cell(page().gridProfiles, 1, 1), "P.01");
    EXPECT_EQ(Cell(page().gridProfiles, 1, 7), "5,5");
    EXPECT_EQ(Cell(page().gridProfiles, 2, 0), "");  // invalid stamp empties the row
    EXPECT_EQ(Cell(page().gridProfiles, 2, 2), "");

    // Request for block 1 to address 100: 64 03 0000 003A + CRC, then its reply.
    QListWidget* log = page().listLog;
    ASSERT_GE(log->count(), 6);
    EXPECT_TRUE(log->item(0)->text().contains(" Send: 64030000003A")) << log->item(0)->text().toStdString();
    EXPECT_TRUE(log->item(1)->text().contains(" Recv: 640374")) << log->item(1)->text().toStdString();
    EXPECT_TRUE(log->item(2)->text().contains(" Send: 6403003A003A"));
    EXPECT_TRUE(log->item(4)->text().contains(" Send: 64030074003C"));

    Click();
    EXPECT_FALSE(page().FRunning);
    EXPECT_EQ(page().btnStartStop->text(), "Avvia");
    EXPECT_TRUE(page().grpModbus->isEnabled());
    EXPECT_FALSE(window.Timer1()->isActive());
    EXPECT_GE(page().FStats.FResponses, 3);
    EXPECT_EQ(page().FStats.FTimeouts, 0);
}

TEST_F(Polling, APortThatCannotBeOpenedLeavesPollingStopped)
{
    test::ModalBoxes boxes;
    page().editComPort->setText(QStringLiteral("9"));  // nothing published as COM9
    Click();
    ASSERT_EQ(boxes.Texts().size(), 1);
    EXPECT_FALSE(boxes.Texts()[0].isEmpty());
    EXPECT_FALSE(page().FRunning);
    EXPECT_EQ(page().btnStartStop->text(), "Avvia");
    EXPECT_TRUE(page().grpModbus->isEnabled());
    EXPECT_FALSE(window.Timer1()->isActive());
}

TEST_F(Polling, TheSettingsOfThePageReachTheConnection)
{
    page().cmbMB2Parity->setCurrentText(QStringLiteral("Pari"));
    page().cmbMB2Bps->setCurrentText(QStringLiteral("19200"));
    page().cmbMB2Stopbits->setCurrentText(QStringLiteral("2"));
    Click();
    ASSERT_TRUE(page().FRunning);
    EXPECT_EQ(page().mbConn->Parity(), modbus::psEven);
    EXPECT_EQ(page().mbConn->BaudRate(), modbus::br19200);
    EXPECT_EQ(page().mbConn->StopBits(), modbus::sb2);
    EXPECT_EQ(page().mbConn->Port(), "COM1");
    EXPECT_EQ(page().mbClient->ServerAddress(), 100);
    Click();
    page().cmbMB2Parity->setCurrentText(QStringLiteral("Dispari"));
    Click();
    EXPECT_EQ(page().mbConn->Parity(), modbus::psOdd);
}

TEST_F(Polling, ClosingTheWindowWhilePollingStopsAndReleasesThePort)
{
    Click();
    ASSERT_TRUE(WaitFor([&] { return page().FStats.FResponses >= 1; }));
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(page().FRunning);
    EXPECT_FALSE(page().mbConn->Active());
    EXPECT_FALSE(window.isVisible());
    // Nothing starts the ticks again, not even the reply of the exchange the close
    // waited for, which is delivered with the next pass of the event loop.
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.Timer1()->isActive());
}
