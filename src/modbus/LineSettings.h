#pragma once

#include "modbus/ModbusTypes.h"

#include <cstdint>
#include <string>

namespace veltro::modbus {

// Bit rates a Modbus line is configured with; brCustom takes CustomBaudRate instead.
// The ordinal value is the position in the list.
enum TBaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
    brCustom
};

enum TParityScheme { psNone, psOdd, psEven };
using TParity = TParityScheme;

enum TDataBits { db7, db8 };

enum TStopBits { sb1, sb2 };

// fcRtsToggle drives an RS-485 transceiver: RTS is raised while the frame is sent and
// lowered afterwards so that the line is free for the reply.
enum TFlowControl { fcNone, fcRtsToggle, fcRtsCts, fcDtrDsr };

// What carries the frames: the serial port, or a TCP connection to an RS485-to-Ethernet
// gateway that passes RTU frames on as they are (ltRtuOverTcp) or speaks Modbus TCP
// (ltModbusTcp: an MBAP header with a transaction identifier instead of the CRC).
enum TLinkType { ltSerial, ltRtuOverTcp, ltModbusTcp };

// A port name such as "COM1" (see platform/PortNames.h for how it maps to a device).
using TSerialPort = std::string;

// Bit rate in bit/s for a TBaudRate value; brCustom gives Custom.
constexpr std::uint32_t BaudRateValue(TBaudRate Rate, std::uint32_t Custom)
{
    switch (Rate) {
    case br110: return 110;
    case br300: return 300;
    case br600: return 600;
    case br1200: return 1200;
    case br2400: return 2400;
    case br4800: return 4800;
    case br9600: return 9600;
    case br14400: return 14400;
    case br19200: return 19200;
    case br38400: return 38400;
    case br56000: return 56000;
    case br57600: return 57600;
    case br115200: return 115200;
    case br128000: return 128000;
    case br256000: return 256000;
    case brCustom: return Custom;
    }
    return Custom;
}

// Everything the serial line needs from a connection's properties, with the connection's
// defaults. A plain value: the connection fills one from its properties whenever it opens
// the port or a line property changes.
struct LineSettings {
    TSerialPort Port = "COM1";
    // The port was opened by someone else and is handed over; it is left open on close.
    bool HookExistingPort = false;
    TBaudRate BaudRate = br19200;
    std::uint32_t CustomBaudRate = 19200; // bit/s, used when BaudRate is brCustom
    TDataBits DataBits = db8;
    TParityScheme Parity = psEven;
    TStopBits StopBits = sb1;
    TFlowControl FlowControl = fcNone;
    bool DTREnabled = true;
    bool RTSEnabled = true;
    // End-of-frame silence: characters in RTU, milliseconds in ASCII.
    std::uint32_t SilentInterval = 4;
    TTransmissionMode TransmissionMode = tmRTU;
    TConnectionMode ConnectionMode = cmClient;
    TLinkType Link = ltSerial;
    // The TCP links: "host:port" of the gateway (a client connects there, a server listens).
    std::string Gateway;

    std::uint32_t BitRate() const { return BaudRateValue(BaudRate, CustomBaudRate); }
    bool Tcp() const { return Link != ltSerial; }

    bool operator==(const LineSettings&) const = default;
};

} // namespace veltro::modbus
