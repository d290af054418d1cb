#pragma once
// Times in records and exports: ISO 8601 local time with its offset from UTC, so a file
// read later, or in another time zone, still says exactly when ("2026-12-08T17:58:03+01:00").
// The offset is always written as hours and minutes, UTC included ("+00:00"): a reader who
// does not know the "Z" of the standard sees it the same way.

#include <QDateTime>
#include <QString>

namespace veltro::core {

QString IsoLocalTime(const QDateTime& time);

}  // namespace veltro::core
