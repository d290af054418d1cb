// Long polling against a misbehaving module: our connection and client ask the simulated
// module for the monitoring page's three blocks, one request at a time, with the page's
// expected-length framing, while a random fault is switched on before each request
// (silence, broken CRC, exception replies, stray bytes, an echoed request, a cut-off reply,
// a short or a too-long delay). A late reply lands in the next exchange, as on a real bus.
// Whatever comes back, every request must end in exactly one event, every success must carry
// the values of the block it asked for, the page's statistics must add up, and memory must
// not grow once the first exchanges have warmed everything up.
//
// VELTRO_SOAK_TRANSACTIONS sets the number of requests (default 20000); the figures are
// printed at the end. The test run of scripts/test makes a shorter one.

#include "core/ModuleRegisters.h"
#include "core/PollStatistics.h"
#include "modbus/ModbusClient.h"
#include "modbus/ModbusConnection.h"
#include "platform/ManualUiDispatcher.h"
#include "simulator/ModuleModel.h"
#include "simulator/Simulator.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <unistd.h>

namespace veltro::test {
namespace {

using namespace std::chrono_literals;
using namespace veltro::modbus;

enum Fault { fNone, fSilent, fWrongCrc, fException, fGarbage, fEcho, fTruncated, fShortDelay, fLongDelay, kFaults };
constexpr std::array<const char*, kFaults> kFaultNames = {"none",    "silent",    "wrong CRC",   "exception", "garbage",
                                                           "echo",    "truncated", "short delay", "long delay"};
// Relative weights: half the requests meet a healthy module; the faults that cost a
// whole time-out are rarer, so the run stays a few minutes long.
constexpr std::array<int, kFaults> kWeights = {60, 3, 5, 6, 5, 5, 5, 8, 3};

// Under a sanitizer the allocator keeps freed memory in quarantine and grows its shadow,
// so resident memory says nothing there; its leak check at exit stands in.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryMeasurable = false;
#else
constexpr bool kMemoryMeasurable = true;
#endif

constexpr auto kReceiveTimeout = 50ms;
constexpr std::array<int, 3> kExceptionCodes = {1, 2, 4};

sim::ModuleFaults FaultsFor(Fault fault, std::mt19937& rng)
{
    switch (fault) {
    case fSilent: return {.silent = true};
    case fWrongCrc: return {.wrongCrc = true};
    case fException: return {.exceptionCode = kExceptionCodes[rng() % kExceptionCodes.size()]};
    case fGarbage: return {.garbage = true};
    case fEcho: return {.echo = true};
    case fTruncated: return {.truncated = true};
    case fShortDelay: return {.replyDelay = 20ms};
    case fLongDelay: return {.replyDelay = kReceiveTimeout + 50ms};
    default: return {};
    }
}

// Whether the registers of a reply are the block that was asked for, judged by what only
// that block holds: the meter serial number and the network frequency in the first, the
// three voltages and currents of the load in the second, valid load-profile stamps in the
// third. A late reply taken for the next request shows one block's words in another's place.
bool CarriesItsBlock(uint16_t start, const TRegValues& values, uint32_t serial)
{
    const core::RegisterBlock block(values);
    const auto near = [](double value, double nominal, double share) {
        return std::abs(value - nominal) <= nominal * share;
    };
    switch (start) {
    case 0:
        return block.RegLongWord(core::kRegSerial) == serial && near(block.RegSingle(core::kRegFrequency), 50.0, 0.02);
    case 58:
        for (size_t i = 0; i < 3; ++i)
            if (!near(block.RegSingle(core::kRegVoltage[i]), 230.0, 0.05)
                || !near(block.RegSingle(core::kRegCurrent[i]), sim::ModuleModel::kNominalCurrent[i], 0.3))
                return false;
        return true;
    case 116:
        return block.RegStamp(0, 3).has_value() && block.RegStamp(core::kProfileRecordSize, core::kProfileRecordSize + 3);
    default:
        return false;
    }
}

size_t ResidentKb()
{
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE)) / 1024;
}

size_t Wanted()
{
    const char* text = std::getenv("VELTRO_SOAK_TRANSACTIONS");
    const long n = text ? std::atol(text) : 20000;
    return n > 0 ? static_cast<size_t>(n) : 20000;
}

class PollingSoak : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim.State().SetModbusSettingsText("19200 8N1");
        sim.Start();
        conn.SetPort("COM2");
        conn.SetBaudRate(br19200);
        conn.SetParity(psNone);
        conn.SetReceiveTimeout(static_cast<uint32_t>(kReceiveTimeout.count()));
        conn.SetSilentInterval(4);
        conn.SetMaxRetries(2);
        conn.SetFrameEnd(feExpectedLength);
        client.SetConnection(&conn);
        client.SetServerAddress(static_cast<uint8_t>(sim.Module().Address()));
        client.OnHoldingRegistersRead = [this](TModbusClient&, TTransactionInfo& info, uint16_t start, uint16_t,
                                               const TRegValues& values) {
            // Only counts and the newest: a record of every event would itself make
            // memory grow with the run.
            ++events;
            last = info;
            if (info.ReplyStatus == rsSuccess && !CarriesItsBlock(start, values, static_cast<uint32_t>(std::stoul(sim.State().SerialNumber()))))
                ++wrongValues;
        };
        conn.SetActive(true);
    }

    void TearDown() override
    {
        conn.SetActive(false);
        sim.Stop();
    }

    // One poll as the page makes it; false when no event came within the bound.
    bool Poll(size_t i)
    {
        const core::RegisterBlockRange& block = core::kModuleBlocks[i % core::kModuleBlocks.size()];
        stats.Request(core::PollStatistics::Clock::now());
        client.ReadHoldingRegisters(block.start, block.count, static_cast<int32_t>(i));
        // Three attempts of a time-out each, and a margin for a machine under load.
        if (!ui.PumpUntil([&] { return events > i; }, 10s))
            return false;
        stats.Reply(core::OutcomeOf(last.ReplyStatus), core::PollStatistics::Clock::now());
        return true;
    }

    platform::ManualUiDispatcher ui;
    PortDir dir;
    sim::Simulator sim{{.portDir = dir.Path(), .meterPort = 1, .modulePort = 2}};
    TModbusConnection conn{&ui};
    TModbusClient client;
    size_t events = 0;
    size_t wrongValues = 0;  // successes that carried another block's words
    TTransactionInfo last;
    core::PollStatistics stats;
};

TEST_F(PollingSoak, EveryRequestEndsInOneEventAndTheStatisticsAddUp)
{
    const size_t wanted = Wanted();
    const size_t warmUp = std::min<size_t>(2000, wanted / 10);
    std::mt19937 rng(20261208);
    std::discrete_distribution<int> pick(kWeights.begin(), kWeights.end());
    std::array<size_t, kFaults> faultCount{};
    std::array<std::array<size_t, 4>, kFaults> outcomes{};  // per fault, per reply status

    const auto start = std::chrono::steady_clock::now();
    size_t rssWarm = 0;
    for (size_t i = 0; i < wanted; ++i) {
        if (i == warmUp)
            rssWarm = ResidentKb();
        const auto fault = static_cast<Fault>(pick(rng));
        ++faultCount[fault];
        sim.SetModuleFaults(FaultsFor(fault, rng));
        ASSERT_TRUE(Poll(i)) << "request " << i << " (" << kFaultNames[fault] << ") never ended";
        ASSERT_EQ(events, i + 1) << "more than one event for a request";
        const TTransactionInfo& info = last;
        ASSERT_EQ(info.UserData, static_cast<int32_t>(i)) << "events out of order";
        ASSERT_LE(info.ReplyStatus, rsSuccess);
        ++outcomes[fault][info.ReplyStatus];
    }
    const size_t rssEnd = ResidentKb();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // Nothing more may come: closing delivers or drops what is left, and no request gets
    // a second event.
    conn.SetActive(false);
    ui.Pump();
    EXPECT_EQ(events, wanted);

    EXPECT_EQ(stats.FRequests, static_cast<int>(wanted));
    EXPECT_EQ(stats.FResponses + stats.FUnmatched + stats.FExceptions + stats.FTimeouts + stats.FInvalid,
              stats.FRequests);
    size_t succeeded = 0, excepted = 0;
    for (const auto& row : outcomes) {
        succeeded += row[rsSuccess];
        excepted += row[rsException];
    }
    EXPECT_EQ(stats.FResponses, static_cast<int>(succeeded));
    EXPECT_EQ(wrongValues, 0u) << "a success must carry the values of the block it asked for";
    EXPECT_EQ(stats.FExceptions, static_cast<int>(excepted));
    EXPECT_LE(stats.FMaxConsecErrors, stats.FRequests - stats.FResponses);

    // The faults did what they name, allowing for the exchanges a late reply from the
    // request before disturbs. An intact reply behind stray bytes or the request's echo is
    // found and read.
    const auto share = [&](Fault f, uint8_t status) {
        return faultCount[f] == 0 ? 1.0 : static_cast<double>(outcomes[f][status]) / faultCount[f];
    };
    for (Fault f : {fNone, fShortDelay, fGarbage, fEcho})
        EXPECT_GE(share(f, rsSuccess), 0.9) << kFaultNames[f];
    EXPECT_GE(share(fException, rsException), 0.9);
    EXPECT_GE(share(fSilent, rsNoReply), 0.9);
    for (Fault f : {fWrongCrc, fTruncated})
        EXPECT_LE(share(f, rsSuccess), 0.1) << kFaultNames[f];

    // Every buffer is sized by its first use; what stays must be flat from there on.
    if (kMemoryMeasurable) {
        EXPECT_LT(rssEnd, rssWarm + 512) << "resident memory grew from " << rssWarm << " kB to " << rssEnd << " kB";
    }

    std::cout << "soak: " << wanted << " transactions in " << seconds << " s; resident memory " << rssWarm
              << " kB after " << warmUp << ", " << rssEnd << " kB at the end\n";
    std::cout << "soak: replies success " << stats.FResponses << " (" << wrongValues << " with another block's values)" << ", unmatched " << stats.FUnmatched
              << ", exception " << stats.FExceptions << ", no reply " << stats.FTimeouts << ", invalid "
              << stats.FInvalid << "; longest failure run " << stats.FMaxConsecErrors << "\n";
    for (int f = 0; f < kFaults; ++f)
        std::printf("soak: %-11s %6zu requests -> no reply %zu, unmatched %zu, exception %zu, success %zu\n",
                    kFaultNames[f], faultCount[f], outcomes[f][rsNoReply], outcomes[f][rsUnmatched],
                    outcomes[f][rsException], outcomes[f][rsSuccess]);
}

}  // namespace
}  // namespace veltro::test
