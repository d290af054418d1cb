#pragma once
// Draws the lines of a communication log from text laid out once per line. A logged frame
// is hundreds of hexadecimal digits; shaping every line in view again at each repaint, and
// the log repaints at every frame while polling, was most of the window's polling load.

#include <QCache>
#include <QStaticText>
#include <QStyledItemDelegate>

namespace veltro::app {

class LogLineDelegate : public QStyledItemDelegate {
public:
    // Room for the laid-out texts of this many lines: the lines a log keeps, plus slack.
    explicit LogLineDelegate(int lines, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Wide enough for the widest line seen so far: with uniform item sizes the view takes
    // one line's size for all, and a width that shrank whenever a short line came first
    // would switch the horizontal scroll bar on and off, laying the log out again.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const QStaticText& Laid(const QString& text, const QFont& font) const;

    mutable QCache<QString, QStaticText> laid_;
    mutable QFont font_;
    mutable int widest_ = 0;
};

}  // namespace veltro::app
