#include "core/StationProbe.h"

#include "core/LostPort.h"
#include "core/RegisterWords.h"
#include "modbus/ExpectedReply.h"
#include "modbus/MbapFrame.h"
#include "modbus/ModbusFrames.h"
#include "platform/UiDispatcher.h"

#include <algorithm>
#include <stdexcept>

namespace veltro::core {

namespace {

using namespace modbus;
using Bytes = std::span<const std::uint8_t>;

bool StartsWith(Bytes Data, Bytes Prefix)
{
    return Data.size() >= Prefix.size() && std::equal(Prefix.begin(), Prefix.end(), Data.begin());
}

bool IsWholeFrame(Bytes Data)
{
    if (Data.size() < static_cast<size_t>(MinValidFrameSize(tmRTU, cmClient)))
        return false;
    const std::int32_t Body = static_cast<std::int32_t>(Data.size()) - 2;
    return Crc16(Data.data(), Body) == (Data[Data.size() - 2] | (Data[Data.size() - 1] << 8));
}

// A complete reply to the read, as the expected-reply search found it.
void ReadReply(Bytes Frame, ProbeReading& R)
{
    if (Frame[1] & ExceptionFunctionFlag) {
        R.Kind = ProbeKind::ExceptionReply;
        R.ExceptionCode = Frame[2];
        return;
    }
    R.Kind = ProbeKind::Reply;
    // Address, function, byte count, then the register words, high byte first.
    R.SerialNumber = SerialFromRegisters(static_cast<std::uint16_t>(Frame[3] << 8 | Frame[4]),
                                         static_cast<std::uint16_t>(Frame[5] << 8 | Frame[6]));
}

// What some bytes are when they hold no reply to the request.
ProbeKind ReadNonReply(Bytes Request, Bytes Rest, ProbeReading& R)
{
    if (Rest.empty())
        return ProbeKind::Echo;
    // The address tried and the function read (or its exception form): a reply that was
    // damaged on the way or cut short, since a whole one would have been found.
    if (Rest.size() >= 2 && Rest[0] == Request[0] && (Rest[1] & ~ExceptionFunctionFlag) == Request[1])
        return ProbeKind::DamagedReply;
    if (IsWholeFrame(Rest)) {
        R.FrameAddress = Rest[0];
        return ProbeKind::ForeignFrame;
    }
    return ProbeKind::StrayBytes;
}

// A Modbus TCP frame as the RTU frame it carries, so that it is read like one from a
// serial line; anything else (and what is no whole frame) as it is.
TFrameData AsRtu(TLinkType Link, const TFrameData& Wire)
{
    if (Link != ltModbusTcp)
        return Wire;
    TFrameData Rtu(static_cast<size_t>(MbapMaxLength) + 2);
    const std::int32_t Size = MbapToRtu(Wire.data(), static_cast<std::int32_t>(Wire.size()), Rtu.data(),
                                        static_cast<std::int32_t>(Rtu.size()));
    if (Size <= 0)
        return Wire;
    Rtu.resize(static_cast<size_t>(Size));
    return Rtu;
}

}  // namespace

std::uint32_t SerialFromRegisters(std::uint16_t First, std::uint16_t Second)
{
    const std::uint16_t Words[] = {First, Second};
    std::uint32_t Value = 0;
    WordsToLongWord(Words, Value);
    return Value;
}

ProbeReading ReadProbeReply(Bytes Request, Bytes Received)
{
    ProbeReading R;
    if (Received.empty() || Request.size() < 2)
        return R;
    const TExpectedReply Expected(Request.data(), static_cast<std::int32_t>(Request.size()), false);
    const auto Find = [&](Bytes Data) { return Expected.Find(Data.data(), static_cast<std::int32_t>(Data.size())); };
    const TFrameSpan Reply = Find(Received);
    if (Reply.Length == 0) {
        Bytes Rest = Received;
        R.EchoBefore = StartsWith(Rest, Request);
        if (R.EchoBefore)
            Rest = Rest.subspan(Request.size());
        R.Kind = ReadNonReply(Request, Rest, R);
        return R;
    }
    ReadReply(Received.subspan(static_cast<size_t>(Reply.Offset), static_cast<size_t>(Reply.Length)), R);
    const Bytes Before = Received.first(static_cast<size_t>(Reply.Offset));
    R.EchoBefore = StartsWith(Before, Request);
    R.StrayBefore = Before.size() > (R.EchoBefore ? Request.size() : 0);
    const Bytes After = Received.subspan(static_cast<size_t>(Reply.Offset + Reply.Length));
    const TFrameSpan Second = Find(After);
    if (Second.Length > 0) {
        // Two stations at one address: both took the request as theirs.
        R.SecondReply = true;
        ProbeReading Other;
        ReadReply(After.subspan(static_cast<size_t>(Second.Offset), static_cast<size_t>(Second.Length)), Other);
        if (Other.Kind == ProbeKind::Reply)
            R.SecondSerial = Other.SerialNumber;
    }
    R.StrayAfter = After.size() > static_cast<size_t>(Second.Length);
    return R;
}

StationProbe::StationProbe(platform::UiDispatcher* Dispatcher) : FConnection(Dispatcher)
{
    FConnection.SetFrameEnd(feExpectedLength);
    // Questions go to addresses where nobody is expected to answer: silence through a
    // gateway is no sign that its connection is half-open.
    FConnection.SetHalfOpenAfter(0);
    FConnection.OnFrameSend = [this](TModbusConnection& Sender, const TFrameData& Data) {
        FRequest = AsRtu(Sender.Link(), Data);
        FRequestHeader = ReadMbapHeader(Data.data(), static_cast<std::int32_t>(Data.size()));
        FReceived.clear();
    };
    FConnection.OnFrameReceive = [this](TModbusConnection& Sender, const TFrameData& Data) {
        // Modbus TCP tells the late answer to an earlier question by its transaction
        // identifier: it does not belong to this one's answer.
        if (Sender.Link() == ltModbusTcp && FRequestHeader) {
            const auto Header = ReadMbapHeader(Data.data(), static_cast<std::int32_t>(Data.size()));
            if (Header && Header->Valid() && Header->TransactionId != FRequestHeader->TransactionId)
                return;
        }
        const TFrameData Frame = AsRtu(Sender.Link(), Data);
        FReceived.insert(FReceived.end(), Frame.begin(), Frame.end());
    };
    FClient.SetConnection(&FConnection);
    FClient.OnHoldingRegistersRead = [this](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                                            const TRegValues&) { Answered(Info); };
}

StationProbe::~StationProbe()
{
    FAsking = false;
    FDone = nullptr;
    try {
        FConnection.SetActive(false);
    } catch (...) {
        // Refused from inside a call the connection's worker waits for (an error display
        // that let the window close): the connection's own destructor then lets its worker
        // end by itself and closes the port.
    }
}

void StationProbe::Open(const std::string& Port, const RtuSettings& Settings, const ModuleLink& Link)
{
    Close();
    FConnection.SetPort(Port);
    ApplyLink(FConnection, Link);
    FLink = Link;
    FSettings = Settings;
    ApplyRtuSettings(FConnection, Settings);
    FConnection.SetActive(true);
}

void StationProbe::Close()
{
    FAsking = false;
    FDone = nullptr;
    FConnection.SetActive(false);
}

void StationProbe::SetSettings(const RtuSettings& Settings)
{
    if (Settings == FSettings)
        return;
    FSettings = Settings;
    ApplyRtuSettings(FConnection, Settings);
}

void StationProbe::Ask(std::uint8_t Address, const Timing& T, Handler Done)
{
    if (FAsking)
        throw std::logic_error("StationProbe: one question at a time");
    // Replies are routed to the client by its address, which may only change while the
    // client is not bound to an active connection; nothing is outstanding here.
    if (FClient.ServerAddress() != Address) {
        FClient.SetConnection(nullptr);
        FClient.SetServerAddress(Address);
        FClient.SetConnection(&FConnection);
    }
    FConnection.SetReceiveTimeout(static_cast<std::uint32_t>(T.ReceiveTimeout.count()));
    if (T.Silence.count() > 0) {
        // The end-of-frame silence is set in characters of data, parity and stop bits.
        const std::uint64_t Bits = static_cast<std::uint64_t>(FSettings.BitsPerCharacter() - 1);
        const std::uint64_t Characters = (static_cast<std::uint64_t>(T.Silence.count()) * FSettings.BitRate() +
                                          1000 * Bits - 1) / (1000 * Bits);
        FConnection.SetSilentInterval(static_cast<std::uint32_t>(std::max<std::uint64_t>(Characters, 4)));
        FConnection.SetFrameEnd(feSilence);
    } else {
        FConnection.SetSilentInterval(4);  // the shortest silence ends what is no reply
        FConnection.SetFrameEnd(feExpectedLength);
    }
    FRequest.clear();
    FReceived.clear();
    FDone = std::move(Done);
    FAsking = true;
    ++FQuestion;
    try {
        FClient.ReadHoldingRegisters(0, 2);
    } catch (...) {
        FAsking = false;
        FDone = nullptr;
        throw;
    }
}

void StationProbe::Answered(const TTransactionInfo& Info)
{
    if (!FAsking)
        return;
    Outcome O;
    O.Address = Info.ServerAddress;
    O.Settings = FSettings;
    O.Request = FRequest;
    O.Received = FReceived;
    O.Reading = ReadProbeReply(O.Request, O.Received);
    if (FLink.Tcp() && O.Reading.Kind == ProbeKind::ExceptionReply && IsGatewayException(O.Reading.ExceptionCode)) {
        O.GatewayException = O.Reading.ExceptionCode;
        O.Reading = ProbeReading{};
    }
    // Not from inside the client's event: the handler may close the connection.
    FConnection.Dispatcher().Post([Alive = std::weak_ptr<StationProbe*>(FAlive), Question = FQuestion,
                                   O = std::move(O)] {
        const auto Self = Alive.lock();
        if (!Self || !(*Self)->FAsking || (*Self)->FQuestion != Question)
            return;
        StationProbe& P = **Self;
        P.FAsking = false;
        Handler Done = std::move(P.FDone);
        P.FDone = nullptr;
        if (Done)
            Done(O);
    });
}

void StationProbe::Later(std::function<void()> Fn)
{
    FConnection.Dispatcher().Post([Alive = std::weak_ptr<StationProbe*>(FAlive), Fn = std::move(Fn)] {
        if (Alive.lock())
            Fn();
    });
}

bool StationProbe::LineLost()
{
    return FConnection.Active() && FConnection.Line().LineLost();
}

bool StationProbe::Unreachable()
{
    return LineLost() && FLink.Tcp() && !GatewayReached(FConnection);
}

std::string StationProbe::LostGatewayLine()
{
    return LostGatewayText(FLink.Gateway, FConnection.Line().LastError()).toStdString();
}

}  // namespace veltro::core
