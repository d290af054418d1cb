#include "phasor/PolarLayout.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace veltro::phasor {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(PolarLayout, MetricsFollowTheSmallerSide) {
    struct Case {
        int w, h;
        int S, m, E, R, RI, c;
    };
    const Case cases[] = {
        {300, 300, 300, 25, 275, 125, 100, 150},
        {240, 240, 240, 20, 220, 100, 80, 120},
        {500, 500, 500, 41, 459, 209, 167, 250},  // RI = Round(167.2)
        {640, 300, 300, 25, 275, 125, 100, 150},  // wide: height decides
        {300, 480, 300, 25, 275, 125, 100, 150},  // tall: width decides
        {0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        const Layout l = Layout::FromClientSize(c.w, c.h);
        EXPECT_EQ(l.S, c.S);
        EXPECT_EQ(l.m, c.m);
        EXPECT_EQ(l.E, c.E);
        EXPECT_EQ(l.R, c.R);
        EXPECT_EQ(l.RI, c.RI);
        EXPECT_EQ(l.cx, c.c);
        EXPECT_EQ(l.cy, c.c);
    }
}

TEST(PolarLayout, RoundsHalvesToEven) {
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(3.5), 4);
    EXPECT_EQ(Round(-2.5), -2);
    EXPECT_EQ(Round(2.51), 3);
    EXPECT_EQ(Round(-0.4), 0);
}

TEST(PolarLayout, ValuesWithoutAPixelPositionThrowInsteadOfWrapping) {
    EXPECT_THROW(Round(std::numeric_limits<double>::quiet_NaN()), std::range_error);
    EXPECT_THROW(Round(std::numeric_limits<double>::infinity()), std::range_error);
    EXPECT_THROW(Round(3e9), std::range_error);
    // A NaN magnitude does not raise the full scale but cannot be given a length.
    const Layout l = Layout::FromClientSize(300, 300);
    const std::vector<double> volts{230.0, std::numeric_limits<double>::quiet_NaN(), 229.0};
    EXPECT_EQ(FullScale(volts), 230.0);
    EXPECT_THROW(VoltageToPixels(volts[1], 230.0, l), std::range_error);
}

TEST(PolarLayout, MainsVoltagesAtTheMainWindowSize) {
    const Layout l = Layout::FromClientSize(300, 300);  // R = 125
    const std::vector<double> volts{230.0, 231.0, 229.0};
    const double vmax = FullScale(volts);
    EXPECT_EQ(VoltageToPixels(231.0, vmax, l), 125);
    EXPECT_EQ(VoltageToPixels(230.0, vmax, l), 124);  // 124.46
    EXPECT_EQ(VoltageToPixels(229.0, vmax, l), 124);  // 123.92
    // The lag and lead arcs sit a fifth beyond the voltage full scale.
    EXPECT_EQ(VoltageToPixels(1.2 * vmax, vmax, l), 150);
}

TEST(PolarLayout, LargestMagnitudeReachesTheFullScaleRadius) {
    const Layout l = Layout::FromClientSize(500, 500);  // R = 209, RI = 167
    const std::vector<double> volts{230.0, 231.0, 229.0};
    const double vmax = FullScale(volts);
    EXPECT_EQ(vmax, 231.0);
    EXPECT_EQ(VoltageToPixels(231.0, vmax, l), l.R);
    EXPECT_EQ(VoltageToPixels(230.0, vmax, l), Round(230.0 / 231.0 * l.R));
    EXPECT_EQ(VoltageToPixels(229.0, vmax, l), Round(229.0 / 231.0 * l.R));
    EXPECT_EQ(VoltageToPixels(230.0, vmax, l), 208);
    EXPECT_EQ(VoltageToPixels(229.0, vmax, l), 207);

    const std::vector<double> amps{5.0, 2.5, 1.0};
    const double imax = FullScale(amps);
    EXPECT_EQ(CurrentToPixels(5.0, imax, l), l.RI);
    EXPECT_EQ(CurrentToPixels(2.5, imax, l), 84);  // 83.5 rounds to even
}

TEST(PolarLayout, ZeroOrNegativeMagnitudesGiveAZeroFullScale) {
    const Layout l = Layout::FromClientSize(300, 300);
    EXPECT_EQ(FullScale(std::vector<double>{0.0, 0.0, 0.0}), 0.0);
    EXPECT_EQ(FullScale(std::vector<double>{-5.0, -1.0, -3.0}), 0.0);
    EXPECT_EQ(FullScale(std::vector<double>{-5.0, 2.0, -3.0}), 2.0);
    EXPECT_EQ(VoltageToPixels(230.0, 0.0, l), 0);
    EXPECT_EQ(CurrentToPixels(-5.0, 0.0, l), 0);
}

TEST(PolarLayout, NegativeMagnitudePointsTheOtherWay) {
    const Layout l = Layout::FromClientSize(300, 300);  // R = 125
    const int len = VoltageToPixels(-115.0, 230.0, l);
    EXPECT_EQ(len, -62);  // -62.5 rounds to even
    const Tip t = ArrowTip({l.cx, l.cy}, len, 0.0);
    EXPECT_EQ(t.rounded, (Point{150, 212}));  // below the centre although the angle is "up"
}

TEST(PolarLayout, AnglesStartUpAndTurnClockwise) {
    const Point c{150, 150};
    EXPECT_EQ(ArrowTip(c, 100, 0.0).rounded, (Point{150, 50}));
    EXPECT_EQ(ArrowTip(c, 100, kPi / 2).rounded, (Point{250, 150}));
    EXPECT_EQ(ArrowTip(c, 100, 2 * kPi / 3).rounded, (Point{237, 200}));  // lower right
    EXPECT_EQ(ArrowTip(c, 100, 4 * kPi / 3).rounded, (Point{63, 200}));   // lower left

    const Tip t = ArrowTip(c, 100, 2 * kPi / 3);
    EXPECT_NEAR(t.exact.x, 150 + 50 * std::sqrt(3.0), 1e-9);
    EXPECT_NEAR(t.exact.y, 200.0, 1e-9);

    // Screen angles run counterclockwise from +x.
    EXPECT_EQ(ArrowTipScreen(c, 20, 0.0).rounded, (Point{170, 150}));
    EXPECT_EQ(ArrowTipScreen(c, 20, kPi / 2).rounded, (Point{150, 130}));
}

TEST(PolarLayout, ArrowHeadSitsBehindTheTip) {
    EXPECT_EQ(ArrowHeadSize(1, Layout::FromClientSize(300, 300)), 2);
    EXPECT_EQ(ArrowHeadSize(2, Layout::FromClientSize(300, 300)), 5);
    EXPECT_EQ(ArrowHeadSize(1, Layout::FromClientSize(240, 240)), 2);

    // Pointing right: the base is to the left of the tip.
    const auto right = ArrowHead({100.0, 100.0}, 0.0, 10);
    EXPECT_EQ(right[0], (Point{100, 100}));
    EXPECT_EQ(right[1], (Point{83, 110}));
    EXPECT_EQ(right[2], (Point{83, 90}));

    // Pointing up on the screen: the base is below the tip (screen y grows downwards).
    const auto up = ArrowHead({100.0, 100.0}, kPi / 2, 10);
    EXPECT_EQ(up[0], (Point{100, 100}));
    EXPECT_EQ(up[1], (Point{110, 117}));
    EXPECT_EQ(up[2], (Point{90, 117}));

    // The apex is rounded from the exact tip, not from a pre-rounded one.
    EXPECT_EQ(ArrowHead({10.6, 20.4}, 0.0, 0)[0], (Point{11, 20}));
}

class PolarHitTest : public testing::Test {
protected:
    Layout l = Layout::FromClientSize(300, 300);  // R 125, RI 100, reach R div 10 = 12
    static constexpr Point kFar{-1000, -1000};
    std::array<Point, 3> none{{kFar, kFar, kFar}};
};

TEST_F(PolarHitTest, ReachIsStrict) {
    const std::array<Point, 3> volts{{{150, 40}, kFar, kFar}};
    EXPECT_FALSE(HitTest(l, {150, 52}, volts, none));  // exactly 12 away
    EXPECT_EQ(HitTest(l, {150, 51}, volts, none), (Hit{ArrowKind::Voltage, 0}));
    EXPECT_EQ(HitTest(l, {150, 40}, volts, none), (Hit{ArrowKind::Voltage, 0}));
    // Diagonal: 8^2 + 9^2 = 145 is just beyond 12^2, 8^2 + 8^2 is inside.
    EXPECT_FALSE(HitTest(l, {158, 49}, volts, none));
    EXPECT_TRUE(HitTest(l, {158, 48}, volts, none));

    const std::array<Point, 3> amps{{kFar, {150, 80}, kFar}};
    EXPECT_FALSE(HitTest(l, {150, 92}, none, amps));
    EXPECT_EQ(HitTest(l, {150, 91}, none, amps), (Hit{ArrowKind::Current, 1}));
}

TEST_F(PolarHitTest, PointerMustBeInsideTheMatchingFullScale) {
    // A voltage tip on the full-scale circle only answers from the inner side.
    const std::array<Point, 3> volts{{{150, 25}, kFar, kFar}};
    EXPECT_TRUE(HitTest(l, {150, 30}, volts, none));    // 120 from the centre
    EXPECT_FALSE(HitTest(l, {150, 25}, volts, none));   // exactly R
    EXPECT_FALSE(HitTest(l, {150, 20}, volts, none));

    // Currents use the smaller radius RI, not R.
    const std::array<Point, 3> amps{{{150, 45}, kFar, kFar}};
    EXPECT_FALSE(HitTest(l, {150, 45}, none, amps));    // 105 from the centre
    EXPECT_TRUE(HitTest(l, {150, 55}, none, amps));     // 95 from the centre
}

TEST_F(PolarHitTest, LaterMatchesWin) {
    const Point p{150, 90};
    const std::array<Point, 3> same{{p, p, p}};
    EXPECT_EQ(HitTest(l, p, same, same), (Hit{ArrowKind::Voltage, 2}));
    EXPECT_EQ(HitTest(l, p, {{p, kFar, kFar}}, same), (Hit{ArrowKind::Voltage, 0}));
    EXPECT_EQ(HitTest(l, p, none, {{p, p, kFar}}), (Hit{ArrowKind::Current, 1}));
    EXPECT_FALSE(HitTest(l, p, none, none));
}

TEST(PolarLayout, ScaleFontGrowsWithTheRadius) {
    EXPECT_EQ(ScaleFontSize(101), 6);
    EXPECT_EQ(ScaleFontSize(125), 6);
    EXPECT_EQ(ScaleFontSize(130), 7);
    EXPECT_EQ(ScaleFontSize(250), 11);  // the 15-degree labels then use 6
}

TEST(PolarLayout, ContentRightOfTheSquareDecidesTheWidthASideNeeds) {
    EXPECT_EQ(SmallestSideWithTexts(), 242);  // m 20, R 101
    EXPECT_EQ(Layout::FromClientSize(241, 241).R, 100);
    // S = 300: the table starts at E + 5m = 400 and ends with its rule at 400 + 4cw + 40.
    const Layout l = Layout::FromClientSize(300, 300);
    EXPECT_EQ(ContentWidth(l, 40, 150), 400 + 4 * 50 + 40 + 1);
    EXPECT_EQ(ContentWidth(l, 40, 400), 400 + 9 + 400 + 1);  // a long power factor line
    // Without texts only the scale bar and the legend lie right of the square.
    EXPECT_EQ(ContentWidth(Layout::FromClientSize(240, 240), 40, 150), 220 + 60);
}

TEST(PolarLayout, FittingSideIsTheLargestWhoseContentFits) {
    const auto twice = [](int side) { return 2 * side; };
    EXPECT_EQ(FittingSide(600, 400, 242, twice), 300);
    EXPECT_EQ(FittingSide(1000, 400, 242, twice), 400);  // the height decides
    EXPECT_EQ(FittingSide(300, 400, 242, twice), 242);   // never below the smallest side
    EXPECT_EQ(FittingSide(300, 200, 242, twice), 200);   // nor above the room
    // Content that narrows as the side grows (smaller fonts) is found above a wide one.
    const auto narrowing = [](int side) { return side > 300 ? side : 3 * side; };
    EXPECT_EQ(FittingSide(400, 400, 242, narrowing), 400);
}

TEST(PolarLayout, SineSymbolIsOnePeriodTwiceAsWideAsItsStep) {
    // R = 125 gives b = 6: seven points 2 pixels apart, amplitude 3, crest first.
    const std::vector<Point> pts = SineSymbol(12, 275, 6);
    const std::vector<Point> expected{{12, 275}, {14, 272}, {16, 272}, {18, 275},
                                      {20, 278}, {22, 278}, {24, 275}};
    EXPECT_EQ(pts, expected);
    EXPECT_TRUE(SineSymbol(0, 0, 0).empty());
}

TEST(PolarFormat, FixedDecimalsWithTheGivenSeparatorAndNoGrouping) {
    struct Case {
        double value;
        int decimals;
        const char* separator;
        const char* text;
    };
    const Case cases[] = {
        {49.96, 1, ".", "50.0"},
        {49.96, 1, ",", "50,0"},
        {49.94, 1, ",", "49,9"},
        {1234567.891, 2, ",", "1234567,89"},  // never "1.234.567,89"
        {0.90631, 5, ".", "0.90631"},
        {230.0, 0, ",", "230"},
        {-0.001, 2, ".", "0.00"},  // no "-0.00"
        {-0.5, 0, ".", "0"},       // halves to even, and zero has no sign
        {-12.5, 2, "\u066b", "-12\u066b50"},  // a separator of more than one byte
        {std::numeric_limits<double>::quiet_NaN(), 2, ",", "NAN"},
        {std::numeric_limits<double>::infinity(), 2, ",", "INF"},
        {-std::numeric_limits<double>::infinity(), 2, ",", "-INF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FormatFixed(c.value, c.decimals, c.separator), c.text);
    }
}

TEST(PolarHint, ShowsValueAndAngleInDegrees) {
    EXPECT_DOUBLE_EQ(DegreesFromRadians(kPi), 180.0);
    EXPECT_EQ(HintText("VL2", 230.0, "V", 2.0933333333333333), "VL2 = 230.00 V (119.94\u00b0)");
    EXPECT_EQ(HintText("CL1", 4.996, "A", -0.5236, ','), "CL1 = 5,00 A (-30,00\u00b0)");
}

}  // namespace
}  // namespace veltro::phasor
