// A drawing surface whose pen, brush and font stay selected between paints, the way a
// device context keeps its objects: a step of the diagram that does not set an attribute
// draws with whatever the previous step (or the previous paint) left behind.
#pragma once

#include "phasor/PolarLayout.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

#include <span>

namespace veltro::phasor {

// 96 dots per inch: font point sizes then come out at the pixel sizes the fixed pixel
// geometry of the diagram was laid out for, whatever the screen.
inline constexpr int kDotsPerMeter = 3780;

class PolarCanvas {
public:
    PolarCanvas();

    // Drawing calls are only valid between Begin and End.
    void Begin(QImage& target);
    void End();

    void SetPen(const QColor& color, int width, Qt::PenStyle style);
    void SetPenColor(const QColor& color) { penColor_ = color; }
    void SetBrush(const QColor& color) { brushColor_ = color; }
    void SetFontColor(const QColor& color) { fontColor_ = color; }
    void SetFontSize(int points);
    int FontSize() const { return font_.pointSize(); }
    const QColor& PenColor() const { return penColor_; }
    const QColor& BrushColor() const { return brushColor_; }

    void FillRect(const QRect& rect);                    // brush colour, no outline
    void FrameRect(const QRect& rect, const QColor& color);  // one pixel inside the rect
    void Line(Point from, Point to);
    void Polyline(std::span<const Point> points);
    void Polygon(std::span<const Point> points);         // brush fill, pen outline
    void Circle(Point centre, int radius);               // brush fill, pen outline
    // Counterclockwise on the screen from startDegrees over spanDegrees, pen only.
    void Arc(Point centre, int radius, double startDegrees, double spanDegrees);

    // The text's cell (its width by the font height) is filled with the brush first.
    void TextOut(int x, int y, const QString& text);
    // Fills the clip rectangle with the brush and draws the text clipped to it.
    void TextRect(const QRect& clip, int x, int y, const QString& text);
    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;
    // The width of a text at a font size, as a paint would draw it; usable outside a paint.
    int TextWidthAt(int points, const QString& text) const;

private:
    void ApplyPen();
    void ApplyBrush();

    QPainter painter_;
    QImage* target_ = nullptr;
    QColor penColor_{0, 0, 0};
    int penWidth_ = 1;
    Qt::PenStyle penStyle_ = Qt::SolidLine;
    QColor brushColor_{255, 255, 255};
    QFont font_;
    QColor fontColor_{0, 0, 0};
};

}  // namespace veltro::phasor
