// A NUL byte inside a meter's reply: the links end the text they return at the NUL, so the
// client gets a reply without its terminator. Such a reply must fail like any other broken
// one (and never throw), even when the check byte happens to match the shortened text.
#include "link/Iec1107.h"
#include "support/NullLink.h"

#include <gtest/gtest.h>

#include <string>

using namespace veltro::link;

namespace {

// Answers every read from one line of bytes and cuts string reads at a NUL, as the
// serial link does.
class LineLink : public veltro::test::NullLink {
public:
    std::string line;
    size_t at = 0;

    bool IsConnected() override { return true; }
    bool WriteString(const std::string&) override { return true; }
    bool ReadCharTimed(char& c, uint32_t) override
    {
        if (at >= line.size()) {
            LastError = "ReadCharTimed: timed out";
            return false;
        }
        c = line[at++];
        return true;
    }
    bool ReadStringTimed(std::string& text, const std::string& terminator, uint32_t) override
    {
        const size_t end = line.find(terminator, at);
        if (end == std::string::npos) {
            at = line.size();
            text.clear();
            LastError = "ReadStringTimed: timed out";
            return false;
        }
        text = line.substr(at, end + terminator.size() - at);
        text = text.substr(0, text.find('\0'));
        at = end + terminator.size();
        return true;
    }
};

class IecNulReply : public ::testing::Test {
protected:
    void SetUp() override
    {
        iec.Link = &link;
        iec.Pause = [](uint32_t) {};
        iec.SetRetries(1);
    }
    LineLink link;
    TIec1107 iec;
};

std::string WithBcc(const std::string& block, const std::string& checked)
{
    return block + static_cast<char>(TIec1107::CalcBcc(checked));
}

TEST_F(IecNulReply, ADataBlockCutAtANulFailsEvenWhenTheCheckMatchesTheRest)
{
    const std::string cut = std::string{STX} + "1.8.0(00";
    const std::string block = cut + '\0' + "1234.5)" + ETX;
    for (const std::string& line : {WithBcc(block, cut), WithBcc(block, block)}) {
        link.line = line;
        link.at = 0;
        EXPECT_FALSE(iec.ReadValue("1.8.0"));
        EXPECT_EQ(iec.Errors, std::vector<std::string>{"NUL byte in reply"});
    }
    // The whole block still reads.
    const std::string good = std::string{STX} + "1.8.0(001234.5)" + ETX;
    link.line = WithBcc(good, good);
    link.at = 0;
    EXPECT_TRUE(iec.ReadValue("1.8.0"));
    EXPECT_EQ(iec.Response, good);
}

TEST_F(IecNulReply, AnIdentificationCutAtANulFailsWithoutThrowing)
{
    for (const std::string& line : {std::string("\0/ABC5\r\n", 8), std::string("/\0\r\n", 4)}) {
        link.line = line;
        link.at = 0;
        bool ok = true;
        EXPECT_NO_THROW(ok = iec.Connect("1"));
        EXPECT_FALSE(ok);
        EXPECT_EQ(iec.Errors, std::vector<std::string>{"NUL byte in reply"});
    }
}

}  // namespace
