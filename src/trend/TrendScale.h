// Scales and layout of the trend chart, free of any toolkit so that they can be checked
// without a display: value axes in round steps, time ticks on round times of the local
// clock, and where the plot, the labels and the legend go for a given size.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace veltro::trend {

struct ValueAxis {
    double min = 0.0;
    double max = 1.0;
    double step = 0.5;
    int decimals = 1;  // as many as tell two neighbouring ticks apart
};

// From a round value at or below lo to one at or above hi, in steps of 1, 2 or 5 times a
// power of ten, with at most maxTicks intervals. Flat data gets a band around it, so that
// a steady value is drawn as a line across the middle; no data (NaN) gives 0..1.
ValueAxis NiceAxis(double lo, double hi, int maxTicks);

struct TimeTicks {
    std::int64_t stepMs = 0;
    std::vector<std::int64_t> ticks;  // ms since the epoch
};

// Ticks from fromMs to toMs on round times of the local clock (whole minutes, quarter
// hours, hours... for a clock utcOffsetSeconds ahead of UTC), with the smallest step of a
// fixed list that keeps neighbouring ticks minSpacing pixels apart across plotWidth.
TimeTicks MakeTimeTicks(std::int64_t fromMs, std::int64_t toMs, int utcOffsetSeconds, int plotWidth, int minSpacing);

struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int Right() const { return left + width - 1; }
    int Bottom() const { return top + height - 1; }
};

// Legend items fill rows from the left; an item that does not fit where the row has got
// to starts the next row.
struct LegendPlace {
    int row = 0;
    int x = 0;
};
std::vector<LegendPlace> PlaceLegend(std::span<const int> itemWidths, int availableWidth);
int LegendRows(std::span<const LegendPlace> places);

// What the layout depends on: the drawing area, the font's line height, the width kept for
// value labels (the same whatever the values, so the plot does not move while they change)
// and for a time label, whether there is a right axis, and the legend's rows.
struct ChartMetrics {
    int width = 0;
    int height = 0;
    int lineHeight = 0;
    int valueLabelWidth = 0;
    int timeLabelWidth = 0;
    bool rightAxis = false;
    int legendRows = 0;
};

struct ChartLayout {
    Box plot;
    int titleTop = 0;      // axis titles, above the plot
    int timeLabelTop = 0;  // below the plot
    int legendTop = 0;
    int legendLeft = 0;
    int legendWidth = 0;
};

inline constexpr int kMargin = 6;
inline constexpr int kTickLength = 4;

ChartLayout LayoutChart(const ChartMetrics& m);

// Pixel position of a value on an axis across the plot's height, and of a time across its
// width; both land on the plot's edges at the ends of the scale.
double YOf(double value, const ValueAxis& axis, const Box& plot);
double XOf(std::int64_t ms, std::int64_t fromMs, std::int64_t toMs, const Box& plot);
std::int64_t TimeAtX(int x, std::int64_t fromMs, std::int64_t toMs, const Box& plot);

}  // namespace veltro::trend
