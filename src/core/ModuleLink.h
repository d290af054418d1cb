#pragma once
// How the module is reached: through an RS485 adapter on a serial port, or through an
// RS485-to-Ethernet gateway over TCP. Over a gateway the RS485 line settings are the
// gateway's own business (set in its configuration): a search through it tries addresses
// only, and the texts name the gateway where they would name the line settings.

#include "core/RtuSettings.h"
#include "modbus/LineSettings.h"

#include <cstdint>
#include <string>

namespace veltro::modbus {
class TModbusConnection;
}

namespace veltro::core {

struct ModuleLink {
    modbus::TLinkType Type = modbus::ltSerial;
    std::string Gateway{};  // "host:port" of the gateway, for the TCP links

    bool Tcp() const { return Type != modbus::ltSerial; }
    // "il gateway 192.168.1.20:502 (Modbus TCP)"
    std::string Text() const;

    bool operator==(const ModuleLink&) const = default;
};

// "Modbus TCP", "Modbus RTU su TCP"; empty for the serial port.
std::string FramingName(modbus::TLinkType Type);

// Writes the link into a connection's properties; the connection must be closed.
void ApplyLink(modbus::TModbusConnection& Connection, const ModuleLink& Link);

// "con 9600 8N1" on a serial port, "tramite il gateway 192.168.1.20:502" through a gateway.
std::string ViaText(const RtuSettings& Settings, const ModuleLink& Link);
// "all'indirizzo 178 con 9600 8N1", "all'indirizzo 178 tramite il gateway 192.168.1.20:502"
std::string AddressAndLink(int Address, const RtuSettings& Settings, const ModuleLink& Link);

// An exception a gateway sends in place of a station it cannot reach: 0x0A (no path to
// the address) or 0x0B (the station did not answer). Through a gateway such a reply says
// that nobody answered at the address, not that a station refused the read.
constexpr bool IsGatewayException(std::uint8_t Code)
{
    return Code == 0x0A || Code == 0x0B;
}

}  // namespace veltro::core
