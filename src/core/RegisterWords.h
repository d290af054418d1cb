#pragma once
// The register-word encoding of the module: a multi-register value is the little-endian
// byte image of the value, two bytes per 16-bit register in rising register order, the
// lower-addressed byte in the register's high half. So decoding swaps the bytes of every
// register and lays the swapped words one after the other into a little-endian value.
// The monitoring page, the decoding page and the simulated module all use these.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltro::core {

uint16_t SwapWord(uint16_t w);

// Exactly 2 words (4 words for the double), else false.
bool WordsToLongWord(std::span<const uint16_t> words, uint32_t& value);
bool WordsToSingle(std::span<const uint16_t> words, float& value);
bool WordsToDouble(std::span<const uint16_t> words, double& value);

// The inverse, for whoever produces registers (the simulated module).
std::vector<uint16_t> LongWordToWords(uint32_t value);
std::vector<uint16_t> SingleToWords(float value);
std::vector<uint16_t> DoubleToWords(double value);

struct CivilDate { int year, month, day; };
struct ClockTime { int hour, minute, second; };

// Gregorian date with year 1..9999; time with hour <= 23, minute and second <= 59.
bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int minute, int second);
// Three words, each byte-swapped: year, month, day / hour, minute, second.
std::optional<CivilDate> WordsToDate(std::span<const uint16_t> words);
std::optional<ClockTime> WordsToTime(std::span<const uint16_t> words);

// The text an input field shows after it loses focus: upper case, no spaces, one space
// between groups of four digits counted from the right ("ABCDEF" -> "AB CDEF").
std::string RegroupHex(const std::string& text);
// The text an input field shows while it is edited: every space removed.
std::string StripSpaces(const std::string& text);

}  // namespace veltro::core
