// Scales and layout of the trend chart: round value steps that hold the data, time ticks on
// round times of the local clock, and a layout that keeps labels, plot and legend apart.
#include "trend/TrendScale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace veltro::trend {
namespace {

TEST(TrendScale, ValueAxesHoldTheDataInRoundSteps) {
    struct Case {
        double lo, hi;
        int maxTicks;
        double min, max, step;
        int decimals;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {0.2, 9.7, 5, 0.0, 10.0, 2.0, 0},        // currents
        {228.4, 231.9, 5, 228.0, 232.0, 1.0, 0},  // voltages
        {49.96, 50.04, 4, 49.96, 50.04, 0.02, 2},  // frequency
        {0.93, 0.97, 5, 0.93, 0.97, 0.01, 2},     // cos φ: 0.93 / 0.01 is not quite 93
        {-12.5, 40.0, 6, -20.0, 40.0, 10.0, 0},   // reactive power both ways
        {5.0, 5.0, 5, 4.95, 5.05, 0.05, 2},       // steady: a band around the value
        {0.0, 0.0, 4, -1.0, 1.0, 0.5, 1},
        {nan, nan, 4, 0.0, 1.0, 0.5, 1},          // nothing to show
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lo << ".." << c.hi);
        const ValueAxis a = NiceAxis(c.lo, c.hi, c.maxTicks);
        EXPECT_NEAR(a.min, c.min, 1e-9);
        EXPECT_NEAR(a.max, c.max, 1e-9);
        EXPECT_NEAR(a.step, c.step, 1e-12);
        EXPECT_EQ(a.decimals, c.decimals);
        EXPECT_LE(std::lround((a.max - a.min) / a.step), c.maxTicks);
    }
}

TEST(TrendScale, TimeTicksFallOnRoundLocalTimes) {
    constexpr std::int64_t s = 1000;
    constexpr std::int64_t m = 60 * s;
    constexpr std::int64_t h = 60 * m;
    // 14 November 2023, 22:13:20 UTC.
    constexpr std::int64_t t0 = 1'700'000'000 * s;
    struct Case {
        const char* name;
        std::int64_t span;
        int utcOffset;
        int width;
        std::int64_t step;
        std::int64_t firstLocal;  // of the first tick, local ms within its day
    };
    const Case cases[] = {
        {"EightHoursInUtc", 8 * h, 0, 800, 1 * h, 23 * h},
        {"EightHoursInRome", 8 * h, 3600, 800, 1 * h, 24 * h},  // 23:13:20 local
        {"EightHoursInDelhi", 8 * h, 19800, 800, 1 * h, 4 * h},  // 03:43:20 local
        {"TwoMinutes", 2 * m, 3600, 800, 15 * s, 23 * h + 13 * m + 30 * s},
        {"NarrowPlot", 8 * h, 3600, 100, 12 * h, 24 * h},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int spacing = 80;
        const TimeTicks t = MakeTimeTicks(t0, t0 + c.span, c.utcOffset, c.width, spacing);
        EXPECT_EQ(t.stepMs, c.step);
        ASSERT_FALSE(t.ticks.empty());
        const std::int64_t localDay = (t0 + c.utcOffset * s) / (24 * h) * (24 * h);
        EXPECT_EQ(t.ticks.front() + c.utcOffset * s - localDay, c.firstLocal);
        EXPECT_GE(t.ticks.front(), t0);
        EXPECT_LE(t.ticks.back(), t0 + c.span);
        EXPECT_GT(t.ticks.back() + t.stepMs, t0 + c.span);
        EXPECT_GE(static_cast<double>(t.stepMs) * c.width / static_cast<double>(c.span), spacing);
    }
}

TEST(TrendScale, LegendRowsWrapWhereTheWidthEnds) {
    const std::vector<int> widths{100, 100, 100, 260, 40};
    const std::vector<LegendPlace> places = PlaceLegend(widths, 250);
    const std::vector<std::pair<int, int>> expected{{0, 0}, {0, 100}, {1, 0}, {2, 0}, {3, 0}};
    ASSERT_EQ(places.size(), expected.size());
    for (std::size_t i = 0; i < places.size(); ++i) {
        EXPECT_EQ(places[i].row, expected[i].first) << i;
        EXPECT_EQ(places[i].x, expected[i].second) << i;
    }
    EXPECT_EQ(LegendRows(places), 4);
    EXPECT_EQ(LegendRows(std::vector<LegendPlace>{}), 0);
}

TEST(TrendScale, LayoutKeepsLabelsPlotAndLegendApart) {
    ChartMetrics m;
    m.width = 800;
    m.height = 270;
    m.lineHeight = 15;
    m.valueLabelWidth = 50;
    m.timeLabelWidth = 48;
    for (bool rightAxis : {false, true}) {
        for (int rows : {0, 1, 3}) {
            SCOPED_TRACE(testing::Message() << "right " << rightAxis << ", rows " << rows);
            m.rightAxis = rightAxis;
            m.legendRows = rows;
            const ChartLayout l = LayoutChart(m);
            const Box& p = l.plot;
            // Value labels (centred on the ticks at the top and bottom) clear the axis
            // titles and the time labels; these clear the legend.
            EXPECT_GE(p.top - m.lineHeight / 2, l.titleTop + m.lineHeight);
            EXPECT_GE(l.timeLabelTop, p.Bottom() + m.lineHeight / 2 + 1);
            EXPECT_GE(l.timeLabelTop, p.Bottom() + kTickLength + 1);
            EXPECT_LE(l.timeLabelTop + m.lineHeight, l.legendTop);
            EXPECT_EQ(l.legendTop + rows * m.lineHeight, m.height - kMargin);
            // Room for the value labels left of the plot, and right of it with a right axis.
            EXPECT_GE(p.left - kTickLength - m.valueLabelWidth, kMargin);
            const int rightRoom = m.width - 1 - p.Right();
            EXPECT_GE(rightRoom, rightAxis ? kTickLength + m.valueLabelWidth + kMargin : m.timeLabelWidth / 2);
            EXPECT_GT(p.height, 100);
            // The plot's ends map to its first and last pixel and back.
            EXPECT_DOUBLE_EQ(XOf(1000, 1000, 61000, p), p.left);
            EXPECT_DOUBLE_EQ(XOf(61000, 1000, 61000, p), p.Right());
            EXPECT_EQ(TimeAtX(p.Right(), 1000, 61000, p), 61000);
            EXPECT_EQ(TimeAtX(p.left - 10, 1000, 61000, p), 1000);
            EXPECT_DOUBLE_EQ(YOf(0.0, ValueAxis{0.0, 10.0, 2.0, 0}, p), p.Bottom());
            EXPECT_DOUBLE_EQ(YOf(10.0, ValueAxis{0.0, 10.0, 2.0, 0}, p), p.top);
        }
    }
    // Too small for a plot: nothing negative comes out.
    m.height = 20;
    const ChartLayout tiny = LayoutChart(m);
    EXPECT_EQ(tiny.plot.height, 0);
}

}  // namespace
}  // namespace veltro::trend
