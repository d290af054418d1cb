#pragma once
// The RS485 line settings of a module as one value: bit rate, data bits, parity and stop
// bits, written the way "0.0.8" holds them ("9600 8N1"), with the line time they give a
// frame and the order in which a search tries them.

#include "modbus/LineSettings.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltro::modbus {
class TModbusConnection;
}

namespace veltro::core {

struct RtuSettings {
    modbus::TBaudRate BaudRate = modbus::br9600;
    modbus::TDataBits DataBits = modbus::db8;
    modbus::TParityScheme Parity = modbus::psNone;
    modbus::TStopBits StopBits = modbus::sb1;

    std::uint32_t BitRate() const { return modbus::BaudRateValue(BaudRate, 0); }
    // Start bit, data bits, parity bit (unless none), stop bits.
    int BitsPerCharacter() const;
    // How long Characters characters occupy the line, rounded up to whole milliseconds.
    std::chrono::milliseconds LineTime(int Characters) const;
    // "9600 8N1"
    std::string Text() const;
    // The texts of the window's lists: "Nessuna", "Dispari", "Pari"; "7", "8"; "1", "2".
    std::string_view ParityName() const;
    std::string_view DataBitsName() const { return DataBits == modbus::db7 ? "7" : "8"; }
    std::string_view StopBitsName() const { return StopBits == modbus::sb2 ? "2" : "1"; }

    bool operator==(const RtuSettings&) const = default;
};

// "<rate> <data bits><N|O|E><stop bits>" for one of the library's bit rates; nullopt for
// anything else.
std::optional<RtuSettings> ParseRtuSettings(std::string_view Text);

// The settings from the texts of the window's four lists ("19200", "8", "Pari", "2");
// nullopt when one of them is not a value the lists offer.
std::optional<RtuSettings> RtuSettingsFromTexts(std::string_view Rate, std::string_view DataBits,
                                                std::string_view ParityName, std::string_view StopBits);

// Writes the settings into a connection's line properties (applied at once when active).
void ApplyRtuSettings(modbus::TModbusConnection& Connection, const RtuSettings& Settings);

// The rates, parities and stop bits a search walks, most likely first: a module leaves the
// factory at 9600 8N1, an installer changes the rate to match the other stations on the
// bus before anything else, and parity and two stop bits are rarer still.
inline constexpr modbus::TBaudRate ScanRates[] = {modbus::br9600, modbus::br19200, modbus::br4800, modbus::br2400};
inline constexpr modbus::TParityScheme ScanParities[] = {modbus::psNone, modbus::psEven, modbus::psOdd};
inline constexpr modbus::TStopBits ScanStopBits[] = {modbus::sb1, modbus::sb2};

// Every combination of the given rates, parities and stop bits with 8 data bits, in the
// order of likelihood above whatever order they are given in: the rate changes fastest,
// then the parity, then the stop bits. Values outside the lists above are left out; an
// empty span stands for all of its list.
std::vector<RtuSettings> ScanSettings(std::span<const modbus::TBaudRate> Rates = {},
                                      std::span<const modbus::TParityScheme> Parities = {},
                                      std::span<const modbus::TStopBits> StopBits = {});

}  // namespace veltro::core
