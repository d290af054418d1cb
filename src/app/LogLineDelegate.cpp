#include "app/LogLineDelegate.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

namespace veltro::app {

namespace {
constexpr int kMargin = 3;  // what the style leaves on each side of an item's text
}

LogLineDelegate::LogLineDelegate(int lines, QObject* parent) : QStyledItemDelegate(parent), laid_(2 * lines) {}

const QStaticText& LogLineDelegate::Laid(const QString& text, const QFont& font) const
{
    if (font != font_) {
        laid_.clear();
        font_ = font;
        widest_ = 0;
    }
    if (QStaticText* known = laid_.object(text))
        return *known;
    auto* line = new QStaticText(text);
    line->setTextFormat(Qt::PlainText);
    line->setPerformanceHint(QStaticText::AggressiveCaching);
    line->prepare(QTransform(), font);
    widest_ = std::max(widest_, qCeil(line->size().width()));
    laid_.insert(text, line);
    return *line;
}

void LogLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();  // the style draws the item's background and focus, the text is ours
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QStaticText& line = Laid(text, opt.font);
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Active
                                                                             : QPalette::Inactive;
    const QPalette::ColorRole role = (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, role));
    const qreal top = opt.rect.top() + (opt.rect.height() - line.size().height()) / 2.0;
    painter->drawStaticText(QPointF(opt.rect.left() + kMargin, top), line);
    painter->restore();
}

QSize LogLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QStaticText& line = Laid(opt.text, opt.font);
    const int height = std::max(opt.fontMetrics.height(), qCeil(line.size().height()));
    return {widest_ + 2 * kMargin, height};
}

}  // namespace veltro::app
