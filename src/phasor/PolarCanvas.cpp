#include "phasor/PolarCanvas.h"

#include <QFontMetrics>
#include <QPen>
#include <QPolygon>

#include <algorithm>

namespace veltro::phasor {

namespace {
QPolygon ToPolygon(std::span<const Point> points) {
    QPolygon polygon;
    polygon.reserve(static_cast<int>(points.size()));
    for (const Point& p : points) polygon.append(QPoint(p.x, p.y));
    return polygon;
}
}  // namespace

PolarCanvas::PolarCanvas() {
    font_.setPointSize(8);
    // Aliased text, like the lines: every glyph pixel has exactly the font colour, which
    // keeps small sizes legible and the picture identical from run to run.
    font_.setStyleStrategy(QFont::NoAntialias);
}

void PolarCanvas::Begin(QImage& target) {
    target_ = &target;
    painter_.begin(&target);
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, false);
}

void PolarCanvas::End() {
    if (painter_.isActive()) painter_.end();
    target_ = nullptr;
}

void PolarCanvas::SetPen(const QColor& color, int width, Qt::PenStyle style) {
    penColor_ = color;
    penWidth_ = width;
    penStyle_ = style;
}

void PolarCanvas::SetFontSize(int points) {
    // The scale fonts shrink with the radius; never ask the toolkit for an empty font.
    font_.setPointSize(std::max(1, points));
}

void PolarCanvas::ApplyPen() {
    QPen pen(penColor_);
    pen.setWidth(std::max(1, penWidth_));
    pen.setStyle(penStyle_);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    painter_.setPen(pen);
}

void PolarCanvas::ApplyBrush() { painter_.setBrush(brushColor_); }

void PolarCanvas::FillRect(const QRect& rect) { painter_.fillRect(rect, brushColor_); }

void PolarCanvas::FrameRect(const QRect& rect, const QColor& color) {
    painter_.setPen(QPen(color, 1));
    painter_.setBrush(Qt::NoBrush);
    painter_.drawRect(rect.adjusted(0, 0, -1, -1));
}

void PolarCanvas::Line(Point from, Point to) {
    ApplyPen();
    painter_.drawLine(from.x, from.y, to.x, to.y);
}

void PolarCanvas::Polyline(std::span<const Point> points) {
    ApplyPen();
    painter_.drawPolyline(ToPolygon(points));
}

void PolarCanvas::Polygon(std::span<const Point> points) {
    ApplyPen();
    ApplyBrush();
    painter_.drawPolygon(ToPolygon(points));
}

void PolarCanvas::Circle(Point centre, int radius) {
    ApplyPen();
    ApplyBrush();
    painter_.drawEllipse(QPoint(centre.x, centre.y), radius, radius);
}

void PolarCanvas::Arc(Point centre, int radius, double startDegrees, double spanDegrees) {
    ApplyPen();
    painter_.setBrush(Qt::NoBrush);
    const QRect box(centre.x - radius, centre.y - radius, 2 * radius, 2 * radius);
    // Qt counts arc angles in sixteenths of a degree, counterclockwise like ours.
    painter_.drawArc(box, qRound(startDegrees * 16), qRound(spanDegrees * 16));
}

void PolarCanvas::TextOut(int x, int y, const QString& text) {
    const QFontMetrics fm(font_, target_);
    painter_.fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), brushColor_);
    painter_.setFont(font_);
    painter_.setPen(fontColor_);
    painter_.drawText(x, y + fm.ascent(), text);
}

void PolarCanvas::TextRect(const QRect& clip, int x, int y, const QString& text) {
    const QFontMetrics fm(font_, target_);
    painter_.fillRect(clip, brushColor_);
    painter_.save();
    painter_.setClipRect(clip);
    painter_.setFont(font_);
    painter_.setPen(fontColor_);
    painter_.drawText(x, y + fm.ascent(), text);
    painter_.restore();
}

int PolarCanvas::TextWidth(const QString& text) const {
    return QFontMetrics(font_, target_).horizontalAdvance(text);
}

int PolarCanvas::TextWidthAt(int points, const QString& text) const {
    QImage device(1, 1, QImage::Format_RGB32);
    device.setDotsPerMeterX(kDotsPerMeter);
    device.setDotsPerMeterY(kDotsPerMeter);
    QFont font = font_;
    font.setPointSize(std::max(1, points));
    return QFontMetrics(font, &device).horizontalAdvance(text);
}

int PolarCanvas::TextHeight(const QString&) const { return QFontMetrics(font_, target_).height(); }

}  // namespace veltro::phasor
