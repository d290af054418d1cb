#include "core/Exports.h"

#include "core/Formatting.h"

namespace veltro::core {

namespace {

// A text a spreadsheet would run as a formula (a serial number a meter sent as
// "=cmd|..." for instance) is kept as text by a leading apostrophe. Signed numbers
// stay numbers.
bool LooksLikeFormula(const QString& text, const QLocale& locale)
{
    if (text.isEmpty())
        return false;
    const QChar first = text.front();
    if (first == u'=' || first == u'@')
        return true;
    if (first == u'+' || first == u'-') {
        bool number = false;
        locale.toDouble(text, &number);
        return !number;
    }
    return false;
}

QString CellText(const CsvCell& cell, const QLocale& locale, QChar separator)
{
    if (const double* number = std::get_if<double>(&cell))
        return FormatGeneral(*number, locale);
    QString text = std::get<QString>(cell);
    if (LooksLikeFormula(text, locale))
        text.prepend(u'\'');
    const bool quote = text.contains(separator) || text.contains(u'"') || text.contains(u'\n') ||
                       text.contains(u'\r');
    if (!quote)
        return text;
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

}  // namespace

QChar CsvSeparator(const QLocale& locale)
{
    return locale.decimalPoint() == QStringLiteral(",") ? QChar(u';') : QChar(u',');
}

QByteArray CsvLine(const CsvRow& row, const QLocale& locale)
{
    const QChar separator = CsvSeparator(locale);
    QStringList cells;
    for (const CsvCell& cell : row)
        cells << CellText(cell, locale, separator);
    return (cells.join(separator) + QStringLiteral("\r\n")).toUtf8();
}

QByteArray ToCsv(const QList<CsvRow>& rows, const QLocale& locale)
{
    QByteArray text = QByteArrayLiteral("\xEF\xBB\xBF");
    for (const CsvRow& row : rows)
        text += CsvLine(row, locale);
    return text;
}

QString CommunicationLogText(const QStringList& log, const QStringList& statistics, const QDateTime& saved)
{
    QStringList out;
    out << QStringLiteral("VeltroConf - registro di comunicazione");
    out << QStringLiteral("Salvato il: %1").arg(saved.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    out << QString() << log;
    out << QString() << QStringLiteral("Statistiche:") << statistics;
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace veltro::core
