#include "trend/TrendScale.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace veltro::trend {

ValueAxis NiceAxis(double lo, double hi, int maxTicks) {
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        lo = 0.0;
        hi = 1.0;
    }
    if (hi < lo) std::swap(lo, hi);
    if (hi - lo <= 1e-9 * std::max(1.0, std::fabs(hi))) {
        const double pad = lo == 0.0 ? 1.0 : std::fabs(lo) * 0.01;
        lo -= pad;
        hi += pad;
    }
    maxTicks = std::max(1, maxTicks);
    constexpr std::array<double, 3> kMantissas{1.0, 2.0, 5.0};
    double magnitude = std::pow(10.0, std::floor(std::log10((hi - lo) / maxTicks)));
    ValueAxis axis;
    for (std::size_t i = 0;; ++i) {
        if (i == kMantissas.size()) {
            i = 0;
            magnitude *= 10.0;
        }
        axis.step = kMantissas[i] * magnitude;
        // The slack keeps 0.93 / 0.01 = 92.99999... from adding a step below the data.
        axis.min = std::floor(lo / axis.step + 1e-9) * axis.step;
        axis.max = std::ceil(hi / axis.step - 1e-9) * axis.step;
        if ((axis.max - axis.min) / axis.step <= maxTicks + 1e-9) break;
    }
    axis.decimals = axis.step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(axis.step) - 1e-9));
    return axis;
}

TimeTicks MakeTimeTicks(std::int64_t fromMs, std::int64_t toMs, int utcOffsetSeconds, int plotWidth, int minSpacing) {
    constexpr std::int64_t s = 1000;
    constexpr std::int64_t m = 60 * s;
    constexpr std::int64_t h = 60 * m;
    constexpr std::array<std::int64_t, 18> kSteps{1 * s,  2 * s,  5 * s,  10 * s, 15 * s, 30 * s,
                                                  1 * m,  2 * m,  5 * m,  10 * m, 15 * m, 30 * m,
                                                  1 * h,  2 * h,  3 * h,  6 * h,  12 * h, 24 * h};
    TimeTicks out;
    if (toMs <= fromMs || plotWidth <= 0) return out;
    const double pixelsPerMs = static_cast<double>(plotWidth) / static_cast<double>(toMs - fromMs);
    out.stepMs = kSteps.back();
    for (std::int64_t step : kSteps) {
        if (static_cast<double>(step) * pixelsPerMs >= minSpacing) {
            out.stepMs = step;
            break;
        }
    }
    // Round in local time: shift to the local clock, round up to the step, shift back.
    const std::int64_t offset = static_cast<std::int64_t>(utcOffsetSeconds) * s;
    const std::int64_t local = fromMs + offset;
    std::int64_t first = (local / out.stepMs) * out.stepMs;
    if (first < local) first += out.stepMs;
    for (std::int64_t t = first - offset; t <= toMs; t += out.stepMs) out.ticks.push_back(t);
    return out;
}

std::vector<LegendPlace> PlaceLegend(std::span<const int> itemWidths, int availableWidth) {
    std::vector<LegendPlace> places;
    places.reserve(itemWidths.size());
    LegendPlace at;
    for (int w : itemWidths) {
        if (at.x > 0 && at.x + w > availableWidth) at = {at.row + 1, 0};
        places.push_back(at);
        at.x += w;
    }
    return places;
}

int LegendRows(std::span<const LegendPlace> places) { return places.empty() ? 0 : places.back().row + 1; }

ChartLayout LayoutChart(const ChartMetrics& m) {
    ChartLayout l;
    l.titleTop = kMargin;
    l.legendLeft = kMargin;
    l.legendWidth = std::max(0, m.width - 2 * kMargin);
    l.legendTop = m.height - kMargin - m.legendRows * m.lineHeight;
    l.timeLabelTop = l.legendTop - (m.legendRows > 0 ? kMargin : 0) - m.lineHeight;
    const int labelArea = m.valueLabelWidth + kTickLength + 2;
    l.plot.left = kMargin + labelArea;
    // Value labels stand centred on their ticks: half a line above the plot's top and below
    // its bottom must stay clear of the axis titles and the time labels.
    l.plot.top = l.titleTop + m.lineHeight + m.lineHeight / 2 + 1;
    // Without a right axis, the last time label may still stand half past the plot's edge.
    const int right = m.width - 1 - kMargin - (m.rightAxis ? labelArea : m.timeLabelWidth / 2);
    l.plot.width = std::max(0, right - l.plot.left + 1);
    const int bottom = l.timeLabelTop - std::max(kTickLength + 2, m.lineHeight / 2 + 1);
    l.plot.height = std::max(0, bottom - l.plot.top + 1);
    return l;
}

double YOf(double value, const ValueAxis& axis, const Box& plot) {
    return plot.Bottom() - (value - axis.min) / (axis.max - axis.min) * (plot.height - 1);
}

double XOf(std::int64_t ms, std::int64_t fromMs, std::int64_t toMs, const Box& plot) {
    return plot.left + static_cast<double>(ms - fromMs) / static_cast<double>(toMs - fromMs) * (plot.width - 1);
}

std::int64_t TimeAtX(int x, std::int64_t fromMs, std::int64_t toMs, const Box& plot) {
    const int clamped = std::clamp(x, plot.left, std::max(plot.left, plot.Right()));
    if (plot.width <= 1) return fromMs;
    return fromMs + static_cast<std::int64_t>(std::llround(static_cast<double>(clamped - plot.left) *
                                                           static_cast<double>(toMs - fromMs) / (plot.width - 1)));
}

}  // namespace veltro::trend
