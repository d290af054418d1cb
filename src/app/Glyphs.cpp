#include "app/Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace veltro::app {

namespace {

QPixmap Canvas(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A horizontal arrow in a 22 × 22 square, pointing left or right.
QIcon Arrow(bool pointsLeft, const QColor& colour)
{
    QPixmap pixmap = Canvas(22);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour.darker(150), 1));
    p.setBrush(colour);
    QPolygonF arrow({{2, 11}, {10, 3}, {10, 7}, {20, 7}, {20, 15}, {10, 15}, {10, 19}});
    if (!pointsLeft)
        arrow = QTransform(-1, 0, 0, 1, 22, 0).map(arrow);
    p.drawPolygon(arrow);
    return QIcon(pixmap);
}

// The pictures are drawn to a fixed size, so their lettering keeps a fixed size too,
// whatever the window's font.
QFont PictureFont(QFont font)
{
    font.setPixelSize(11);
    return font;
}

}  // namespace

QIcon ReadGlyph()
{
    return Arrow(true, QColor(0, 128, 0));
}

QIcon WriteGlyph()
{
    return Arrow(false, QColor(192, 96, 0));
}

QIcon StartStopGlyph(int index)
{
    QPixmap pixmap = Canvas(22);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (index == 0) {
        p.setPen(QPen(QColor(0, 96, 0), 1));
        p.setBrush(QColor(0, 176, 0));
        p.drawPolygon(QPolygonF({{5, 3}, {19, 11}, {5, 19}}));
    } else {
        p.setPen(QPen(QColor(128, 0, 0), 1));
        p.setBrush(QColor(208, 0, 0));
        p.drawRect(QRectF(4.5, 4.5, 13, 13));
    }
    return QIcon(pixmap);
}

QPixmap AppIconPixmap(int size)
{
    QPixmap pixmap = Canvas(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(QPen(QColor(40, 60, 90), 2));
    p.setBrush(QColor(236, 240, 246));
    p.drawRoundedRect(QRectF(3, 3, 58, 58), 10, 10);
    p.setPen(QPen(QColor(150, 160, 175), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(32, 32), 22, 22);
    // three voltage phasors 120 degrees apart, in the phase colours
    const QColor colours[3] = {QColor(200, 0, 0), QColor(0, 140, 0), QColor(0, 0, 200)};
    for (int i = 0; i < 3; ++i) {
        p.save();
        p.translate(32, 32);
        p.rotate(-90 + 120 * i);
        p.setPen(QPen(colours[i], 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, 0), QPointF(18, 0));
        p.setBrush(colours[i]);
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygonF({{22, 0}, {15, -4.5}, {15, 4.5}}));
        p.restore();
    }
    return pixmap;
}

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64, 128})
        icon.addPixmap(AppIconPixmap(size));
    return icon;
}

void MeterPicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(PictureFont(font()));
    const QRectF body = QRectF(rect()).adjusted(10, 4, -10, -4);
    p.setPen(QPen(QColor(90, 90, 90), 1.5));
    p.setBrush(QColor(235, 235, 228));
    p.drawRoundedRect(body, 6, 6);
    // display
    const QRectF display(body.left() + 8, body.top() + 10, body.width() - 16, 18);
    p.setBrush(QColor(170, 200, 160));
    p.drawRect(display);
    p.setPen(QColor(30, 50, 30));
    p.drawText(display, Qt::AlignCenter, QStringLiteral("123,4 kWh"));
    // optical port with the probe on it
    const QPointF port(body.center().x(), body.bottom() - 22);
    p.setPen(QPen(QColor(90, 90, 90), 1.5));
    p.setBrush(QColor(60, 60, 60));
    p.drawEllipse(port, 11, 11);
    p.setBrush(QColor(200, 40, 40));
    p.drawEllipse(port, 3, 3);
}

void ModulePicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(PictureFont(font()));
    const QRectF box = QRectF(rect()).adjusted(6, 2, -6, -2);
    p.setPen(QPen(QColor(60, 60, 90), 1.5));
    p.setBrush(QColor(220, 226, 240));
    p.drawRoundedRect(box, 4, 4);
    p.setPen(QColor(40, 40, 70));
    p.drawText(box.adjusted(0, 4, 0, 0), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Modbus/RTU"));
    // terminal block A, B, GND
    const QStringList terminals = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("GND")};
    const double step = box.width() / 3;
    for (int i = 0; i < 3; ++i) {
        const QRectF t(box.left() + i * step + 4, box.bottom() - 20, step - 8, 16);
        p.setBrush(QColor(90, 150, 90));
        p.drawRect(t);
        p.drawText(t, Qt::AlignCenter, terminals[i]);
    }
}

}  // namespace veltro::app
