// Our server mode against a master nobody here wrote: mbpoll (libmodbus underneath) reads
// and writes through a pty bridge while the test thread serves the dispatcher.

#include "LibmodbusPeer.h"
#include "Programs.h"
#include "ServerFixture.h"

#include <algorithm>
#include <gmock/gmock.h>

namespace veltro::modbus::test {
namespace {

class ServerMbpoll : public ::testing::Test {
protected:
    static constexpr std::uint8_t Address = 33;

    void SetUp() override
    {
        Conn = std::make_unique<TModbusConnection>(&Ui);
        Conn->SetPort(Bridge.ServerPath());
        Conn->SetParity(psNone);
        Conn->SetBaudRate(br9600);
        Conn->SetConnectionMode(cmServer);
        Map.SetServerAddress(Address);
        Map.SetConnection(Conn.get());
        for (std::size_t I = 0; I < Map.Registers.size(); ++I)
            Map.Registers[I] = static_cast<std::uint16_t>(1000 + I);
        Map.Coils[0] = Map.Coils[3] = true;
        CountListening(*Conn, Listening);
        Conn->SetActive(true);
        // The worker discards what arrives while the line settles.
        ASSERT_TRUE(Ui.PumpUntil([&] { return Listening.load() > 0; }, 5s));
    }

    void TearDown() override { Conn.reset(); }

    // Runs mbpoll once on the bridge's far end, serving our dispatcher until it ends;
    // returns its standard output.
    std::string Mbpoll(std::vector<std::string> Args, bool Succeeds = true)
    {
        std::vector<std::string> Full = {"mbpoll", "-m", "rtu", "-b", "9600", "-P", "none", "-a",
                                         std::to_string(Address), "-1", "-o", "2"};
        Full.insert(Full.end(), Args.begin(), Args.end());
        const auto Device = std::find(Full.begin(), Full.end(), std::string("DEVICE"));
        if (Device != Full.end())
            *Device = Bridge.ClientPath();
        Program Run(Full);
        EXPECT_TRUE(Run.Started());
        const bool Ok = Run.Succeeded(Ui);
        EXPECT_EQ(Ok, Succeeds) << Run.Output();
        return Run.Output();
    }

    SpyDispatcher Ui;
    PtyBridge Bridge;
    std::unique_ptr<TModbusConnection> Conn;
    MapServer Map;
    std::atomic<int> Listening{0};
};

using ::testing::HasSubstr;

TEST_F(ServerMbpoll, ReadsHoldingRegistersInputRegistersAndCoils)
{
    const std::string Holding = Mbpoll({"-t", "4", "-0", "-r", "2", "-c", "3", "DEVICE"});
    EXPECT_THAT(Holding, HasSubstr("[2]: \t1002"));
    EXPECT_THAT(Holding, HasSubstr("[4]: \t1004"));

    const std::string Input = Mbpoll({"-t", "3:hex", "-0", "-r", "0", "-c", "1", "DEVICE"});
    EXPECT_THAT(Input, HasSubstr("[0]: \t0xFC17"));  // 1000 = 0x03E8, inverted

    const std::string Coils = Mbpoll({"-t", "0", "-0", "-r", "0", "-c", "4", "DEVICE"});
    EXPECT_THAT(Coils, HasSubstr("[0]: \t1"));
    EXPECT_THAT(Coils, HasSubstr("[1]: \t0"));
    EXPECT_THAT(Coils, HasSubstr("[3]: \t1"));
}

TEST_F(ServerMbpoll, WritesSingleAndMultipleRegisters)
{
    Mbpoll({"-t", "4", "-0", "-r", "7", "DEVICE", "4242"});
    EXPECT_EQ(Map.Registers[7], 4242);
    Mbpoll({"-t", "4", "-0", "-r", "10", "DEVICE", "1", "2", "3"});
    EXPECT_EQ(Map.Registers[10], 1);
    EXPECT_EQ(Map.Registers[11], 2);
    EXPECT_EQ(Map.Registers[12], 3);
    EXPECT_EQ(Map.Registers[13], 1013);
}

TEST_F(ServerMbpoll, SeesOurExceptionReplies)
{
    Map.FailingRead = 5;
    EXPECT_THAT(Mbpoll({"-t", "4", "-0", "-r", "99", "-c", "2", "DEVICE"}, false), HasSubstr("Illegal data address"));
    EXPECT_THAT(Mbpoll({"-t", "4", "-0", "-r", "4", "-c", "2", "DEVICE"}, false),
                HasSubstr("Slave device or server failure"));
}

} // namespace
} // namespace veltro::modbus::test
