#pragma once
// What interroga, cerca and verifica share to reach the module through an RS485-to-Ethernet
// gateway instead of an adapter's serial port: --gateway HOST:PORTA and --tcp rtu|mbap.
// A gateway excludes the serial port and the options that only a serial line has.

#include "cli/Arguments.h"
#include "core/ModuleLink.h"

#include <initializer_list>
#include <string_view>
#include <vector>

namespace veltro::cli {

// --porta, the RS485 adapter's port that --gateway replaces.
OptionSyntax Rs485PortOption();
// --gateway and --tcp.
std::vector<OptionSyntax> GatewayOptions();

// The link --gateway and --tcp give (Modbus TCP unless --tcp rtu; TCP port 502 unless
// given), or the serial port without --gateway. Raises UsageError for a malformed value,
// for --tcp without --gateway, and for --gateway beside one of serialOnly (the serial
// port's option first).
core::ModuleLink ReadLink(const Arguments& args, std::initializer_list<std::string_view> serialOnly);

// What --json calls a link: "serial", "rtu-over-tcp", "modbus-tcp".
const char* LinkKey(modbus::TLinkType type);

}  // namespace veltro::cli
