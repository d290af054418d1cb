// The IEC 62056-21 client against a scripted link: every byte written is recorded and
// every read is answered from a script, so the dialogue can be checked byte for byte.
#include "link/Iec1107.h"
#include "support/NullLink.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

using namespace veltro::link;

namespace {

class ScriptedLink : public veltro::test::NullLink {
public:
    std::vector<std::string> written;
    std::deque<std::string> replies;   // one entry per read; "" = time-out
    int skips = 0;
    bool throwOnWrite = false;

    bool IsConnected() override { return true; }
    bool WriteString(const std::string& bytes) override
    {
        if (throwOnWrite)
            throw std::runtime_error("port gone");
        written.push_back(bytes);
        return true;
    }
    void SkipChars(uint32_t) override
    {
        ++skips;
        LastError = "ReadCharTimed: timed out";
    }
    bool ReadCharTimed(char& c, uint32_t) override
    {
        const std::string r = Next();
        if (r.size() != 1) {
            LastError = "ReadCharTimed: timed out";
            return false;
        }
        c = r[0];
        return true;
    }
    bool ReadStringTimed(std::string& text, const std::string&, uint32_t) override
    {
        text = Next();
        if (text.empty())
            LastError = "ReadStringTimed: timed out";
        return !text.empty();
    }

private:
    std::string Next()
    {
        if (replies.empty())
            return {};
        std::string r = replies.front();
        replies.pop_front();
        return r;
    }
};

std::string Bcc(const std::string& s)
{
    return std::string(1, static_cast<char>(TIec1107::CalcBcc(s)));
}

class Iec : public ::testing::Test {
protected:
    void SetUp() override
    {
        iec.Link = &link;
        iec.Pause = [this](uint32_t ms) { pauses.push_back(ms); };
    }
    ScriptedLink link;
    TIec1107 iec;
    std::vector<uint32_t> pauses;
};

const std::string kReply007 = std::string{STX} + "0.0.7(12)" + ETX;

}  // namespace

TEST(Iec1107Bcc, CoversEverythingAfterTheFirstByte)
{
    EXPECT_EQ(TIec1107::CalcBcc(std::string{SOH, 'B', '0', ETX}), 0x71);
    EXPECT_EQ(TIec1107::CalcBcc("A"), 0);
    EXPECT_EQ(TIec1107::CalcBcc(""), 0);
}

TEST_F(Iec, ConnectSendsWakeUpAndSignOnAndStripsCrLf)
{
    link.replies = {"/ABC5XYZ\r\n"};
    ASSERT_TRUE(iec.Connect("12345678"));
    EXPECT_EQ(iec.Response, "/ABC5XYZ");
    ASSERT_EQ(link.written.size(), 2u);
    EXPECT_EQ(link.written[0], std::string(8, '\0'));
    EXPECT_EQ(link.written[1], "/?12345678!\r\n");
}

TEST_F(Iec, ConnectRetriesWithGrowingPauses)
{
    EXPECT_FALSE(iec.Connect("1"));
    EXPECT_EQ(pauses, (std::vector<uint32_t>{50, 100, 150}));
    EXPECT_EQ(link.written.size(), 6u);
    EXPECT_EQ(iec.Errors, (std::vector<std::string>(3, "ReadStringTimed: timed out")));
}

TEST_F(Iec, OptionSelectAndReadValueWithTheirBlockChecks)
{
    const std::string ack = std::string{STX} + "P0" + STX + "(1234)" + ETX;
    link.replies = {ack, Bcc(ack), kReply007, Bcc(kReply007)};
    ASSERT_TRUE(iec.SwitchBaudRate());
    EXPECT_EQ(link.written[0], (std::string{ACK, '0', '5', '1', CR, LF}));
    ASSERT_TRUE(iec.ReadValue("0.0.7"));
    const std::string cmd = std::string{SOH} + "R1" + STX + "0.0.7()" + ETX;
    EXPECT_EQ(link.written[1], cmd + Bcc(cmd));
    std::string value;
    iec.GetValueText(value);
    EXPECT_EQ(value, "12");
}

TEST_F(Iec, WrongBlockCheckFailsEachAttemptWithReplyAndByteAsDetail)
{
    const char wrong = static_cast<char>(TIec1107::CalcBcc(kReply007) ^ 1);
    for (int i = 0; i < 3; ++i) {
        link.replies.push_back(kReply007);
        link.replies.push_back(std::string(1, wrong));
    }
    EXPECT_FALSE(iec.ReadValue("0.0.7"));
    ASSERT_EQ(iec.Errors.size(), 3u);
    EXPECT_EQ(iec.Errors[0], kReply007 + wrong);
    EXPECT_EQ(link.skips, 3 + 3);  // the 20 ms skip before each send, the 50 ms after each failure
}

TEST_F(Iec, UnitsAreTrimmedOnlyForCodesStartingWithOneToEight)
{
    std::string energy = std::string{STX} + "1.8.0(0001234.5 kWh)" + ETX;
    std::string settings = std::string{STX} + "0.0.8(9600 8N1)" + ETX;
    link.replies = {energy, Bcc(energy), settings, Bcc(settings)};
    ASSERT_TRUE(iec.ReadValue("1.8.0"));
    EXPECT_EQ(iec.Response, (std::string{STX} + "1.8.0(0001234.5)" + ETX));
    ASSERT_TRUE(iec.ReadValue("0.0.8"));
    std::string value;
    iec.GetValueText(value);
    EXPECT_EQ(value, "9600 8N1");
}

TEST_F(Iec, ValueTextWithoutBrackets)
{
    iec.Response = "abc)def";
    std::string v;
    iec.GetValueText(v);
    EXPECT_EQ(v, "abc");
    iec.Response = "x(abc";
    iec.GetValueText(v);
    EXPECT_EQ(v, "abc");
}

TEST_F(Iec, WritePasswordAndBreakFrames)
{
    link.replies = {std::string{ACK}, std::string{ACK}, std::string{ACK}};
    ASSERT_TRUE(iec.SetPassword("KLOMB"));
    const std::string p1 = std::string{SOH} + "P1" + STX + "(KLOMB)" + ETX;
    EXPECT_EQ(link.written[0], p1 + Bcc(p1));
    ASSERT_TRUE(iec.WriteData("0.0.7", ""));
    const std::string w1 = std::string{SOH} + "W1" + STX + "0.0.7()" + ETX;
    EXPECT_EQ(link.written[1], w1 + Bcc(w1));
    ASSERT_TRUE(iec.Disconnect());
    EXPECT_EQ(link.written[2], (std::string{SOH, 'B', '0', ETX, 'q'}));
}

TEST_F(Iec, RefusedPasswordIsTriedOnceAndSkipsTheRest)
{
    link.replies = {"\x15"};  // NAK
    iec.Retries = 5;
    EXPECT_FALSE(iec.SetPassword("WRONG"));
    EXPECT_EQ(link.written.size(), 1u);
    EXPECT_EQ(link.skips, 1);
    EXPECT_EQ(iec.Errors, (std::vector<std::string>{"ReadCharTimed: timed out"}));
}

TEST_F(Iec, ZeroRetriesSendsNothingExceptThePassword)
{
    iec.SetRetries(0);
    EXPECT_FALSE(iec.Connect("1"));
    EXPECT_FALSE(iec.SwitchBaudRate());
    EXPECT_FALSE(iec.ReadValue("0.0.1"));
    EXPECT_FALSE(iec.WriteData("0.0.7", "5"));
    EXPECT_FALSE(iec.Disconnect());
    EXPECT_TRUE(link.written.empty());
    EXPECT_FALSE(iec.SetPassword("X"));
    EXPECT_EQ(link.written.size(), 1u);
}

TEST_F(Iec, ErrorListIsCappedAtTwentyWithTheNewestLast)
{
    iec.Retries = 25;
    for (int i = 0; i < 25; ++i)
        link.replies.push_back(std::string(1, static_cast<char>('a' + i)));  // never ACK
    EXPECT_FALSE(iec.Disconnect());
    ASSERT_EQ(iec.Errors.size(), 20u);
    EXPECT_EQ(iec.Errors.back(), "y");
    EXPECT_EQ(iec.Errors[18], "s");
}

TEST_F(Iec, AnErrorInsideGetDataNamesTheCommand)
{
    link.throwOnWrite = true;
    try {
        iec.GetData("CMD");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "GetData(CMD)");
    }
}
