// The pictures that make up the phasor diagram, each drawn onto the shared canvas from
// one snapshot of the diagram's values. The steps run in the order their functions are
// declared; each sets only the canvas attributes it needs, so what one leaves selected is
// what the next starts with.
#pragma once

#include "phasor/PolarArrow.h"
#include "phasor/PolarCanvas.h"
#include "phasor/PolarLayout.h"

#include <QColor>
#include <QString>

#include <string>

namespace veltro::phasor {

// A set flag draws its texts black, a cleared one red.
struct DisplayFlags {
    bool voltages = false;       // row "Tensioni"
    bool voltageAngles = false;  // row "Sfasamenti"
    bool currents = false;       // row "Correnti"
    bool phaseShifts = false;    // rows "Phi" and "Cos Phi"
    bool frequency = false;      // the frequency text
};

struct PolarScene {
    int width = 0;   // of the bitmap
    int height = 0;
    Layout layout;
    const APolarArrows* voltages = nullptr;  // lengths already computed for this layout
    const APolarArrows* currents = nullptr;
    double voltageMax = 0.0;
    double currentMax = 0.0;
    double frequency = -1.0;  // -1.0: no value, no text
    QColor backColor;
    QColor voltageDiskColor;
    QColor currentDiskColor;
    DisplayFlags flags;
};

namespace colors {
inline const QColor kGray{128, 128, 128};
inline const QColor kSilver{192, 192, 192};
inline const QColor kBlack{0, 0, 0};
inline const QColor kRed{255, 0, 0};
inline const QColor kGreen{0, 128, 0};
}  // namespace colors

class PolarDrawing {
public:
    PolarDrawing(PolarCanvas& canvas, const PolarScene& scene) : c_(canvas), s_(scene) {}

    void BackgroundAndScales();
    void PhaseSequence();
    void DegreeScale();
    void LagLeadArcs();
    void ScaleBar();
    void Legend();
    void ValueTable();
    void Arrows();
    void Frequency();
    void PowerFactor();
    // The hover hint for one arrow with its top-left corner offset from the pointer.
    void HintBox(Point pointer, const QString& text, const QColor& color, const QColor& background);

    // An arrow from origin: shaft, then a filled head whose size follows the pen width.
    // Length 0 draws nothing.
    void Arrow(Point origin, int length, double screenAngle, const QColor& color, int width,
               Qt::PenStyle style);

private:
    enum class Align { Left, Right, Centre };
    // Text whose cell is opaque in the background colour; y is its vertical centre.
    void TextCentredOn(int x, int y, const QString& text, Align align);
    void Text(int x, int top, const QString& text);
    QString Fixed(double value, int decimals) const;
    QColor FlagColor(bool flag) const { return flag ? colors::kBlack : colors::kRed; }

    PolarCanvas& c_;
    const PolarScene& s_;
};

// The caption of the average power factor; its value follows it on the same line.
inline const QString kPowerFactorCaption = QStringLiteral("Fattore di Potenza (Cos Phi): ");

// The decimal separator of the user's locale, and "0.00" style numbers with it, never
// with digit grouping.
std::string LocaleDecimalSeparator();
QString LocaleFixed(double value, int decimals);

}  // namespace veltro::phasor
