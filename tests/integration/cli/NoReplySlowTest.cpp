// A meter that does not answer: the read waits out the sign-on's real time-outs (about
// twelve seconds), then fails with exit status 1 and says so, and still leaves its record.
#include "integration/cli/CliFixture.h"

namespace veltro::test {
namespace {

class SilentMeter : public CliFixture {};

TEST_F(SilentMeter, FailsTheReadWithItsReasonAndARecord)
{
    sim.Meter().SetFaults({.silent = true});
    const CliResult r = Run({"leggi", "--id", kSerial});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("veltro leggi: Connessione al contatore fallita"), std::string::npos) << r.err;
    ASSERT_EQ(Records().size(), 1);
    EXPECT_TRUE(Records()[0].contains(QStringLiteral("Esito: non riuscito")));
}

}  // namespace
}  // namespace veltro::test
