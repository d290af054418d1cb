#pragma once
// What the "File" menu writes besides the job records: the monitoring page's
// communication log with its statistics, and the values on screen as CSV for a
// spreadsheet. Both are built from plain data the window gathers; saving goes through
// SaveFileAtomically.

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <variant>

namespace veltro::core {

// A cell is a text as the screen shows it, or a number written in the locale's way.
using CsvCell = std::variant<QString, double>;
using CsvRow = QList<CsvCell>;

// ';' where the locale writes ',' as its decimal separator (as spreadsheets there
// expect), ',' elsewhere.
QChar CsvSeparator(const QLocale& locale);
// Rows of cells as CSV lines ended by CR LF, quoted where needed, numbers with the
// locale's decimal separator and without thousands separators. Prefixed with a UTF-8
// byte-order mark so spreadsheets read accented letters right.
QByteArray ToCsv(const QList<CsvRow>& rows, const QLocale& locale);
// One of those lines, ended by CR LF, without the byte-order mark.
QByteArray CsvLine(const CsvRow& row, const QLocale& locale);

// The communication log and the statistics panel's lines as one text file.
QString CommunicationLogText(const QStringList& log, const QStringList& statistics, const QDateTime& saved);

}  // namespace veltro::core
