#include "core/Common.h"

#include "platform/DebugOutput.h"

#include <cstdint>
#include <stdexcept>

namespace veltro::core {

namespace {
char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
}  // namespace

bool SameTextIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

bool FindTableValue(std::span<const std::string_view> texts, std::span<const int> values,
                    std::string_view text, int& value)
{
    const size_t n = std::min(texts.size(), values.size());
    for (size_t i = 0; i < n; ++i) {
        if (SameTextIgnoringCase(texts[i], text)) {
            value = values[i];
            return true;
        }
    }
    return false;
}

int StrToTableValue(std::span<const std::string_view> texts, std::span<const int> values,
                    std::string_view text)
{
    int value = 0;
    FindTableValue(texts, values, text, value);
    return value;
}

bool TryStrToInt(std::string_view text, int32_t& value)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > int64_t{1} << 31)
            return false;
    }
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX)
        return false;
    value = static_cast<int32_t>(result);
    return true;
}

int32_t StrToInt(std::string_view text)
{
    int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw std::runtime_error("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

std::string ByteToHex(uint8_t b)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    return {digits[b >> 4], digits[b & 0x0F]};
}

std::string BytesToHex(std::span<const uint8_t> data)
{
    std::string out;
    out.reserve(data.size() * 2);
    for (uint8_t b : data)
        out += ByteToHex(b);
    return out;
}

bool HexToWord(std::string_view group, uint16_t& word)
{
    word = 0;
    for (char c : group) {
        const int v = DigitValue(c);
        if (v < 0) {
            word = 0;
            return false;
        }
        word = static_cast<uint16_t>(word << 4 | v);
    }
    platform::DebugOutput(std::to_string(word));
    return true;
}

bool HexToWords(std::string_view text, std::vector<uint16_t>& words)
{
    std::string digits;
    for (char c : text)
        if (c != ' ')
            digits += c;
    words.clear();
    if (digits.size() % 4 != 0)
        return false;
    words.resize(digits.size() / 4);
    for (size_t i = 0; i < words.size(); ++i)
        if (!HexToWord(std::string_view(digits).substr(i * 4, 4), words[i]))
            return false;
    return true;
}

}  // namespace veltro::core
