// The IEC 62056-21 client over the real serial link and a pseudo-terminal; the meter is
// a script on the pty master that checks every byte the client sends.
#include "link/Iec1107.h"
#include "link/LinkSerial.h"
#include "platform/ManualUiDispatcher.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <thread>

using namespace veltro::link;
using namespace veltro::platform;
using namespace veltro::test;
using namespace std::chrono_literals;

namespace {

std::string Framed(char lead, const std::string& body)
{
    const std::string frame = std::string(1, lead) + body;
    return frame + static_cast<char>(TIec1107::CalcBcc(frame));
}

// One exchange of the script: what the client must send, and what the meter answers
// (nothing for a silent meter).
struct Step {
    std::string expect;
    std::string reply;
};

class IecOverPty : public ::testing::Test {
protected:
    IecOverPty() : previous_(InstallUiDispatcher(&ui))
    {
        dir.Publish(1, pty.SlavePath());
        link.Connect();
        iec.Link = &link;
    }
    ~IecOverPty() override
    {
        if (meter.joinable())
            meter.join();
        link.Disconnect();
        InstallUiDispatcher(previous_);
    }
    // Plays the steps on the master side; records any byte that differs.
    void Play(std::vector<Step> steps)
    {
        meter = std::thread([this, steps = std::move(steps)] {
            for (const Step& s : steps) {
                const auto got = pty.Receive(s.expect.size(), 3s);
                heard.emplace_back(got.begin(), got.end());
                if (!s.reply.empty())
                    pty.Send(s.reply);
            }
        });
    }
    std::vector<std::string> Expected(const std::vector<Step>& steps) const
    {
        std::vector<std::string> out;
        for (const Step& s : steps)
            out.push_back(s.expect);
        return out;
    }

    PortDir dir;
    PtyPair pty;
    ManualUiDispatcher ui;
    UiDispatcher* previous_;
    TLinkSerial link;
    TIec1107 iec;
    std::thread meter;
    std::vector<std::string> heard;
};

}  // namespace

TEST_F(IecOverPty, AWholeSessionIsByteExactOnTheLine)
{
    ASSERT_TRUE(link.IsConnected()) << link.LastError;
    const std::string r1 = Framed(SOH, std::string("R1") + STX + "0.0.1()" + ETX);
    const std::string p1 = Framed(SOH, std::string("P1") + STX + "(KLOMB)" + ETX);
    const std::string w1 = Framed(SOH, std::string("W1") + STX + "0.0.8(19200 8E2)" + ETX);
    const std::string b0 = Framed(SOH, std::string("B0") + ETX);
    const std::vector<Step> steps = {
        {std::string(8, '\0') + "/?12345678!\r\n", "/VLT5Meter\r\n"},
        {std::string{ACK, '0', '5', '1', CR, LF}, Framed(STX, std::string("P0") + STX + "(12345678)" + ETX)},
        {r1, Framed(STX, std::string("0.0.1(12345678)") + ETX)},
        {p1, std::string{ACK}},
        {w1, std::string{ACK}},
        {b0, std::string{ACK}},
    };
    Play(steps);
    ASSERT_TRUE(iec.Connect("12345678"));
    EXPECT_EQ(iec.Response, "/VLT5Meter");
    ASSERT_TRUE(iec.SwitchBaudRate());
    ASSERT_TRUE(iec.ReadValue("0.0.1"));
    std::string value;
    iec.GetValueText(value);
    EXPECT_EQ(value, "12345678");
    ASSERT_TRUE(iec.SetPassword("KLOMB"));
    ASSERT_TRUE(iec.WriteData("0.0.8", "19200 8E2"));
    EXPECT_TRUE(iec.Disconnect());
    meter.join();
    EXPECT_EQ(heard, Expected(steps));
    EXPECT_TRUE(iec.Errors.empty());
}

TEST_F(IecOverPty, AWrongBlockCheckIsRetriedAndTheRepeatedReplyAccepted)
{
    const std::string r1 = Framed(SOH, std::string("R1") + STX + "0.0.7()" + ETX);
    std::string bad = Framed(STX, std::string("0.0.7(5)") + ETX);
    bad.back() = static_cast<char>(bad.back() ^ 0x01);
    Play({{r1, bad}, {r1, Framed(STX, std::string("0.0.7(5)") + ETX)}});
    ASSERT_TRUE(iec.ReadValue("0.0.7"));
    std::string value;
    iec.GetValueText(value);
    EXPECT_EQ(value, "5");
    ASSERT_EQ(iec.Errors.size(), 1u);
}

TEST_F(IecOverPty, WithNoRetriesOnlyThePasswordIsStillSentOnce)
{
    iec.SetRetries(0);
    const std::string p1 = Framed(SOH, std::string("P1") + STX + "(X)" + ETX);
    Play({{p1, std::string{ACK}}});
    EXPECT_TRUE(iec.SetPassword("X"));
    meter.join();
    EXPECT_EQ(heard, std::vector<std::string>{p1});
    // Nothing else goes on the line: a read with no attempts fails at once.
    EXPECT_FALSE(iec.ReadValue("0.0.1"));
    EXPECT_TRUE(pty.Receive(1, 200ms).empty());
}
