#include "PolarLayout.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace veltro::phasor {

int Round(double value) {
    // nearbyint follows the current rounding mode, which is round-half-to-even by default.
    const double r = std::nearbyint(value);
    // Converting NaN or an out-of-range value to int is undefined behaviour.
    if (!(r >= double(INT_MIN) && r <= double(INT_MAX)))
        throw std::range_error("pixel coordinate out of range");
    return static_cast<int>(r);
}

Layout Layout::FromClientSize(int width, int height) {
    Layout l;
    l.S = std::min(width, height);
    l.m = l.S / 12;
    l.E = l.S - l.m;
    l.R = (l.S - 2 * l.m) / 2;
    l.RI = Round(4.0 * l.R / 5.0);
    l.cx = l.m + l.R;
    l.cy = l.m + l.R;
    return l;
}

int SmallestSideWithTexts() {
    int side = 0;
    while (Layout::FromClientSize(side, side).R <= 100) ++side;
    return side;
}

int ContentWidth(const Layout& l, int cellTextWidth, int powerFactorTextWidth) {
    // Without texts the legend's one-letter labels end a little past the scale bar.
    if (l.R <= 100) return l.E + 3 * l.m;
    const int cw = cellTextWidth + 10;
    const int x0 = l.E + 5 * l.m;
    const int table = x0 + 4 * cw + 40;  // the end of the heading rule
    const int powerFactor = x0 + (3 * (l.R / 20)) / 2 + powerFactorTextWidth;
    return std::max(table, powerFactor) + 1;
}

int FittingSide(int width, int maxSide, int minSide, const std::function<int(int side)>& contentWidth) {
    for (int side = maxSide; side > minSide; --side)
        if (contentWidth(side) <= width) return side;
    return std::min(minSide, maxSide);
}

double FullScale(std::span<const double> magnitudes) {
    double max = 0.0;
    for (double v : magnitudes) max = std::max(max, v);
    return max;
}

namespace {
int ToPixels(double value, double fullScale, int radius) {
    if (fullScale == 0.0) return 0;
    return Round(value / fullScale * radius);
}
}  // namespace

int VoltageToPixels(double value, double voltageMax, const Layout& layout) {
    return ToPixels(value, voltageMax, layout.R);
}

int CurrentToPixels(double value, double currentMax, const Layout& layout) {
    return ToPixels(value, currentMax, layout.RI);
}

double ScreenAngleFromDiagram(double diagramAngle) { return std::numbers::pi / 2.0 - diagramAngle; }

Tip ArrowTipScreen(Point origin, double length, double screenAngle) {
    Tip t;
    t.exact.x = origin.x + length * std::cos(screenAngle);
    t.exact.y = origin.y - length * std::sin(screenAngle);
    t.rounded = {Round(t.exact.x), Round(t.exact.y)};
    return t;
}

Tip ArrowTip(Point origin, double length, double diagramAngle) {
    return ArrowTipScreen(origin, length, ScreenAngleFromDiagram(diagramAngle));
}

int ArrowHeadSize(int penWidth, const Layout& layout) { return penWidth * layout.R / 50; }

std::array<Point, 3> ArrowHead(PointF tip, double screenAngle, int s) {
    const double c = std::cos(screenAngle);
    const double sn = std::sin(screenAngle);
    const double back = -std::sqrt(3.0) * s;
    const std::array<PointF, 3> local{{{0.0, 0.0}, {back, double(s)}, {back, -double(s)}}};
    std::array<Point, 3> out;
    for (std::size_t i = 0; i < local.size(); ++i) {
        // Screen y grows downwards, hence the mirrored rotation.
        const double x = local[i].x * c + local[i].y * sn;
        const double y = -local[i].x * sn + local[i].y * c;
        out[i] = {Round(tip.x + x), Round(tip.y + y)};
    }
    return out;
}

namespace {
long long SquaredDistance(Point a, Point b) {
    const long long dx = a.x - b.x;
    const long long dy = a.y - b.y;
    return dx * dx + dy * dy;
}
}  // namespace

std::optional<Hit> HitTest(const Layout& layout, Point pointer,
                           const std::array<Point, 3>& voltageTips,
                           const std::array<Point, 3>& currentTips) {
    // Compare squared integer distances so "strictly closer" is exact at the boundary.
    const Point centre{layout.cx, layout.cy};
    const long long fromCentre = SquaredDistance(pointer, centre);
    const long long reach = layout.R / 10;
    const long long reach2 = reach * reach;
    std::optional<Hit> hit;
    if (fromCentre < static_cast<long long>(layout.RI) * layout.RI) {
        for (int i = 0; i < 3; ++i)
            if (SquaredDistance(pointer, currentTips[i]) < reach2) hit = Hit{ArrowKind::Current, i};
    }
    if (fromCentre < static_cast<long long>(layout.R) * layout.R) {
        for (int i = 0; i < 3; ++i)
            if (SquaredDistance(pointer, voltageTips[i]) < reach2) hit = Hit{ArrowKind::Voltage, i};
    }
    return hit;
}

double DegreesFromRadians(double radians) { return radians * 57.29577951308232; }

double RadiansFromDegrees(double degrees) { return degrees * std::numbers::pi / 180.0; }

int ScaleFontSize(int R) { return (R - 100) / 30 + 6; }

std::vector<Point> SineSymbol(int x, int baseline, int b) {
    std::vector<Point> points;
    if (b <= 0) return points;
    points.reserve(static_cast<std::size_t>(b) + 1);
    const int amplitude = b / 2;
    for (int i = 0; i <= b; ++i) {
        const double phase = 2.0 * std::numbers::pi * i / b;
        points.push_back({x + 2 * i, baseline + Round(-std::sin(phase) * amplitude)});
    }
    return points;
}

std::string FormatFixed(double value, int decimals, std::string_view decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    // to_chars ignores the process locale (the GUI toolkit sets it from the environment),
    // so the only separator in the result is the one given here.
    char buf[400];  // enough for DBL_MAX in fixed notation
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    std::string digits(buf, res.ec == std::errc() ? res.ptr : buf);
    if (digits.find_first_of("123456789") == std::string::npos && !digits.empty() && digits[0] == '-')
        digits.erase(0, 1);
    std::string text;
    for (char ch : digits) {
        if (ch == '.')
            text += decimalSeparator;
        else
            text += ch;
    }
    return text;
}

std::string HintText(std::string_view caption, double magnitude, std::string_view units,
                     double angleRadians, std::string_view decimalSeparator) {
    std::string text(caption);
    text += " = ";
    text += FormatFixed(magnitude, 2, decimalSeparator);
    text += ' ';
    text += units;
    text += " (";
    text += FormatFixed(DegreesFromRadians(angleRadians), 2, decimalSeparator);
    text += "\u00b0)";
    return text;
}

std::string HintText(std::string_view caption, double magnitude, std::string_view units,
                     double angleRadians, char decimalSeparator) {
    return HintText(caption, magnitude, units, angleRadians, std::string_view(&decimalSeparator, 1));
}

}  // namespace veltro::phasor
