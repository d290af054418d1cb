// The simulated meter driven by the real IEC 62056-21 client over a pseudo-terminal,
// plus raw exchanges for what the client cannot show.

#include "SimFixture.h"

#include <filesystem>
#include <ostream>

namespace veltro::test {
namespace {

using link::ACK;
using link::CR;
using link::ETX;
using link::LF;
using link::SOH;
using link::STX;
constexpr char NAK = 0x15;

class MeterSimTest : public SimFixture {};

TEST_F(MeterSimTest, ReadRunReturnsTheStoredDataSetsAndSignsOff)
{
    sim.State().SetModbusAddressText("5");
    sim.State().SetModbusSettingsText("19200 8E2");

    ASSERT_TRUE(client.Connect(kIdent));
    EXPECT_EQ(client.Response, "/VLT5VeltroSim");
    ASSERT_TRUE(client.SwitchBaudRate());
    EXPECT_EQ(client.Response, std::string{SOH} + "P0" + STX + "(" + kSerial + ")" + ETX);

    EXPECT_EQ(Value("0.0.1"), kSerial);
    EXPECT_EQ(Value("0.0.7"), "5");
    EXPECT_EQ(Value("0.0.8"), "19200 8E2");  // the blank survives: codes 0.x are not trimmed
    EXPECT_EQ(client.Response, std::string{STX} + "0.0.8(19200 8E2)" + ETX);
    EXPECT_TRUE(client.Disconnect());
    EXPECT_TRUE(client.Errors.empty());
    EXPECT_EQ(sim.Meter().Stats().breaks, 1u);
}

TEST_F(MeterSimTest, SignOnIsAnsweredForTheOwnOrAnEmptyIdentifierOnly)
{
    // The meter answers in order, so when the identification arrives a reply to the
    // foreign request would already have come before it.
    const std::string reply = Exchange("/?999!\r\n/?!\r\n", "\r\n");
    EXPECT_EQ(reply, "/VLT5VeltroSim\r\n");
    EXPECT_TRUE(WaitUntil([&] { return sim.Meter().Stats().signOns == 2; }));

    ASSERT_TRUE(client.Connect(""));
    EXPECT_TRUE(client.SwitchBaudRate());
}

TEST_F(MeterSimTest, WrittenValuesAreKeptForLaterSessionsAndReachTheModuleSettings)
{
    SignOn();
    ASSERT_TRUE(client.SetPassword(kPassword));
    ASSERT_TRUE(client.WriteData("0.0.7", "0100"));  // sent as typed, leading zero included
    ASSERT_TRUE(client.WriteData("0.0.8", "4800 8O2"));
    ASSERT_TRUE(client.Disconnect());

    SignOn();
    EXPECT_EQ(Value("0.0.7"), "0100");
    EXPECT_EQ(Value("0.0.8"), "4800 8O2");
    EXPECT_EQ(sim.State().ModbusAddress(), 100);
    EXPECT_EQ(sim.State().ModbusLineSettings(), (sim::ModuleLineSettings{4800, 8, 'O', 2}));

    // Empty values select the automatic address and the default settings again.
    ASSERT_TRUE(client.SetPassword(kPassword));
    ASSERT_TRUE(client.WriteData("0.0.7", ""));
    ASSERT_TRUE(client.WriteData("0.0.8", ""));
    EXPECT_EQ(Value("0.0.7"), "");
    EXPECT_EQ(sim.State().ModbusAddress(), 121);  // 87654321: 21 + 100
    EXPECT_EQ(sim.State().ModbusLineSettings(), sim::ModuleLineSettings{});
}

struct RefusedWrite {
    const char* name;
    bool sendPassword;
    const char* password;
    bool nakPasswordFault;
    const char* code;
    const char* value;
};

std::ostream& operator<<(std::ostream& out, const RefusedWrite& c) { return out << c.name; }

class MeterSimRefusedWrite : public SimFixture, public ::testing::WithParamInterface<RefusedWrite> {};

TEST_P(MeterSimRefusedWrite, IsAnsweredWithNakAndChangesNothing)
{
    const RefusedWrite& c = GetParam();
    sim.State().SetModbusAddressText("7");
    sim.State().SetModbusSettingsText("9600 8N1");
    sim.Meter().SetFaults({.nakPassword = c.nakPasswordFault});
    const uint64_t version = sim.State().Version();
    SignOn();
    if (c.sendPassword) {
        const bool passwordGood = std::string(c.password) == kPassword && !c.nakPasswordFault;
        EXPECT_EQ(client.SetPassword(c.password), passwordGood);
    }

    EXPECT_FALSE(client.WriteData(c.code, c.value));
    // The client tried three times and heard a refusal each time, not a time-out.
    EXPECT_EQ(sim.Meter().Stats().writes, 3u);
    EXPECT_EQ(client.Errors, std::vector<std::string>(3, "ReadCharTimed: timed out"));
    EXPECT_EQ(sim.State().Version(), version);
    EXPECT_EQ(Value("0.0.7"), "7");
    EXPECT_EQ(Value("0.0.8"), "9600 8N1");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MeterSimRefusedWrite,
    ::testing::Values(RefusedWrite{"NoPassword", false, "", false, "0.0.7", "5"},
                      RefusedWrite{"WrongPassword", true, "KLOMB", false, "0.0.7", "5"},
                      RefusedWrite{"PasswordFault", true, SimFixture::kPassword, true, "0.0.8", "19200 8E1"},
                      RefusedWrite{"SerialNumberIsReadOnly", true, SimFixture::kPassword, false, "0.0.1", "1"},
                      RefusedWrite{"AddressOutOfRange", true, SimFixture::kPassword, false, "0.0.7", "248"},
                      RefusedWrite{"AddressNotANumber", true, SimFixture::kPassword, false, "0.0.7", "abc"},
                      RefusedWrite{"SettingsWithTrailingBlank", true, SimFixture::kPassword, false, "0.0.8", "9600 8N1 "},
                      RefusedWrite{"SettingsUnknownRate", true, SimFixture::kPassword, false, "0.0.8", "1000 8N1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MeterSimTest, WrongPasswordRevokesAnEarlierGoodOne)
{
    SignOn();
    ASSERT_TRUE(client.SetPassword(kPassword));
    EXPECT_FALSE(client.SetPassword("WRONG"));
    client.Retries = 1;
    EXPECT_FALSE(client.WriteData("0.0.7", "9"));
    EXPECT_EQ(sim.State().ModbusAddressText(), "");
}

TEST_F(MeterSimTest, WrongBccFaultMakesEveryAttemptFailThenTheSessionGoesOn)
{
    SignOn();
    sim.Meter().SetFaults({.wrongBcc = true});
    EXPECT_FALSE(client.ReadValue("0.0.1"));
    EXPECT_EQ(sim.Meter().Stats().reads, 3u);
    const std::string reply = std::string{STX} + "0.0.1(" + kSerial + ")" + ETX;
    const char wrongBcc = static_cast<char>(link::TIec1107::CalcBcc(reply) ^ 0x01);
    EXPECT_EQ(client.Errors, std::vector<std::string>(3, reply + wrongBcc));

    EXPECT_FALSE(client.SwitchBaudRate());
    EXPECT_EQ(sim.Meter().Stats().optionSelects, 1u + 3u);

    sim.Meter().SetFaults({});
    EXPECT_EQ(Value("0.0.1"), kSerial);
}

TEST_F(MeterSimTest, GarbageFaultPrefixesAnOtherwiseIntactReply)
{
    SignOn();
    sim.Meter().SetFaults({.garbage = true});
    const std::string frame = std::string{STX} + "0.0.1(" + kSerial + ")" + ETX;
    const std::string reply = Exchange(Command(std::string{SOH} + "R1" + STX + "0.0.1()" + ETX), {ETX});
    EXPECT_EQ(reply, sim::MeterSim::kGarbage + frame);
    char bcc = 0;
    ASSERT_TRUE(line->ReadCharTimed(bcc, 1000));
    EXPECT_EQ(static_cast<uint8_t>(bcc), link::TIec1107::CalcBcc(frame));

    // The client takes the reply from its first byte, so the stray bytes break its
    // block check; the identification line, read up to CR LF, merely carries them.
    client.Retries = 1;
    EXPECT_FALSE(client.ReadValue("0.0.1"));
    ASSERT_TRUE(client.Connect(kIdent));
    EXPECT_EQ(client.Response, std::string(sim::MeterSim::kGarbage) + "/VLT5VeltroSim");
}

TEST_F(MeterSimTest, SlowRepliesWithinTheTimeOutsStillSucceed)
{
    SignOn();
    const auto delay = std::chrono::milliseconds(300);
    sim.Meter().SetFaults({.replyDelay = delay});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Value("0.0.1"), kSerial);
    EXPECT_TRUE(client.Disconnect());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 2 * delay);
    EXPECT_TRUE(client.Errors.empty());
}

struct RawCase {
    const char* name;
    bool programming;     // after option select, else right after sign-on
    std::string request;  // without BCC unless badBcc
    bool badBcc;
    std::string reply;    // up to the terminator
    std::string terminator;
};

std::ostream& operator<<(std::ostream& out, const RawCase& c) { return out << c.name; }

class MeterSimRaw : public SimFixture, public ::testing::WithParamInterface<RawCase> {};

TEST_P(MeterSimRaw, Answers)
{
    const RawCase& c = GetParam();
    ASSERT_TRUE(client.Connect(kIdent));
    if (c.programming) {
        ASSERT_TRUE(client.SwitchBaudRate());
    }
    const std::string request =
        c.badBcc ? c.request + static_cast<char>(link::TIec1107::CalcBcc(c.request) ^ 0x20) : Command(c.request);
    EXPECT_EQ(Exchange(request, c.terminator), c.reply);
}

const std::string kR1Unknown = std::string{SOH} + "R1" + STX + "1.8.0()" + ETX;
const std::string kR1Serial = std::string{SOH} + "R1" + STX + "0.0.1()" + ETX;
const std::string kBreak = std::string{SOH} + "B0" + ETX;

INSTANTIATE_TEST_SUITE_P(
    Cases, MeterSimRaw,
    ::testing::Values(
        RawCase{"UnknownCode", true, kR1Unknown, false, std::string{STX} + "(ERROR)" + ETX, {ETX}},
        RawCase{"BadBlockCheck", true, kR1Serial, true, {NAK}, {NAK}},
        RawCase{"UnknownCommand", true, std::string{SOH} + "E2" + STX + "0.0.1(1)" + ETX, false, {NAK}, {NAK}},
        RawCase{"ReadBeforeOptionSelect", false, kR1Serial, false, {NAK}, {NAK}},
        RawCase{"BreakBeforeOptionSelect", false, kBreak, false, {ACK}, {ACK}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MeterSimTest, CommandsOutsideASessionAreIgnored)
{
    SignOn();
    ASSERT_TRUE(client.Disconnect());
    // After the break only a sign-on is heard: the read gets no reply, so the first
    // thing back is the identification line.
    EXPECT_EQ(Exchange(Command(kR1Serial) + "/?!\r\n", "\r\n"), "/VLT5VeltroSim\r\n");
    EXPECT_EQ(sim.Meter().Stats().reads, 1u);
}

TEST_F(MeterSimTest, ClosingThePortEndsTheSessionAndTheNextClientIsServed)
{
    SignOn();
    sim::SimPort& port = *sim.MeterPort();
    EXPECT_TRUE(WaitUntil([&] { return port.ClientPresent(); }));
    line->Disconnect();
    EXPECT_TRUE(WaitUntil([&] { return port.ClientHangUps() == 1 && !port.ClientPresent(); }));

    line->Connect();
    ASSERT_TRUE(line->IsConnected());
    // The session of the previous client is gone: its read is not answered.
    EXPECT_EQ(Exchange(Command(kR1Serial) + "/?!\r\n", "\r\n"), "/VLT5VeltroSim\r\n");
    EXPECT_TRUE(WaitUntil([&] { return port.ClientOpens() == 2; }));
    SignOn();
    EXPECT_EQ(Value("0.0.1"), kSerial);
}

TEST_F(MeterSimTest, StopReturnsPromptlyDuringASlowReplyAndWithdrawsThePort)
{
    SignOn();
    sim.Meter().SetFaults({.replyDelay = std::chrono::seconds(30)});
    ASSERT_TRUE(line->WriteString(Command(kR1Serial)));
    ASSERT_TRUE(WaitUntil([&] { return sim.Meter().Stats().reads == 1; }));

    const auto start = std::chrono::steady_clock::now();
    sim.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    std::error_code ec;
    EXPECT_FALSE(std::filesystem::is_symlink(dir.Path() + "/COM1", ec));

    // Started again, it publishes a fresh line and serves it.
    sim.Meter().SetFaults({});
    sim.Start();
    FdLink again(platform::ResolvePortName("COM1"));
    again.Connect();
    ASSERT_TRUE(again.IsConnected());
    client.Link = &again;
    SignOn();
}

}  // namespace
}  // namespace veltro::test
