// Layout and scaling maths of the phasor diagram, kept free of any toolkit so that
// the geometry can be checked without a display.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltro::phasor {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct PointF {
    double x = 0.0;
    double y = 0.0;
};

// Rounds halves to even, the rounding every pixel position of the diagram uses.
// A value that has no integer (NaN, infinite, beyond int) throws std::range_error
// instead of producing an undefined conversion; the paint treats it as a failed paint.
int Round(double value);

// Pixel metrics derived from the client size: S is the smaller side, m the margin,
// E the right/bottom edge of the diagram square, R the voltage full-scale radius,
// RI the current full-scale radius and (cx, cy) the centre.
struct Layout {
    int S = 0;
    int m = 0;
    int E = 0;
    int R = 0;
    int RI = 0;
    int cx = 0;
    int cy = 0;

    static Layout FromClientSize(int width, int height);
};

// The smallest square side whose radius R exceeds 100, where the diagram draws its texts:
// scales, value table, frequency, power factor and hints.
int SmallestSideWithTexts();

// How wide the diagram must be for what it draws right of its square. With R > 100 that
// is the value table and the power-factor line (the scale bar and the legend lie inside
// the table's indent); cellTextWidth is the width of "000.00 V" and powerFactorTextWidth
// that of the power-factor caption with its value, in the font they are drawn with.
int ContentWidth(const Layout& layout, int cellTextWidth, int powerFactorTextWidth);

// The largest square side, from maxSide down, whose content fits in width; minSide (or
// maxSide when that is smaller) when none above it does. Content widths need not grow
// with the side (the fonts shrink past R = 200), so every side is tried.
int FittingSide(int width, int maxSide, int minSide, const std::function<int(int side)>& contentWidth);

// The largest magnitude, never below 0.0: negative magnitudes do not set the scale.
double FullScale(std::span<const double> magnitudes);

// Value to pixels against a full scale; 0 when the full scale is 0 so that an idle
// diagram collapses to its centre instead of dividing by zero.
int VoltageToPixels(double value, double voltageMax, const Layout& layout);
int CurrentToPixels(double value, double currentMax, const Layout& layout);

// Diagram angles are radians, 0 straight up, clockwise positive on the screen.
// Screen angles are measured from +x, counterclockwise on the screen.
double ScreenAngleFromDiagram(double diagramAngle);

struct Tip {
    PointF exact;    // kept for the arrowhead
    Point rounded;   // the shaft end
};

// The length may be fractional (tick ends, label anchors) or negative (the point lies
// on the opposite side of the origin).
Tip ArrowTip(Point origin, double length, double diagramAngle);
Tip ArrowTipScreen(Point origin, double length, double screenAngle);

// Arrowhead half-side for a pen width: the head grows with the pen and the diagram.
int ArrowHeadSize(int penWidth, const Layout& layout);

// The three corners of the arrowhead: an equilateral triangle of side 2s whose apex
// sits on the tip, pointing along the screen angle.
std::array<Point, 3> ArrowHead(PointF tip, double screenAngle, int s);

enum class ArrowKind { Voltage, Current };

struct Hit {
    ArrowKind kind = ArrowKind::Voltage;
    int index = 0;
    friend bool operator==(const Hit&, const Hit&) = default;
};

// Which arrow tip the pointer rests on. Tips are the rounded shaft ends. Currents are
// only considered inside the current full scale and voltages inside the voltage full
// scale; a later match overrides an earlier one, so voltages win over currents and a
// higher phase over a lower one.
std::optional<Hit> HitTest(const Layout& layout, Point pointer,
                           const std::array<Point, 3>& voltageTips,
                           const std::array<Point, 3>& currentTips);

double DegreesFromRadians(double radians);
double RadiansFromDegrees(double degrees);

// Font size of the degree scale and of the scale bar labels: grows one point for every
// 30 pixels of radius beyond 100, from 6 points.
int ScaleFontSize(int R);

// The sine symbol beside the frequency: one full period 2b pixels wide starting at
// (x, baseline), the first half above the baseline.
std::vector<Point> SineSymbol(int x, int baseline, int b);

// Fixed-point text with a given number of decimals and decimal separator, never with
// digit grouping. NaN reads "NAN", infinities "INF" and "-INF"; a value that rounds to
// zero carries no minus sign.
std::string FormatFixed(double value, int decimals, std::string_view decimalSeparator = ".");

// "VL1 = 230.00 V (120.00°)"; the angle is given in radians and shown in degrees.
std::string HintText(std::string_view caption, double magnitude, std::string_view units,
                     double angleRadians, std::string_view decimalSeparator);
std::string HintText(std::string_view caption, double magnitude, std::string_view units,
                     double angleRadians, char decimalSeparator = '.');

}  // namespace veltro::phasor
