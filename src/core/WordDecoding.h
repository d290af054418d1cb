#pragma once
// The conversions of the "Decodifica" page: the hexadecimal register words a technician
// copied from the module's replies, read as the meter serial number, a single or a double,
// a time or a date, and written as the page shows them. The command line's "decodifica"
// gives the same answers in the same words.

#include "core/RegisterWords.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

namespace veltro::core {

enum class WordKind { SerialNumber, Single, Double, Time, Date };

inline constexpr WordKind kWordKinds[] = {WordKind::SerialNumber, WordKind::Single, WordKind::Double,
                                          WordKind::Time, WordKind::Date};

struct DecodedWords {
    bool ok = false;
    // What the page's result field shows: the value in the user's locale, or "invalid"
    // when the words are not hexadecimal, not as many as the kind takes, or no valid
    // time or date.
    QString text;
    // The value itself, for a caller that writes it its own way.
    std::variant<std::monostate, uint32_t, float, double, ClockTime, CivilDate> value;
};

// The page's row label: "Matricola", "Float IEEE 754", "Double IEEE 754", "Ora", "Data".
const char* WordKindLabel(WordKind kind);
// How many 16-bit registers the kind takes: 2, 2, 4, 3, 3.
std::size_t WordCount(WordKind kind);

// Blanks anywhere in text are ignored; the rest must be four hexadecimal digits per word.
DecodedWords DecodeWords(WordKind kind, std::string_view text);

}  // namespace veltro::core
