#include "app/LogLines.h"

#include "app/LogLineDelegate.h"

#include <QListWidget>

namespace veltro::app {

LogLines::LogLines(QListWidget* list, int limit) : QObject(list), list_(list), limit_(limit)
{
    list_->setUniformItemSizes(true);  // one text line each: no per-item size pass on every add
    list_->setItemDelegate(new LogLineDelegate(limit + 1, list_));
    paint_.setSingleShot(true);
    paint_.setInterval(kPaintMs);
    connect(&paint_, &QTimer::timeout, this, [this] { PaintNow(); });
}

void LogLines::Append(const QString& line)
{
    // The first line of a burst stops the painting; the timer paints the burst at once.
    if (!paint_.isActive()) {
        list_->setUpdatesEnabled(false);
        paint_.start();
    }
    if (list_->count() > limit_)
        delete list_->takeItem(0);
    list_->addItem(line);
}

void LogLines::PaintNow()
{
    paint_.stop();
    // Laid out and scrolled before painting resumes, so the one paint shows the end state.
    list_->doItemsLayout();
    list_->scrollToBottom();
    list_->setUpdatesEnabled(true);
}

}  // namespace veltro::app
