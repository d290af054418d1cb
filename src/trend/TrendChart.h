// The trend chart of "Controllo": the polled values over time, drawn with QPainter into a
// bitmap that is only redrawn when something shown changed.
//
// A strip of buttons above the picture: "Grandezze" (which quantities to draw), "Pausa",
// "Dal vivo" and "Esporta il grafico...". Live, the chart shows everything the history
// holds, up to the newest cycle; paused, it keeps the time range it had while cycles are
// still collected. Dragging across the plot zooms to the range dragged (and pauses);
// "Dal vivo" or a double-click goes back to live.
//
// Value axes: quantities of one scale share an axis (the three powers share one, see
// Scale). The first scale shown, in the order of the "Grandezze" menu, gets the labelled
// axis on the left, the second the one on the right. A third or further scale is still
// drawn, against a range of its own that fills the plot's height, without axis labels:
// its legend entry states that range instead, so every line stays readable.
#pragma once

#include "trend/TrendHistory.h"
#include "trend/TrendScale.h"

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

class QAction;
class QTimer;
class QMenu;
class QToolButton;

namespace veltro::trend {

// A time as the time axis writes it: the locale's long time without its time-zone field,
// "17:58:00".
QString TimeLabel(TrendTime t);

struct TimeRange {
    TrendTime from;
    TrendTime to;
    friend bool operator==(const TimeRange&, const TimeRange&) = default;
};

// One value axis as the last paint drew it.
struct DrawnAxis {
    Scale scale;
    ValueAxis axis;
    bool labelled = false;  // left or right; false for a third or further scale
};

class TrendChart : public QWidget {
    Q_OBJECT

public:
    // The shortest range live mode shows, so that the first cycles do not fill the width.
    static constexpr std::chrono::minutes kLiveMinimumSpan{2};
    // The shortest range a zoom goes to: below a few polls there is nothing to see.
    static constexpr std::chrono::seconds kZoomMinimumSpan{10};
    // The quickest new cycles redraw the chart: a pixel column of the live range is more.
    static constexpr std::chrono::milliseconds kCycleRepaintInterval{1000};

    explicit TrendChart(QWidget* parent = nullptr);

    // One poll cycle (any value may be missing). The chart repaints when the cycle lands in
    // the range shown: always live, never while paused on an earlier range.
    void AddCycle(const TrendCycle& cycle);
    // Drops every value kept and goes back to live.
    void Clear();
    const TrendHistory& History() const { return FHistory; }

    // The quantities drawn; the three currents at first.
    void SetShown(Quantity q, bool shown);
    bool IsShown(Quantity q) const { return FShown[IndexOf(q)]; }

    bool Live() const { return FLive; }
    // Pausing keeps the range shown now; resuming is the same as GoLive.
    void SetPaused(bool paused);
    void ZoomTo(TrendTime from, TrendTime to);
    void GoLive();
    // What the chart shows, or would show at its next paint; empty live without values.
    std::optional<TimeRange> VisibleRange() const;

    // Draws the chart and saves it as a PNG; an Italian error text, or empty on success.
    QString ExportPng(const QString& path);
    // Asks for the file in a window-modal dialog, then saves; "Esporta il grafico...".
    void StartExport();

    // Draws the whole chart into the bitmap, whether or not anything changed.
    void Render();
    // The picture of the last paint (the chart below the buttons) and where its plot lies.
    const QImage& Bitmap() const { return FBitmap; }
    const Box& PlotBox() const { return FLayout.plot; }
    // The value axes of the last paint, left, right, then any unlabelled ones.
    const std::vector<DrawnAxis>& Axes() const { return FAxes; }
    // Where the picture starts in the widget, below the buttons.
    int ChartTop() const;

    // Room for a plot a few hundred pixels wide and as tall as a handful of axis steps.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Every change of what is shown ends here; kept apart so that a request can be observed.
    virtual void RequestRepaint();

private:
    // A repaint for new cycles alone, which may wait (see FOnlyNewCycles).
    void RequestCycleRepaint();

protected:

private:
    std::optional<TimeRange> LiveRange() const;
    void SyncControls();
    void EnsureBitmapSize();
    QPoint ToChart(const QPoint& widgetPos) const { return widgetPos - QPoint(0, ChartTop()); }

    TrendHistory FHistory;
    std::array<bool, kQuantityCount> FShown{};
    bool FLive = true;
    TimeRange FFrozen;  // the range shown while not live
    bool FDirty = true;
    // What is out of date is only that cycles came: such a redraw waits until
    // kCycleRepaintInterval has passed since the last, so a fast poll (a gateway answers
    // within a millisecond) does not redraw the chart several times a second.
    bool FOnlyNewCycles = false;
    QElapsedTimer FSinceRender;
    QTimer* FRepaintLater = nullptr;
    QImage FBitmap;
    ChartLayout FLayout;
    std::vector<DrawnAxis> FAxes;
    std::optional<int> FDragFrom;  // x in the chart where a zoom drag started
    int FDragTo = 0;

    QWidget* FBar = nullptr;
    QToolButton* btnTrendQuantities = nullptr;
    QToolButton* btnTrendPause = nullptr;
    QToolButton* btnTrendLive = nullptr;
    QToolButton* btnTrendExport = nullptr;
    std::array<QAction*, kQuantityCount> FActions{};
};

}  // namespace veltro::trend
