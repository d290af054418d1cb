// Ctrl-C while veltro works: the search, a read run and polling end cleanly with status
// 130, the port is free again at once, and a meter in programming mode is signed off.
#include "integration/cli/CliFixture.h"

#include "support/PortFree.h"

namespace veltro::test {
namespace {

struct InterruptCase {
    const char* name;
    std::vector<std::string> args;
    const char* port;                                         // must be free afterwards
    std::function<bool(sim::Simulator&, const CliResult&)> working;  // the moment to press Ctrl-C
    const char* says = nullptr;                               // on stderr afterwards
    std::function<void(sim::Simulator&, const QStringList& records)> after = {};
};

class CtrlC : public CliFixture, public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(CtrlC, EndsTheJobCleanly)
{
    const InterruptCase& c = GetParam();
    // A slow meter, so that the read is caught between two of its steps.
    sim.Meter().SetFaults({.replyDelay = std::chrono::milliseconds(300)});
    CliProgram program(c.args, Environment());
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(program.WaitFor([&](const CliResult& r) { return c.working(sim, r); }, std::chrono::seconds(10)));
    program.Signal(SIGINT);
    const CliResult r = program.Wait(std::chrono::seconds(5));
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_TRUE(PortFree(c.port));
    if (c.says) {
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    if (c.after)
        c.after(sim, Records());
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, CtrlC,
    ::testing::Values(
        InterruptCase{"Search",
                      {"cerca", "--porta", "2", "--velocita", "2400"},
                      "COM2",
                      [](sim::Simulator&, const CliResult& r) {
                          return r.err.find("Ricerca del modulo sulla porta COM2") != std::string::npos;
                      },
                      "Ricerca annullata dopo"},
        InterruptCase{"ReadRun",
                      {"leggi", "--id", "12345678"},
                      "COM1",
                      // In programming mode: the meter must be signed off.
                      [](sim::Simulator& s, const CliResult&) { return s.Meter().Stats().optionSelects > 0; },
                      "Lavoro interrotto dall'utente",
                      [](sim::Simulator& s, const QStringList& records) {
                          EXPECT_TRUE(WaitUntil([&] { return s.Meter().Stats().breaks == 1; }));
                          ASSERT_EQ(records.size(), 1);
                          EXPECT_TRUE(records[0].contains(QStringLiteral("Esito: non riuscito")));
                      }},
        InterruptCase{"Polling",
                      {"interroga", "--porta", "2", "--indirizzo", "178"},
                      "COM2",
                      [](sim::Simulator&, const CliResult& r) { return !r.out.empty(); },
                      "Interrogazione arrestata dopo"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace veltro::test
