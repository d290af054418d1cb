#include "core/Formatting.h"

#include <QRegularExpression>
#include <cmath>

namespace veltro::core {

QLocale UserLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

static QString SpecialValue(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    return {};
}

QString FormatFixed(double value, int decimals)
{
    if (QString special = SpecialValue(value); !special.isEmpty())
        return special;
    // Seven significant digits are what a single-precision value carries; digits past
    // them would only show noise. Beyond seven integer digits exponent notation is used.
    constexpr int kPrecision = 7;
    if (value == 0.0)
        return UserLocale().toString(0.0, 'f', decimals);
    const int integerDigits = static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1;
    if (integerDigits > kPrecision)
        return UserLocale().toString(value, 'e', kPrecision - 1);
    const double scale = std::pow(10.0, kPrecision - integerDigits);
    return UserLocale().toString(std::round(value * scale) / scale, 'f', decimals);
}

QString FormatGeneral(double value)
{
    return FormatGeneral(value, UserLocale());
}

QString FormatGeneral(double value, QLocale locale)
{
    if (QString special = SpecialValue(value); !special.isEmpty())
        return special;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}

QString FormatShortDate(const QDate& date)
{
    return UserLocale().toString(date, QLocale::ShortFormat);
}

QString FormatLongTime(const QTime& time)
{
    // Qt's long time format may carry a time-zone field ("t"); a meter clock has none.
    // Every logged frame is stamped with it, so the stripped format is kept per locale
    // rather than rebuilt (with a regular expression) for each line.
    struct Cached {
        QString localeName;
        QString format;
    };
    thread_local Cached cached;
    const QLocale locale = UserLocale();
    if (cached.format.isEmpty() || cached.localeName != locale.name()) {
        QString format = locale.timeFormat(QLocale::LongFormat);
        format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
        cached = {locale.name(), format.trimmed()};
    }
    return locale.toString(time, cached.format);
}

QString FormatDateTime(const QDate& date, const QTime& time)
{
    if (time == QTime(0, 0, 0))
        return FormatShortDate(date);
    return FormatShortDate(date) + QLatin1Char(' ') + FormatLongTime(time);
}

}  // namespace veltro::core
