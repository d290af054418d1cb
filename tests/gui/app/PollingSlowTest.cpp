// Polls that wait for the connection's real receive time-out (2500 ms).
#include "gui/app/PollingFixture.h"

#include <QElapsedTimer>

using namespace veltro;
using test::Polling;

TEST_F(Polling, ASilentModuleIsReportedAfterEachTimeOutAndPollingGoesOn)
{
    page().editMBAddress->setText(QStringLiteral("99"));  // the peer answers at 100 only
    QElapsedTimer clock;
    clock.start();
    Click();
    const auto failures = [&] { return page().listLog->findItems(QStringLiteral("Nessuna risposta ricevuta!"),
                                                                   Qt::MatchEndsWith).size(); };
    ASSERT_TRUE(WaitFor([&] { return failures() >= 2; }, 10000));
    EXPECT_GE(clock.elapsed(), 2 * 2500);
    // Each failed poll: the request, an empty receive, the failure line.
    QListWidget* log = page().listLog;
    ASSERT_GE(log->count(), 6);
    EXPECT_TRUE(log->item(0)->text().contains(" Send: 63030000003A")) << log->item(0)->text().toStdString();
    EXPECT_TRUE(log->item(1)->text().endsWith(" Recv: ")) << log->item(1)->text().toStdString();
    EXPECT_TRUE(log->item(2)->text().endsWith(" Nessuna risposta ricevuta!"));
    EXPECT_TRUE(log->item(3)->text().contains(" Send: 6303003A003A")) << log->item(3)->text().toStdString();
    EXPECT_EQ(page().FStats.FTimeouts, 2);
    EXPECT_EQ(page().FStats.FConsecErrors, 2);
    EXPECT_EQ(page().lblMatricola->text(), "...");  // nothing on the page changes
    EXPECT_TRUE(page().FRunning);
}
