// One phasor of the diagram and the fixed colours of the three phases.
#pragma once

#include <QColor>
#include <QString>

#include <array>

namespace veltro::phasor {

struct TPolarArrow {
    QString Caption;            // shown in the hover hint, "VL1" or "CL1"
    QString Phase;              // "L1".."L3"; kept, not drawn
    double Magnitude = 0.0;     // volts or amperes
    QString Units;              // "V" or "A"
    int Length = 0;             // pixels, recomputed by every paint
    double Phi = 0.0;           // currents: shift against the voltage of the same phase, radians
    double Angle = 0.0;         // absolute diagram angle, radians
    QColor Color;
    int Width = 1;              // pen width; the arrowhead grows with it
    Qt::PenStyle Style = Qt::SolidLine;
};

using APolarArrows = std::array<TPolarArrow, 3>;

// L1 red, L2 green, L3 blue: arrows, the phase-sequence indicator and the table headings.
inline QColor PhaseColor(int index) {
    static const std::array<QColor, 3> colors{QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255)};
    return colors.at(static_cast<std::size_t>(index));
}

}  // namespace veltro::phasor
