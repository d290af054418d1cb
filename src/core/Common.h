#pragma once
// Shared routines of the window that need no toolkit: label-table look-ups,
// hexadecimal text, and parsing the register words a technician types.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltro::core {

// Position-parallel look-up: the value at the position of the first text that equals
// `text` ignoring ASCII case; 0 when none matches.
int StrToTableValue(std::span<const std::string_view> texts, std::span<const int> values,
                    std::string_view text);
// The same search; stores the value and returns true on a match, else leaves it alone.
bool FindTableValue(std::span<const std::string_view> texts, std::span<const int> values,
                    std::string_view text, int& value);
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

// A signed 32-bit decimal integer: leading blanks, an optional sign, digits and nothing
// else. Fails on anything else, including values that do not fit.
bool TryStrToInt(std::string_view text, int32_t& value);
// The same, raising "'<text>' is not a valid integer value" on failure.
int32_t StrToInt(std::string_view text);

std::string ByteToHex(uint8_t b);                    // 10 -> "0A"
std::string BytesToHex(std::span<const uint8_t> data);  // upper case, no separators

// One register word from four hexadecimal digits (either case). On failure word is 0.
bool HexToWord(std::string_view group, uint16_t& word);
// Register words from text: spaces anywhere are ignored, the rest must be a multiple of
// four hexadecimal digits. An empty text gives zero words.
bool HexToWords(std::string_view text, std::vector<uint16_t>& words);

}  // namespace veltro::core
