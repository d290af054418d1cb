#pragma once
// The small pictures of the window, drawn rather than loaded so the program needs no
// resource files: the button glyphs and the decorative pictures of the configuration page.

#include <QIcon>
#include <QWidget>

namespace veltro::app {

QIcon ReadGlyph();   // "1. Leggi": data coming from the meter
QIcon WriteGlyph();  // "2. Scrivi": data going to the meter
// The two images of the start/stop button, 22 × 22: 0 = start, 1 = stop.
QIcon StartStopGlyph(int index);

// The program's icon: a phasor star on a meter face. The window shows it and the
// package installs the same picture, rendered by veltro-icon at build time.
QIcon AppIcon();
QPixmap AppIconPixmap(int size);

// A meter with its optical head, beside the IEC settings.
class MeterPicture : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override;
};

// The RS485 module, at the top right of the configuration page.
class ModulePicture : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override;
};

}  // namespace veltro::app
