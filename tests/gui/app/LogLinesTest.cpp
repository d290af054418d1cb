// The communication log's list: lines in at once, painted together at a human pace.
#include "app/LogLines.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace veltro::app;

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

class LogList : public ::testing::Test {
protected:
    void SetUp() override
    {
        list.resize(300, 6 * list.fontMetrics().lineSpacing());
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        list.viewport()->installEventFilter(&counter);
    }
    void AppendLines(int count)
    {
        for (int i = 1; i <= count; ++i)
            lines.Append(QStringLiteral("riga %1").arg(i));
    }
    bool LastLineInView() const
    {
        const QRect last = list.visualItemRect(list.item(list.count() - 1));
        return !last.isEmpty() && list.viewport()->rect().contains(last);
    }

    QListWidget list;
    LogLines lines{&list, 20};
    PaintCounter counter;
};

TEST_F(LogList, ABurstOfLinesIsInTheListAtOnceAndPaintedTogetherWithTheNewestInView)
{
    AppendLines(30);
    ASSERT_EQ(list.count(), 21);  // the limit, plus the line that pushed the oldest out
    EXPECT_EQ(list.item(0)->text(), "riga 10");
    EXPECT_EQ(list.item(20)->text(), "riga 30");
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.paints, 0) << "nothing painted before the pace allows";

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 5000));
    EXPECT_GE(clock.elapsed() + 50, LogLines::kPaintMs / 2) << "painted at once, not paced";
    EXPECT_TRUE(LastLineInView());
    const QImage shown = list.viewport()->grab().toImage();
    const QRect last = list.visualItemRect(list.item(20));
    int ink = 0;
    for (int x = last.left(); x < last.right(); ++x)
        ink += shown.pixelColor(x, last.center().y()).lightness() < 128;
    EXPECT_GT(ink, 0) << "the newest line's text is drawn";
}

TEST_F(LogList, PaintNowShowsThePendingLinesWithoutWaiting)
{
    AppendLines(3);
    lines.PaintNow();
    EXPECT_TRUE(list.updatesEnabled());
    EXPECT_TRUE(LastLineInView());
    list.viewport()->repaint();
    EXPECT_GT(counter.paints, 0);
}

}  // namespace
