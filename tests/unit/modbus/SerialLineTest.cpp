#include "modbus/FieldwireError.h"
#include "modbus/SerialLine.h"
#include "support/FakeSerialDevice.h"
#include "support/RtuFrames.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <string>
#include <vector>

using namespace veltro::modbus;
using veltro::platform::LineErrors;
using veltro::platform::SerialFlow;
using veltro::platform::SerialParity;
using veltro::platform::SerialStopBits;
using veltro::test::FakeSerialDevice;
using namespace std::chrono_literals;

namespace {

LineSettings Settings(TBaudRate Rate, TDataBits Data, TParityScheme Parity, TStopBits Stop,
                      std::uint32_t Silent, TTransmissionMode Mode = tmRTU)
{
    LineSettings S;
    S.BaudRate = Rate;
    S.DataBits = Data;
    S.Parity = Parity;
    S.StopBits = Stop;
    S.SilentInterval = Silent;
    S.TransmissionMode = Mode;
    return S;
}

struct CharTimeoutCase {
    const char* Name;
    LineSettings Line;
    std::uint32_t Expected;
};

void PrintTo(const CharTimeoutCase& C, std::ostream* Os) { *Os << C.Name; }

class CharTimeout : public testing::TestWithParam<CharTimeoutCase> {};

TEST_P(CharTimeout, IsTheSilenceOfTheGivenCharactersAtTheBitRate)
{
    EXPECT_EQ(CharTimeoutFor(GetParam().Line), GetParam().Expected);
}

LineSettings Custom(std::uint32_t Rate, std::uint32_t Silent)
{
    LineSettings S = Settings(brCustom, db8, psNone, sb1, Silent);
    S.CustomBaudRate = Rate;
    return S;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CharTimeout,
    testing::Values(
        // ceil(9 bits * 200 * 1000 / 9600) = 187.5 -> 188
        CharTimeoutCase{"Rtu9600_8N1_200", Settings(br9600, db8, psNone, sb1, 200), 188},
        // the defaults: ceil(10 * 4 * 1000 / 19200) = 3, raised to the floor of 20
        CharTimeoutCase{"RtuDefaults", LineSettings{}, 20},
        // 7 data + parity + 2 stop = 10 bits: ceil(10 * 50 * 1000 / 1200) = 417
        CharTimeoutCase{"Rtu1200_7E2_50", Settings(br1200, db7, psEven, sb2, 50), 417},
        // exactly divisible: 10 * 120 * 1000 / 2400 = 500, no rounding up
        CharTimeoutCase{"Rtu2400_8O1_Exact", Settings(br2400, db8, psOdd, sb1, 120), 500},
        // 8 data + parity + 2 stop = 11 bits: ceil(11 * 100 * 1000 / 2400) = 459
        CharTimeoutCase{"Rtu2400_8O2", Settings(br2400, db8, psOdd, sb2, 100), 459},
        CharTimeoutCase{"RtuCustomRate", Custom(1000, 10), 90},
        // a rate of 0 cannot be configured, but must not divide by zero on the way
        CharTimeoutCase{"RtuZeroRate", Custom(0, 10), 20},
        CharTimeoutCase{"AsciiIsMilliseconds", Settings(br9600, db7, psEven, sb1, 1000, tmASCII), 1000},
        CharTimeoutCase{"AsciiFloor", Settings(br9600, db7, psEven, sb1, 5, tmASCII), 20}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// A line on a fake device; the fixture keeps a pointer to the device it handed out.
class SerialLineFake : public testing::Test {
protected:
    SerialLineFake()
        : Line([this](const std::string& Port, int&) {
              OpenedPort = Port;
              Devices.push_back(std::make_unique<FakeSerialDevice>());
              Fake = Devices.back().get();
              Configure(*Fake);
              return std::make_unique<veltro::test::SerialDeviceRef>(*Fake);
          })
    {
    }

    void Open(LineSettings S = Settings(br9600, db8, psNone, sb1, 4))
    {
        Line.OpenPort(S);
        ASSERT_TRUE(Line.IsOpen());
    }

    std::vector<std::uint8_t> Receive(std::chrono::milliseconds Remaining = 1000ms, std::int32_t Room = 256)
    {
        std::vector<std::uint8_t> Dest(static_cast<std::size_t>(Room));
        const std::int32_t N = Line.ReceiveFrame(Dest.data(), Room, Line.CharTimeout(), Remaining);
        Dest.resize(static_cast<std::size_t>(N));
        return Dest;
    }

    std::function<void(FakeSerialDevice&)> Configure = [](FakeSerialDevice&) {};
    std::vector<std::unique_ptr<FakeSerialDevice>> Devices; // outlive the line's references
    FakeSerialDevice* Fake = nullptr;
    std::string OpenedPort;
    SerialLine Line;
};

std::string OpenError(SerialLine& Line, const LineSettings& S)
{
    try {
        Line.OpenPort(S);
    } catch (const EFieldwireError& E) {
        return E.what();
    }
    return "<opened>";
}

TEST_F(SerialLineFake, OpeningReportsTheStepThatFailedAndLeavesNothingOpen)
{
    struct Case {
        std::function<void(FakeSerialDevice&)> Break;
        const char* Message;
    };
    const Case Cases[] = {
        {[](FakeSerialDevice& D) { D.Close(); }, "Could not open serial port"},
        {[](FakeSerialDevice& D) { D.failInQueue = true; }, "Failed to initialize serial I/O buffers"},
        {[](FakeSerialDevice& D) { D.failWait = true; }, "Failed to initialize communication timeouts"},
        {[](FakeSerialDevice& D) { D.interruptWorks = false; }, "Failed to initialize serial event mask"},
        {[](FakeSerialDevice& D) { D.failConfigure = true; }, "Failed to update device control block"},
        {[](FakeSerialDevice& D) { D.failModemLines = true; }, "Failed to update device control block"},
    };
    for (const Case& C : Cases) {
        Configure = C.Break;
        EXPECT_EQ(OpenError(Line, LineSettings{}), C.Message);
        EXPECT_FALSE(Line.IsOpen());
        EXPECT_FALSE(Fake->IsOpen()) << C.Message;
    }
    EXPECT_EQ(OpenedPort, "COM1");

    SerialLine NoPort([](const std::string&, int& Error) {
        Error = 2;
        return std::unique_ptr<veltro::platform::ISerialDevice>();
    });
    EXPECT_EQ(OpenError(NoPort, LineSettings{}), "Could not open serial port");
    EXPECT_EQ(NoPort.LastError(), 2);
}

TEST_F(SerialLineFake, AHookedPortIsConfiguredButNeverClosed)
{
    FakeSerialDevice Hooked;
    Line.SetHookedPortProvider([&] { return &Hooked; });
    LineSettings S;
    S.HookExistingPort = true;
    Line.OpenPort(S);
    EXPECT_EQ(Line.Device(), &Hooked);
    EXPECT_EQ(Hooked.LastSettings().baudRate, 19200u);
    Line.ClosePort();
    EXPECT_FALSE(Line.IsOpen());
    EXPECT_TRUE(Hooked.IsOpen());

    // A refused configuration undoes the open, but the hooked port stays its owner's.
    Hooked.failConfigure = true;
    EXPECT_EQ(OpenError(Line, S), "Failed to update device control block");
    EXPECT_TRUE(Hooked.IsOpen());

    SerialLine NoHook;
    EXPECT_EQ(OpenError(NoHook, S), "Could not open serial port");
}

TEST_F(SerialLineFake, LineSettingsReachTheDevice)
{
    LineSettings S = Settings(br256000, db7, psOdd, sb2, 4);
    Open(S);
    auto D = Fake->LastSettings();
    EXPECT_EQ(D.baudRate, 256000u);
    EXPECT_EQ(D.dataBits, 7);
    EXPECT_EQ(D.parity, SerialParity::Odd);
    EXPECT_EQ(D.stopBits, SerialStopBits::Two);
    EXPECT_TRUE(D.checkParity);

    // A change while open is written again; line errors are wanted without parity too
    // (framing errors, breaks).
    S.Parity = psNone;
    S.CustomBaudRate = 31250;
    S.BaudRate = brCustom;
    Line.ApplyLineSettings(S);
    D = Fake->LastSettings();
    EXPECT_EQ(D.baudRate, 31250u);
    EXPECT_TRUE(D.checkParity);

    S.CustomBaudRate = 0;
    EXPECT_THROW(Line.ApplyLineSettings(S), EFieldwireError);

    Line.ClosePort();
    EXPECT_NO_THROW(Line.ApplyLineSettings(S)) << "skipped while closed";
}

struct FlowCase {
    TFlowControl Flow;
    bool Rts;
    bool Dtr;
    bool Rs485;
    SerialFlow DeviceFlow;
    std::vector<std::string> Expected; // what the line does after configuring
};

void PrintTo(const FlowCase& C, std::ostream* Os)
{
    *Os << "flow " << C.Flow << " rts " << C.Rts << " dtr " << C.Dtr << " rs485 " << C.Rs485;
}

class ModemLines : public testing::TestWithParam<FlowCase> {};

TEST_P(ModemLines, FollowFlowControlAndTheEnableFlags)
{
    const FlowCase& C = GetParam();
    FakeSerialDevice Device;
    Device.hasRs485 = C.Rs485;
    LineSettings S;
    S.HookExistingPort = true;
    S.FlowControl = C.Flow;
    S.RTSEnabled = C.Rts;
    S.DTREnabled = C.Dtr;
    SerialLine Line;
    Line.SetHookedPortProvider([&] { return &Device; });
    Line.OpenPort(S);
    std::vector<std::string> Log = Device.Log();
    Log.erase(Log.begin()); // "configure"
    EXPECT_EQ(Log, C.Expected);
    EXPECT_EQ(Device.LastSettings().flow, C.DeviceFlow);
}

INSTANTIATE_TEST_SUITE_P(
    Flows, ModemLines,
    testing::Values(FlowCase{fcNone, true, true, false, SerialFlow::None, {"rts on", "dtr on"}},
                    FlowCase{fcNone, false, false, false, SerialFlow::None, {"rts off", "dtr off"}},
                    // the handshake owns RTS
                    FlowCase{fcRtsCts, true, false, false, SerialFlow::RtsCts, {"dtr off"}},
                    // no DSR handshake on Linux: DTR stays raised whatever DTREnabled says
                    FlowCase{fcDtrDsr, false, false, false, SerialFlow::None, {"rts off", "dtr on"}},
                    // the driver toggles RTS itself
                    FlowCase{fcRtsToggle, true, true, true, SerialFlow::None, {"rs485 on", "dtr on"}},
                    // the line toggles it: receiving until something is sent
                    FlowCase{fcRtsToggle, true, true, false, SerialFlow::None, {"rts off", "dtr on"}}),
    [](const auto& Info) {
        const FlowCase& C = Info.param;
        return "Flow" + std::to_string(C.Flow) + (C.Rts ? "Rts" : "") + (C.Dtr ? "Dtr" : "") + (C.Rs485 ? "Rs485" : "");
    });

TEST_F(SerialLineFake, RtuFrameIsEverythingUntilTheLineFallsSilent)
{
    Open();
    Fake->Deliver({0x01, 0x03});
    Fake->Deliver({0x02, 0x00});
    Fake->Deliver({0x05, 0x78, 0x47});
    EXPECT_EQ(Receive(), (std::vector<std::uint8_t>{0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47}));
    EXPECT_TRUE(Receive().empty()) << "nothing more arrived";
}

TEST_F(SerialLineFake, ALineErrorAnywhereInAFrameDropsTheWholeFrame)
{
    for (TTransmissionMode Mode : {tmRTU, tmASCII}) {
        const std::vector<std::vector<std::uint8_t>> Chunks =
            Mode == tmRTU ? std::vector<std::vector<std::uint8_t>>{{0x01, 0x03}, {0x02, 0x00}, {0x05, 0x78}}
                          : std::vector<std::vector<std::uint8_t>>{{':', '0', '1'}, {'0', '6', 'F'}, {'8', '\r', '\n'}};
        size_t Total = 0;
        for (const auto& C : Chunks)
            Total += C.size();
        // Bad == Chunks.size(): no error, the frame comes through.
        for (size_t Bad = 0; Bad <= Chunks.size(); ++Bad) {
            for (LineErrors E : {LineErrors{1, 0, 0, 0}, LineErrors{0, 1, 0, 0}, LineErrors{0, 0, 1, 0}}) {
                Open(Settings(br9600, db8, psEven, sb1, 4, Mode));
                for (size_t I = 0; I < Chunks.size(); ++I)
                    Fake->Deliver(Chunks[I], I == Bad ? E : LineErrors{});
                EXPECT_EQ(Receive().size(), Bad < Chunks.size() ? 0u : Total)
                    << "mode " << Mode << ", error in chunk " << Bad;
            }
        }
    }
}

TEST_F(SerialLineFake, AByteMarkedAsDamagedDropsTheFrameAndADoubledAllOnesIsData)
{
    // As a driver that cannot count line errors hands bytes over: 0xFF 0x00 c is a
    // character received with a parity or framing error, 0xFF 0x00 0x00 a break, 0xFF 0xFF
    // a data byte 0xFF; reads may cut a mark in two.
    for (const std::vector<std::uint8_t>& Damage : {std::vector<std::uint8_t>{0x00, 0x12}, {0x00, 0x00}}) {
        Open();
        Fake->DeliverMarked({0x01, 0x03, 0x02, 0xFF});
        Fake->DeliverMarked(Damage);
        Fake->DeliverMarked({0x34, 0x56, 0x78});
        EXPECT_TRUE(Receive().empty());
    }
    Open();
    Fake->DeliverMarked({0x01, 0x03, 0x02, 0xFF});
    Fake->DeliverMarked({0xFF, 0x34, 0x56, 0x78});
    EXPECT_EQ(Receive(), (std::vector<std::uint8_t>{0x01, 0x03, 0x02, 0xFF, 0x34, 0x56, 0x78}));
}

// A reply search over chunks as the line delivers them: read two registers from 0 at 17.
using veltro::test::Concat;
using veltro::test::Rtu;

const std::vector<std::uint8_t> kRequest = Rtu("11 03 0000 0002");
const std::vector<std::uint8_t> kReply = Rtu("11 03 04 0001 0002");

struct SearchCase {
    const char* Name;
    bool WholeBurst;
    std::vector<FakeSerialDevice::Chunk> Chunks;
    std::vector<std::uint8_t> Frame;  // what the receive returns
    std::int32_t SkippedBefore = 0;
    std::int32_t DroppedAfter = 0;
};

void PrintTo(const SearchCase& C, std::ostream* Os) { *Os << C.Name; }

class ReplySearch : public SerialLineFake, public testing::WithParamInterface<SearchCase> {};

TEST_P(ReplySearch, TakesTheReplyOnlyWhereItIsSound)
{
    const SearchCase& C = GetParam();
    Open();
    for (const FakeSerialDevice::Chunk& Chunk : C.Chunks)
        Fake->Deliver(Chunk.Bytes, Chunk.Errors);
    const TExpectedReply Expected(kRequest.data(), static_cast<std::int32_t>(kRequest.size()), false);
    TReplySearch Search{&Expected, C.WholeBurst};
    std::vector<std::uint8_t> Dest(256);
    std::chrono::milliseconds Remaining = 1000ms;
    const std::int32_t N = Line.ReceiveFrame(Dest.data(), 256, Line.CharTimeout(), Remaining, &Search);
    Dest.resize(static_cast<std::size_t>(N));
    EXPECT_EQ(Dest, C.Frame);
    EXPECT_EQ(Search.SkippedBefore, C.SkippedBefore);
    EXPECT_EQ(Search.DroppedAfter, C.DroppedAfter);
}

const LineErrors kParity{1, 0, 0, 0};
const std::vector<std::uint8_t> kStray{0x7F, 0x23};

INSTANTIATE_TEST_SUITE_P(
    Chunks, ReplySearch,
    testing::Values(
        SearchCase{"DamagedByteAfterTheCrcInTheSameRead", false, {{Concat(kReply, {0x00}), kParity}}, kReply, 0, 1},
        SearchCase{"DamagedReadEndingInsideTheReply", false,
                   {{{kReply.begin(), kReply.begin() + 4}, {}}, {{kReply.begin() + 4, kReply.end()}, kParity}}, {}},
        SearchCase{"DamagedReadEndingWithTheReply", false, {{kReply, kParity}}, {}},
        SearchCase{"DamagedStrayBytesBeforeTheReply", false, {{kStray, kParity}, {kReply, {}}}, kReply, 2, 0},
        SearchCase{"WholeBurstReplyAlone", true, {{kReply, {}}}, kReply},
        SearchCase{"WholeBurstEchoThenReply", true, {{kRequest, {}}, {kReply, {}}}, kReply, 8, 0},
        SearchCase{"WholeBurstTwoRepliesAreNoFrame", true, {{kReply, {}}, {kReply, {}}}, Concat(kReply, kReply)},
        SearchCase{"WholeBurstStrayBytesBeforeTheReply", true, {{kStray, {}}, {kReply, {}}}, kReply, 2, 0},
        SearchCase{"WholeBurstStrayBytesAfterAreNoFrame", true, {{kReply, {}}, {kStray, {}}}, Concat(kReply, kStray)}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(SerialLineFake, ErrorsOfEarlierTrafficDoNotSpoilTheNextFrame)
{
    Open();
    Fake->Deliver({0xFF}, LineErrors{1, 0, 0, 0});
    ASSERT_TRUE(Line.WaitForRxChar(0ms)); // the damaged byte arrived before the exchange
    Line.PurgePort(true, false);
    Fake->Deliver({0x01, 0x03, 0x00});
    EXPECT_EQ(Receive().size(), 3u);
}

TEST_F(SerialLineFake, AShortReadOrAnOverflowDropsTheFrame)
{
    Open();
    Fake->Deliver({0x01, 0x03, 0x02});
    Fake->Deliver({0x00, 0x05});
    Fake->ShortenNextRead(1);
    EXPECT_TRUE(Receive().empty());

    // More queued than the room left, in the first read or in a later one.
    Open();
    Fake->Deliver(std::vector<std::uint8_t>(9, 0x11));
    EXPECT_TRUE(Receive(1000ms, 8).empty());
    Open();
    Fake->Deliver(std::vector<std::uint8_t>(6, 0x11));
    Fake->Deliver(std::vector<std::uint8_t>(3, 0x22));
    EXPECT_TRUE(Receive(1000ms, 8).empty());
    // Exactly full is fine, one byte behind it is not.
    Open();
    Fake->Deliver(std::vector<std::uint8_t>(8, 0x11));
    EXPECT_EQ(Receive(1000ms, 8).size(), 8u);
    Open();
    Fake->Deliver(std::vector<std::uint8_t>(8, 0x11));
    Fake->Deliver({0x22});
    EXPECT_TRUE(Receive(1000ms, 8).empty());
}

TEST_F(SerialLineFake, NoReceiveTimeLeftMeansNoWaitAtAll)
{
    Open();
    Fake->Deliver({0x01, 0x02, 0x03});
    EXPECT_TRUE(Receive(0ms).empty());
    EXPECT_EQ(Fake->Queued(), 0u) << "the chunk was not even asked for";
}

TEST_F(SerialLineFake, AServerWaitEndsOnAStopThatCameBeforeOrDuringIt)
{
    LineSettings S;
    S.ConnectionMode = cmServer;
    Open(S);

    // Signalled before: the next wait without limit returns at once.
    Line.SignalServerStop();
    std::chrono::milliseconds Remaining = InfiniteTimeout;
    std::uint8_t Dest[16];
    EXPECT_EQ(Line.ReceiveFrame(Dest, 16, 20ms, Remaining), 0);

    // A bounded wait is not a server's wait for a request: it keeps the stop pending.
    Line.SignalServerStop();
    Fake->Deliver({0x01});
    EXPECT_TRUE(Line.WaitForRxChar(50ms));
    Line.PurgePort(true, false);
    EXPECT_FALSE(Line.WaitForRxChar(InfiniteTimeout));

    // Signalled during the wait.
    auto Waiting = std::async(std::launch::async, [&] { return Line.WaitForRxChar(InfiniteTimeout); });
    EXPECT_EQ(Waiting.wait_for(50ms), std::future_status::timeout) << "nothing to end the wait yet";
    Line.SignalServerStop();
    ASSERT_EQ(Waiting.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(Waiting.get());

    // One signal ends one wait.
    Fake->Deliver({0x01});
    EXPECT_TRUE(Line.WaitForRxChar(InfiniteTimeout));
}

TEST_F(SerialLineFake, AServerFrameEndingInSilenceUsesUpTheRemainingTime)
{
    LineSettings S;
    S.ConnectionMode = cmServer;
    Open(S);
    Fake->Deliver({0x01, 0x03, 0x00, 0x00});
    std::chrono::milliseconds Remaining = InfiniteTimeout;
    std::uint8_t Dest[16];
    EXPECT_EQ(Line.ReceiveFrame(Dest, 16, 20ms, Remaining), 4);
    EXPECT_EQ(Remaining, 0ms);
}

TEST_F(SerialLineFake, AWriteThatDoesNotCompleteFailsAndIsNotFinishedLater)
{
    Open();
    const std::uint8_t Frame[] = {1, 3, 0, 0, 0, 1, 0x84, 0x0A};
    EXPECT_TRUE(Line.SendFrame(Frame, 8, 100ms));
    EXPECT_EQ(Fake->Written().size(), 8u);

    Fake->StallWritesAfter(3);
    EXPECT_FALSE(Line.SendFrame(Frame, 8, 100ms));
    EXPECT_EQ(Fake->Log().back(), "purge-out");

    Fake->StallWritesAfter(SIZE_MAX);
    Fake->ErrorsDuringWrite(LineErrors{0, 1, 0, 0});
    EXPECT_FALSE(Line.SendFrame(Frame, 8, 100ms)) << "a framing error while sending";
    EXPECT_TRUE(Line.SendFrame(Frame, 8, 100ms));
}

TEST_F(SerialLineFake, RtsIsRaisedOnlyWhileAFrameGoesOut)
{
    LineSettings S;
    S.FlowControl = fcRtsToggle;
    Open(S);
    const std::uint8_t Frame[] = {1, 3, 0, 0, 0, 1, 0x84, 0x0A};
    const size_t Before = Fake->Log().size();
    EXPECT_TRUE(Line.SendFrame(Frame, 8, 100ms));
    std::vector<std::string> Log = Fake->Log();
    Log.erase(Log.begin(), Log.begin() + static_cast<long>(Before));
    EXPECT_EQ(Log, (std::vector<std::string>{"drain", "rts on", "write 8", "drain", "rts off"}));

    // Output that cannot drain in time is not sent with the transmitter switched off.
    Fake->drainSucceeds = false;
    EXPECT_FALSE(Line.SendFrame(Frame, 8, 100ms));
    Log = Fake->Log();
    EXPECT_EQ(Log.back(), "rts off");
    EXPECT_EQ(Log[Log.size() - 2], "purge-out");
}

TEST_F(SerialLineFake, RtsFallsNoEarlierThanTheEndOfTheLastStopBit)
{
    // The fake's output queue reads empty as soon as it is written, as a count that leaves
    // out the UART's FIFO and the adapter's buffer does. 8N1: ten bits a character.
    struct Case {
        TBaudRate Rate;
        int BitsPerSecond;
        std::size_t Bytes;
    };
    for (const Case C : {Case{br9600, 9600, 8}, Case{br9600, 9600, 255}, Case{br19200, 19200, 8},
                         Case{br19200, 19200, 255}}) {
        LineSettings S = Settings(C.Rate, db8, psNone, sb1, 4);
        S.FlowControl = fcRtsToggle;
        Open(S);
        const std::vector<std::uint8_t> Frame(C.Bytes, 0x55);
        ASSERT_TRUE(Line.SendFrame(Frame.data(), static_cast<std::int32_t>(C.Bytes), 1000ms));
        const auto LastStopBit = Fake->TimeOf("write " + std::to_string(C.Bytes))
                                 + std::chrono::microseconds(C.Bytes * 10 * 1000000 / C.BitsPerSecond);
        EXPECT_GE(Fake->TimeOf("rts off"), LastStopBit) << C.Bytes << " bytes at " << C.BitsPerSecond;
    }
}

TEST_F(SerialLineFake, ALongFrameAtALowRateIsSentWholeWhateverTheSendTimeout)
{
    // 256 bytes at 2400 bit/s 8N1 take 1067 ms on the line, more than the default send
    // time-out: the time-out is the allowance on top of the frame's own line time.
    LineSettings S = Settings(br2400, db8, psNone, sb1, 4);
    S.FlowControl = fcRtsToggle;
    Open(S);
    const std::vector<std::uint8_t> Frame(256, 0x55);
    EXPECT_TRUE(Line.SendFrame(Frame.data(), static_cast<std::int32_t>(Frame.size()), 1000ms));
    const auto LastStopBit = Fake->TimeOf("write 256") + std::chrono::microseconds(256LL * 10 * 1000000 / 2400);
    EXPECT_GE(Fake->TimeOf("rts off"), LastStopBit);
    EXPECT_EQ(Fake->Log().back(), "rts off") << "nothing purged";
}

TEST_F(SerialLineFake, ALostLineEndsEveryWaitAtOnce)
{
    LineSettings S;
    S.ConnectionMode = cmServer;
    Open(S);
    Fake->failWait = true;
    EXPECT_FALSE(Line.WaitForRxChar(InfiniteTimeout));
    EXPECT_TRUE(Line.LineLost());
    Fake->failWait = false;
    Fake->Deliver({1});
    EXPECT_FALSE(Line.WaitForRxChar(10ms)) << "until the port is opened again";
    Open(S);
    EXPECT_FALSE(Line.LineLost());
}

TEST_F(SerialLineFake, SettlingDiscardsWhatTheLineIsSending)
{
    Open();
    Fake->Deliver({0x55, 0x55});
    Fake->Deliver({0x55});
    Line.SettleLine();
    EXPECT_EQ(Fake->Queued(), 0u);
    EXPECT_FALSE(Line.WaitForRxChar(0ms));
}

TEST_F(SerialLineFake, AStopEndsSettlingAndStaysPendingForTheServerWait)
{
    LineSettings S;
    S.ConnectionMode = cmServer;
    Open(S);
    for (int I = 0; I < 3; ++I)
        Fake->Deliver({0x55});
    Line.SignalServerStop();
    Line.SettleLine();
    EXPECT_FALSE(Line.WaitForRxChar(InfiniteTimeout)) << "the stop was not used up by settling";
}

} // namespace
