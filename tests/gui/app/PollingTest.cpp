// The "Controllo" page polling a libmodbus server that holds the module's registers.
#include "gui/app/PollingFixture.h"

using namespace veltro;
using test::Polling;

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

TEST_F(Polling, APortThatCannotBeOpenedSaysWhyAndLeavesPollingStopped)
{
    // Another program holds COM1; nothing stands for COM9.
    modbus::TModbusConnection holder;
    holder.SetPort("COM1");
    holder.SetParity(modbus::psNone);
    holder.SetActive(true);
    for (const auto& [port, text] :
         {std::pair{"1", "La porta COM1 è già in uso da un altro programma."},
          std::pair{"9", "La porta COM9 non è presente: nessun dispositivo seriale risponde a questo numero "
                         "(l'adattatore è scollegato?)."}}) {
        test::ModalBoxes boxes;
        page().editComPort->setText(QString::fromUtf8(port));
        Click();
        ASSERT_EQ(boxes.Texts().size(), 1);
        EXPECT_EQ(boxes.Texts()[0], QString::fromUtf8(text));
        EXPECT_FALSE(page().FRunning);
        EXPECT_EQ(page().btnStartStop->text(), "Avvia");
        EXPECT_TRUE(page().grpModbus->isEnabled());
        EXPECT_FALSE(window.Timer1()->isActive());
    }
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
