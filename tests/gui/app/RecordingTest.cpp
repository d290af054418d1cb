// "Registra" on "Controllo" while polling a libmodbus module: one CSV row per cycle with
// the values the page shows, and a folder that cannot be written stopping the recording,
// never the poll. The trend follows the same cycles whether recording or not.
#include "PollingFixture.h"

#include "app/MonitorRecording.h"
#include "trend/TrendChart.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace veltro::test {
namespace {

class Recording : public Polling {
protected:
    void StartPolling()
    {
        Click();
        ASSERT_TRUE(WaitFor([&] { return page().lblMatricola->text() == "12345678"; }));
    }
    app::MonitorRecording& recording() { return *page().FRecording; }

    QTemporaryDir dir;
};

TEST_F(Recording, WritesOneRowPerCycleWithTheValuesShown)
{
    recording().Folder = [this] { return dir.path(); };
    EXPECT_FALSE(page().btnRecord->isEnabled()) << "nothing to record before polling";
    ASSERT_NO_FATAL_FAILURE(StartPolling());
    QTest::mouseClick(page().btnRecord, Qt::LeftButton);
    ASSERT_TRUE(recording().Recording());
    ASSERT_TRUE(WaitFor([&] { return recording().Recorder().Rows() >= 3; }));
    Click();  // stopping polling ends the file
    EXPECT_FALSE(recording().Recording());
    EXPECT_FALSE(page().btnRecord->isChecked());

    const QString path = recording().Recorder().Path();
    EXPECT_TRUE(QFileInfo(path).fileName().startsWith("12345678_")) << path.toStdString();
    const QLabel& status = *page().lblRecord;
    EXPECT_TRUE(status.text().contains(QFileInfo(path).fileName()));
    EXPECT_GE(status.width(), status.fontMetrics().horizontalAdvance(status.text())) << "the status line read whole";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), recording().Recorder().Rows() + 1);
    const QStringList header = lines[0].split(';');
    const int power = static_cast<int>(header.indexOf("Potenza attiva [kW]"));
    const int current = static_cast<int>(header.indexOf("Corrente L2 [A]"));
    ASSERT_GE(power, 0);
    ASSERT_GE(current, 0);
    const QLocale italian(QStringLiteral("it_IT"));
    const QRegularExpression iso(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?[+-]\d\d:\d\d$)"));
    QDateTime previous;
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList cells = lines[i].split(';');
        ASSERT_EQ(cells.size(), header.size()) << i;
        EXPECT_TRUE(iso.match(cells[0]).hasMatch()) << cells[0].toStdString();
        const QDateTime time = QDateTime::fromString(cells[0], Qt::ISODateWithMs);
        EXPECT_TRUE(!previous.isValid() || previous <= time) << i;
        previous = time;
        EXPECT_EQ(cells[1], "completo");
        EXPECT_DOUBLE_EQ(italian.toDouble(cells[power]), italian.toDouble(page().lblPowerA->text()));
        EXPECT_DOUBLE_EQ(italian.toDouble(cells[current]), 2.25);
    }
    EXPECT_FALSE(page().chartTrend->History().Empty());
}

TEST_F(Recording, AFolderThatCannotBeWrittenStopsTheRecordingNotThePolling)
{
    // A folder below a plain file can never be made.
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    recording().Folder = [this] { return dir.filePath("file/rapporti"); };
    ASSERT_NO_FATAL_FAILURE(StartPolling());
    QTest::mouseClick(page().btnRecord, Qt::LeftButton);
    EXPECT_FALSE(recording().Recording());
    EXPECT_FALSE(page().btnRecord->isChecked());
    EXPECT_TRUE(page().lblRecord->text().startsWith("Registrazione non avviata: impossibile creare la cartella"))
        << page().lblRecord->text().toStdString();
    const int before = page().FStats.FResponses;
    EXPECT_TRUE(WaitFor([&] { return page().FStats.FResponses >= before + 3; }));
    EXPECT_TRUE(page().FRunning);
}

}  // namespace
}  // namespace veltro::test
