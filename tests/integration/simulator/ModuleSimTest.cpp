// The simulated module through our own Modbus client, as the monitoring page polls it:
// its registers decode with the page's decoders into one plausible three-phase meter, it
// follows the address and settings the meter stores, and each fault switch does what it
// names.

#include "core/ModuleRegisters.h"
#include "modbus/ModbusClient.h"
#include "modbus/ModbusConnection.h"
#include "modbus/ModbusFrames.h"
#include "platform/ManualUiDispatcher.h"
#include "simulator/ModuleModel.h"
#include "simulator/Simulator.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <ctime>

namespace veltro::test {
namespace {

using namespace std::chrono_literals;
using namespace veltro::modbus;
using core::RegisterBlock;

struct Reply {
    TTransactionInfo info;
    std::vector<uint16_t> values;
};

class ModuleSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim.State().SetSerialNumber("87654321");
        sim.Start();
        conn.SetPort("COM2");
        conn.SetBaudRate(br9600);
        conn.SetParity(psNone);
        conn.SetReceiveTimeout(600);
        conn.SetSilentInterval(200);  // the monitoring page's end-of-frame silence
        // The module discards what arrives while its line settles after the start.
        conn.SetMaxRetries(3);
        conn.OnFrameReceive = [this](TModbusConnection&, const TFrameData& d) {
            if (!d.empty())
                frames.push_back(d);
        };
        client.SetConnection(&conn);
        client.SetServerAddress(static_cast<uint8_t>(sim.Module().Address()));
        client.OnHoldingRegistersRead = [this](TModbusClient&, TTransactionInfo& info, uint16_t, uint16_t,
                                               const TRegValues& values) { replies.push_back({info, values}); };
    }

    void TearDown() override
    {
        conn.SetActive(false);
        sim.Stop();
    }

    Reply Read(uint16_t start, uint16_t count, TModbusClient* from = nullptr)
    {
        if (!conn.Active())
            conn.SetActive(true);
        const size_t before = replies.size();
        (from ? from : &client)->ReadHoldingRegisters(start, count);
        EXPECT_TRUE(ui.PumpUntil([&] { return replies.size() > before; }, 10s));
        return replies.size() > before ? replies.back() : Reply{};
    }

    std::vector<uint16_t> Block(size_t i)
    {
        const Reply r = Read(core::kModuleBlocks[i].start, core::kModuleBlocks[i].count);
        EXPECT_EQ(r.info.ReplyStatus, rsSuccess) << "block " << i;
        return r.values;
    }

    platform::ManualUiDispatcher ui;
    PortDir dir;
    sim::Simulator sim{{.portDir = dir.Path(), .meterPort = 1, .modulePort = 2}};
    TModbusConnection conn{&ui};
    TModbusClient client;
    std::vector<TFrameData> frames;
    std::vector<Reply> replies;
};

constexpr double kPi = 3.14159265358979323846;

TEST_F(ModuleSimTest, RegistersDecodeIntoOnePlausibleThreePhaseMeter)
{
    const std::vector<uint16_t> r1 = Block(0), r2 = Block(1), r3 = Block(2);
    ASSERT_EQ(r1.size(), 58u);
    ASSERT_EQ(r2.size(), 58u);
    ASSERT_EQ(r3.size(), 60u);
    const RegisterBlock b1(r1), b2(r2), b3(r3);

    EXPECT_EQ(b1.RegLongWord(core::kRegSerial), 87654321u);
    const auto clock = b1.RegStamp(core::kRegClockTime, core::kRegClockDate);
    ASSERT_TRUE(clock.has_value());
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    EXPECT_EQ(clock->date.year, local.tm_year + 1900);
    EXPECT_NEAR(clock->time.hour * 3600 + clock->time.minute * 60 + clock->time.second,
                local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec, 5);

    // Totals: non-negative, and the quadrant sums hold.
    std::array<double, 10> t{};
    for (size_t i = 0; i < t.size(); ++i) {
        t[i] = b1.RegDouble(core::kRegTotals + 4 * i);
        EXPECT_GE(t[i], 0.0) << "total " << i;
    }
    EXPECT_NEAR(t[2], t[4] + t[5], 1e-6);  // Q+ = Q1 + Q2
    EXPECT_NEAR(t[3], t[6] + t[7], 1e-6);  // Q- = Q3 + Q4

    // Powers within block 1 belong to one snapshot.
    const double cosPhi = b1.RegSingle(core::kRegCosPhi), p = b1.RegSingle(core::kRegPowerA),
                 q = b1.RegSingle(core::kRegPowerQ), s = b1.RegSingle(core::kRegPowerS);
    EXPECT_NEAR(b1.RegSingle(core::kRegFrequency), 50.0, 0.1);
    EXPECT_GT(cosPhi, 0.8);
    EXPECT_LE(cosPhi, 1.0);
    EXPECT_NEAR(p, s * cosPhi, 1e-3);
    EXPECT_GT(q, 0.0);  // lagging currents draw inductive power
    EXPECT_LE(p * p + q * q, s * s * (1 + 1e-5));

    // Block 2: the phases that make up those powers (another snapshot, so a little apart).
    double fromPhases = 0;
    for (size_t i = 0; i < 3; ++i) {
        const double v = b2.RegSingle(core::kRegVoltage[i]), a = b2.RegSingle(core::kRegCurrent[i]);
        const double lag = b2.RegSingle(core::kRegCurrentAngle + 2 * i);
        EXPECT_NEAR(v, 230.0, 2.0) << "phase " << i;
        EXPECT_GT(a, 1.0);
        EXPECT_GT(lag, 0.0);  // lagging: clockwise of the voltage, as the diagram draws it
        EXPECT_LT(lag, 60.0);
        fromPhases += v * a * std::cos(lag * kPi / 180.0) / 1000.0;
    }
    EXPECT_NEAR(fromPhases, p, 0.05 * p);
    EXPECT_NEAR(b2.RegSingle(core::kRegVoltageAngle), 120.0, 1.0);
    EXPECT_NEAR(b2.RegSingle(core::kRegVoltageAngle + 2), 240.0, 1.0);

    // Block 3: two records on the last quarter hour; "P.01" holds the energy registers.
    for (size_t rec = 0; rec < 2; ++rec) {
        const size_t at = rec * core::kProfileRecordSize;
        const auto stamp = b3.RegStamp(at, at + 3);
        ASSERT_TRUE(stamp.has_value()) << "record " << rec;
        EXPECT_EQ(stamp->time.minute % 15, 0);
        EXPECT_EQ(stamp->time.second, 0);
    }
    EXPECT_GT(b3.RegDouble(6), 0.0);
    EXPECT_LE(b3.RegDouble(6), t[0]);                   // A+ then <= A+ now
    EXPECT_NEAR(b3.RegDouble(30 + 6), 230.0, 1.0);      // mean voltage L1
}

TEST(ModuleModel, EnergyRisesWithTheLoadAndTheStampsSitOnQuarterHours)
{
    const auto start = std::chrono::steady_clock::now();
    sim::ModuleModel model(start);
    const auto wall = std::chrono::system_clock::now();
    const sim::ModuleSnapshot a = model.Snapshot(1, start, wall);
    const sim::ModuleSnapshot b = model.Snapshot(1, start + 2h, wall + 2h);
    double p = 0;
    for (size_t i = 0; i < 3; ++i)
        p += 230.0 * sim::ModuleModel::kNominalCurrent[i] * std::cos(sim::ModuleModel::kNominalLag[i] * kPi / 180) / 1000;
    EXPECT_NEAR(b.totals[0] - a.totals[0], 2 * p, 1e-9);  // A+ rises by 2 h of the load
    EXPECT_EQ(b.totals[1], a.totals[1]);                  // nothing exported
    EXPECT_GT(b.totals[8] - b.totals[0], a.totals[8] - a.totals[0]);  // S rises faster than P
    EXPECT_EQ(b.totals[2], b.totals[4] + b.totals[5]);
    // The record of the last quarter hour before b holds the totals of that moment.
    EXPECT_LE(b.profileStamp, wall + 2h);
    EXPECT_GT(b.profileStamp, wall + 2h - 15min);
    EXPECT_LE(b.profile1[0], b.totals[0]);
    EXPECT_GE(b.profile1[0], b.totals[0] - p * 0.25 - 1e-9);
}

TEST_F(ModuleSimTest, FollowsTheAddressAndSettingsTheMeterStores)
{
    const int before = sim.Module().Address();
    TModbusClient moved;
    moved.SetServerAddress(42);
    moved.SetConnection(&conn);
    moved.OnHoldingRegistersRead = client.OnHoldingRegistersRead;
    ASSERT_TRUE(sim.State().WriteDataSet(sim::SimState::kModbusAddressCode, "42"));
    ASSERT_TRUE(sim.State().WriteDataSet(sim::SimState::kModbusSettingsCode, "19200 8E1"));
    ASSERT_TRUE(ui.PumpUntil([&] { return sim.Module().Address() == 42; }, 2s));
    EXPECT_EQ(sim.Module().LineSettings(), (sim::ModuleLineSettings{19200, 8, 'E', 1}));
    EXPECT_EQ(sim.Module().Line()->Settings().baudRate, 19200u);
    EXPECT_EQ(sim.Module().Line()->Settings().parity, platform::SerialParity::Even);

    conn.SetMaxRetries(1);
    EXPECT_EQ(Read(0, 2, &moved).info.ReplyStatus, rsNoReply) << "understood at 9600 8N1";
    conn.SetBaudRate(br19200);
    conn.SetParity(psEven);
    EXPECT_EQ(Read(0, 2, &moved).info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Read(0, 2).info.ReplyStatus, rsNoReply) << "still answering at " << before;
}

struct FaultCase {
    const char* name;
    sim::ModuleFaults faults;
    uint8_t status;
    uint8_t exceptionCode;
};

class ModuleFault : public ModuleSimTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ModuleFault, HasTheEffectItNames)
{
    // One good answer first, so the fault is the only thing that changes.
    ASSERT_EQ(Read(0, 4).info.ReplyStatus, rsSuccess);
    conn.SetMaxRetries(1);
    frames.clear();
    sim.SetModuleFaults(GetParam().faults);
    const Reply r = Read(0, 4);
    EXPECT_EQ(r.info.ReplyStatus, GetParam().status);
    EXPECT_EQ(r.info.ExceptionCode, GetParam().exceptionCode);
    const sim::ModuleFaults& f = GetParam().faults;
    if (f.silent) {
        EXPECT_TRUE(frames.empty());
        EXPECT_GE(sim.Module().Line()->IgnoredWhileSilent(), 1u);
    }
    if (f.wrongCrc) {
        ASSERT_EQ(frames.size(), 1u);
        const TFrameData& d = frames[0];
        ASSERT_EQ(d.size(), 3u + 8 + 2);
        EXPECT_NE(Crc16(d.data(), 11), d[11] | (d[12] << 8));
    }
    if (f.garbage) {
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(std::string(frames[0].begin(), frames[0].begin() + 3), sim::ModuleLine::kGarbage);
        EXPECT_EQ(frames[0].size(), 3u + 3 + 8 + 2);
    }
    if (f.truncated) {
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].size(), 3u + 8 + 2 - sim::ModuleLine::kTruncatedBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Switches, ModuleFault,
    ::testing::Values(FaultCase{"Silent", {.silent = true}, rsNoReply, 0},
                      FaultCase{"WrongCrc", {.wrongCrc = true}, rsNoReply, 0},
                      FaultCase{"Garbage", {.garbage = true}, rsNoReply, 0},
                      FaultCase{"Truncated", {.truncated = true}, rsNoReply, 0},
                      FaultCase{"IllegalFunction", {.exceptionCode = 1}, rsException, 1},
                      FaultCase{"IllegalAddress", {.exceptionCode = 2}, rsException, 2},
                      FaultCase{"DeviceFailure", {.exceptionCode = 4}, rsException, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModuleSimTest, AnEchoedRequestIsSeenBeforeTheReply)
{
    conn.SetEchoQueryBeforeReply(true);
    ASSERT_EQ(Read(0, 2).info.ReplyStatus, rsSuccess);
    sim.SetModuleFaults({.echo = true});
    frames.clear();
    const Reply r = Read(0, 2);
    EXPECT_EQ(r.info.ReplyStatus, rsSuccess);
    ASSERT_EQ(r.values.size(), 2u);
    EXPECT_EQ(RegisterBlock(r.values).RegLongWord(0), 87654321u);
    // The connection strips the echo; without echo handling the same bytes do not pass.
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size(), 3u + 4 + 2);
    conn.SetEchoQueryBeforeReply(false);
    conn.SetMaxRetries(1);
    EXPECT_NE(Read(0, 2).info.ReplyStatus, rsSuccess);
}

TEST_F(ModuleSimTest, ADelayedReplyMissesAShortTimeOutAndMeetsALongOne)
{
    ASSERT_EQ(Read(0, 2).info.ReplyStatus, rsSuccess);
    conn.SetMaxRetries(1);
    sim.SetModuleFaults({.replyDelay = 400ms});
    conn.SetReceiveTimeout(2000);
    const auto start = std::chrono::steady_clock::now();
    const Reply r = Read(0, 4);
    EXPECT_EQ(r.info.ReplyStatus, rsSuccess);
    EXPECT_EQ(r.values.size(), 4u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
    // Last: the reply that comes too late would still be on its way for a next request.
    conn.SetReceiveTimeout(150);
    EXPECT_EQ(Read(0, 2).info.ReplyStatus, rsNoReply);
}

TEST_F(ModuleSimTest, AHangUpDropsTheLineAndAFreshOneIsPublished)
{
    ASSERT_EQ(Read(0, 2).info.ReplyStatus, rsSuccess);
    const std::string before = sim.ModulePath();
    conn.SetMaxRetries(1);
    sim.SetModuleFaults({.hangUp = true});
    EXPECT_EQ(Read(0, 2).info.ReplyStatus, rsNoReply);
    EXPECT_TRUE(ui.PumpUntil([&] { return conn.Line().LineLost(); }, 2s));
    EXPECT_EQ(sim.Module().Line()->HangUps(), 1u);
    EXPECT_NE(sim.ModulePath(), before);

    sim.SetModuleFaults({});
    conn.SetActive(false);
    conn.SetMaxRetries(3);
    EXPECT_EQ(Read(0, 2).info.ReplyStatus, rsSuccess);
}

TEST_F(ModuleSimTest, StopsPromptlyWhileItHoldsAReplyBack)
{
    ASSERT_EQ(Read(0, 2).info.ReplyStatus, rsSuccess);
    conn.SetMaxRetries(1);
    sim.SetModuleFaults({.replyDelay = 5s});
    const uint64_t handled = sim.Module().RequestsHandled();
    client.ReadHoldingRegisters(0, 2);
    ASSERT_TRUE(ui.PumpUntil([&] { return sim.Module().RequestsHandled() > handled; }, 2s));
    const auto start = std::chrono::steady_clock::now();
    sim.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST(ModuleSimPorts, TheMeterAndTheModuleCannotShareALine)
{
    PortDir dir;
    sim::Simulator clash{{.portDir = dir.Path(), .meterPort = 3, .modulePort = 3}};
    EXPECT_THROW(clash.Start(), std::runtime_error);
    EXPECT_FALSE(clash.Running());
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(ModuleSimPaced, RepliesTakeTheTimeTheirCharactersNeedOnTheLine)
{
    platform::ManualUiDispatcher ui;
    PortDir dir;
    sim::Simulator paced{{.portDir = dir.Path(), .meterPort = 1, .pace = true, .modulePort = 2}};
    paced.Start();
    TModbusConnection conn{&ui};
    conn.SetPort("COM2");
    conn.SetBaudRate(br9600);
    conn.SetParity(psNone);
    conn.SetMaxRetries(3);
    conn.SetSilentInterval(200);
    TModbusClient client;
    client.SetConnection(&conn);
    client.SetServerAddress(static_cast<uint8_t>(paced.Module().Address()));
    std::vector<uint8_t> statuses;
    client.OnHoldingRegistersRead = [&](TModbusClient&, TTransactionInfo& info, uint16_t, uint16_t,
                                        const TRegValues&) { statuses.push_back(info.ReplyStatus); };
    conn.SetActive(true);
    client.ReadHoldingRegisters(0, 2);  // lets the module's line settle first
    ASSERT_TRUE(ui.PumpUntil([&] { return statuses.size() == 1; }, 10s));
    ASSERT_EQ(statuses[0], rsSuccess);

    // 125 registers: 255 bytes of 10 bits at 9600 bit/s take 266 ms on the line.
    const auto start = std::chrono::steady_clock::now();
    client.ReadHoldingRegisters(0, 125);
    ASSERT_TRUE(ui.PumpUntil([&] { return statuses.size() == 2; }, 10s));
    EXPECT_EQ(statuses[1], rsSuccess);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 265ms);
    conn.SetActive(false);
}

} // namespace
} // namespace veltro::test
