#include "cli/Gateway.h"

#include "platform/TcpSocket.h"

namespace veltro::cli {

OptionSyntax Rs485PortOption()
{
    return {"porta", "N", "porta dell'adattatore RS485, 3 o COM3 (predefinita 1)"};
}

std::vector<OptionSyntax> GatewayOptions()
{
    return {
        {"gateway", "HOST:PORTA", "tramite un gateway RS485-Ethernet (porta TCP predefinita 502)"},
        {"tcp", "mbap|rtu", "con --gateway: mbap (Modbus TCP, predefinito) o rtu (RTU su TCP)"},
    };
}

core::ModuleLink ReadLink(const Arguments& args, std::initializer_list<std::string_view> serialOnly)
{
    const std::optional<std::string> gateway = args.Value("gateway");
    const std::optional<std::string> framing = args.Value("tcp");
    if (!gateway) {
        if (framing)
            throw UsageError("--tcp vale solo con --gateway");
        return {};
    }
    auto serial = serialOnly.begin();
    if (serial != serialOnly.end())
        args.OneOf(*serial, "gateway");
    for (++serial; serial < serialOnly.end(); ++serial)
        if (args.Has(*serial))
            throw UsageError("--" + std::string(*serial) + " non vale con --gateway: velocità, parità e bit di stop "
                             "della linea RS485 sono quelli configurati nel gateway");
    const std::optional<platform::TcpEndpoint> endpoint = platform::TcpEndpoint::Parse(*gateway);
    if (!endpoint)
        throw UsageError("--gateway vuole l'indirizzo del gateway e la porta TCP, ad esempio 192.168.1.20:502 "
                         "(senza porta, la 502), non \"" + *gateway + "\"");
    core::ModuleLink link{modbus::ltModbusTcp, endpoint->Text()};
    if (framing == "rtu")
        link.Type = modbus::ltRtuOverTcp;
    else if (framing && framing != "mbap")
        throw UsageError("--tcp vuole mbap (Modbus TCP) o rtu (RTU su TCP), non \"" + *framing + "\"");
    return link;
}

const char* LinkKey(modbus::TLinkType type)
{
    switch (type) {
    case modbus::ltRtuOverTcp: return "rtu-over-tcp";
    case modbus::ltModbusTcp: return "modbus-tcp";
    case modbus::ltSerial: break;
    }
    return "serial";
}

}  // namespace veltro::cli
