#include "core/ModuleLink.h"

#include "core/ProbeTexts.h"
#include "modbus/ModbusConnection.h"

namespace veltro::core {

std::string ModuleLink::Text() const
{
    return "il gateway " + Gateway + " (" + FramingName(Type) + ")";
}

std::string FramingName(modbus::TLinkType Type)
{
    switch (Type) {
    case modbus::ltRtuOverTcp: return "Modbus RTU su TCP";
    case modbus::ltModbusTcp: return "Modbus TCP";
    case modbus::ltSerial: break;
    }
    return {};
}

void ApplyLink(modbus::TModbusConnection& Connection, const ModuleLink& Link)
{
    Connection.SetLink(Link.Type);
    Connection.SetGateway(Link.Tcp() ? Link.Gateway : std::string());
}

std::string ViaText(const RtuSettings& Settings, const ModuleLink& Link)
{
    return Link.Tcp() ? "tramite il gateway " + Link.Gateway : "con " + Settings.Text();
}

std::string AddressAndLink(int Address, const RtuSettings& Settings, const ModuleLink& Link)
{
    if (!Link.Tcp())
        return AddressAndSettings(Address, Settings);
    return "all'indirizzo " + std::to_string(Address) + " " + ViaText(Settings, Link);
}

}  // namespace veltro::core
