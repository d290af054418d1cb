// The IEC client over the serial link against a meter that answers with garbage: replies
// far longer than any data block, and replies with NUL bytes inside. Each read must end
// at once with a false result and an entry per attempt, and the link must still carry
// the next good reply.
#include "integration/link/Iec1107HostilePeer.h"

#include <optional>

using namespace veltro::link;
using namespace veltro::test;
using Clock = std::chrono::steady_clock;

namespace {

TEST_F(IecOverPty, AReplyOfFiveThousandBytesWithoutEtxFailsEveryAttemptAndTheNextReadWorks)
{
    {
        HostileMeter meter(pty.MasterFd(), {.Reply = std::string(5000, 'A')});
        const auto t0 = Clock::now();
        EXPECT_FALSE(iec.GetData(ReadCommand()));
        // A flood on a pty arrives at once: the read stops at its buffer, not at its time-out.
        EXPECT_LT(Clock::now() - t0, 3s);
        ExpectErrors("ReadStringTimed");
        EXPECT_TRUE(iec.Response.empty());
        EXPECT_EQ(meter.Commands(), 2);
    }
    HostileMeter good(pty.MasterFd(), {.Reply = Block("(0001234.5)")});
    ASSERT_TRUE(iec.ReadValue("1.8.0")) << (iec.Errors.empty() ? "" : iec.Errors.back());
    std::string value;
    iec.GetValueText(value);
    EXPECT_EQ(value, "0001234.5");
}

// A NUL cuts the text the link returns: the block check over what is left must not be
// taken for the meter's, whatever check byte follows.
TEST_F(IecOverPty, AReplyWithANulInsideIsRefusedWhateverItsBlockCheck)
{
    const std::string cut = std::string{STX} + "1.8.0(00";
    const std::string whole = cut + std::string(1, '\0') + "1234.5)" + ETX;
    struct Case {
        const char* name;
        std::string reply;
    };
    const Case cases[] = {
        {"check over every byte, as a meter sends it", whole + static_cast<char>(TIec1107::CalcBcc(whole))},
        {"check matching the text before the NUL", whole + static_cast<char>(TIec1107::CalcBcc(cut))},
        {"NUL right before ETX", Block("(12)").substr(0, 5) + std::string(1, '\0') + ETX + '\x31'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostileMeter meter(pty.MasterFd(), {.Reply = c.reply});
        EXPECT_FALSE(iec.ReadValue("1.8.0"));
        ASSERT_FALSE(iec.Errors.empty());
        EXPECT_EQ(iec.Errors.back(), "NUL byte in reply");
        EXPECT_EQ(meter.Commands(), 2);
    }
}

TEST_F(IecOverPty, AnIdentificationWithANulInsideIsRefusedWithoutThrowing)
{
    for (const std::string& reply : {std::string("\0/ABC5\r\n", 8), std::string("/A\0BC5\r\n", 8)}) {
        HostileMeter meter(pty.MasterFd(), {.Reply = reply});
        std::optional<bool> ok;
        EXPECT_NO_THROW(ok = iec.Connect("1"));
        EXPECT_EQ(ok, false);
        ExpectErrors("NUL byte in reply");
    }
}

}  // namespace
