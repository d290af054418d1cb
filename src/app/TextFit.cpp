#include "app/TextFit.h"

#include "core/Formatting.h"

#include <QDate>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyle>
#include <QTableWidget>
#include <QTime>

#include <algorithm>
#include <cmath>

namespace veltro::app {

using namespace core;

namespace {

// Late in the month and the day, with wide digits: the candidates for the widest
// texts of each month and each half of the day.
QList<QDate> SampleDates()
{
    QList<QDate> dates;
    for (int month = 1; month <= 12; ++month)
        dates.append(QDate(2088, month, 28));
    return dates;
}

const QList<QTime> kSampleTimes = {QTime(23, 58, 58), QTime(10, 58, 58), QTime(12, 58, 58)};

}  // namespace

int TextWidth(const QWidget* widget, const QString& text)
{
    return static_cast<int>(std::ceil(QFontMetricsF(widget->font()).horizontalAdvance(text)));
}

QString WidestText(const QFontMetrics& metrics, const QStringList& texts)
{
    QString widest;
    for (const QString& text : texts)
        if (metrics.horizontalAdvance(text) > metrics.horizontalAdvance(widest))
            widest = text;
    return widest;
}

QString WidestNumber(const QFontMetrics& metrics, int integerDigits, int decimals, bool negative)
{
    QStringList digits;
    for (char c = '0'; c <= '9'; ++c)
        digits.append(QString(QLatin1Char(c)));
    const QChar digit = WidestText(metrics, digits).at(0);
    QString text = negative ? QStringLiteral("-") : QString();
    text += QString(integerDigits, digit);
    if (decimals > 0)
        text += UserLocale().decimalPoint() + QString(decimals, digit);
    return text;
}

QString WidestShortDate(const QFontMetrics& metrics)
{
    QStringList texts;
    for (const QDate& date : SampleDates())
        texts.append(FormatShortDate(date));
    return WidestText(metrics, texts);
}

QString WidestLongTime(const QFontMetrics& metrics)
{
    QStringList texts;
    for (const QTime& time : kSampleTimes)
        texts.append(FormatLongTime(time));
    return WidestText(metrics, texts);
}

QString WidestDateTime(const QFontMetrics& metrics)
{
    return WidestShortDate(metrics) + QLatin1Char(' ') + WidestLongTime(metrics);
}

void FitEdit(QLineEdit* edit, const QString& text)
{
    // An edit's size hint is room for 17 "x" plus its frame and margins; what is left
    // after the 17 "x" is what the edit needs around any text (and 1 pixel of cursor).
    const QFontMetrics metrics = edit->fontMetrics();
    const int around = edit->sizeHint().width() - 17 * metrics.horizontalAdvance(QLatin1Char('x'));
    edit->setMinimumWidth(around + TextWidth(edit, text) + 1);
}

void FitGrid(QTableWidget* grid, const std::vector<int>& minWidths, const std::vector<QString>& widestValues,
             int minRowHeight)
{
    const QFontMetrics metrics = grid->fontMetrics();
    // The item painter keeps a margin on both sides of a cell's text, and the grid line
    // takes one pixel of the column.
    const int margin = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1) + 1;
    int width = 0;
    for (int c = 0; c < grid->columnCount(); ++c) {
        const size_t column = static_cast<size_t>(c);
        int needed = column < widestValues.size() ? TextWidth(grid, widestValues[column]) : 0;
        for (int r = 0; r < grid->rowCount(); ++r)
            if (const QTableWidgetItem* item = grid->item(r, c))
                needed = std::max(needed, TextWidth(grid, item->text()));
        const int columnWidth = std::max(column < minWidths.size() ? minWidths[column] : 0, needed + margin);
        grid->setColumnWidth(c, columnWidth);
        width += columnWidth;
    }
    const int rowHeight = std::max(minRowHeight, metrics.height() + 3);
    grid->verticalHeader()->setMinimumSectionSize(rowHeight);
    grid->verticalHeader()->setDefaultSectionSize(rowHeight);
    for (int r = 0; r < grid->rowCount(); ++r)
        grid->setRowHeight(r, rowHeight);
    const int frame = 2 * grid->frameWidth();
    grid->setFixedSize(width + frame, grid->rowCount() * rowHeight + frame);
}

}  // namespace veltro::app
