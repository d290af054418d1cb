#pragma once
// The line settings of the serial port component: its enumerations, the device control
// block it keeps, and the translation of that block into what the Linux device takes.
//
// The block keeps the flag word and codes of the Win32 DCB, so the component's rules
// (flow control adds handshake bits to what the device had, each option sets or clears
// one bit) read the same on every platform; only ToDeviceSettings knows termios.

#include "platform/SerialDevice.h"

#include <cstdint>
#include <initializer_list>

namespace veltro::link {

// A set of enumerators; an enumerator's value is its bit position.
template <typename E>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> items)
    {
        for (E e : items)
            bits_ |= Bit(e);
    }
    constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
    constexpr TSet& Include(E e)
    {
        bits_ |= Bit(e);
        return *this;
    }
    constexpr TSet& Exclude(E e)
    {
        bits_ &= ~Bit(e);
        return *this;
    }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr uint32_t Bit(E e) { return 1u << static_cast<unsigned>(e); }
    uint32_t bits_ = 0;
};

enum TBaudrate {
    br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
    br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum TParity { paNone, paOdd, paEven, paMark, paSpace };
enum TStopbits { sb10, sb15, sb20 };
enum TDatabits { da4, da5, da6, da7, da8 };
enum TFlowControl { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommOption { coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip };
using TCommOptions = TSet<TCommOption>;
enum TCommEventType { evBreak, evCts, evDsr, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty };
using TCommEventTypes = TSet<TCommEventType>;

inline constexpr TCommEventTypes AllCommEvents = {evBreak, evCts,    evDsr,    evError,  evRing,
                                                  evRlsd,  evRxChar, evRxFlag, evTxEmpty};

// Bit/s of each TBaudrate.
uint32_t BaudRateValue(TBaudrate rate);

// Device event-mask bits, one per TCommEventType.
inline constexpr uint32_t EV_RXCHAR = 0x0001, EV_RXFLAG = 0x0002, EV_TXEMPTY = 0x0004,
                          EV_CTS = 0x0008, EV_DSR = 0x0010, EV_RLSD = 0x0020, EV_BREAK = 0x0040,
                          EV_ERR = 0x0080, EV_RING = 0x0100;
uint32_t EventBit(TCommEventType type);
uint32_t EventMask(TCommEventTypes events);

// Line-error flags handed to OnError.
inline constexpr uint32_t CE_RXOVER = 0x0001, CE_OVERRUN = 0x0002, CE_RXPARITY = 0x0004,
                          CE_FRAME = 0x0008, CE_BREAK = 0x0010;
uint32_t ErrorFlags(const platform::LineErrors& errors);

// Flag bits of the device control block.
namespace dcb {
inline constexpr uint32_t Binary = 0x0001;
inline constexpr uint32_t Parity = 0x0002;
inline constexpr uint32_t OutxCtsFlow = 0x0004;
inline constexpr uint32_t OutxDsrFlow = 0x0008;
inline constexpr uint32_t DtrControlEnable = 0x0010;
inline constexpr uint32_t DtrControlHandshake = 0x0020;
inline constexpr uint32_t DsrSensitivity = 0x0040;
inline constexpr uint32_t TxContinueOnXoff = 0x0080;
inline constexpr uint32_t OutX = 0x0100;
inline constexpr uint32_t InX = 0x0200;
inline constexpr uint32_t ErrorChar = 0x0400;
inline constexpr uint32_t Null = 0x0800;
inline constexpr uint32_t RtsControlEnable = 0x1000;
inline constexpr uint32_t RtsControlHandshake = 0x2000;
}  // namespace dcb

struct TDeviceControlBlock {
    uint32_t BaudRate = 9600;
    // A freshly opened port is in binary mode with DTR and RTS raised and no handshake.
    uint32_t Flags = dcb::Binary | dcb::DtrControlEnable | dcb::RtsControlEnable;
    uint32_t XonLim = 0;
    uint32_t XoffLim = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;    // TParity order
    uint8_t StopBits = 0;  // TStopbits order
    uint8_t XonChar = 17;
    uint8_t XoffChar = 19;
    uint8_t ErrorChar = 0;
    uint8_t EofChar = 0;
    uint8_t EvtChar = 0;

    bool operator==(const TDeviceControlBlock&) const = default;
};

// The flag word after applying flow control to the flags the device had.
uint32_t ApplyFlowControl(uint32_t flags, TFlowControl flow);
// Each option sets its bit when present and clears it when absent.
uint32_t ApplyOptions(uint32_t flags, TCommOptions options);

// What the Linux device makes of a block: its termios settings and the modem lines the
// component drives itself (unset when the kernel drives the line for a handshake).
struct DeviceLineSettings {
    platform::SerialSettings settings;
    bool driveDtr = true;
    bool dtrOn = true;
    bool driveRts = true;
    bool rtsOn = true;
};
DeviceLineSettings ToDeviceSettings(const TDeviceControlBlock& block);

}  // namespace veltro::link
