// The configuration check after a write to the simulated meter: the simulated module
// follows the new address and settings at once, and the check reads it there.

#include "core/ConfigVerifier.h"
#include "platform/ManualUiDispatcher.h"
#include "simulator/Simulator.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

namespace veltro::test {
namespace {

using namespace std::chrono_literals;

struct VerifyCase {
    const char* name;
    sim::ModuleFaults faults;
    std::string port, expectedSerial;
    core::TVerifyOutcome outcome;
    std::string last;
    std::string alsoLogged;
};

void PrintTo(const VerifyCase& c, std::ostream* os) { *os << c.name; }

class ConfigVerify : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(ConfigVerify, EndsWithOneOutcomeAndTheLineThatSaysIt)
{
    const VerifyCase& c = GetParam();
    platform::ManualUiDispatcher ui;
    PortDir dir;
    sim::Simulator sim{{.portDir = dir.Path(), .meterPort = 1, .modulePort = 2}};
    sim.State().SetSerialNumber("87654321");
    sim.Start();
    // What "2. Scrivi" stores in the meter; the module moves there.
    ASSERT_TRUE(sim.State().WriteDataSet(sim::SimState::kModbusAddressCode, "42"));
    ASSERT_TRUE(sim.State().WriteDataSet(sim::SimState::kModbusSettingsCode, "19200 8E2"));
    ASSERT_TRUE(ui.PumpUntil([&] { return sim.Module().Address() == 42; }, 2s));
    sim.SetModuleFaults(c.faults);

    core::ConfigVerifier verifier(&ui);
    std::vector<std::string> log;
    std::optional<core::TVerifyOutcome> outcome;
    verifier.OnLog = [&](const std::string& line) { log.push_back(line); };
    verifier.OnFinished = [&](core::TVerifyOutcome o, const std::string& line) {
        EXPECT_FALSE(verifier.Busy());
        EXPECT_EQ(line, log.back());
        outcome = o;
    };
    core::VerifyTarget target;
    target.Port = c.port;
    target.Address = 42;
    target.Settings = *core::ParseRtuSettings("19200 8E2");
    target.ExpectedSerial = c.expectedSerial;
    target.Attempts = 2;
    target.ReceiveTimeout = 400ms;
    verifier.Start(target);
    EXPECT_TRUE(verifier.Busy());
    ASSERT_TRUE(ui.PumpUntil([&] { return outcome.has_value(); }, 10s));

    EXPECT_EQ(*outcome, c.outcome);
    EXPECT_EQ(log.back(), c.last);
    EXPECT_NE(std::find(log.begin(), log.end(), c.alsoLogged), log.end()) << c.alsoLogged;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigVerify,
    ::testing::Values(
        VerifyCase{"Match", {}, "COM2", "087654321", core::voMatch,
                   "Verifica riuscita: il modulo risponde all'indirizzo 42 con 19200 8E2 e la matricola corrisponde "
                   "a quella del contatore",
                   "Matricola letta dal modulo: 87654321"},
        VerifyCase{"AnotherSerialNumber", {}, "COM2", "12345678", core::voOtherModule,
                   "Verifica fallita: all'indirizzo 42 risponde un altro modulo (matricola 87654321, contatore "
                   "12345678)",
                   "Matricola letta dal modulo: 87654321"},
        VerifyCase{"SilentModule", {.silent = true}, "COM2", "87654321", core::voNoReply,
                   "Verifica fallita: nessuna risposta all'indirizzo 42 con 19200 8E2 su COM2",
                   "Nuovo tentativo (2 di 2)"},
        VerifyCase{"PortMissing", {}, "COM9", "87654321", core::voPortError,
                   "Verifica non eseguita: impossibile aprire la porta COM9", "Apertura porta COM9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigVerifySerial, TheMeterTextAndTheRegisterValueAreComparedAsNumbers)
{
    EXPECT_TRUE(core::SameSerialNumber("87654321", 87654321));
    EXPECT_TRUE(core::SameSerialNumber(" 0087654321 ", 87654321));
    EXPECT_FALSE(core::SameSerialNumber("87654322", 87654321));
    EXPECT_FALSE(core::SameSerialNumber("", 0));
    EXPECT_FALSE(core::SameSerialNumber("8765A321", 87654321));
    EXPECT_FALSE(core::SameSerialNumber("4294967296", 0));  // does not wrap to 0
    EXPECT_TRUE(core::SameSerialNumber("4294967295", 4294967295u));
}

}  // namespace
}  // namespace veltro::test
