#include "modbus/SerialLine.h"

#include "modbus/AsciiScanner.h"
#include "modbus/FieldwireError.h"
#include "platform/TcpSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

namespace veltro::modbus {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr bool IsInfinite(milliseconds Timeout) { return Timeout.count() < 0; }

// A drain is waited for in slices of this length, so that closing the connection does not
// have to wait out a line held by flow control.
constexpr milliseconds DrainSlice{20};

// Until its byte count is in, the rest of a reply that has begun is at least this long: the
// header still missing and the CRC.
constexpr std::int32_t MinRestOfReply = 4;

// Time left, rounded down: what is reported as remaining.
milliseconds MsUntil(Clock::time_point Deadline)
{
    const auto Left = std::chrono::floor<milliseconds>(Deadline - Clock::now());
    return std::max(Left, milliseconds(0));
}

// Time left, rounded up: a wait bounded by it does not end just before the deadline.
milliseconds WaitUntil(Clock::time_point Deadline)
{
    const auto Left = std::chrono::ceil<milliseconds>(Deadline - Clock::now());
    return std::max(Left, milliseconds(0));
}

// Data bits + stop bits + parity bit: the bits of a character after its start bit.
std::uint32_t CharacterBitsWithoutStart(const LineSettings& Settings)
{
    return (Settings.DataBits == db7 ? 7u : 8u) + (Settings.StopBits == sb2 ? 2u : 1u)
           + (Settings.Parity != psNone ? 1u : 0u);
}

platform::SerialParity ToSerialParity(TParityScheme Parity)
{
    switch (Parity) {
    case psOdd: return platform::SerialParity::Odd;
    case psEven: return platform::SerialParity::Even;
    case psNone: break;
    }
    return platform::SerialParity::None;
}

platform::SerialFlow ToSerialFlow(TFlowControl Flow)
{
    // RTS toggling is not a handshake: the kernel's RS-485 mode or SendFrame does it.
    // Linux has no DSR output handshake; DTR is held raised instead (see ApplyLineSettings).
    return Flow == fcRtsCts ? platform::SerialFlow::RtsCts : platform::SerialFlow::None;
}

} // namespace

std::uint32_t CharTimeoutFor(const LineSettings& Settings)
{
    // A TCP connection has no line silence: frames end by their length, and the silence
    // only ends what can be no frame at all.
    if (Settings.Tcp())
        return MinCharTimeoutMs;
    std::uint32_t Timeout = Settings.SilentInterval;
    if (Settings.TransmissionMode == tmRTU) {
        const std::uint32_t Rate = Settings.BitRate();
        // The product is kept in 32 bits, as the line has always computed it; only absurd
        // silences (hundreds of thousands of characters) could wrap it.
        const std::uint32_t Product = CharacterBitsWithoutStart(Settings) * Settings.SilentInterval * 1000u;
        // A zero rate cannot be configured; do not divide by it on the way to that error.
        Timeout = Rate == 0 ? 0 : Product / Rate + (Product % Rate != 0 ? 1u : 0u);
    }
    return std::max(Timeout, MinCharTimeoutMs);
}

// Accounts for the receive time of one ReceiveFrame call. A client counts every wait and
// read against a deadline, so the gaps between characters are bounded too; a server waits
// without limit for a request and only notes when a wait came back empty.
class SerialLine::ReceiveClock {
public:
    ReceiveClock(bool CountDown, milliseconds& Remaining)
        : FCountDown(CountDown && !IsInfinite(Remaining)), FRemaining(Remaining),
          FDeadline(Clock::now() + (FCountDown ? Remaining : milliseconds(0)))
    {
    }

    bool TimeLeft() const { return FRemaining.count() != 0; }

    // The limit for a wait of at most Wanted; InfiniteTimeout asks for all the time left.
    milliseconds Limit(milliseconds Wanted) const
    {
        if (!FCountDown)
            return IsInfinite(Wanted) ? FRemaining : Wanted;
        const milliseconds Left = WaitUntil(FDeadline);
        return IsInfinite(Wanted) ? Left : std::min(Wanted, Left);
    }

    void AfterWait(bool GotCharacter)
    {
        if (FCountDown)
            Update();
        else if (!GotCharacter)
            FRemaining = milliseconds(0);
    }

    void Update()
    {
        if (FCountDown)
            FRemaining = MsUntil(FDeadline);
    }

    // More time for a frame that is still arriving, from now on, never past Limit.
    void Extend(std::chrono::microseconds More, Clock::time_point Limit)
    {
        if (!FCountDown)
            return;
        FDeadline = std::min(std::max(FDeadline, Clock::now()) + More, Limit);
        Update();
    }

private:
    bool FCountDown;
    milliseconds& FRemaining;
    Clock::time_point FDeadline;
};

SerialLine::DeviceOpener SerialLine::DefaultOpener()
{
    return [](const std::string& Port, int& Error) -> std::unique_ptr<platform::ISerialDevice> {
        return platform::PosixSerialDevice::Open(Port, Error);
    };
}

SerialLine::SerialLine(DeviceOpener Opener) : FOpener(std::move(Opener)) {}

SerialLine::~SerialLine() { ReleaseDevice(); }

void SerialLine::SetDeviceOpener(DeviceOpener Opener) { FOpener = std::move(Opener); }

void SerialLine::SetHookedPortProvider(HookedPortProvider Provider)
{
    FHookProvider = std::move(Provider);
}

bool SerialLine::IsOpen() const { return FDevice != nullptr; }
bool SerialLine::LineLost() const { return FLineLost; }
int SerialLine::LastError() const { return FLastError; }
platform::ISerialDevice* SerialLine::Device() const { return FDevice; }

void SerialLine::NoteDeviceFailure()
{
    if (FDevice)
        FLastError = FDevice->LastError();
    FLineLost = true;
}

void SerialLine::MarkLost(int Error)
{
    FLastError = Error;
    FLineLost = true;
}

void SerialLine::OpenPort(const LineSettings& Settings)
{
    ReleaseDevice();
    FLineLost = false;
    FStopPending = false;
    FAborted = false;
    FLastError = 0;
    FLastActivity = Clock::now();
    FTransmissionMode = Settings.TransmissionMode;
    FConnectionMode = Settings.ConnectionMode;
    FFlowControl = Settings.FlowControl;
    FRtsEnabled = Settings.RTSEnabled;
    FDtrEnabled = Settings.DTREnabled;

    FStream = Settings.Tcp();
    platform::ISerialDevice* Device = nullptr;
    if (Settings.Tcp()) {
        int Error = EINVAL;
        if (const std::optional<platform::TcpEndpoint> Endpoint = platform::TcpEndpoint::Parse(Settings.Gateway)) {
            if (Settings.ConnectionMode == cmServer)
                FOwnedDevice = platform::TcpSocketDevice::Listen(*Endpoint, Error);
            else
                FOwnedDevice = platform::TcpSocketDevice::Connect(*Endpoint, ConnectTimeout, Error);
        }
        Device = FOwnedDevice.get();
        FLastError = Error;
    } else if (Settings.HookExistingPort) {
        FHooked = true;
        Device = FHookProvider ? FHookProvider() : nullptr;
    } else {
        int Error = 0;
        FOwnedDevice = FOpener ? FOpener(Settings.Port, Error) : nullptr;
        Device = FOwnedDevice.get();
        FLastError = Error;
    }
    if (Device == nullptr || !Device->IsOpen()) {
        ReleaseDevice();
        throw EFieldwireError(messages::SOpenPortFailed);
    }
    FDevice = Device;

    try {
        // The driver's queues must be there to be counted and cleared; Linux sizes them
        // itself, so the RTU/ASCII queue sizes need no request.
        if (FDevice->InQueue() < 0 || FDevice->OutQueue() < 0) {
            FLastError = FDevice->LastError();
            throw EFieldwireError(messages::SInitBuffersFailed);
        }
        // Every read on the line returns at once with what is queued, and every wait is a
        // poll with a time limit: the device must answer one without blocking.
        if (FDevice->WaitReadable(milliseconds(0)) == platform::WaitResult::Error) {
            FLastError = FDevice->LastError();
            throw EFieldwireError(messages::SInitTimeoutsFailed);
        }
        // A server's wait for the next request is ended through the device's wake-up; a
        // device whose wake-up does not reach its waits could never be stopped. The check
        // also leaves no wake-up pending for the first wait.
        FDevice->Interrupt();
        if (FDevice->WaitReadable(milliseconds(0)) != platform::WaitResult::Interrupted) {
            FLastError = FDevice->LastError();
            throw EFieldwireError(messages::SInitEventMaskFailed);
        }
        ApplyLineSettings(Settings);
        ComputeCharTimeout(Settings);
    } catch (...) {
        ReleaseDevice();
        throw;
    }
}

void SerialLine::ClosePort() { ReleaseDevice(); }

void SerialLine::ReleaseDevice()
{
    if (FDevice != nullptr && FKernelRs485)
        FDevice->SetRs485(false);
    FKernelRs485 = false;
    FManualRtsToggle = false;
    if (FOwnedDevice)
        FOwnedDevice->Close();
    FOwnedDevice.reset();
    FDevice = nullptr;
    FHooked = false;
}

void SerialLine::ApplyLineSettings(const LineSettings& Settings)
{
    if (FDevice == nullptr)
        return;
    const auto Refused = [this] {
        FLastError = FDevice->LastError();
        throw EFieldwireError(messages::SUpdateDcbFailed);
    };

    platform::SerialSettings S;
    S.baudRate = Settings.BitRate();
    if (S.baudRate == 0)
        Refused();
    S.dataBits = Settings.DataBits == db7 ? 7 : 8;
    S.parity = ToSerialParity(Settings.Parity);
    S.stopBits = Settings.StopBits == sb2 ? platform::SerialStopBits::Two : platform::SerialStopBits::One;
    S.flow = ToSerialFlow(FFlowControl);
    // A frame with a damaged character is dropped whatever the parity: framing errors and
    // breaks count as much as parity errors, so the device must report them all.
    S.checkParity = true;
    if (!FDevice->Configure(S))
        Refused();

    // RTS toggling: the driver's RS-485 mode switches RTS exactly at the first and last
    // bit; where the driver has none, SendFrame raises and lowers it around the write.
    bool Manual = false;
    if (FFlowControl == fcRtsToggle) {
        FKernelRs485 = FDevice->SetRs485(true);
        Manual = !FKernelRs485;
    }
    bool Lines = true;
    if (FFlowControl == fcNone || FFlowControl == fcDtrDsr)
        Lines = FDevice->SetRts(FRtsEnabled);
    else if (Manual)
        Lines = FDevice->SetRts(false); // receiving until the first frame is sent
    // There is no DSR handshake to drive DTR, so it stays raised, as the handshake keeps
    // it while the input queue has room.
    if (Lines)
        Lines = FDevice->SetDtr(FFlowControl == fcDtrDsr || FDtrEnabled);
    if (!Lines)
        Refused();

    FManualRtsToggle = Manual;
    // Start bit included: the time one character takes on the wire. A TCP connection has
    // no line time of its own: what arrives is handed over whole or as the network brings it.
    FCharTimeUs = FStream ? 0u : static_cast<std::uint32_t>(
        (static_cast<std::uint64_t>(CharacterBitsWithoutStart(Settings) + 1) * 1000000u + S.baudRate - 1)
        / S.baudRate);
}

std::uint32_t SerialLine::ComputeCharTimeout(const LineSettings& Settings)
{
    const std::uint32_t Timeout = CharTimeoutFor(Settings);
    std::unique_lock Lock(FTimingLock);
    FCharTimeoutMs = Timeout;
    return Timeout;
}

milliseconds SerialLine::CharTimeout() const
{
    std::shared_lock Lock(FTimingLock);
    return milliseconds(FCharTimeoutMs);
}

void SerialLine::PurgePort(bool Input, bool Output)
{
    if (FDevice != nullptr && !FDevice->Purge(Input, Output))
        FLastError = FDevice->LastError();
}

void SerialLine::SettleLine()
{
    // A server's TCP connection is made by its client after the line opened: nothing on it
    // can be left over, and the client's first request may already be there to answer.
    if (FDevice == nullptr || (FStream && IsServerLine()))
        return;
    if (FTransmissionMode != tmRTU) {
        PurgePort(true, true);
        return;
    }
    // A station that never stops talking must not keep the worker (and so the close that
    // joins it) here for ever; a chattering line is handled frame by frame later anyway.
    PurgePort(false, true);
    // A frame in progress has no gap longer than a character and a half, and an adapter
    // hands bytes over at least every few tens of milliseconds: a client's line quiet for
    // ClientSettleQuiet carries no frame. Waiting out a long end-of-frame silence instead
    // would only hold up the first request.
    const auto Quiet = IsServerLine() ? CharTimeout() : std::min(CharTimeout(), ClientSettleQuiet);
    DrainUntilQuiet(Quiet, MaxSettleTime);
}

void SerialLine::DrainUntilQuiet(milliseconds Quiet, milliseconds Bound, std::vector<std::uint8_t>* Drained)
{
    if (Drained)
        Drained->clear();
    if (FDevice == nullptr)
        return;
    // The line has been quiet since the last byte that crossed it either way; a wait that
    // ran out without a byte counts, so after a plain time-out there is nothing more to wait.
    auto QuietSince = FLastActivity;
    const auto Deadline = Clock::now() + std::max(Bound, milliseconds(0));
    for (;;) {
        if (WaitForRxChar(milliseconds(0))) {
            Discard(Drained);
            QuietSince = Clock::now();
        }
        const auto Until = std::min(QuietSince + Quiet, Deadline);
        if (Clock::now() >= Until || FStopPending || FAborted || FLineLost)
            break;
        if (!WaitForRxChar(WaitUntil(Until)) && (FAborted || FLineLost))
            break;
    }
    FLastActivity = QuietSince;
}

void SerialLine::Discard(std::vector<std::uint8_t>* Kept)
{
    if (Kept == nullptr) {
        PurgePort(true, false);
        return;
    }
    std::uint8_t Chunk[256];
    for (;;) {
        const long Got = FDevice->Read(Chunk, sizeof Chunk);
        if (Got <= 0) {
            if (Got < 0)
                NoteDeviceFailure();
            return;
        }
        const std::size_t Room = Kept->capacity() - Kept->size();
        Kept->insert(Kept->end(), Chunk, Chunk + std::min(Room, static_cast<std::size_t>(Got)));
    }
}

bool SerialLine::WaitForRxChar(milliseconds Timeout)
{
    if (FDevice == nullptr || FLineLost || FAborted)
        return false;
    const bool Infinite = IsInfinite(Timeout);
    // Only the server's wait for the next request is ended by a stop; the other waits are
    // bounded anyway and leave the stop pending for it.
    const bool Stoppable = Infinite && FConnectionMode == cmServer;
    if (Stoppable && FStopPending.exchange(false))
        return false;
    const auto Deadline = Clock::now() + (Infinite ? milliseconds(0) : Timeout);
    for (;;) {
        const milliseconds Limit = Infinite ? InfiniteTimeout : WaitUntil(Deadline);
        switch (FDevice->WaitReadable(Limit)) {
        case platform::WaitResult::Ready:
            return true;
        case platform::WaitResult::Timeout:
            // A device may round its wait down; the time-out is a lower bound here.
            if (Infinite || Clock::now() >= Deadline)
                return false;
            break;
        case platform::WaitResult::Interrupted:
            if (FAborted)
                return false;
            if (Stoppable && FStopPending.exchange(false))
                return false;
            if (!Infinite && Clock::now() >= Deadline)
                return false;
            break; // the wake-up was meant for another wait: keep waiting
        case platform::WaitResult::HangUp:
        case platform::WaitResult::Error:
            NoteDeviceFailure();
            return false;
        }
    }
}

void SerialLine::AbortWaits()
{
    {
        std::lock_guard Lock(FAbortLock);
        FAborted = true;
    }
    FAbortSignal.notify_all();
    if (platform::ISerialDevice* Device = FDevice)
        Device->Interrupt();
}

bool SerialLine::PauseUnlessAborted(Clock::time_point Until)
{
    std::unique_lock Lock(FAbortLock);
    return !FAbortSignal.wait_until(Lock, Until, [this] { return FAborted.load(); });
}

void SerialLine::SignalServerStop()
{
    // The flag first: a wait woken by the device must find it set.
    FStopPending = true;
    if (platform::ISerialDevice* Device = FDevice)
        Device->Interrupt();
}

std::int32_t SerialLine::ReadQueued(std::uint8_t* Dest, std::int32_t Room, bool* LineError)
{
    if (FDevice == nullptr || Room < 0)
        return -1;
    // Errors flagged before the read came with the bytes about to be read.
    bool Damaged = FDevice->TakeLineErrors().Any();
    if (Damaged && !LineError)
        return -1;
    const int Queued = FDevice->InQueue();
    if (Queued < 0) {
        NoteDeviceFailure();
        return -1;
    }
    if (Queued > Room)
        return -1;
    long Got = 0;
    if (Room > 0) {
        // Up to Room rather than exactly Queued: a pty can report 0 queued right after the
        // far end wrote, and bytes that came after the count are as good as the others.
        Got = FDevice->Read(Dest, static_cast<std::size_t>(Room));
    } else {
        // No room left: any byte still arriving means the frame does not fit.
        std::uint8_t Probe = 0;
        Got = FDevice->Read(&Probe, 1);
        if (Got > 0)
            return -1;
    }
    if (Got < 0) {
        NoteDeviceFailure();
        return -1;
    }
    if (Got < Queued) // bytes that were counted went missing
        return -1;
    if (Got > 0)
        FLastActivity = Clock::now();
    Damaged = FDevice->TakeLineErrors().Any() || Damaged;
    if (Damaged && !LineError)
        return -1;
    if (LineError)
        *LineError = Damaged;
    return static_cast<std::int32_t>(Got);
}

// The bytes of one RTU receive as they come in, and which reads flagged a line error. The
// device tells that an error happened during a read, not at which byte: every byte that
// read brought is suspect. A reply whose CRC checks is still sound when the damaged read
// went on past its CRC, as the error may lie in what followed (the bus turning round often
// leaves a broken character behind a reply); it is spoilt when the damaged read ended
// inside it.
class SerialLine::Arrivals {
public:
    Arrivals(SerialLine& Line, std::uint8_t* Dest, std::int32_t Room) : FLine(Line), FDest(Dest), FRoom(Room) {}

    // Appends what is queued. False when the frame cannot be kept: an overflow, a short
    // read, a lost line, or (unless KeepDamaged) a line error.
    bool Read(bool KeepDamaged)
    {
        bool LineError = false;
        const std::int32_t N = FLine.ReadQueued(FDest + FGot, FRoom - FGot, KeepDamaged ? &LineError : nullptr);
        if (N < 0)
            return false;
        FGot += N;
        if (LineError)
            FDamagedEnds.push_back(FGot);
        return true;
    }

    std::uint8_t* Bytes() const { return FDest; }
    std::int32_t Count() const { return FGot; }
    bool Damaged() const { return !FDamagedEnds.empty(); }

    bool Spares(const TFrameSpan& Span) const
    {
        const std::int32_t End = Span.Offset + Span.Length;
        return std::none_of(FDamagedEnds.begin(), FDamagedEnds.end(),
                            [&](std::int32_t DamagedEnd) { return DamagedEnd > Span.Offset && DamagedEnd <= End; });
    }

    // Moves the reply to the front and notes what came around it.
    std::int32_t Take(const TFrameSpan& Span, TReplySearch& Search) const
    {
        std::memmove(FDest, FDest + Span.Offset, static_cast<std::size_t>(Span.Length));
        Search.SkippedBefore = Span.Offset;
        Search.EchoBefore = Span.EchoBefore;
        Search.DroppedAfter = FGot - Span.Offset - Span.Length;
        return Span.Length;
    }

private:
    SerialLine& FLine;
    std::uint8_t* FDest;
    std::int32_t FRoom;
    std::int32_t FGot = 0;
    std::vector<std::int32_t> FDamagedEnds;
};

std::int32_t SerialLine::ReceiveFrame(std::uint8_t* Dest, std::int32_t Room, milliseconds CharTimeout,
                                      milliseconds& Remaining, TReplySearch* Search)
{
    ReceiveClock Clock(FConnectionMode == cmClient, Remaining);
    if (FDevice == nullptr || !Clock.TimeLeft())
        return 0;
    FDevice->TakeLineErrors(); // errors of earlier traffic are not this frame's
    if (FTransmissionMode == tmRTU)
        return ReceiveRtuFrame(Dest, Room, CharTimeout, Clock, Search);
    return ReceiveAsciiFrame(Dest, Room, CharTimeout, Clock, Search && Search->WholeBurst);
}

std::int32_t SerialLine::ReceiveRtuFrame(std::uint8_t* Dest, std::int32_t Room, milliseconds CharTimeout,
                                         ReceiveClock& Clock, TReplySearch* Search)
{
    const TExpectedReply* Expected = Search ? Search->Expected : nullptr;
    const bool EndEarly = Expected && !Search->WholeBurst;
    const bool First = WaitForRxChar(Clock.Limit(InfiniteTimeout));
    Clock.AfterWait(First);
    if (!First)
        return 0;
    Arrivals In(*this, Dest, Room);
    std::int32_t ExtendedAt = 0;
    std::chrono::steady_clock::time_point ExtensionLimit;
    const bool Read = In.Read(Expected != nullptr);
    Clock.Update();
    if (!Read)
        return 0;
    // An RTU frame has no end marker: it ends where the line falls silent, unless the reply
    // expected is complete before that. Bytes that follow it are no part of it: those read
    // with it are dropped here, later ones by the purge before the next request.
    for (;;) {
        if (EndEarly) {
            if (const TFrameSpan Reply = Expected->Find(Dest, In.Count(), false);
                Reply.Length > 0 && In.Spares(Reply))
                return In.Take(Reply, *Search);
            if (!PauseForLineTime(Expected->StillToCome(Dest, In.Count()), Clock))
                break;
        }
        if (!Clock.TimeLeft()) {
            // A reply that has visibly begun when the time runs out is waited out, up to its
            // own line time (plus the silence that would end it), as long as it keeps
            // coming: giving up would send the next request over its tail.
            if (!Expected || In.Count() == ExtendedAt || !Expected->Begins(Dest, In.Count()))
                break;
            const auto CharTime = std::chrono::microseconds(FCharTimeUs.load());
            if (ExtendedAt == 0) // the longest frame there is room for, however it trickles in
                ExtensionLimit = std::chrono::steady_clock::now() + CharTime * Room + CharTimeout;
            ExtendedAt = In.Count();
            const std::int32_t Rest = std::max(Expected->StillToCome(Dest, In.Count()), MinRestOfReply);
            Clock.Extend(CharTime * Rest + CharTimeout, ExtensionLimit);
            if (!Clock.TimeLeft())
                break;
        }
        // Over TCP a reply known to be incomplete may come in pieces as far apart as the
        // network and the gateway make them: its rest is waited for as long as time is left.
        const bool Incomplete = FStream && EndEarly && Expected->StillToCome(Dest, In.Count()) > 0;
        const bool More = WaitForRxChar(Clock.Limit(Incomplete ? InfiniteTimeout : CharTimeout));
        Clock.AfterWait(More);
        if (!More && (Clock.TimeLeft() || !Expected))
            break; // the line fell silent: the frame has ended
        if (!More)
            continue; // the time ran out: whether a reply still coming is waited out is decided above
        const bool Kept = In.Read(Expected != nullptr);
        Clock.Update();
        if (!Kept)
            return 0; // a damaged or oversized frame is dropped as a whole
    }
    if (Expected) {
        // The line fell silent (or the time is up): nothing more can change the reply.
        // On a whole burst the first frame of the reply's form must end it: a second one
        // behind it means two answers in one burst and no telling which is the reply. What
        // comes before it (the echo, the tail of a frame cut short, noise) answers nothing.
        const TFrameSpan Reply = Expected->Find(Dest, In.Count(), true);
        const bool Last = Reply.Offset + Reply.Length == In.Count();
        if (Reply.Length > 0 && In.Spares(Reply) && (EndEarly || Last))
            return In.Take(Reply, *Search);
    }
    return In.Damaged() ? 0 : In.Count();
}

// The rest of a reply cannot be complete before its characters have crossed the line. A
// UART or USB adapter hands bytes over in chunks, but a line that delivers them one at a
// time would wake the worker for every character; waiting out their whole line time first
// saves that. The pause is bounded only by the receive time-out: a close cuts it short
// (false), and the silence that ends a frame which turns out broken is counted from the
// pause's end.
bool SerialLine::PauseForLineTime(std::int32_t Characters, ReceiveClock& Clock)
{
    if (Characters <= 0)
        return true;
    auto Pause = std::chrono::microseconds(static_cast<std::int64_t>(Characters) * FCharTimeUs.load());
    Pause = std::min<std::chrono::microseconds>(Pause, Clock.Limit(std::chrono::ceil<milliseconds>(Pause)));
    const bool Whole = PauseUnlessAborted(std::chrono::steady_clock::now() + Pause);
    Clock.Update();
    return Whole;
}

std::int32_t SerialLine::ReceiveAsciiFrame(std::uint8_t* Dest, std::int32_t Room,
                                           milliseconds CharTimeout, ReceiveClock& Clock, bool WholeBurst)
{
    TAsciiScanner Scanner;
    std::int32_t Got = 0;
    const auto ReadAndScan = [&](milliseconds Limit) {
        const bool Ready = WaitForRxChar(Limit);
        Clock.AfterWait(Ready);
        if (!Ready)
            return false;
        const std::int32_t N = ReadQueued(Dest + Got, Room - Got);
        Clock.Update();
        if (N < 0)
            return false;
        Got = Scanner.Scan(Dest, Got, N);
        return true;
    };
    while (Scanner.State() == TAsciiScanner::ssSeekColon && Clock.TimeLeft())
        if (!ReadAndScan(Clock.Limit(InfiniteTimeout)))
            break;
    while (Scanner.InFrame() && Clock.TimeLeft())
        if (!ReadAndScan(Clock.Limit(CharTimeout)))
            break;
    if (!Scanner.Complete())
        return 0;
    // A frame that more characters follow within the silence was not alone on the line:
    // no telling which request it answers.
    if (WholeBurst && Clock.TimeLeft() && WaitForRxChar(Clock.Limit(CharTimeout)))
        return 0;
    return Got;
}

bool SerialLine::SendFrame(const std::uint8_t* Data, std::int32_t Count, milliseconds Timeout)
{
    if (FDevice == nullptr || Count < 0 || FAborted)
        return false;
    FDevice->TakeLineErrors();
    const bool Toggle = FManualRtsToggle;
    const auto LineTime = std::chrono::microseconds(static_cast<std::int64_t>(FCharTimeUs.load())
                                                    * (Count + (Toggle ? 1 : 0)));
    const auto Deadline = Clock::now() + std::max(Timeout, milliseconds(0)) + LineTime;
    if (Toggle) {
        // Nothing else may be on its way out when the transmitter is switched on.
        DrainUntil(Deadline);
        if (!FDevice->SetRts(true)) {
            FLastError = FDevice->LastError();
            return false;
        }
    }
    const auto FirstByte = Clock::now();
    const long Written = FDevice->Write(Data, static_cast<std::size_t>(Count), WaitUntil(Deadline));
    bool Ok = false;
    if (Written < 0) {
        NoteDeviceFailure();
    } else if (Written == Count) {
        // The write only filled the driver's queue; the frame is sent when it has left it.
        // A line held by CTS, or a driver that never drains, fails here at the send
        // time-out instead of the request being taken as gone.
        Ok = DrainUntil(Deadline) && (!Toggle || HoldLineTime(Count, FirstByte, Deadline));
    }
    if (!Ok && Written >= 0) {
        PurgePort(false, true); // never let the rest of a late frame go out later
        FLastError = ETIMEDOUT;
    }
    if (Toggle)
        FDevice->SetRts(false);
    FLastActivity = Clock::now();
    if (FDevice->TakeLineErrors().Any())
        Ok = false;
    return Ok;
}

bool SerialLine::DrainUntil(Clock::time_point Deadline)
{
    while (!FAborted) {
        if (FDevice->Drain(std::min(WaitUntil(Deadline), DrainSlice)))
            return true;
        if (Clock::now() >= Deadline)
            return false;
    }
    return false;
}

bool SerialLine::HoldLineTime(std::int32_t Count, Clock::time_point FirstByte, Clock::time_point Deadline)
{
    // The queue count leaves out the UART's FIFO and a USB adapter's own buffer, and a
    // driver may report the transmitter empty early: RTS falls no sooner than the frame's
    // own line time after its first byte was handed over, plus one character for the
    // last stop bit to clear the driver.
    const auto LineTime = std::chrono::microseconds(static_cast<std::int64_t>(FCharTimeUs.load()) * (Count + 1));
    const auto LineEnd = FirstByte + LineTime;
    if (LineEnd > Deadline)
        return false; // the frame cannot be out within the send time-out
    return PauseUnlessAborted(LineEnd);
}

} // namespace veltro::modbus
