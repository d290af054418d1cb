// Meter behaviour that the client can only observe through its full reply time-outs.

#include "SimFixture.h"

namespace veltro::test {
namespace {

class MeterSimSlowTest : public SimFixture {};

TEST_F(MeterSimSlowTest, SilentMeterMakesEverySignOnAttemptTimeOut)
{
    sim.Meter().SetFaults({.silent = true});
    client.Retries = 2;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Connect(kIdent));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2 * 4000));
    EXPECT_EQ(client.Errors, std::vector<std::string>(2, "ReadStringTimed: timed out"));
    // Both attempts reached the meter; it heard nothing.
    EXPECT_EQ(sim.Meter().Stats().signOns, 2u);

    sim.Meter().SetFaults({});
    EXPECT_TRUE(client.Connect(kIdent));
}

TEST_F(MeterSimSlowTest, SignOnForAnotherMeterIsNotAnswered)
{
    client.Retries = 1;
    EXPECT_FALSE(client.Connect("1111"));
    EXPECT_EQ(client.Errors, std::vector<std::string>(1, "ReadStringTimed: timed out"));
    EXPECT_EQ(sim.Meter().Stats().signOns, 1u);
}

TEST_F(MeterSimSlowTest, SilentMeterLeavesTheBreakUnacknowledged)
{
    SignOn();
    sim.Meter().SetFaults({.silent = true});
    client.Retries = 1;
    EXPECT_FALSE(client.Disconnect());
    EXPECT_EQ(client.Errors, std::vector<std::string>(1, "ReadCharTimed: timed out"));
}

}  // namespace
}  // namespace veltro::test
