#include "phasor/PolarDiagram.h"

#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <exception>

namespace veltro::phasor {

namespace {
std::array<Point, 3> TipsOf(const APolarArrows& arrows, Point centre) {
    std::array<Point, 3> tips;
    for (std::size_t i = 0; i < arrows.size(); ++i) tips[i] = ArrowTip(centre, arrows[i].Length, arrows[i].Angle).rounded;
    return tips;
}
}  // namespace

TPolarDiagram::TPolarDiagram(QWidget* parent) : QWidget(parent) {
    // Every paint covers the whole client area from the bitmap, so the toolkit need not
    // clear it first; with its own back buffer this keeps the 100 ms updates flicker-free.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    for (int i = 0; i < 3; ++i) {
        FVoltages[i].Color = PhaseColor(i);
        FCurrents[i].Color = PhaseColor(i);
    }
    if (parent) {
        setGeometry(parent->rect());
        parent->installEventFilter(this);
    }
    EnsureBitmapSize();
}

bool TPolarDiagram::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void TPolarDiagram::RequestRepaint() { update(); }

void TPolarDiagram::SetVoltageArrow(int Index, const QString& Phase, const QString& Caption, double Magnitude,
                                    double Angle, int Width, Qt::PenStyle Style) {
    TPolarArrow& a = FVoltages.at(static_cast<std::size_t>(Index));
    a = TPolarArrow{};
    a.Caption = Caption;
    a.Phase = Phase;
    a.Magnitude = Magnitude;
    a.Units = QStringLiteral("V");
    a.Angle = Angle;
    a.Color = PhaseColor(Index);
    a.Width = Width;
    a.Style = Style;
    RequestRepaint();
}

void TPolarDiagram::SetCurrentArrow(int Index, const QString& Phase, const QString& Caption, double Magnitude,
                                    double Phi, int Width, Qt::PenStyle Style) {
    const std::size_t i = static_cast<std::size_t>(Index);
    TPolarArrow& a = FCurrents.at(i);
    a = TPolarArrow{};
    a.Caption = Caption;
    a.Phase = Phase;
    a.Magnitude = Magnitude;
    a.Units = QStringLiteral("A");
    a.Phi = Phi;
    a.Angle = Phi + FVoltages[i].Angle;
    a.Color = PhaseColor(Index);
    a.Width = Width;
    a.Style = Style;
    RequestRepaint();
}

// A poll that brings the values already shown repaints nothing: the whole diagram is
// drawn again for any change, which is the most a poll costs the window.
void TPolarDiagram::SetVoltage(int Index, double Magnitude, double Angle) {
    TPolarArrow& v = FVoltages.at(static_cast<std::size_t>(Index));
    const bool same = v.Magnitude == Magnitude && v.Angle == Angle;
    v.Magnitude = Magnitude;
    v.Angle = Angle;
    const TPolarArrow& c = FCurrents[static_cast<std::size_t>(Index)];
    SetCurrent(Index, c.Magnitude, c.Phi);  // the current turns with its voltage
    if (!same) RequestRepaint();
}

void TPolarDiagram::SetCurrent(int Index, double Magnitude, double Phi) {
    const std::size_t i = static_cast<std::size_t>(Index);
    TPolarArrow& c = FCurrents.at(i);
    const double angle = FVoltages[i].Angle + Phi;
    if (c.Magnitude == Magnitude && c.Phi == Phi && c.Angle == angle) return;
    c.Magnitude = Magnitude;
    c.Phi = Phi;
    c.Angle = angle;
    RequestRepaint();
}

void TPolarDiagram::SetFrequency(double Value) {
    if (Value > 0.0) {
        // Shown to a tenth of a hertz: a change below that draws nothing new.
        const bool same = FFrequency > 0.0 && LocaleFixed(FFrequency, 1) == LocaleFixed(Value, 1);
        FFrequency = Value;
        if (!same) RequestRepaint();
    } else {
        FFrequency = -1.0;
    }
}

int TPolarDiagram::ContentWidthFor(int side) const {
    const Layout l = Layout::FromClientSize(side, side);
    if (l.R <= 100) return ContentWidth(l, 0, 0);
    // The table and the power factor are drawn in the size the scale bar leaves behind.
    const int points = ScaleFontSize(l.R) - (l.R > 200 ? 5 : 0);
    const int cell = FCanvas.TextWidthAt(points, QStringLiteral("000.00 V"));
    const int powerFactor =
        FCanvas.TextWidthAt(points, kPowerFactorCaption + LocaleFixed(-1.0, 5));
    return ContentWidth(l, cell, powerFactor);
}

void TPolarDiagram::ComputeScales() {
    FLayout = Layout::FromClientSize(width(), height());
    const std::array<double, 3> volts{FVoltages[0].Magnitude, FVoltages[1].Magnitude, FVoltages[2].Magnitude};
    const std::array<double, 3> amps{FCurrents[0].Magnitude, FCurrents[1].Magnitude, FCurrents[2].Magnitude};
    FVoltageMax = FullScale(volts);
    FCurrentMax = FullScale(amps);
    for (TPolarArrow& v : FVoltages) v.Length = VoltageToPixels(v.Magnitude, FVoltageMax, FLayout);
    for (TPolarArrow& c : FCurrents) c.Length = CurrentToPixels(c.Magnitude, FCurrentMax, FLayout);
}

void TPolarDiagram::EnsureBitmapSize() {
    if (FBitmap.width() == width() && FBitmap.height() == height()) return;
    FBitmap = QImage(width(), height(), QImage::Format_RGB32);
    FBitmap.setDotsPerMeterX(kDotsPerMeter);
    FBitmap.setDotsPerMeterY(kDotsPerMeter);
}

std::optional<Hit> TPolarDiagram::HitTestAt(Point pointer) const {
    const Point centre{FLayout.cx, FLayout.cy};
    return HitTest(FLayout, pointer, TipsOf(FVoltages, centre), TipsOf(FCurrents, centre));
}

void TPolarDiagram::DrawHint(PolarDrawing& drawing) {
    FHintShown = false;
    if (FLayout.R <= 100) return;
    try {
        const QPoint p = mapFromGlobal(QCursor::pos());
        const Point pointer{p.x(), p.y()};
        const std::optional<Hit> hit = HitTestAt(pointer);
        if (!hit) return;
        const bool voltage = hit->kind == ArrowKind::Voltage;
        const TPolarArrow& a = (voltage ? FVoltages : FCurrents)[static_cast<std::size_t>(hit->index)];
        const std::string text =
            HintText(a.Caption.toStdString(), a.Magnitude, a.Units.toStdString(), voltage ? a.Angle : a.Phi,
                     LocaleDecimalSeparator());
        drawing.HintBox(pointer, QString::fromStdString(text), a.Color, QToolTip::palette().color(QPalette::ToolTipBase));
        FHintShown = true;
    } catch (const std::exception&) {
        // A hint that cannot be drawn is simply not shown; the diagram itself is complete.
        FHintShown = false;
    }
}

bool TPolarDiagram::Render() {
    try {
        ComputeScales();
        EnsureBitmapSize();
        if (FBitmap.isNull()) return false;
        PolarScene scene;
        scene.width = FBitmap.width();
        scene.height = FBitmap.height();
        scene.layout = FLayout;
        scene.voltages = &FVoltages;
        scene.currents = &FCurrents;
        scene.voltageMax = FVoltageMax;
        scene.currentMax = FCurrentMax;
        scene.frequency = FFrequency;
        scene.backColor = FBackColor;
        scene.voltageDiskColor = FVoltageDiskColor;
        scene.currentDiskColor = FCurrentDiskColor;
        scene.flags = FFlags;

        FCanvas.Begin(FBitmap);
        PolarDrawing drawing(FCanvas, scene);
        drawing.BackgroundAndScales();
        drawing.PhaseSequence();
        drawing.DegreeScale();
        drawing.LagLeadArcs();
        drawing.ScaleBar();
        drawing.Legend();
        drawing.ValueTable();
        drawing.Arrows();
        drawing.Frequency();
        drawing.PowerFactor();
        DrawHint(drawing);
        FCanvas.End();
        return true;
    } catch (const std::exception&) {
        // A value that cannot be drawn (say a NaN magnitude) ends this paint; the screen
        // keeps the last good picture and the next paint starts over.
        FCanvas.End();
        return false;
    }
}

void TPolarDiagram::paintEvent(QPaintEvent*) {
    if (!Render()) return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), FBitmap, rect());
}

void TPolarDiagram::mouseMoveEvent(QMouseEvent* event) {
    if (FLayout.R > 100) {
        const QPoint p = event->position().toPoint();
        // Only entering or leaving a tip changes the picture; moving within one hint zone
        // or from one tip to the next keeps the hint where it is.
        if (HitTestAt({p.x(), p.y()}).has_value() != FHintShown) RequestRepaint();
    }
    QWidget::mouseMoveEvent(event);
}

}  // namespace veltro::phasor
