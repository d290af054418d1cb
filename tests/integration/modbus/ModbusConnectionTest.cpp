// Properties, opening and closing of the connection, and the client rules tied to it.

#include "integration/modbus/ClientFixture.h"

#include "modbus/FieldwireError.h"
#include "platform/SerialDevice.h"
#include "platform/UiDispatcher.h"
#include "support/FakeSerialDevice.h"

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace veltro::modbus::test {
namespace {

// Runs F and returns the message it raised ("" when it raised nothing).
template <typename F>
std::string Raised(F&& Fn)
{
    try {
        Fn();
    } catch (const std::exception& E) {
        return E.what();
    }
    return "";
}

TEST(ModbusConnectionDefaults, AreThoseOfAFreshComponent)
{
    platform::ManualUiDispatcher Ui;
    TModbusConnection C(&Ui);
    EXPECT_FALSE(C.Active());
    EXPECT_EQ(C.BaudRate(), br19200);
    EXPECT_EQ(C.ConnectionMode(), cmClient);
    EXPECT_EQ(C.CustomBaudRate(), 19200u);
    EXPECT_EQ(C.DataBits(), db8);
    EXPECT_TRUE(C.DTREnabled());
    EXPECT_FALSE(C.EchoQueryBeforeReply());
    EXPECT_EQ(C.FlowControl(), fcNone);
    EXPECT_FALSE(C.HookExistingPort());
    EXPECT_EQ(C.MaxRetries(), 1u);
    EXPECT_EQ(C.Parity(), psEven);
    EXPECT_EQ(C.Port(), "COM1");
    EXPECT_EQ(C.ReceiveTimeout(), 1000u);
    EXPECT_EQ(C.RefetchDelay(), 0u);
    EXPECT_TRUE(C.RTSEnabled());
    EXPECT_EQ(C.SendTimeout(), 1000u);
    EXPECT_EQ(C.SilentInterval(), 4u);
    EXPECT_EQ(C.StopBits(), sb1);
    EXPECT_EQ(C.ThreadPriority(), tpNormal);
    EXPECT_EQ(C.TransmissionMode(), tmRTU);
    EXPECT_EQ(C.TurnaroundDelay(), 100u);
    EXPECT_EQ(C.FrameBufferCapacity(), 256);
    EXPECT_FALSE(C.PortStored());
    C.SetPort("COM4");
    EXPECT_TRUE(C.PortStored());
    C.SetTransmissionMode(tmASCII);
    EXPECT_EQ(C.FrameBufferCapacity(), 255);
}

TEST(ModbusConnectionDefaults, CustomBaudRateSelectsTheCustomRate)
{
    platform::ManualUiDispatcher Ui;
    TModbusConnection C(&Ui);
    C.SetCustomBaudRate(250000);
    EXPECT_EQ(C.BaudRate(), brCustom);
    EXPECT_EQ(C.CurrentLineSettings().BitRate(), 250000u);
}

TEST(ModbusConnectionDefaults, MaxRetriesRefusesZeroWithTheFullRange)
{
    platform::ManualUiDispatcher Ui;
    TModbusConnection C(&Ui);
    C.SetMaxRetries(5);
    EXPECT_EQ(Raised([&] { C.SetMaxRetries(0); }), "Value must be between 1 and 4294967295");
    EXPECT_EQ(C.MaxRetries(), 5u);
    C.SetMaxRetries(4294967295u);
    EXPECT_EQ(C.MaxRetries(), 4294967295u);
}

using ModbusConnection = ClientFixture;

struct RefusedCase {
    const char* Name;
    std::function<void(TModbusConnection&)> Change;
    std::function<void(TModbusConnection&)> Same;
};

class ModbusConnectionRefused : public ClientFixture, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(ModbusConnectionRefused, WhileActiveAndKeepsTheValue)
{
    Open();
    const LineSettings Before = Conn->CurrentLineSettings();
    EXPECT_EQ(Raised([&] { GetParam().Change(*Conn); }), messages::SConnectionMustNotBeActive);
    EXPECT_EQ(Conn->CurrentLineSettings(), Before);
    EXPECT_EQ(Raised([&] { GetParam().Same(*Conn); }), "");  // the current value is no change
    Conn->SetActive(false);
    GetParam().Change(*Conn);
    EXPECT_NE(Conn->CurrentLineSettings(), Before);
}

INSTANTIATE_TEST_SUITE_P(
    Properties, ModbusConnectionRefused,
    ::testing::Values(
        RefusedCase{"Port", [](auto& C) { C.SetPort("COM2"); }, [](auto& C) { C.SetPort("COM1"); }},
        RefusedCase{"TransmissionMode", [](auto& C) { C.SetTransmissionMode(tmASCII); },
                    [](auto& C) { C.SetTransmissionMode(tmRTU); }},
        RefusedCase{"ConnectionMode", [](auto& C) { C.SetConnectionMode(cmServer); },
                    [](auto& C) { C.SetConnectionMode(cmClient); }},
        RefusedCase{"FlowControl", [](auto& C) { C.SetFlowControl(fcRtsCts); },
                    [](auto& C) { C.SetFlowControl(fcNone); }},
        RefusedCase{"DTREnabled", [](auto& C) { C.SetDTREnabled(false); }, [](auto& C) { C.SetDTREnabled(true); }},
        RefusedCase{"RTSEnabled", [](auto& C) { C.SetRTSEnabled(false); }, [](auto& C) { C.SetRTSEnabled(true); }},
        RefusedCase{"HookExistingPort", [](auto& C) { C.SetHookExistingPort(true); },
                    [](auto& C) { C.SetHookExistingPort(false); }}),
    [](const auto& Info) { return std::string(Info.param.Name); });

speed_t SlaveSpeed(const std::string& Path)
{
    const int Fd = ::open(Path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    struct termios T {};
    ::tcgetattr(Fd, &T);
    ::close(Fd);
    return ::cfgetospeed(&T);
}

TEST_F(ModbusConnection, LineSettingsAndTimingChangeWhileActive)
{
    Open();
    EXPECT_EQ(Conn->CharTimeout(), 20u);  // 4 characters at 19200 bit/s is below the floor
    EXPECT_EQ(SlaveSpeed(Pty.SlavePath()), B19200);
    Conn->SetBaudRate(br9600);
    Conn->SetSilentInterval(200);
    EXPECT_EQ(SlaveSpeed(Pty.SlavePath()), B9600);
    EXPECT_EQ(Conn->CharTimeout(), 188u);  // ceil(9 bits * 200 * 1000 / 9600)
    Conn->SetStopBits(sb2);
    EXPECT_EQ(Conn->CharTimeout(), 209u);  // ceil(10 * 200 * 1000 / 9600)
    Conn->SetMaxRetries(2);
    Conn->SetReceiveTimeout(1500);
    Conn->SetThreadPriority(tpLower);
    EXPECT_EQ(Conn->MaxRetries(), 2u);
    EXPECT_EQ(Conn->ReceiveTimeout(), 1500u);
    EXPECT_TRUE(Conn->Active());
}

TEST_F(ModbusConnection, EventsFrameOpeningAndClosing)
{
    std::vector<std::string> Log;
    Conn->OnBeforeOpen = [&](TModbusConnection& C) { Log.push_back("before-open " + std::to_string(C.Active())); };
    Conn->OnAfterOpen = [&](TModbusConnection& C) { Log.push_back("after-open " + std::to_string(C.Active())); };
    Conn->OnBeforeClose = [&](TModbusConnection& C) { Log.push_back("before-close " + std::to_string(C.Active())); };
    Conn->OnAfterClose = [&](TModbusConnection& C) { Log.push_back("after-close " + std::to_string(C.Active())); };
    Open();
    Open();  // no change, no events
    Conn->SetActive(false);
    EXPECT_EQ(Log, (std::vector<std::string>{"before-open 0", "after-open 0", "before-close 1", "after-close 1"}));
}

TEST_F(ModbusConnection, AFailedOpenLeavesNothingOpen)
{
    bool AfterOpen = false;
    int BeforeOpen = 0;
    Conn->OnBeforeOpen = [&](TModbusConnection&) { ++BeforeOpen; };
    Conn->OnAfterOpen = [&](TModbusConnection&) { AfterOpen = true; };
    Conn->SetPort("COM9");
    EXPECT_EQ(Raised([&] { Open(); }), messages::SOpenPortFailed);
    EXPECT_FALSE(Conn->Active());
    EXPECT_FALSE(AfterOpen);
    EXPECT_EQ(BeforeOpen, 1);
    Conn->SetPort("COM1");
    Open();
    EXPECT_TRUE(Conn->Active());
}

TEST_F(ModbusConnection, AFailingAfterOpenHandlerUndoesTheOpening)
{
    Conn->OnAfterOpen = [](TModbusConnection&) { throw std::runtime_error("refused"); };
    EXPECT_EQ(Raised([&] { Open(); }), "refused");
    EXPECT_FALSE(Conn->Active());
    EXPECT_FALSE(Conn->Line().IsOpen());
    Conn->OnAfterOpen = nullptr;
    Open();  // the port was released: it opens again
    EXPECT_TRUE(Conn->Active());
}

TEST_F(ModbusConnection, AFailingAfterCloseHandlerStillLeavesItClosed)
{
    Open();
    Conn->OnAfterClose = [](TModbusConnection& C) {
        // The worker is gone by now: queuing must be refused, not crash.
        EXPECT_EQ(Raised([&] { C.QueueTransaction(std::make_unique<TModbusTransaction>(256)); }),
                  messages::SConnectionMustBeActive);
        throw std::runtime_error("refused");
    };
    EXPECT_EQ(Raised([&] { Conn->SetActive(false); }), "refused");
    EXPECT_FALSE(Conn->Active());
    EXPECT_FALSE(Conn->Line().IsOpen());
}

TEST_F(ModbusConnection, QueuingWhileInactiveLeavesTheTransactionWithTheCaller)
{
    auto T = std::make_unique<TModbusTransaction>(Conn->FrameBufferCapacity());
    EXPECT_EQ(Raised([&] { Conn->QueueTransaction(std::move(T)); }), messages::SConnectionMustBeActive);
    EXPECT_NE(T, nullptr);
}

TEST_F(ModbusConnection, LoadingDefersActiveAndReportsItsFailure)
{
    std::vector<std::string> Errors;
    auto Previous = platform::SetExceptionHandler(
        [&](std::exception_ptr E) { Errors.push_back(platform::ExceptionMessage(E)); });
    Conn->BeginLoading();
    Conn->SetActive(true);
    EXPECT_FALSE(Conn->Active());
    Conn->Loaded();
    EXPECT_TRUE(Conn->Active());
    Conn->SetActive(false);

    Conn->SetPort("COM9");
    Conn->BeginLoading();
    Conn->SetActive(true);
    EXPECT_NO_THROW(Conn->Loaded());
    EXPECT_FALSE(Conn->Active());
    EXPECT_EQ(Errors, std::vector<std::string>{messages::SOpenPortFailed});
    platform::SetExceptionHandler(Previous);
}

TEST_F(ModbusConnection, AHookedPortIsUsedAndLeftOpen)
{
    int Error = 0;
    auto Device = platform::PosixSerialDevice::Open(Pty.SlavePath(), Error);
    ASSERT_NE(Device, nullptr) << Error;
    Conn->SetHookExistingPort(true);
    EXPECT_EQ(Raised([&] { Open(); }), messages::SOpenPortFailed);  // no handler: no port
    Conn->OnGetHookedPortHandle = [&](TModbusConnection&, platform::ISerialDevice*& Handle) {
        EXPECT_EQ(Handle, nullptr);
        Handle = Device.get();
    };
    Open();
    Client.ReadHoldingRegisters(0, 1);
    EXPECT_EQ(Request(8), Rtu("11 03 00 00 00 01"));
    Conn->SetActive(false);
    EXPECT_TRUE(Device->IsOpen());
}

TEST_F(ModbusConnection, ClientRulesFollowTheConnection)
{
    EXPECT_EQ(Raised([&] { Client.ReadHoldingRegisters(0, 1); }), messages::SNoActiveConnection);
    Client.SetServerAddress(5);  // allowed while inactive
    Open();
    EXPECT_EQ(Raised([&] { Client.SetServerAddress(6); }), messages::SClientMustBeDisconnected);
    EXPECT_EQ(Raised([&] { Client.SetServerAddress(5); }), "");
    EXPECT_EQ(Client.ServerAddress(), 5);

    TModbusClient Unbound;
    EXPECT_EQ(Raised([&] { Unbound.ReadHoldingRegisters(0, 1); }), messages::SNoActiveConnection);
    Unbound.SetServerAddress(9);  // not bound to an active connection
    Conn.reset();
    EXPECT_EQ(Client.Connection(), nullptr);
}

struct RangeCase {
    std::uint16_t Start;
    std::uint16_t Count;
    std::string Error;
};

class ModbusClientRange : public ClientFixture, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(ModbusClientRange, OfAHoldingRegisterReadIsCheckedBeforeQueuing)
{
    Open();
    const auto& [Start, Count, Error] = GetParam();
    EXPECT_EQ(Raised([&] { Client.ReadHoldingRegisters(Start, Count); }), Error);
    if (!Error.empty()) {
        EXPECT_EQ(Client.ReadHoldingRegisters(0, 1), 0u);  // the refused one took no number
    }
}

INSTANTIATE_TEST_SUITE_P(Requests, ModbusClientRange,
                         ::testing::Values(RangeCase{0, 0, "Register count must be between 1 and 125"},
                                           RangeCase{0, 126, "Register count must be between 1 and 125"},
                                           RangeCase{0, 125, ""},
                                           RangeCase{65500, 37, "Starting register index is invalid (65500)"},
                                           RangeCase{65500, 36, ""}),
                         [](const auto& Info) {
                             return "Start" + std::to_string(Info.param.Start) + "Count" +
                                    std::to_string(Info.param.Count);
                         });

// The connection on a scripted device instead of the pty, for refusals a pty never gives.
class ModbusConnectionOnFake : public ClientFixture {
protected:
    void SetUp() override
    {
        ClientFixture::SetUp();
        Conn->Line().SetDeviceOpener([this](const std::string&, int&) {
            return std::make_unique<veltro::test::SerialDeviceRef>(Fake);
        });
    }
    veltro::test::FakeSerialDevice Fake;
};

TEST_F(ModbusConnectionOnFake, ARefusedLineSettingKeepsThePreviousValue)
{
    Open();
    Fake.failConfigure = true;
    EXPECT_EQ(Raised([&] { Conn->SetBaudRate(br9600); }), messages::SUpdateDcbFailed);
    EXPECT_EQ(Conn->BaudRate(), br19200);
    EXPECT_EQ(Fake.LastSettings().baudRate, 19200u);
    Fake.failConfigure = false;
    Conn->SetBaudRate(br9600);
    EXPECT_EQ(Fake.LastSettings().baudRate, 9600u);
}

TEST_F(ModbusConnectionOnFake, ARequestThatCannotBeWrittenIsNoReplyWithoutListening)
{
    Conn->SetSendTimeout(20);
    Conn->SetMaxRetries(2);
    Fake.StallWritesAfter(3);
    Open();
    Client.ReadHoldingRegisters(0, 1);
    ASSERT_TRUE(WaitForHolding(1));
    EXPECT_EQ(Holding[0].Info.ReplyStatus, rsNoReply);
    EXPECT_EQ(Holding[0].Info.Attempts, 2u);
    EXPECT_EQ(Sent.size(), 2u);
    EXPECT_TRUE(Received.empty());  // nothing is awaited after a failed write
}

TEST_F(ModbusConnectionOnFake, ARequestHeldInTheDriverEndsAtTheSendTimeoutNotTheReceiveTimeout)
{
    // The driver takes the frame but never sends it (CTS held, or a driver that never
    // drains): the request did not go out, and waiting for its reply would be pointless.
    Conn->SetSendTimeout(200);
    Conn->SetReceiveTimeout(5000);
    Fake.drainSucceeds = false;
    Open();
    const auto Start = std::chrono::steady_clock::now();
    Client.ReadHoldingRegisters(0, 1);
    ASSERT_TRUE(WaitForHolding(1));
    const auto Took = std::chrono::steady_clock::now() - Start;
    EXPECT_EQ(Holding[0].Info.ReplyStatus, rsNoReply);
    EXPECT_GE(Took, 200ms);
    EXPECT_LT(Took, 2000ms);
    EXPECT_EQ(Conn->Line().LastError(), ETIMEDOUT);
    EXPECT_TRUE(Received.empty());
    EXPECT_EQ(Fake.Log().back(), "purge-out") << "the held frame must not go out later";
}

} // namespace
} // namespace veltro::modbus::test
