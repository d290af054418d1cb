#pragma once
// One question to one station on the RS485 line: a read of holding registers 0-1 (where
// the module keeps the meter serial number) at one address with one set of line settings,
// and a reading of what came back. The module scanner asks it of every candidate, the
// configuration verifier of the address just configured.
//
// The reading looks at the bytes as they arrived, not only at the library's verdict, so
// that only a reply that answers the request counts as a station: the request's own echo,
// stray bytes, a reply with a broken CRC, a frame of another station and a second reply
// behind the first are each told for what they are.

#include "core/ModuleLink.h"
#include "core/RtuSettings.h"
#include "modbus/MbapFrame.h"
#include "modbus/ModbusClient.h"
#include "modbus/ModbusConnection.h"
#include "platform/UiDispatcher.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltro::core {

enum class ProbeKind {
    Silent,          // nothing came back
    Reply,           // a normal reply to the read: a station, with its serial number
    ExceptionReply,  // an exception reply to the read: a station that refuses it
    Echo,            // only the request itself came back (a line that hears its own transmission)
    DamagedReply,    // a reply for the address tried whose CRC does not check, or cut short
    ForeignFrame,    // a frame with a good CRC that does not answer the request
    StrayBytes,      // bytes that are no frame at all
};

struct ProbeReading {
    ProbeKind Kind = ProbeKind::Silent;
    std::uint32_t SerialNumber = 0;   // Reply: registers 0-1 in the register-word encoding
    std::uint8_t ExceptionCode = 0;   // ExceptionReply: the code as received
    std::uint8_t FrameAddress = 0;    // ForeignFrame: the address it carries
    bool EchoBefore = false;          // the request's echo came before what is read above
    bool StrayBefore = false;         // other bytes came before it
    bool StrayAfter = false;          // bytes that are no reply followed it
    bool SecondReply = false;         // a second complete reply to the same request followed
    std::optional<std::uint32_t> SecondSerial;  // its serial number, when a normal reply

    bool IsStation() const { return Kind == ProbeKind::Reply || Kind == ProbeKind::ExceptionReply; }
};

// Reads Received, every byte that came back after Request (a read of holding registers,
// the whole RTU frame, CRC included), in the order received.
ProbeReading ReadProbeReply(std::span<const std::uint8_t> Request, std::span<const std::uint8_t> Received);

// The probe on its own connection and client. Everything runs on the UI thread; the
// exchange runs on the connection's worker and its end comes back as a posted call, never
// inside a library event, so the handler may ask again, change settings or close.
class StationProbe {
public:
    struct Timing {
        std::chrono::milliseconds ReceiveTimeout{1000};
        // Zero: a reply ends as soon as it is complete (expected-length framing). Otherwise
        // everything is taken until the line has been silent this long, so that a slower
        // second reply or bytes after the reply are seen too.
        std::chrono::milliseconds Silence{0};
    };
    struct Outcome {
        std::uint8_t Address = 0;
        RtuSettings Settings;
        ProbeReading Reading;
        // Through a Modbus TCP gateway both as RTU frames, so that they read alike.
        std::vector<std::uint8_t> Request;   // as sent
        std::vector<std::uint8_t> Received;  // every byte received for it, as received
        // Through a gateway: the exception it sent for a station it could not reach
        // (IsGatewayException); the reading is then Silent, as nobody answered there.
        std::uint8_t GatewayException = 0;
    };
    using Handler = std::function<void(const Outcome&)>;

    // Deliveries go through Dispatcher, or the process-wide one when null.
    explicit StationProbe(platform::UiDispatcher* Dispatcher = nullptr);
    ~StationProbe();  // closes the port; never throws
    StationProbe(const StationProbe&) = delete;
    StationProbe& operator=(const StationProbe&) = delete;

    // Opens Port ("COM2") with Settings, or the TCP connection to Link's gateway (Port and
    // Settings then unused); raises the connection's EFieldwireError when the port cannot
    // be opened or the gateway's name resolved, and then nothing stays open. A gateway
    // that refuses or does not answer shows at the first question, as a lost line.
    void Open(const std::string& Port, const RtuSettings& Settings, const ModuleLink& Link = {});
    // Closes the port; a question still out is dropped without its handler being called.
    void Close();
    bool IsOpen() const { return FConnection.Active(); }
    // After Open failed: the system error of the attempt (0 when none is known).
    int OpenError() { return FConnection.Line().LastError(); }
    const std::string& Port() const { return FConnection.Port(); }

    // The settings of the next question (written to the open port at once).
    void SetSettings(const RtuSettings& Settings);
    const RtuSettings& Settings() const { return FSettings; }

    // Sends the read to Address; Done gets the outcome later, on the UI thread. One
    // question at a time: asking while one is out raises std::logic_error.
    void Ask(std::uint8_t Address, const Timing& T, Handler Done);
    bool Asking() const { return FAsking; }
    // The port went away under the probe (an adapter unplugged), or the gateway's
    // connection failed: no answer can come.
    bool LineLost();
    // The line is lost and it is a gateway's whose connection never came up (refused,
    // unreachable, the connect unanswered): the gateway could not be reached at all.
    bool Unreachable();
    // After LineLost: the gateway's words for it ("Gateway ...: connessione rifiutata").
    std::string LostGatewayLine();
    const ModuleLink& Link() const { return FLink; }

    // Runs Fn on the UI thread after what is pending there, unless the probe is gone by then.
    void Later(std::function<void()> Fn);

private:
    void Answered(const modbus::TTransactionInfo& Info);

    modbus::TModbusConnection FConnection;
    modbus::TModbusClient FClient;
    RtuSettings FSettings;
    ModuleLink FLink;
    bool FAsking = false;
    std::uint64_t FQuestion = 0;  // a call posted for an earlier question finds it changed
    Handler FDone;
    std::vector<std::uint8_t> FRequest, FReceived;
    std::optional<modbus::TMbapHeader> FRequestHeader;  // the request's, on a Modbus TCP link
    // Calls posted to the UI thread hold it weakly: they find it gone after the probe is.
    std::shared_ptr<StationProbe*> FAlive = std::make_shared<StationProbe*>(this);
};

// Raises one of the application's events: a handler that throws is reported the way errors
// without a caller are, and the caller's walk goes on.
template <typename Event, typename... Args> void RaiseGuarded(const Event& Handler, const Args&... Arguments)
{
    if (!Handler)
        return;
    try {
        Handler(Arguments...);
    } catch (...) {
        platform::ReportException(std::current_exception());
    }
}

// Register words of registers 0-1 to the serial number they encode.
std::uint32_t SerialFromRegisters(std::uint16_t First, std::uint16_t Second);

}  // namespace veltro::core
