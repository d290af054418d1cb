#pragma once
// The module's RS485 settings as the meter stores them in "0.0.8": the baud rate, one
// blank, then data bits, parity letter and stop bits, e.g. "9600 8N1" or "19200 8E2".

#include <optional>
#include <string>
#include <string_view>

namespace veltro::core {

// Positions in the link's label tables (LinkBaudNames, LinkDataBitsNames,
// LinkParityLetters/Names, LinkStopBitsNames).
struct SerialSettingsIndices {
    std::optional<int> baud, dataBits, parity, stopBits;
};

// Reads the parts in order and stops at the first one that does not fit; the parts
// read before it are kept, so a caller can show them as far as they go.
bool ParseSerialSettingsText(std::string_view value, SerialSettingsIndices& out);
// The text for the given positions ("9600 8N1").
std::string SerialSettingsToText(int baud, int dataBits, int parity, int stopBits);

}  // namespace veltro::core
