#include "core/RegisterWords.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace veltro::core {

uint16_t SwapWord(uint16_t w)
{
    return static_cast<uint16_t>((w >> 8) | (w << 8));
}

namespace {
// Bytes b0..b(n-1) of the little-endian image, from words whose high byte comes first.
template <typename T>
bool WordsToValue(std::span<const uint16_t> words, T& value)
{
    if (words.size() != sizeof(T) / 2)
        return false;
    uint64_t bits = 0;
    for (size_t k = 0; k < words.size(); ++k)
        bits |= static_cast<uint64_t>(SwapWord(words[k])) << (16 * k);
    if constexpr (sizeof(T) == 4) {
        const auto narrow = static_cast<uint32_t>(bits);
        std::memcpy(&value, &narrow, sizeof value);
    } else {
        std::memcpy(&value, &bits, sizeof value);
    }
    return true;
}

template <typename T>
std::vector<uint16_t> ValueToWords(T value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof value);
    std::vector<uint16_t> words(sizeof(T) / 2);
    for (size_t k = 0; k < words.size(); ++k)
        words[k] = SwapWord(static_cast<uint16_t>(bits >> (16 * k)));
    return words;
}
}  // namespace

bool WordsToLongWord(std::span<const uint16_t> words, uint32_t& value) { return WordsToValue(words, value); }
bool WordsToSingle(std::span<const uint16_t> words, float& value) { return WordsToValue(words, value); }
bool WordsToDouble(std::span<const uint16_t> words, double& value) { return WordsToValue(words, value); }

std::vector<uint16_t> LongWordToWords(uint32_t value) { return ValueToWords(value); }
std::vector<uint16_t> SingleToWords(float value) { return ValueToWords(value); }
std::vector<uint16_t> DoubleToWords(double value) { return ValueToWords(value); }

bool IsValidDate(int year, int month, int day)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int length = days[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= length;
}

bool IsValidTime(int hour, int minute, int second)
{
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

std::optional<CivilDate> WordsToDate(std::span<const uint16_t> words)
{
    if (words.size() != 3)
        return std::nullopt;
    const CivilDate d{SwapWord(words[0]), SwapWord(words[1]), SwapWord(words[2])};
    if (!IsValidDate(d.year, d.month, d.day))
        return std::nullopt;
    return d;
}

std::optional<ClockTime> WordsToTime(std::span<const uint16_t> words)
{
    if (words.size() != 3)
        return std::nullopt;
    const ClockTime t{SwapWord(words[0]), SwapWord(words[1]), SwapWord(words[2])};
    if (!IsValidTime(t.hour, t.minute, t.second))
        return std::nullopt;
    return t;
}

std::string StripSpaces(const std::string& text)
{
    std::string out;
    std::copy_if(text.begin(), text.end(), std::back_inserter(out), [](char c) { return c != ' '; });
    return out;
}

std::string RegroupHex(const std::string& text)
{
    std::string bare = StripSpaces(text);
    std::transform(bare.begin(), bare.end(), bare.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; });
    std::reverse(bare.begin(), bare.end());
    std::string out;
    for (size_t i = 1; i <= bare.size(); ++i) {
        out += bare[i - 1];
        if (i % 4 == 0 && i != bare.size())
            out += ' ';
    }
    std::reverse(out.begin(), out.end());
    return out;
}

}  // namespace veltro::core
