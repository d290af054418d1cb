// The "Controllo" page polling the simulated module (COM2) as a technician would.
#include "app/FormMain.h"
#include "app/PageMonitor.h"
#include "phasor/PolarDiagram.h"
#include "simulator/Simulator.h"
#include "gui/ModalBox.h"
#include "support/PtyPair.h"

#include <QLabel>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace veltro;

namespace {

class ModulePolling : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QStringLiteral("it_IT")));
        sim.State().SetModbusAddressText("121");
        sim.Start();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        page().editComPort->setText(QStringLiteral("2"));
        page().editMBAddress->setText(QStringLiteral("121"));
    }
    void TearDown() override
    {
        if (page().FRunning)
            Click();
        QLocale::setDefault(QLocale::c());
    }
    app::PageMonitor& page() { return *window.tabTest(); }
    void Click() { QTest::mouseClick(page().btnStartStop, Qt::LeftButton); }
    bool WaitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 15000); }
    void Faults(const sim::ModuleFaults& f) { sim.SetModuleFaults(f); }

    test::PortDir ports;
    sim::Simulator sim{sim::SimulatorOptions{ports.Path(), 1, false, 2}};
    app::TfrmMain window;
};

sim::ModuleFaults Refusing()
{
    sim::ModuleFaults f;
    f.exceptionCode = 4;
    return f;
}

}  // namespace

TEST_F(ModulePolling, LiveValuesOfTheModuleFillThePage)
{
    Click();
    ASSERT_TRUE(WaitFor([&] { return page().FStats.FResponses >= 3; }));
    // The first request: server 121, function 3, start 0, 58 registers, CRC low byte first.
    EXPECT_TRUE(page().listLog->item(0)->text().endsWith(" Send: 79030000003ACFA1"))
        << page().listLog->item(0)->text().toStdString();
    EXPECT_EQ(page().lblMatricola->text(), "12345678");
    EXPECT_NE(page().lblDateTime->text(), "...");
    for (int row = 14; row <= 16; ++row) {  // voltages near 230 V, one decimal, decimal comma
        const QString v = page().gridTotals->item(row, 1)->text();
        EXPECT_TRUE(v.startsWith("22") || v.startsWith("23")) << v.toStdString();
        EXPECT_EQ(v.indexOf(QLatin1Char(',')), v.size() - 2) << v.toStdString();
    }
    EXPECT_NEAR(page().FDiagram->Frequency(), 50.0, 0.5);
    EXPECT_EQ(page().gridProfiles->item(1, 1)->text(), "P.01");
    EXPECT_EQ(page().gridProfiles->item(2, 1)->text(), "P.02");
    EXPECT_EQ(page().FStats.FTimeouts + page().FStats.FExceptions + page().FStats.FUnmatched, 0);
}

TEST_F(ModulePolling, RunsOfFailuresAreCountedAndTheLongestKeepsItsTimes)
{
    Faults(Refusing());
    Click();
    ASSERT_TRUE(WaitFor([&] { return page().FStats.FExceptions >= 3; }));
    Faults({});
    ASSERT_TRUE(WaitFor([&] { return page().FStats.FResponses >= 1; }));
    Faults(Refusing());
    ASSERT_TRUE(WaitFor([&] { return page().FStats.FExceptions >= 5; }));
    Click();

    EXPECT_EQ(page().FStats.FExceptions, 5);
    EXPECT_EQ(page().FStats.FResponses, 1);
    EXPECT_EQ(page().FStats.FMaxConsecErrors, 3);
    EXPECT_LT(page().FStats.FMaxConsecStart, page().FStats.FMaxConsecEnd);
    EXPECT_LT(page().FStats.FMaxConsecEnd, page().FStats.FConsecStart);
    const auto lines = page().listLog->findItems(QStringLiteral("Ricevuta una risposta di errore!"), Qt::MatchEndsWith);
    EXPECT_EQ(lines.size(), 5);

    QTest::mouseDClick(page().listLog->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    const QStringList panel = page().memoDebug->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(panel.size(), 12);
    EXPECT_EQ(panel[6], "Last Consec Errors = 2");
    EXPECT_EQ(panel[7], "Max  Consec Errors = 3");
    EXPECT_EQ(panel[4], "Exceptions Responses = 5");
}

TEST_F(ModulePolling, ALineLostWhilePollingIsLoggedAndArrestaReleasesThePort)
{
    test::ModalBoxes boxes;  // a failure the page raises would end in the error box
    Click();
    ASSERT_TRUE(WaitFor([&] { return page().FStats.FResponses >= 1; }));
    const int answered = page().FStats.FResponses;

    // The module's end of the line goes away while the page keeps polling; the window
    // must keep handling events throughout, which a timer of its own shows.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.restart());
    });
    sinceTick.start();
    tick.start(10);
    Faults({.hangUp = true});
    // A dropped line is told from a module that does not answer.
    ASSERT_TRUE(WaitFor([&] {
        return !page().listLog->findItems(QStringLiteral("dispositivo seriale scollegato"), Qt::MatchContains).isEmpty();
    }));
    // The fresh line the simulator publishes as COM2 is another device, not the one lost:
    // the page keeps waiting, trying again at each tick of its timer.
    int ticks = 0;
    const auto counting = QObject::connect(window.Timer1(), &QTimer::timeout, [&] { ++ticks; });
    ASSERT_TRUE(WaitFor([&] { return ticks >= 3; }));
    QObject::disconnect(counting);
    tick.stop();
    EXPECT_LT(longestGap, 500) << "the window stood still for " << longestGap << " ms";
    EXPECT_EQ(page().FStats.FResponses, answered);
    EXPECT_FALSE(page().mbConn->Active());
    EXPECT_TRUE(page().listLog->findItems(QStringLiteral("Nessuna risposta ricevuta!"), Qt::MatchEndsWith).isEmpty());
    EXPECT_GE(sim.Module().Line()->HangUps(), 1u);

    Click();  // "Arresta"
    EXPECT_FALSE(page().FRunning);
    EXPECT_EQ(page().btnStartStop->text(), "Avvia");
    EXPECT_FALSE(page().mbConn->Active());

    // The port was let go: with the module back on a fresh line, polling starts again.
    Faults({});
    Click();
    EXPECT_TRUE(WaitFor([&] { return page().FStats.FResponses > answered; }));
    EXPECT_TRUE(boxes.Texts().isEmpty()) << boxes.Texts().join('|').toStdString();
}
