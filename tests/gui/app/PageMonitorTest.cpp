// The "Controllo" page's own parts: grid texts, the statistics panel and its reset.
#include "app/PageMonitor.h"
#include "phasor/PolarDiagram.h"

#include <QApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace veltro::app;
using namespace veltro::core;

namespace {
class MonitorPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        page.resize(674, 580);
        page.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    }
    QStringList PanelLines() const { return page.memoDebug->toPlainText().split(QLatin1Char('\n')); }
    void DoubleClick(QWidget* w) { QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(10, 10)); }

    PageMonitor page;
};
}  // namespace

TEST_F(MonitorPage, GridsCarryTheirTitlesAndTheDiagramSitsInItsPanel)
{
    EXPECT_EQ(page.gridTotals->item(0, 1)->text(), "Valore");
    EXPECT_EQ(page.gridTotals->item(1, 0)->text(), "1.8.0");
    EXPECT_EQ(page.gridTotals->item(16, 2)->text(), "tensione fase T");
    EXPECT_EQ(page.gridTotals->item(11, 0)->text(), "31.7.0");
    EXPECT_EQ(page.gridProfiles->item(0, 0)->text(), "Data");
    EXPECT_EQ(page.gridProfiles->item(0, 7)->text(), "Canale 6");
    EXPECT_EQ(page.FDiagram->parentWidget(), page.pnlPolar);
    EXPECT_EQ(page.FDiagram->size(), page.pnlPolar->size());
}

TEST_F(MonitorPage, DoubleClickOnTheLogShowsTheStatisticsAndOnThePanelHidesThem)
{
    EXPECT_FALSE(page.pnlDebug->isVisible());
    page.FStats.Request(PollStatistics::Clock::now());
    page.FStats.Reply(roNoReply, PollStatistics::Clock::now());
    DoubleClick(page.listLog->viewport());
    ASSERT_TRUE(page.pnlDebug->isVisible());
    const QStringList lines = PanelLines();
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[0], "Requests = 1");
    EXPECT_EQ(lines[2], "Timeout Responses = 1");
    EXPECT_EQ(lines[9], "Last Resp. OK  Time = N/A");
    EXPECT_TRUE(lines[10].startsWith("Last Consec Errors Time = ")) << lines[10].toStdString();
    EXPECT_TRUE(lines[10].contains(" - "));

    QTest::mouseClick(page.Button1, Qt::LeftButton);
    DoubleClick(page.listLog->viewport());
    const QStringList reset = PanelLines();
    EXPECT_EQ(reset[0], "Requests = 0");
    for (int i = 8; i < 12; ++i)
        EXPECT_TRUE(reset[i].endsWith("= N/A")) << reset[i].toStdString();

    DoubleClick(page.memoDebug->viewport());
    EXPECT_FALSE(page.pnlDebug->isVisible());
}
