// The trend chart as "Controllo" will use it: cycles fed in, the picture probed in the
// plot's pixels, repaints asked for only when something shown changed, pause, zoom by
// dragging, back to live, the PNG export and a third value scale.
#include "trend/TrendChart.h"

#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <functional>

namespace veltro::trend {
namespace {

using namespace std::chrono_literals;

const TrendTime kStart = TrendTime(1'700'000'000s);
constexpr auto kPoll = 700ms;

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kBlue(0, 0, 255);
const QColor kVoltageL1(128, 0, 0);
const QColor kFrequency(139, 69, 19);

std::int64_t Ms(TrendTime t) { return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count(); }

// Counts the repaints the chart asks for, so that "no repaint" can be checked without
// waiting for one that never comes.
class ProbeChart : public TrendChart {
public:
    using TrendChart::TrendChart;
    int requests = 0;

protected:
    void RequestRepaint() override {
        ++requests;
        TrendChart::RequestRepaint();
    }
};

class TrendChartTest : public testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QStringLiteral("it_IT")));
        chart.resize(800, 300);
    }
    void TearDown() override { QLocale::setDefault(savedLocale); }

    // A cycle every 0.7 s from `from` for `span`; fill sets each cycle's values.
    TrendTime Feed(TrendTime from, std::chrono::milliseconds span, const std::function<void(TrendCycle&)>& fill) {
        TrendTime t = from;
        for (; t < from + span; t += kPoll) {
            TrendCycle c;
            c.time = t;
            fill(c);
            chart.AddCycle(c);
        }
        return t;
    }
    static void Everything(TrendCycle& c) {
        const double values[kQuantityCount] = {12.0, 3.0, 12.4, 5.0, 6.0, 7.0, 230.0, 231.0, 229.0, 0.96, 50.0};
        for (Quantity q : kAllQuantities) c.Set(q, values[IndexOf(q)]);
    }

    int CountIn(const QRect& r, const QColor& colour) const {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) n += chart.Bitmap().pixelColor(x, y) == colour ? 1 : 0;
        return n;
    }
    QRect Plot() const {
        const Box& p = chart.PlotBox();
        return QRect(p.left, p.top, p.width, p.height);
    }
    // The columns of the plot between two times of the range shown.
    QRect Columns(TrendTime a, TrendTime b) const {
        const TimeRange r = *chart.VisibleRange();
        const int x1 = qRound(XOf(Ms(a), Ms(r.from), Ms(r.to), chart.PlotBox()));
        const int x2 = qRound(XOf(Ms(b), Ms(r.from), Ms(r.to), chart.PlotBox()));
        return QRect(QPoint(x1, Plot().top() + 1), QPoint(x2, Plot().bottom() - 1));
    }
    QToolButton* Button(const char* name) const { return chart.findChild<QToolButton*>(QString::fromLatin1(name)); }

    QLocale savedLocale;
    ProbeChart chart;
};

TEST_F(TrendChartTest, DrawsTheThreeCurrentsAtFirst) {
    EXPECT_EQ(chart.objectName(), "chartTrend");
    Feed(kStart, 5min, Everything);
    chart.Render();
    ASSERT_EQ(chart.Axes().size(), 1u);
    const DrawnAxis& axis = chart.Axes()[0];
    EXPECT_EQ(axis.scale, Scale::Current);
    EXPECT_TRUE(axis.labelled);
    EXPECT_LE(axis.axis.min, 5.0);
    EXPECT_GE(axis.axis.max, 7.0);
    // Each current lies along its own row, across the plot.
    const QRect plot = Plot().adjusted(1, 1, -1, -1);
    const double values[3] = {5.0, 6.0, 7.0};
    const QColor colours[3] = {kRed, kGreen, kBlue};
    for (int i = 0; i < 3; ++i) {
        const int y = qRound(YOf(values[i], axis.axis, chart.PlotBox()));
        EXPECT_GT(CountIn(QRect(plot.left(), y, plot.width(), 1), colours[i]), plot.width() * 9 / 10) << i;
    }
    EXPECT_EQ(CountIn(plot, kVoltageL1), 0);
}

TEST_F(TrendChartTest, MissingValuesLeaveTheLineOpen) {
    TrendTime t = Feed(kStart, 60s, [](TrendCycle& c) { c.Set(Quantity::CurrentL1, 5.0); });
    t = Feed(t, 60s, [](TrendCycle& c) { c.Set(Quantity::CurrentL2, 6.0); });  // the block with L1 failed
    Feed(t, 60s, [](TrendCycle& c) { c.Set(Quantity::CurrentL1, 5.0); });
    chart.Render();
    EXPECT_GT(CountIn(Columns(kStart + 5s, kStart + 55s), kRed), 0);
    EXPECT_EQ(CountIn(Columns(kStart + 62s, kStart + 118s), kRed), 0);
    EXPECT_GT(CountIn(Columns(kStart + 125s, kStart + 175s), kRed), 0);
}

TEST_F(TrendChartTest, AsksForARepaintOnlyWhenWhatIsShownChanged) {
    chart.show();  // a hidden widget holds its resize events back
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    TrendTime next = Feed(kStart, 5min, Everything);
    const auto addCycle = [&] {
        TrendCycle c;
        c.time = next;
        Everything(c);
        chart.AddCycle(c);
        next += kPoll;
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        bool repaint;
    };
    const Step steps[] = {
        {"a cycle while live", addCycle, true},
        {"showing a quantity already shown", [&] { chart.SetShown(Quantity::CurrentL1, true); }, false},
        {"showing another quantity", [&] { chart.SetShown(Quantity::Frequency, true); }, true},
        {"pausing", [&] { chart.SetPaused(true); }, false},
        {"a cycle after the paused range", addCycle, false},
        {"resizing", [&] { chart.resize(820, 300); }, true},
        {"zooming up to now and beyond", [&] { chart.ZoomTo(next - 1min, next + 1min); }, true},
        {"a cycle inside the zoomed range", addCycle, true},
        {"going live", [&] { chart.GoLive(); }, true},
        {"going live again", [&] { chart.GoLive(); }, false},
    };
    for (const Step& step : steps) {
        const int before = chart.requests;
        step.act();
        EXPECT_EQ(chart.requests > before, step.repaint) << step.what;
    }
}

TEST_F(TrendChartTest, PauseKeepsCollectingAndLiveCatchesUp) {
    Feed(kStart, 5min, Everything);
    QToolButton* pause = Button("btnTrendPause");
    QToolButton* live = Button("btnTrendLive");
    ASSERT_TRUE(pause && live);
    EXPECT_FALSE(live->isEnabled());
    pause->click();
    EXPECT_FALSE(chart.Live());
    EXPECT_TRUE(live->isEnabled());
    const TimeRange paused = *chart.VisibleRange();
    const TrendTime last = Feed(kStart + 5min + kPoll, 1min, Everything) - kPoll;
    EXPECT_EQ(*chart.VisibleRange(), paused);
    EXPECT_EQ(chart.History().Newest(), last);
    live->click();
    EXPECT_TRUE(chart.Live());
    EXPECT_FALSE(pause->isChecked());
    EXPECT_FALSE(live->isEnabled());
    EXPECT_EQ(chart.VisibleRange()->to, last);
}

TEST_F(TrendChartTest, DraggingAcrossThePlotZoomsAndADoubleClickGoesLive) {
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    Feed(kStart, 10min, Everything);
    chart.repaint();
    const Box plot = chart.PlotBox();
    const int y = chart.ChartTop() + plot.top + plot.height / 2;
    const TimeRange before = *chart.VisibleRange();
    const auto drag = [&](int x1, int x2) {
        QTest::mousePress(&chart, Qt::LeftButton, {}, QPoint(x1, y));
        QTest::mouseMove(&chart, QPoint(x2, y));
        QTest::mouseRelease(&chart, Qt::LeftButton, {}, QPoint(x2, y));
    };

    drag(plot.left + 300, plot.left + 100);  // right to left selects the same range
    ASSERT_FALSE(chart.Live());
    const TimeRange zoomed = *chart.VisibleRange();
    EXPECT_EQ(Ms(zoomed.from), TimeAtX(plot.left + 100, Ms(before.from), Ms(before.to), plot));
    EXPECT_EQ(Ms(zoomed.to), TimeAtX(plot.left + 300, Ms(before.from), Ms(before.to), plot));
    EXPECT_TRUE(Button("btnTrendPause")->isChecked());

    drag(plot.left + 200, plot.left + 202);  // a click, not a range
    EXPECT_EQ(*chart.VisibleRange(), zoomed);

    QTest::mouseDClick(&chart, Qt::LeftButton, {}, QPoint(plot.left + 200, y));
    EXPECT_TRUE(chart.Live());
    EXPECT_EQ(*chart.VisibleRange(), before);
}

TEST_F(TrendChartTest, ExportsThePictureAsPng) {
    Feed(kStart, 5min, Everything);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString direct = dir.filePath(QStringLiteral("grafico.png"));
    EXPECT_EQ(chart.ExportPng(direct), QString());
    const QImage saved(direct);
    EXPECT_EQ(saved.size(), chart.Bitmap().size());
    EXPECT_GT(QFileInfo(direct).size(), 0);
    EXPECT_TRUE(chart.ExportPng(dir.filePath(QStringLiteral("manca/grafico.png"))).startsWith(QStringLiteral("Impossibile salvare il grafico")));

    // From the button: the dialog stays open (window-modal) while the chart goes on.
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    Button("btnTrendExport")->click();
    auto* dialog = chart.findChild<QFileDialog*>(QStringLiteral("dlgTrendExport"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    const QString picked = dir.filePath(QStringLiteral("scelto.png"));
    dialog->selectFile(picked);
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, as the Save button does
    EXPECT_GT(QFileInfo(picked).size(), 0);
}

TEST_F(TrendChartTest, AThirdScaleIsDrawnAgainstItsOwnRangeWithoutLabels) {
    // The voltage sags and recovers, so that its line leaves the middle row the steady
    // frequency is drawn along.
    int cycle = 0;
    Feed(kStart, 5min, [&](TrendCycle& c) {
        Everything(c);
        c.Set(Quantity::VoltageL1, 220.0 + (cycle++ % 20));
    });
    chart.SetShown(Quantity::VoltageL1, true);
    chart.SetShown(Quantity::Frequency, true);
    chart.Render();
    ASSERT_EQ(chart.Axes().size(), 3u);
    EXPECT_EQ(chart.Axes()[0].scale, Scale::Current);
    EXPECT_EQ(chart.Axes()[1].scale, Scale::Voltage);
    EXPECT_EQ(chart.Axes()[2].scale, Scale::Frequency);
    EXPECT_TRUE(chart.Axes()[1].labelled);
    EXPECT_FALSE(chart.Axes()[2].labelled);
    const QRect plot = Plot().adjusted(1, 1, -1, -1);
    EXPECT_GT(CountIn(plot, kFrequency), plot.width() / 2);
    EXPECT_GT(CountIn(plot, kVoltageL1), 0);

    // The three powers share one scale.
    for (Quantity q : kAllQuantities) chart.SetShown(q, InfoOf(q).scale == Scale::Power);
    chart.Render();
    ASSERT_EQ(chart.Axes().size(), 1u);
    EXPECT_EQ(chart.Axes()[0].scale, Scale::Power);
    EXPECT_GE(chart.Axes()[0].axis.max, 12.4);
    EXPECT_LE(chart.Axes()[0].axis.min, 3.0);
}

TEST_F(TrendChartTest, TimeLabelsReadLikeTheClockWithoutAZone) {
    const QDateTime local(QDate(2024, 3, 5), QTime(17, 58, 0));
    EXPECT_EQ(TimeLabel(TrendTime(std::chrono::milliseconds(local.toMSecsSinceEpoch()))), QStringLiteral("17:58:00"));
}

}  // namespace
}  // namespace veltro::trend
