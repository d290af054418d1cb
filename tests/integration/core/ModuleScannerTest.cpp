// The module search against the simulated module on a pseudo-terminal. The module
// understands only its own line settings, so every candidate at another setting or
// address runs into the scan's receive time-out: those time-outs pace these tests.

#include "core/ModuleScanner.h"
#include "modbus/ModbusConnection.h"
#include "platform/ManualUiDispatcher.h"
#include "simulator/Simulator.h"
#include "support/PortFree.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

namespace veltro::test {
namespace {

using namespace std::chrono_literals;
using core::DisturbanceKind;
using core::RtuSettings;

constexpr uint32_t kSerial = 87654321;

class ModuleScan : public ::testing::Test {
protected:
    void SetUp() override { sim.State().SetSerialNumber(std::to_string(kSerial)); }
    void TearDown() override { sim.Stop(); }

    void StartModule(int address, const std::string& settings)
    {
        sim.State().SetModbusAddressText(std::to_string(address));
        sim.State().SetModbusSettingsText(settings);
        sim.Start();
    }

    core::ScanOptions Options(int first, int last, std::vector<RtuSettings> settings = {RtuSettings{}})
    {
        core::ScanOptions o;
        o.Port = "COM2";
        o.FirstAddress = first;
        o.LastAddress = last;
        o.Settings = std::move(settings);
        return o;
    }

    // Runs a search to its end.
    core::ScanResult Scan(const core::ScanOptions& options)
    {
        scanner.Start(options);
        EXPECT_TRUE(scanner.Busy());
        EXPECT_TRUE(ui.PumpUntil([&] { return result.has_value(); }, 60s));
        return result.value_or(core::ScanResult{});
    }

    // The port is free again: the scanner opened it exclusively.
    bool PortClosed() { return PortFree("COM2", &ui); }

    platform::ManualUiDispatcher ui;
    PortDir dir;
    sim::Simulator sim{{.portDir = dir.Path(), .meterPort = 1, .modulePort = 2}};
    core::ModuleScanner scanner{&ui};
    std::vector<core::ScanProgress> progress;
    std::optional<core::ScanResult> result;

    ModuleScan()
    {
        scanner.OnProgress = [this](const core::ScanProgress& p) { progress.push_back(p); };
        scanner.OnFinished = [this](const core::ScanResult& r) {
            EXPECT_FALSE(scanner.Busy());
            result = r;
        };
    }
};

TEST_F(ModuleScan, FindsTheModuleAtAnUnusualAddressAndSettingTryingTheLikelySettingsFirst)
{
    StartModule(203, "2400 8O2");
    std::vector<core::FoundStation> announced;
    scanner.OnStationFound = [&](const core::FoundStation& s) { announced.push_back(s); };
    const core::ScanResult r = Scan(Options(202, 203, core::ScanSettings()));

    ASSERT_EQ(r.Stations.size(), 1u);
    EXPECT_EQ(r.Stations[0].Address, 203);
    EXPECT_EQ(r.Stations[0].Settings.Text(), "2400 8O2");
    EXPECT_EQ(r.Stations[0].SerialNumber, kSerial);
    EXPECT_EQ(announced.size(), 1u);
    EXPECT_TRUE(r.Disturbances.empty());
    EXPECT_EQ(r.Lines(), (std::vector<std::string>{"Ricerca terminata: una stazione trovata",
                                                   "Modulo trovato all'indirizzo 203 con 2400 8O2, matricola 87654321"}));
    // Every setting in its turn, both addresses of each, until the last setting's 203.
    const std::vector<RtuSettings> order = core::ScanSettings();
    ASSERT_EQ(progress.size(), 2 * order.size());
    for (size_t i = 0; i < progress.size(); ++i) {
        EXPECT_EQ(progress[i].Settings, order[i / 2]) << i;
        EXPECT_EQ(progress[i].Address, 202 + static_cast<int>(i % 2)) << i;
        EXPECT_EQ(progress[i].Done, static_cast<int>(i));
    }
    EXPECT_EQ(progress.back().Total, 48);
    EXPECT_GT(progress.front().TimeLeft, progress.back().TimeLeft);
    EXPECT_GT(sim.Module().Line()->Misheard(), 0u);
    EXPECT_TRUE(PortClosed());
}

TEST_F(ModuleScan, CancelledHalfwayItEndsWithinOneTimeOutAndClosesThePort)
{
    StartModule(178, "9600 8N1");
    const core::ScanOptions options = Options(1, 40);
    scanner.Start(options);
    ASSERT_TRUE(ui.PumpUntil([&] { return progress.size() >= 20; }, 20s));
    const auto cancelled = std::chrono::steady_clock::now();
    scanner.Cancel();
    ASSERT_TRUE(ui.PumpUntil([&] { return result.has_value(); }, 5s));
    const auto took = std::chrono::steady_clock::now() - cancelled;
    EXPECT_LE(took, core::ScanReceiveTimeout(RtuSettings{}, options.Turnaround) + 50ms);
    EXPECT_TRUE(result->Cancelled);
    EXPECT_GE(result->Done, 19);
    EXPECT_LT(result->Done, 40);
    EXPECT_EQ(result->Lines().front(), "Ricerca annullata dopo " + std::to_string(result->Done) +
                                           " prove di 40, nessun modulo trovato");
    EXPECT_TRUE(PortClosed());
}

TEST_F(ModuleScan, AGarbageOnlyLineFindsNothingAndSaysSo)
{
    StartModule(5, "9600 8N1");
    sim.SetModuleFaults({.noise = true});
    const core::ScanResult r = Scan(Options(1, 8));
    EXPECT_TRUE(r.Stations.empty());
    ASSERT_EQ(r.Disturbances.size(), 8u);
    for (const core::LineDisturbance& d : r.Disturbances)
        EXPECT_EQ(d.Kind, DisturbanceKind::StrayBytes);
    EXPECT_EQ(r.Lines(), (std::vector<std::string>{"Nessun modulo trovato con 9600 8N1 agli indirizzi 1-8",
                                                   "Byte estranei all'indirizzo 1 con 9600 8N1: 7F237E (e in altre 7 prove)"}));
}

TEST_F(ModuleScan, TwoStationsOnTheLineAreBothListed)
{
    sim.Module().SetSecondStation(sim::SecondStation{150, "23456789"});
    StartModule(152, "19200 8E1");
    core::ScanOptions options = Options(149, 153, {RtuSettings{modbus::br19200, modbus::db8, modbus::psEven}});
    options.StopAtFirst = false;
    const core::ScanResult r = Scan(options);
    ASSERT_EQ(r.Stations.size(), 2u);
    EXPECT_EQ(r.Stations[0].Text(), "Modulo trovato all'indirizzo 150 con 19200 8E1, matricola 23456789");
    EXPECT_EQ(r.Stations[1].Text(), "Modulo trovato all'indirizzo 152 con 19200 8E1, matricola 87654321");
    EXPECT_EQ(r.Lines().front(), "Ricerca terminata: 2 stazioni trovate");
    EXPECT_EQ(r.Done, 5);
}

struct LineCase {
    const char* name;
    sim::ModuleFaults faults;
    bool station;
    std::vector<DisturbanceKind> seen;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class ModuleScanLine : public ModuleScan, public ::testing::WithParamInterface<LineCase> {};

// Whatever the line adds, a station is taken only from a reply that answers the read.
TEST_P(ModuleScanLine, ReportsWhatCameBackForWhatItIs)
{
    const LineCase& c = GetParam();
    StartModule(9, "9600 8N1");
    sim.SetModuleFaults(c.faults);
    const core::ScanResult r = Scan(Options(9, 9));
    EXPECT_EQ(r.Stations.size(), c.station ? 1u : 0u);
    std::vector<DisturbanceKind> seen;
    for (const core::LineDisturbance& d : r.Disturbances) {
        seen.push_back(d.Kind);
        EXPECT_FALSE(d.Bytes.empty());
    }
    EXPECT_EQ(seen, c.seen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModuleScanLine,
    ::testing::Values(LineCase{"Echo", {.echo = true}, true, {DisturbanceKind::Echo}},
                      LineCase{"StrayBytesBeforeTheReply", {.garbage = true}, true, {DisturbanceKind::StrayBytes}},
                      LineCase{"WrongCrc", {.wrongCrc = true}, false, {DisturbanceKind::DamagedReply}},
                      LineCase{"CutShort", {.truncated = true}, false, {DisturbanceKind::DamagedReply}},
                      LineCase{"ExceptionReply", {.exceptionCode = 2}, true, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModuleScan, TwoStationsAtOneAddressAreNamedWithBothSerialNumbers)
{
    sim.Module().SetSecondStation(sim::SecondStation{9, "23456789"});
    StartModule(9, "9600 8N1");
    const core::ScanResult r = Scan(Options(9, 9));
    ASSERT_EQ(r.Disturbances.size(), 1u);
    EXPECT_EQ(r.Disturbances[0].Text(),
              "Due stazioni rispondono insieme all'indirizzo 9 con 9600 8N1 (matricole 87654321 e 23456789)");
    EXPECT_EQ(r.Lines().front(), "Nessun modulo trovato con 9600 8N1 all'indirizzo 9");
}

}  // namespace
}  // namespace veltro::test
