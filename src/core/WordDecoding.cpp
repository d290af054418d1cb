#include "core/WordDecoding.h"

#include "core/Common.h"
#include "core/Formatting.h"

#include <QDate>
#include <QTime>

#include <vector>

namespace veltro::core {

const char* WordKindLabel(WordKind kind)
{
    switch (kind) {
    case WordKind::SerialNumber: return "Matricola";
    case WordKind::Single: return "Float IEEE 754";
    case WordKind::Double: return "Double IEEE 754";
    case WordKind::Time: return "Ora";
    case WordKind::Date: return "Data";
    }
    return "";
}

std::size_t WordCount(WordKind kind)
{
    switch (kind) {
    case WordKind::Double: return 4;
    case WordKind::Time:
    case WordKind::Date: return 3;
    default: return 2;
    }
}

DecodedWords DecodeWords(WordKind kind, std::string_view text)
{
    DecodedWords d;
    std::vector<uint16_t> words;
    if (HexToWords(text, words)) {
        switch (kind) {
        case WordKind::SerialNumber:
            if (uint32_t v = 0; WordsToLongWord(words, v)) {
                d.value = v;
                d.text = QString::number(v);
            }
            break;
        case WordKind::Single:
            if (float v = 0; WordsToSingle(words, v)) {
                d.value = v;
                d.text = FormatFixed(static_cast<double>(v), 2);
            }
            break;
        case WordKind::Double:
            if (double v = 0; WordsToDouble(words, v)) {
                d.value = v;
                d.text = FormatGeneral(v);
            }
            break;
        case WordKind::Time:
            if (const auto t = WordsToTime(words)) {
                d.value = *t;
                d.text = FormatLongTime(QTime(t->hour, t->minute, t->second));
            }
            break;
        case WordKind::Date:
            if (const auto v = WordsToDate(words)) {
                d.value = *v;
                d.text = FormatShortDate(QDate(v->year, v->month, v->day));
            }
            break;
        }
    }
    d.ok = !std::holds_alternative<std::monostate>(d.value);
    if (!d.ok)
        d.text = QStringLiteral("invalid");
    return d;
}

}  // namespace veltro::core
