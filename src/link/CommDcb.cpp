#include "link/CommDcb.h"

#include <array>

namespace veltro::link {

namespace {

constexpr std::array<uint32_t, 15> kBaudRates = {110,   300,   600,   1200,   2400,   4800,   9600,  14400,
                                                 19200, 38400, 56000, 57600, 115200, 128000, 256000};

constexpr std::array<uint32_t, 9> kEventBits = {EV_BREAK, EV_CTS,    EV_DSR,    EV_ERR,    EV_RING,
                                                EV_RLSD,  EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY};

struct OptionBit {
    TCommOption option;
    uint32_t bit;
};
constexpr std::array<OptionBit, 5> kOptionBits = {{{coParityCheck, dcb::Parity},
                                                   {coDsrSensitivity, dcb::DsrSensitivity},
                                                   {coIgnoreXOff, dcb::TxContinueOnXoff},
                                                   {coErrorChar, dcb::ErrorChar},
                                                   {coNullStrip, dcb::Null}}};

platform::SerialParity ParityOf(uint8_t code)
{
    switch (code) {
    case paOdd: return platform::SerialParity::Odd;
    case paEven: return platform::SerialParity::Even;
    case paMark: return platform::SerialParity::Mark;
    case paSpace: return platform::SerialParity::Space;
    default: return platform::SerialParity::None;
    }
}

platform::SerialStopBits StopBitsOf(uint8_t code)
{
    switch (code) {
    case sb15: return platform::SerialStopBits::OnePointFive;
    case sb20: return platform::SerialStopBits::Two;
    default: return platform::SerialStopBits::One;
    }
}

}  // namespace

uint32_t BaudRateValue(TBaudrate rate)
{
    const auto i = static_cast<size_t>(rate);
    return i < kBaudRates.size() ? kBaudRates[i] : 9600;
}

uint32_t EventBit(TCommEventType type)
{
    return kEventBits[static_cast<size_t>(type)];
}

uint32_t EventMask(TCommEventTypes events)
{
    uint32_t mask = 0;
    for (size_t i = 0; i < kEventBits.size(); ++i)
        if (events.Contains(static_cast<TCommEventType>(i)))
            mask |= kEventBits[i];
    return mask;
}

uint32_t ErrorFlags(const platform::LineErrors& errors)
{
    uint32_t flags = 0;
    if (errors.overrun)
        flags |= CE_OVERRUN;
    if (errors.parity)
        flags |= CE_RXPARITY;
    if (errors.framing)
        flags |= CE_FRAME;
    if (errors.breaks)
        flags |= CE_BREAK;
    return flags;
}

uint32_t ApplyFlowControl(uint32_t flags, TFlowControl flow)
{
    switch (flow) {
    case fcNone: return dcb::Binary;
    case fcCTS: return flags | dcb::OutxCtsFlow | dcb::RtsControlHandshake;
    case fcDTR: return flags | dcb::OutxDsrFlow | dcb::DtrControlHandshake;
    case fcSoftware: return flags | dcb::OutX | dcb::InX;
    case fcDefault: break;
    }
    return flags;
}

uint32_t ApplyOptions(uint32_t flags, TCommOptions options)
{
    for (const OptionBit& o : kOptionBits) {
        if (options.Contains(o.option))
            flags |= o.bit;
        else
            flags &= ~o.bit;
    }
    return flags;
}

DeviceLineSettings ToDeviceSettings(const TDeviceControlBlock& block)
{
    DeviceLineSettings out;
    platform::SerialSettings& s = out.settings;
    s.baudRate = block.BaudRate;
    s.dataBits = block.ByteSize;
    s.parity = ParityOf(block.Parity);
    s.stopBits = StopBitsOf(block.StopBits);
    s.checkParity = (block.Flags & dcb::Parity) != 0;
    s.stripNul = (block.Flags & dcb::Null) != 0;
    s.xonChar = block.XonChar;
    s.xoffChar = block.XoffChar;

    // Flow control adds its handshake bit to whatever line control the device had (an
    // enabled RTS plus the handshake bit is still a handshake), so the handshake bit
    // decides. termios takes one kind of flow control; hardware handshake wins.
    const bool rtsHandshake = (block.Flags & (dcb::OutxCtsFlow | dcb::RtsControlHandshake)) != 0;
    const bool dtrHandshake = (block.Flags & (dcb::OutxDsrFlow | dcb::DtrControlHandshake)) != 0;
    if (rtsHandshake)
        s.flow = platform::SerialFlow::RtsCts;
    else if (block.Flags & (dcb::OutX | dcb::InX))
        s.flow = platform::SerialFlow::XonXoff;
    else if (dtrHandshake)
        s.flow = platform::SerialFlow::DtrDsr;
    else
        s.flow = platform::SerialFlow::None;

    // With CRTSCTS the kernel drives RTS; Linux has no DTR handshake, so DTR stays raised
    // for a DSR/DTR handshake like a device that is always ready.
    out.driveRts = !rtsHandshake;
    out.rtsOn = (block.Flags & dcb::RtsControlEnable) != 0;
    out.driveDtr = true;
    out.dtrOn = dtrHandshake || (block.Flags & dcb::DtrControlEnable) != 0;
    // DSR sensitivity, continue-after-XOFF, error-character replacement, the EOF and
    // event characters and the XON/XOFF limits have no termios counterpart.
    return out;
}

}  // namespace veltro::link
