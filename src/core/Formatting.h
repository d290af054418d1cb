#pragma once
// Numbers, dates and times as the user's locale writes them, without thousands
// separators and without a time-zone field in the long time format.

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace veltro::core {

QLocale UserLocale();
QString FormatFixed(double value, int decimals);   // NaN -> "NAN", infinities -> "INF"/"-INF"
QString FormatGeneral(double value);               // up to 15 significant digits, shortest form
QString FormatGeneral(double value, QLocale locale);  // the same in the given locale
QString FormatShortDate(const QDate& date);
QString FormatLongTime(const QTime& time);
// Short date, a blank, long time; the time is left out when it is exactly midnight.
QString FormatDateTime(const QDate& date, const QTime& time);

}  // namespace veltro::core
