// The phasor diagram control: three phase voltages and three phase currents drawn as
// arrows on a polar diagram, with scales, a value table, the mains frequency, the
// average power factor and a hint for the arrow under the pointer.
#pragma once

#include "phasor/PolarArrow.h"
#include "phasor/PolarCanvas.h"
#include "phasor/PolarDrawing.h"
#include "phasor/PolarLayout.h"

#include <QImage>
#include <QWidget>

#include <optional>

namespace veltro::phasor {

class TPolarDiagram : public QWidget {
    Q_OBJECT

public:
    // Fills the parent's client area and follows its size; without a parent the control
    // is a window of its own (used for rendering outside the main window).
    explicit TPolarDiagram(QWidget* parent = nullptr);

    // Index is 0..2 for L1..L3. Angles are radians, 0 up, clockwise positive.
    void SetVoltageArrow(int Index, const QString& Phase, const QString& Caption, double Magnitude,
                         double Angle, int Width, Qt::PenStyle Style);
    void SetCurrentArrow(int Index, const QString& Phase, const QString& Caption, double Magnitude,
                         double Phi, int Width, Qt::PenStyle Style);
    // A current keeps its shift against its voltage, so a new voltage angle turns it too.
    void SetVoltage(int Index, double Magnitude, double Angle);
    void SetCurrent(int Index, double Magnitude, double Phi);
    // Zero, negative or NaN hides the frequency text at the next paint without asking
    // for one.
    void SetFrequency(double Value);

    const APolarArrows& Voltages() const { return FVoltages; }
    const APolarArrows& Currents() const { return FCurrents; }
    double Frequency() const { return FFrequency; }
    double VoltageMax() const { return FVoltageMax; }
    double CurrentMax() const { return FCurrentMax; }
    const Layout& Metrics() const { return FLayout; }
    bool HintShown() const { return FHintShown; }
    // The off-screen picture of the last paint.
    const QImage& Bitmap() const { return FBitmap; }

    // The client width that shows everything the diagram draws for a square of the given
    // side, in the fonts it draws with.
    int ContentWidthFor(int side) const;

    // Draws the whole diagram into the bitmap (paint steps up to the hint); false when
    // the paint failed and nothing may be copied to the screen.
    bool Render();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Every value change ends here; kept apart so that a repaint request can be observed.
    virtual void RequestRepaint();

private:
    void ComputeScales();
    void EnsureBitmapSize();
    std::optional<Hit> HitTestAt(Point pointer) const;
    void DrawHint(PolarDrawing& drawing);

    APolarArrows FVoltages;
    APolarArrows FCurrents;
    double FFrequency = -1.0;
    QColor FBackColor{255, 255, 255};
    QColor FVoltageDiskColor{240, 255, 240};
    QColor FCurrentDiskColor{255, 255, 240};
    double FVoltageMax = 0.0;
    double FCurrentMax = 0.0;
    Layout FLayout;
    QImage FBitmap;
    PolarCanvas FCanvas;
    bool FHintShown = false;
    DisplayFlags FFlags;
};

}  // namespace veltro::phasor
