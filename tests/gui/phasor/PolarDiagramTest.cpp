// The phasor diagram as the monitoring page uses it: declared arrows, polled values,
// the rendered picture probed at points computed from the layout, and the pointer.
#include "phasor/PolarCanvas.h"
#include "phasor/PolarDiagram.h"
#include "phasor/PolarLayout.h"

#include <QCursor>
#include <QLocale>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace veltro::phasor {
namespace {

const QColor kWhite(255, 255, 255);
const QColor kVoltageDisk(240, 255, 240);
const QColor kCurrentDisk(255, 255, 240);
const QColor kSilver(192, 192, 192);
const QColor kGray(128, 128, 128);
const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);

double Deg(double degrees) { return RadiansFromDegrees(degrees); }

// Counts the repaints the control asks for, so that "no repaint" can be checked without
// waiting for one that never comes.
class ProbeDiagram : public TPolarDiagram {
public:
    using TPolarDiagram::TPolarDiagram;
    int requests = 0;

protected:
    void RequestRepaint() override {
        ++requests;
        TPolarDiagram::RequestRepaint();
    }
};

class PolarDiagram : public testing::Test {
protected:
    void SetUp() override {
        // Keep the pointer off every diagram unless a test puts it there.
        QCursor::setPos(QPoint(-5000, -5000));
        Declare(d);
    }
    void TearDown() override { QLocale::setDefault(savedLocale); }

    // As the monitoring page does when polling starts, then one poll's worth of values.
    static void Declare(TPolarDiagram& diagram) {
        for (int i = 0; i < 3; ++i) {
            const QString phase = QStringLiteral("L%1").arg(i + 1);
            diagram.SetVoltageArrow(i, phase, "V" + phase, 0.0, i * 6.28 / 3, 1, Qt::SolidLine);
            diagram.SetCurrentArrow(i, phase, "C" + phase, 0.0, 0.0, 2, Qt::SolidLine);
        }
    }
    static void Feed(TPolarDiagram& diagram) {
        const double volts[3] = {230.0, 231.0, 229.0};
        const double amps[3] = {5.2, 4.6, 3.9};
        const double phis[3] = {25.0, 18.0, 32.0};
        for (int i = 0; i < 3; ++i) {
            diagram.SetCurrent(i, amps[i], Deg(phis[i]));
            diagram.SetVoltage(i, volts[i], Deg(120.0 * i));
        }
        diagram.SetFrequency(49.96);
    }

    QColor At(Point p) const { return d.Bitmap().pixelColor(p.x, p.y); }
    Point OnDiagram(double distance, double degrees) const {
        const Layout& l = d.Metrics();
        return ArrowTip({l.cx, l.cy}, distance, Deg(degrees)).rounded;
    }
    // Aliased lines may land one pixel beside the computed point.
    bool ColourNear(Point p, const QColor& colour, int reach = 1) const {
        return CountIn(QRect(p.x - reach, p.y - reach, 2 * reach + 1, 2 * reach + 1), colour) > 0;
    }
    int CountIn(const QRect& r, const QColor& colour) const {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (d.Bitmap().valid(x, y) && d.Bitmap().pixelColor(x, y) == colour) ++n;
        return n;
    }

    // Draws with the canvas the diagram uses onto a blank picture of the same density,
    // so that a text can be compared with what the diagram shows.
    template <class Draw>
    static QImage WithCanvas(QSize size, int fontSize, Draw draw) {
        QImage image(size, QImage::Format_RGB32);
        image.setDotsPerMeterX(3780);
        image.setDotsPerMeterY(3780);
        image.fill(kWhite);
        PolarCanvas canvas;
        canvas.SetFontSize(fontSize);
        canvas.Begin(image);
        draw(canvas);
        canvas.End();
        return image;
    }
    static QSize TextSize(int fontSize, const QString& text) {
        QSize size;
        WithCanvas({1, 1}, fontSize, [&](PolarCanvas& c) { size = {c.TextWidth(text), c.TextHeight(text)}; });
        return size;
    }
    static QImage DrawText(QSize size, int fontSize, Point at, const QString& text, const QColor& colour) {
        return WithCanvas(size, fontSize, [&](PolarCanvas& c) {
            c.SetBrush(kWhite);
            c.SetFontColor(colour);
            c.TextOut(at.x, at.y, text);
        });
    }
    bool SamePixels(const QImage& expected, const QRect& region) const {
        for (int y = region.top(); y <= region.bottom(); ++y)
            for (int x = region.left(); x <= region.right(); ++x)
                if (expected.pixel(x, y) != d.Bitmap().pixel(x, y)) return false;
        return true;
    }

    QLocale savedLocale;
    ProbeDiagram d;
};

TEST_F(PolarDiagram, DisksRingsAndSpokesAtTheirRadii) {
    d.resize(300, 300);  // R 125, RI 100, centre (150, 150)
    Feed(d);
    ASSERT_TRUE(d.Render());
    EXPECT_EQ(d.VoltageMax(), 231.0);
    EXPECT_EQ(d.CurrentMax(), 5.2);
    EXPECT_EQ(At(OnDiagram(112, 75)), kVoltageDisk);   // between RI and R
    EXPECT_EQ(At(OnDiagram(90, 75)), kCurrentDisk);    // between the outer ring and RI
    EXPECT_EQ(At(OnDiagram(62, 75)), kCurrentDisk);    // inner rings keep the current fill
    EXPECT_EQ(At(OnDiagram(130, 75)), kWhite);         // outside both disks
    EXPECT_EQ(At({150, 262}), kSilver);                // the 180° spoke, straight down
    EXPECT_TRUE(ColourNear(OnDiagram(112, 300), kSilver));
    EXPECT_TRUE(ColourNear(OnDiagram(112, 60), kSilver));
    EXPECT_TRUE(ColourNear(OnDiagram(100, 75), kGray));  // the current disk's outline
}

TEST_F(PolarDiagram, ArrowsEndInThePhaseColoursAtTheirLengths) {
    d.resize(300, 300);
    Feed(d);
    ASSERT_TRUE(d.Render());
    const QColor phase[3] = {QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255)};
    // The largest voltage reaches R and the largest current RI exactly.
    const int vLen[3] = {124, 125, 124};
    const int iLen[3] = {100, 88, 75};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(d.Voltages()[i].Length, vLen[i]);
        EXPECT_EQ(d.Currents()[i].Length, iLen[i]);
        EXPECT_TRUE(ColourNear(OnDiagram(vLen[i] - 2, DegreesFromRadians(d.Voltages()[i].Angle)), phase[i]));
        EXPECT_TRUE(ColourNear(OnDiagram(iLen[i] - 3, DegreesFromRadians(d.Currents()[i].Angle)), phase[i]));
        // Nothing of the arrow beyond its tip.
        EXPECT_FALSE(ColourNear(OnDiagram(vLen[i] + 4, DegreesFromRadians(d.Voltages()[i].Angle)), phase[i]));
    }
}

TEST_F(PolarDiagram, CurrentsKeepTheirShiftWhenTheVoltageTurns) {
    d.resize(300, 300);
    d.SetVoltage(0, 230.0, 0.0);
    d.SetCurrent(0, 5.0, 0.5236);
    EXPECT_DOUBLE_EQ(d.Currents()[0].Angle, 0.5236);
    d.SetVoltage(0, 230.0, 0.1);
    EXPECT_DOUBLE_EQ(d.Currents()[0].Angle, 0.1 + 0.5236);
    EXPECT_DOUBLE_EQ(d.Currents()[0].Phi, 0.5236);
    EXPECT_EQ(d.Currents()[0].Magnitude, 5.0);
    ASSERT_TRUE(d.Render());
    EXPECT_TRUE(ColourNear(OnDiagram(97, DegreesFromRadians(0.6236)), kRed));

    // Declaring the current again takes the voltage's present angle, too.
    d.SetCurrentArrow(0, "L1", "CL1", 2.0, 0.2, 2, Qt::SolidLine);
    EXPECT_DOUBLE_EQ(d.Currents()[0].Angle, 0.3);
    EXPECT_EQ(d.Currents()[0].Units, "A");
}

TEST_F(PolarDiagram, AnIdleDiagramCollapsesToItsCentre) {
    d.resize(300, 300);
    ASSERT_TRUE(d.Render());
    EXPECT_EQ(d.VoltageMax(), 0.0);
    for (const TPolarArrow& a : d.Voltages()) EXPECT_EQ(a.Length, 0);
    EXPECT_EQ(At(OnDiagram(112, 75)), kWhite);  // no disk
    EXPECT_EQ(At(OnDiagram(150, 45)), kWhite);  // no lag arc at 1.2 R
    EXPECT_EQ(At({150, 262}), kSilver);         // the spokes are still there
}

TEST_F(PolarDiagram, AValueWithoutAPositionSkipsThatPaintOnly) {
    d.resize(300, 300);
    Feed(d);
    d.SetVoltage(1, std::numeric_limits<double>::quiet_NaN(), Deg(120));
    EXPECT_FALSE(d.Render());
    d.SetVoltage(1, 231.0, Deg(120));
    EXPECT_TRUE(d.Render());
    EXPECT_EQ(d.Voltages()[1].Length, 125);
}

TEST_F(PolarDiagram, FollowsItsPanelAndKeepsItsBitmapWhileTheSizeStays) {
    QWidget panel;
    panel.resize(344, 270);
    ProbeDiagram inPanel(&panel);
    EXPECT_EQ(inPanel.geometry(), panel.rect());
    panel.show();  // a hidden panel holds its resize events back until it is shown
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    panel.resize(400, 300);
    EXPECT_EQ(inPanel.geometry(), panel.rect());

    ASSERT_TRUE(inPanel.Render());
    const uchar* bits = inPanel.Bitmap().constBits();
    ASSERT_TRUE(inPanel.Render());
    EXPECT_EQ(inPanel.Bitmap().constBits(), bits);
    panel.resize(410, 310);
    ASSERT_TRUE(inPanel.Render());
    EXPECT_EQ(inPanel.Bitmap().size(), QSize(410, 310));
}

struct ScaleCase {
    int size;
    bool labels30;
    bool labels15;
};

class DegreeScale : public PolarDiagram, public testing::WithParamInterface<ScaleCase> {};

TEST_P(DegreeScale, LabelsDependOnTheRadius) {
    const ScaleCase c = GetParam();
    d.resize(c.size, c.size);
    Feed(d);
    ASSERT_TRUE(d.Render());
    const double R = d.Metrics().R;
    const double labelDistance = R + 1.5 * 0.05 * R;
    auto blackAround = [&](double degrees) {
        const Point p = OnDiagram(labelDistance, degrees);
        return CountIn(QRect(p.x - 6, p.y - 6, 13, 13), kBlack);
    };
    for (double deg : {0.0, 30.0, 90.0, 210.0, 330.0}) EXPECT_EQ(blackAround(deg) > 0, c.labels30) << deg;
    for (double deg : {45.0, 165.0, 345.0}) EXPECT_EQ(blackAround(deg) > 0, c.labels15) << deg;
}

INSTANTIATE_TEST_SUITE_P(Sizes, DegreeScale,
                         testing::Values(ScaleCase{240, false, false},   // R = 100
                                         ScaleCase{300, true, false},    // R = 125
                                         ScaleCase{500, true, true}),    // R = 209
                         [](const auto& info) { return "Side" + std::to_string(info.param.size); });

TEST_F(PolarDiagram, ShortLegendLabelsStillTellTheLineStylesApart) {
    d.resize(400, 240);  // R = 100: the legend has only its one-letter labels
    Feed(d);
    ASSERT_TRUE(d.Render());
    const Layout& l = d.Metrics();
    const int k = l.R / 8 + 1;
    const int x = l.E + Round(1.5 * l.m) + Round(1.1 * (l.R / 5));
    const QRect solidLabel(x, l.cy + 2 * k - 6, 14, 13);
    const QRect dottedLabel = solidLabel.translated(0, k);
    EXPECT_GT(CountIn(solidLabel, kGray), 0);
    EXPECT_GT(CountIn(dottedLabel, kGray), 0);
    bool differ = false;
    for (int dy = 0; dy < solidLabel.height() && !differ; ++dy)
        for (int dx = 0; dx < solidLabel.width() && !differ; ++dx)
            differ = d.Bitmap().pixel(solidLabel.x() + dx, solidLabel.y() + dy) !=
                     d.Bitmap().pixel(dottedLabel.x() + dx, dottedLabel.y() + dy);
    EXPECT_TRUE(differ) << "both legend rows carry the same label";
}

struct LocaleCase {
    const char* locale;
    const char* frequency;
    const char* wrongFrequency;
    const char* voltageL2;
};

class LocaleTexts : public PolarDiagram, public testing::WithParamInterface<LocaleCase> {};

TEST_P(LocaleTexts, FrequencyAndTableFollowTheDecimalSeparator) {
    const LocaleCase c = GetParam();
    QLocale::setDefault(QLocale(QString::fromLatin1(c.locale)));
    d.resize(700, 300);  // S = 300: room for the value table on the right
    Feed(d);
    ASSERT_TRUE(d.Render());
    const Layout& l = d.Metrics();
    const int fontSize = ScaleFontSize(l.R);  // left by the scale bar
    const int b = l.R / 20;
    const int x1 = l.m / 2;
    const QString text = QString::fromLatin1(c.frequency);
    const Point at{x1 + (3 * b) / 2, l.E - TextSize(fontSize, "a").height()};
    const QImage right = DrawText(d.size(), fontSize, at, text, kRed);
    const QImage wrong = DrawText(d.size(), fontSize, at, QString::fromLatin1(c.wrongFrequency), kRed);
    // Compare right of the sine symbol, which shares the text's first pixels.
    const QRect cell(QPoint(at.x, at.y), TextSize(fontSize, text));
    const QRect region = cell.adjusted(x1 + 2 * b + 1 - at.x, 0, 0, -1);
    EXPECT_GT(CountIn(region, kRed), 0);
    EXPECT_TRUE(SamePixels(right, region));
    EXPECT_FALSE(SamePixels(wrong, region));

    // "Tensioni" row, column L2: right-aligned in its cell.
    const int cw = TextSize(fontSize, "000.00 V").width() + 10;
    const int h = TextSize(fontSize, "X").height();
    const int x0 = l.E + 5 * l.m;
    const QString value = QString::fromUtf8(c.voltageL2);
    const QSize valueSize = TextSize(fontSize, value);
    const Point valueAt{x0 + (cw + 10) * 2 + cw - valueSize.width(), l.m + 2 * h - h / 2};
    EXPECT_TRUE(SamePixels(DrawText(d.size(), fontSize, valueAt, value, kRed),
                           QRect(QPoint(valueAt.x, valueAt.y), valueSize)));
}

INSTANTIATE_TEST_SUITE_P(Locales, LocaleTexts,
                         testing::Values(LocaleCase{"en_US", "50.0 Hz", "50,0 Hz", "231.00 V"},
                                         LocaleCase{"it_IT", "50,0 Hz", "50.0 Hz", "231,00 V"}),
                         [](const auto& info) { return std::string(info.param.locale); });

TEST_F(PolarDiagram, ClearingTheFrequencyWaitsForTheNextPaint) {
    d.resize(300, 300);
    Feed(d);
    ASSERT_TRUE(d.Render());
    const Layout& l = d.Metrics();
    const QRect frequencyText(l.m / 2 + 2 * (l.R / 20) + 1, l.E - 12, 30, 11);
    ASSERT_GT(CountIn(frequencyText, kRed), 0);

    d.SetFrequency(50.0);
    const int requests = d.requests;
    d.SetFrequency(0.0);
    EXPECT_EQ(d.requests, requests);
    EXPECT_EQ(d.Frequency(), -1.0);
    EXPECT_GT(CountIn(frequencyText, kRed), 0);  // the picture still shows the old text
    ASSERT_TRUE(d.Render());
    EXPECT_EQ(CountIn(frequencyText, kRed), 0);

    for (double bad : {-50.0, std::numeric_limits<double>::quiet_NaN()}) {
        d.SetFrequency(bad);
        EXPECT_EQ(d.Frequency(), -1.0);
    }
    EXPECT_EQ(d.requests, requests);
    d.SetFrequency(49.96);
    EXPECT_EQ(d.requests, requests + 1);
}

TEST_F(PolarDiagram, APollThatBringsTheValuesShownAsksForNoRepaint) {
    Feed(d);
    const int requests = d.requests;
    Feed(d);
    d.SetFrequency(49.98);  // "50,0 Hz" either way
    EXPECT_EQ(d.requests, requests);

    d.SetFrequency(50.06);  // "50,1 Hz"
    EXPECT_EQ(d.requests, requests + 1);
    d.SetVoltage(0, 231.5, 0.0);
    EXPECT_GT(d.requests, requests + 1);
    const int afterVoltage = d.requests;
    d.SetCurrent(2, 4.0, Deg(32.0));
    EXPECT_GT(d.requests, afterVoltage);
}

TEST_F(PolarDiagram, HintFollowsThePointerOntoATip) {
    QLocale::setDefault(QLocale(QStringLiteral("it_IT")));
    d.resize(420, 300);  // S = 300, with room on the right for the hint box
    Feed(d);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.VoltageMax() > 0.0; }));
    ASSERT_FALSE(d.HintShown());

    // VL1 ends at (150, 26); the pointer must be inside the full scale, so just below.
    const Point onVoltage{150, 30};
    int requests = d.requests;
    QTest::mouseMove(&d, QPoint(onVoltage.x, onVoltage.y));
    EXPECT_EQ(d.requests, requests + 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.HintShown(); }));

    auto expectHint = [&](Point pointer, const QString& text, const QColor& colour) {
        const QColor tip = QToolTip::palette().color(QPalette::ToolTipBase);
        const QRect box(QPoint(pointer.x + 15, pointer.y + 10), TextSize(6, text) + QSize(4, 2));
        EXPECT_EQ(At({box.left(), box.top()}), kGray);
        EXPECT_EQ(At({box.right(), box.bottom()}), kGray);
        EXPECT_EQ(At({box.right() - 1, box.top() + 1}), tip);
        EXPECT_GT(CountIn(box, colour), 0);
        const QImage ref = WithCanvas(d.size(), 6, [&](PolarCanvas& c) {
            c.SetBrush(tip);
            c.SetFontColor(colour);
            c.TextRect(box, box.left() + 1, box.top() + 1, text);
        });
        EXPECT_TRUE(SamePixels(ref, box.adjusted(1, 1, -1, -1))) << text.toStdString();
    };
    expectHint(onVoltage, QStringLiteral("VL1 = 230,00 V (0,00\u00b0)"), kRed);

    // Within the same zone, and from one tip straight to the next: nothing to repaint.
    requests = d.requests;
    QTest::mouseMove(&d, QPoint(onVoltage.x + 1, onVoltage.y + 1));
    const Point onCurrent{207, 212};  // CL2 ends at (209, 215), inside RI
    QTest::mouseMove(&d, QPoint(onCurrent.x, onCurrent.y));
    EXPECT_EQ(d.requests, requests);
    d.repaint();
    // A current's hint gives its shift against its voltage (18°), not its angle (138°).
    expectHint(onCurrent, QStringLiteral("CL2 = 4,60 A (18,00\u00b0)"), QColor(0, 128, 0));

    QTest::mouseMove(&d, QPoint(150, 100));
    EXPECT_EQ(d.requests, requests + 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !d.HintShown(); }));
    const QColor tooltip = QToolTip::palette().color(QPalette::ToolTipBase);
    EXPECT_EQ(CountIn(QRect(onCurrent.x + 15, onCurrent.y + 10, 60, 8), tooltip), 0);
}

TEST_F(PolarDiagram, SmallDiagramsShowNoHint) {
    d.resize(240, 240);  // R = 100
    Feed(d);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.VoltageMax() > 0.0; }));
    const int requests = d.requests;
    QTest::mouseMove(&d, QPoint(120, 25));  // VL1 ends at (120, 21)
    EXPECT_EQ(d.requests, requests);
    d.repaint();
    EXPECT_FALSE(d.HintShown());
}

}  // namespace
}  // namespace veltro::phasor
