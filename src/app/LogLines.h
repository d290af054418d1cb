#pragma once
// The communication log's list: at most a given number of lines, the newest in view, and
// painting that follows the lines at a human pace. While polling, a frame is logged
// every 100 ms or so; repainting the list (and the scroll bars and frame around it) for
// each of them was most of the window's polling load, for changes no eye can follow. The
// lines themselves are in the list at once, only their painting waits, at most kPaintMs.

#include <QObject>
#include <QTimer>

class QListWidget;
class QString;

namespace veltro::app {

class LogLines : public QObject {
public:
    static constexpr int kPaintMs = 400;

    // Takes over how `list` lays out and paints its lines; `limit` as in Append.
    LogLines(QListWidget* list, int limit);

    // Appends a line and scrolls it into view; once the list holds more than `limit`
    // lines the oldest goes.
    void Append(const QString& line);
    // Paints what is pending now (before a picture of the window is taken, say).
    void PaintNow();

private:
    QListWidget* list_;
    int limit_;
    QTimer paint_;
};

}  // namespace veltro::app
