#pragma once
// Label tables of the serial settings. Every serial-settings drop-down list of the window
// is translated through them (a text's position is its value), and the module's "0.0.8"
// settings text is built from them.

#include <array>
#include <string_view>

namespace veltro::link {

inline constexpr std::array<std::string_view, 13> LinkBaudNames = {
    "300", "600", "1200", "2400", "4800", "9600", "19200",
    "38400", "57600", "115200", "230400", "460800", "921600"};
inline constexpr std::array<int, 13> LinkBaudValues = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

inline constexpr std::array<std::string_view, 3> LinkParityNames = {"Nessuna", "Dispari", "Pari"};
inline constexpr std::array<std::string_view, 3> LinkParityLetters = {"N", "O", "E"};
inline constexpr std::array<int, 3> LinkParityValues = {0, 1, 2};

inline constexpr std::array<std::string_view, 2> LinkDataBitsNames = {"7", "8"};
inline constexpr std::array<int, 2> LinkDataBitsValues = {0, 1};

inline constexpr std::array<std::string_view, 2> LinkStopBitsNames = {"1", "2"};
inline constexpr std::array<int, 2> LinkStopBitsValues = {0, 1};

}  // namespace veltro::link
