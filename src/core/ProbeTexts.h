#pragma once
// Pieces of the Italian texts that the module search and the configuration check share.

#include "core/ModuleLink.h"
#include "core/RtuSettings.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltro::core {

// "all'indirizzo 178 con 9600 8N1"
std::string AddressAndSettings(int Address, const RtuSettings& Settings);
// Received bytes in hexadecimal; a long run is cut after 32 bytes with "...".
std::string ShortHex(std::span<const std::uint8_t> Bytes);
// " (matricole 12345678 e 23456789)", " (matricola 12345678)" or nothing, as far as known.
std::string SerialPair(const std::optional<std::uint32_t>& First, const std::optional<std::uint32_t>& Second);
// "0:18", "12:05", "1:02:03"
std::string DurationText(std::chrono::seconds Time);
// "con 9600 8N1 agli indirizzi 1-247", "con 24 impostazioni di linea all'indirizzo 5"
std::string SearchScope(const std::vector<RtuSettings>& Settings, int FirstAddress, int LastAddress);
// Through a gateway: "tramite il gateway 192.168.1.20:502 (Modbus TCP) agli indirizzi 1-247";
// on a serial port as above.
std::string SearchScope(const std::vector<RtuSettings>& Settings, int FirstAddress, int LastAddress,
                        const ModuleLink& Link);

}  // namespace veltro::core
