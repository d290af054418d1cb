#include "phasor/PolarDrawing.h"

#include <QLocale>

#include <cmath>

namespace veltro::phasor {

std::string LocaleDecimalSeparator() { return QLocale().decimalPoint().toStdString(); }

QString LocaleFixed(double value, int decimals) {
    return QString::fromStdString(FormatFixed(value, decimals, LocaleDecimalSeparator()));
}

namespace {
const QString kDegree = QStringLiteral("\u00b0");

double Rad(double degrees) { return RadiansFromDegrees(degrees); }

Point Centre(const Layout& l) { return {l.cx, l.cy}; }

// A point at a distance from the centre along a diagram angle given in degrees.
Point OnDiagram(const Layout& l, double distance, double degrees) {
    return ArrowTip(Centre(l), distance, Rad(degrees)).rounded;
}
}  // namespace

QString PolarDrawing::Fixed(double value, int decimals) const { return LocaleFixed(value, decimals); }

void PolarDrawing::Text(int x, int top, const QString& text) {
    c_.SetBrush(s_.backColor);
    c_.TextOut(x, top, text);
}

void PolarDrawing::TextCentredOn(int x, int y, const QString& text, Align align) {
    const int top = y - c_.TextHeight(text) / 2;
    switch (align) {
        case Align::Left: Text(x, top, text); break;
        case Align::Right: Text(x - c_.TextWidth(text), top, text); break;
        case Align::Centre: Text(x - c_.TextWidth(text) / 2, top, text); break;
    }
}

void PolarDrawing::Arrow(Point origin, int length, double screenAngle, const QColor& color, int width,
                         Qt::PenStyle style) {
    if (length == 0) return;
    c_.SetBrush(s_.backColor);
    c_.SetPen(color, width, style);
    const Tip tip = ArrowTipScreen(origin, length, screenAngle);
    c_.Line(origin, tip.rounded);
    const auto head = ArrowHead(tip.exact, screenAngle, ArrowHeadSize(width, s_.layout));
    c_.SetBrush(color);
    c_.Polygon(head);
}

void PolarDrawing::BackgroundAndScales() {
    const Layout& l = s_.layout;
    c_.SetBrush(s_.backColor);
    c_.FillRect(QRect(0, 0, s_.width, s_.height));

    c_.SetPen(colors::kGray, 1, Qt::SolidLine);
    c_.SetBrush(s_.voltageDiskColor);
    c_.Circle(Centre(l), VoltageToPixels(s_.voltageMax, s_.voltageMax, l));
    c_.SetBrush(s_.currentDiskColor);
    c_.Circle(Centre(l), CurrentToPixels(s_.currentMax, s_.currentMax, l));
    c_.SetPen(colors::kGray, 1, Qt::DotLine);
    for (double part : {0.75, 0.5, 0.25}) c_.Circle(Centre(l), CurrentToPixels(s_.currentMax * part, s_.currentMax, l));

    // The three phase axes are heavier than the half-way axes between them.
    for (int deg = 0; deg < 360; deg += 60) {
        c_.SetPen(colors::kSilver, deg % 120 == 0 ? 2 : 1, Qt::SolidLine);
        c_.Line(Centre(l), OnDiagram(l, l.R, deg));
    }

    if (l.R > 100) {
        c_.SetFontColor(colors::kGray);
        TextCentredOn(l.E - l.m, l.E + l.m / 3, QStringLiteral("DIN 410"), Align::Left);
    }
}

void PolarDrawing::PhaseSequence() {
    const Layout& l = s_.layout;
    const Point origin{l.m + l.R / 14, l.m + l.R / 14};
    const int length = l.R / 7;
    for (int i = 0; i < 3; ++i)
        Arrow(origin, length, ScreenAngleFromDiagram(Rad(120.0 * i)), PhaseColor(i), 1, Qt::SolidLine);
    if (l.R <= 100) return;
    const int labelDistance = Round(1.3 * length);
    for (int i = 0; i < 3; ++i) {
        const Point at = ArrowTip(origin, labelDistance, Rad(120.0 * i)).rounded;
        c_.SetFontColor(PhaseColor(i));
        TextCentredOn(at.x, at.y, QStringLiteral("L%1").arg(i + 1), Align::Centre);
    }
}

void PolarDrawing::DegreeScale() {
    const Layout& l = s_.layout;
    if (l.R <= 100) return;
    c_.SetBrush(s_.backColor);
    c_.SetFontSize(ScaleFontSize(l.R));
    const double t = 0.05 * l.R;
    auto ticksAndLabels = [&](int first) {
        for (int deg = first; deg < 360; deg += 30) {
            c_.SetPen(colors::kSilver, 1, Qt::SolidLine);
            c_.Line(OnDiagram(l, l.R - t / 3.0, deg), OnDiagram(l, l.R + 2.0 * t / 3.0, deg));
            const Point at = OnDiagram(l, l.R + 1.5 * t, deg);
            c_.SetFontColor(colors::kBlack);
            TextCentredOn(at.x, at.y, QString::number(deg) + kDegree, Align::Centre);
        }
    };
    ticksAndLabels(0);
    // A large diagram has room for the intermediate 15° steps, in a smaller font.
    if (l.R > 200) {
        c_.SetFontSize(c_.FontSize() - 5);
        ticksAndLabels(15);
    }
}

void PolarDrawing::LagLeadArcs() {
    const Layout& l = s_.layout;
    const int a = VoltageToPixels(1.2 * s_.voltageMax, s_.voltageMax, l);
    if (a == 0) return;
    c_.SetPen(colors::kGray, 1, Qt::SolidLine);
    c_.SetBrush(s_.backColor);
    const int s = l.R / 50;
    auto onArc = [&](double degrees) {
        return PointF{double(l.cx + Round(a * std::cos(Rad(degrees)))),
                      double(l.cy + Round(-a * std::sin(Rad(degrees))))};
    };
    // Both arcs span 20° and end in a head: counterclockwise at 55°, clockwise at -55°.
    c_.Arc(Centre(l), a, 35.0, 20.0);
    c_.SetBrush(colors::kGray);
    c_.Polygon(ArrowHead(onArc(55.0), Rad(145.0), s));
    c_.Arc(Centre(l), a, -55.0, 20.0);
    c_.Polygon(ArrowHead(onArc(-55.0), Rad(-145.0), s));

    const bool large = l.R > 100;
    const int labelDistance = Round(1.03 * a);
    c_.SetFontColor(colors::kGray);
    const Point lag = ArrowTipScreen(Centre(l), labelDistance, Rad(46.0)).rounded;
    TextCentredOn(lag.x, lag.y, large ? QStringLiteral("Ritardo") : QStringLiteral("R"), Align::Left);
    const Point lead = ArrowTipScreen(Centre(l), labelDistance, Rad(-46.0)).rounded;
    TextCentredOn(lead.x, lead.y, large ? QStringLiteral("Anticipo") : QStringLiteral("A"), Align::Left);
}

void PolarDrawing::ScaleBar() {
    const Layout& l = s_.layout;
    const int X = l.E + Round(2.5 * l.m);
    const int q = l.R / 50 + 1;
    c_.SetPen(colors::kGray, 1, Qt::SolidLine);
    c_.SetBrush(s_.backColor);
    c_.Line({X, l.cy}, {X, l.cy - l.R});
    auto tick = [&](int y, int width) {
        c_.SetPen(colors::kGray, width, Qt::SolidLine);
        c_.Line({X - q, y}, {X + q, y});
    };
    tick(l.cy, 2);
    tick(l.cy - VoltageToPixels(s_.voltageMax, s_.voltageMax, l), 2);
    tick(l.cy - l.RI, 2);
    tick(l.cy - l.RI / 2, 1);
    tick(l.cy - (3 * l.RI) / 4, 1);
    tick(l.cy - l.RI / 4, 1);

    if (l.R <= 100) return;
    c_.SetFontSize(ScaleFontSize(l.R) - (l.R > 200 ? 5 : 0));
    const int zeroHeight = c_.TextHeight(QStringLiteral("0"));
    for (int i = 0; i <= 4; ++i) {
        const QString text = Fixed(i * s_.currentMax / 4.0, 1) + QStringLiteral(" A");
        c_.SetFontColor(i == 0 || i == 4 ? colors::kBlack : colors::kGray);
        Text(X - q - 3 - c_.TextWidth(text), l.cy - Round(i * l.RI / 4.0) - zeroHeight / 2 - 1, text);
    }
    for (int i = 0; i <= 5; ++i) {
        const QString text = Fixed(i * s_.voltageMax / 5.0, 0) + QStringLiteral(" V");
        c_.SetFontColor(i == 0 || i == 5 ? colors::kBlack : colors::kGray);
        Text(X + q + 3, l.cy - Round(i * l.R / 5.0) - c_.TextHeight(text) / 2 - 1, text);
    }
}

void PolarDrawing::Legend() {
    const Layout& l = s_.layout;
    const int k = l.R / 8 + 1;
    c_.SetPen(colors::kGray, 1, Qt::SolidLine);
    c_.SetBrush(s_.backColor);
    const int length = l.R / 5;
    const int labelOffset = Round(1.1 * length);
    const bool large = l.R > 100;
    // The short labels must still tell the two line styles apart.
    const QString labels[2] = {large ? QStringLiteral("Tensioni") : QStringLiteral("T"),
                               large ? QStringLiteral("Correnti") : QStringLiteral("C")};
    const Qt::PenStyle styles[2] = {Qt::SolidLine, Qt::DotLine};
    for (int row = 0; row < 2; ++row) {
        const Point origin{l.E + Round(1.5 * l.m), l.cy + (2 + row) * k};
        Arrow(origin, length, 0.0, colors::kGray, 1, styles[row]);
        c_.SetFontColor(colors::kGray);
        TextCentredOn(origin.x + labelOffset, origin.y, labels[row], Align::Left);
    }
}

void PolarDrawing::ValueTable() {
    const Layout& l = s_.layout;
    if (l.R <= 100) return;
    const int cw = c_.TextWidth(QStringLiteral("000.00 V")) + 10;
    const int h = c_.TextHeight(QStringLiteral("X"));
    const int x0 = l.E + 5 * l.m;
    const int y0 = l.m;
    auto column = [&](int n) { return x0 + (cw + 10) * (n + 1); };

    for (int n = 0; n < 3; ++n) {
        const QString heading = QStringLiteral("L%1").arg(n + 1);
        c_.SetFontColor(PhaseColor(n));
        TextCentredOn(column(n) + 10 + cw / 2 - c_.TextWidth(heading) / 2, y0, heading, Align::Left);
    }

    const APolarArrows& v = *s_.voltages;
    const APolarArrows& a = *s_.currents;
    struct Row {
        const char* label;
        bool flag;
        QString (*value)(const TPolarArrow& voltage, const TPolarArrow& current);
    };
    const Row rows[] = {
        {"Tensioni", s_.flags.voltages,
         [](const TPolarArrow& u, const TPolarArrow&) { return LocaleFixed(u.Magnitude, 2) + ' ' + u.Units; }},
        {"Sfasamenti", s_.flags.voltageAngles,
         [](const TPolarArrow& u, const TPolarArrow&) { return LocaleFixed(DegreesFromRadians(u.Angle), 2) + kDegree; }},
        {"Correnti", s_.flags.currents,
         [](const TPolarArrow&, const TPolarArrow& i) { return LocaleFixed(i.Magnitude, 2) + ' ' + i.Units; }},
        {"Phi", s_.flags.phaseShifts,
         [](const TPolarArrow&, const TPolarArrow& i) { return LocaleFixed(DegreesFromRadians(i.Phi), 2) + kDegree; }},
        {"Cos Phi", s_.flags.phaseShifts,
         [](const TPolarArrow&, const TPolarArrow& i) { return LocaleFixed(std::cos(i.Phi), 5); }},
    };
    for (int r = 0; r < 5; ++r) {
        const int y = y0 + 2 * (r + 1) * h;
        c_.SetFontColor(FlagColor(rows[r].flag));
        TextCentredOn(x0 + cw, y, QString::fromLatin1(rows[r].label), Align::Right);
        for (int n = 0; n < 3; ++n)
            TextCentredOn(column(n) + cw, y, rows[r].value(v[n], a[n]), Align::Right);
    }

    c_.SetPenColor(colors::kBlack);
    c_.SetBrush(colors::kBlack);
    c_.Line({x0 + cw + 10, y0 + h}, {x0 + 4 * cw + 40, y0 + h});
    c_.Line({x0 + cw + 10, y0 + h}, {x0 + cw + 10, y0 + 11 * h});
}

void PolarDrawing::Arrows() {
    const Point centre = Centre(s_.layout);
    // Currents last, so they lie on top of the voltages.
    for (const APolarArrows* set : {s_.voltages, s_.currents})
        for (const TPolarArrow& arrow : *set)
            Arrow(centre, arrow.Length, ScreenAngleFromDiagram(arrow.Angle), arrow.Color, arrow.Width, arrow.Style);
}

void PolarDrawing::Frequency() {
    const Layout& l = s_.layout;
    if (l.R <= 100 || s_.frequency == -1.0) return;
    const int b = l.R / 20;
    const int x1 = l.m / 2;
    c_.SetPenColor(colors::kGray);
    c_.SetBrush(s_.backColor);
    c_.SetFontColor(FlagColor(s_.flags.frequency));
    Text(x1 + (3 * b) / 2, l.E - c_.TextHeight(QStringLiteral("a")), Fixed(s_.frequency, 1) + QStringLiteral(" Hz"));
    c_.SetPen(colors::kGray, 1, Qt::SolidLine);
    c_.Polyline(SineSymbol(x1, l.E, b));
}

void PolarDrawing::PowerFactor() {
    const Layout& l = s_.layout;
    if (l.R <= 100) return;
    const int h = c_.TextHeight(QStringLiteral("a"));
    const int x = l.E + 5 * l.m + (3 * (l.R / 20)) / 2;
    const int y = l.m + 12 * h + h / 2 - h;
    c_.SetFontColor(colors::kBlack);
    Text(x, y, kPowerFactorCaption);
    const APolarArrows& a = *s_.currents;
    const double average = (std::cos(a[0].Phi) + std::cos(a[1].Phi) + std::cos(a[2].Phi)) / 3.0;
    c_.SetFontColor(colors::kGreen);
    Text(x + c_.TextWidth(kPowerFactorCaption), y, Fixed(average, 5));
}

void PolarDrawing::HintBox(Point pointer, const QString& text, const QColor& color, const QColor& background) {
    c_.SetFontSize(6);
    c_.SetPen(c_.PenColor(), 1, Qt::SolidLine);
    // Below and to the right of the pointer, clear of the cursor shape.
    const int x = pointer.x + 15;
    const int y = pointer.y + 10;
    const QRect box(x, y, c_.TextWidth(text) + 4, c_.TextHeight(text) + 2);
    c_.SetBrush(background);
    c_.SetFontColor(color);
    c_.TextRect(box, x + 1, y + 1, text);
    c_.FrameRect(box, colors::kGray);
}

}  // namespace veltro::phasor
