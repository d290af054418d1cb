#include "modbus/FieldwireError.h"
#include "modbus/ModbusFrames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

using namespace veltro::modbus;

namespace {

// Read 58 holding registers from 0 at server 121.
const std::vector<std::uint8_t> ReadRequest = {0x79, 0x03, 0x00, 0x00, 0x00, 0x3A};

void Fill(TModbusBuffer& B, const std::vector<std::uint8_t>& Bytes)
{
    B.SetSize(0);
    for (std::uint8_t V : Bytes)
        B.WriteByte(V);
}

std::vector<std::uint8_t> Bytes(const std::string& Text) { return {Text.begin(), Text.end()}; }

std::string AssertionOf(const std::string& Line)
{
    TModbusBuffer B(255);
    try {
        DecodeFrame(tmASCII, reinterpret_cast<const std::uint8_t*>(Line.data()),
                    static_cast<std::int32_t>(Line.size()), B);
    } catch (const EAssertionFailed& E) {
        return E.what();
    }
    return "<no error>";
}

} // namespace

TEST(ModbusChecksums, MatchTheProtocolReferenceValues)
{
    const std::string Check = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(Check.data()), 9), 0x4B37);

    TModbusBuffer B(256);
    Fill(B, ReadRequest);
    EXPECT_EQ(Lrc(B), 0x4A);
    AppendChecksum(tmRTU, B);
    ASSERT_EQ(B.Size(), 8);
    EXPECT_EQ(B.Data()[6], 0xCF);
    EXPECT_EQ(B.Data()[7], 0xA1);
    EXPECT_TRUE(IsValidFrame(tmRTU, cmClient, B));

    B.Data()[3] ^= 0x01; // one corrupted bit on the line
    EXPECT_FALSE(IsValidFrame(tmRTU, cmClient, B));
}

TEST(ModbusAsciiFraming, EncodesAndDecodesTheSameFrame)
{
    TModbusBuffer Frame(255);
    std::uint8_t Raw[513];
    EXPECT_EQ(EncodeFrame(tmASCII, Frame, Raw, sizeof Raw), 0) << "empty buffer sends nothing";

    Fill(Frame, ReadRequest);
    AppendChecksum(tmASCII, Frame);
    const std::int32_t Length = EncodeFrame(tmASCII, Frame, Raw, sizeof Raw);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Raw), static_cast<std::size_t>(Length)),
              ":79030000003A4A\r\n");
    EXPECT_THROW(EncodeFrame(tmASCII, Frame, Raw, Length - 1), EFieldwireError);

    TModbusBuffer Back(255);
    DecodeFrame(tmASCII, Raw, Length, Back);
    ASSERT_EQ(Back.Size(), 7);
    EXPECT_EQ(std::memcmp(Back.Data(), Frame.Data(), 7), 0);
    EXPECT_TRUE(IsValidFrame(tmASCII, cmClient, Back));
}

TEST(ModbusAsciiFraming, RejectsBrokenLineFramingInCheckOrder)
{
    EXPECT_EQ(AssertionOf(":\r\n"), "DecodeFrame: The size is too small.");
    EXPECT_EQ(AssertionOf(":7\r\n"), "DecodeFrame: The size is not an odd number.");
    EXPECT_EQ(AssertionOf("X79\r\n"), "DecodeFrame: Leading colon is missing.");
    EXPECT_EQ(AssertionOf(":79\n\n"), "DecodeFrame: Trailing CR is missing.");
    EXPECT_EQ(AssertionOf(":79\r\r"), "DecodeFrame: Trailing LF is missing.");
}

TEST(ModbusAsciiFraming, NonHexDigitsAreRejectedNotDecodedIntoGarbage)
{
    TModbusBuffer B(255);
    const auto Noise = Bytes(":7G03\r\n");
    EXPECT_THROW(DecodeFrame(tmASCII, Noise.data(), static_cast<std::int32_t>(Noise.size()), B),
                 EFieldwireError);
    EXPECT_EQ(B.Size(), 0);

    const auto Lower = Bytes(":7a\r\n");
    DecodeFrame(tmASCII, Lower.data(), static_cast<std::int32_t>(Lower.size()), B);
    ASSERT_EQ(B.Size(), 1);
    EXPECT_EQ(B.Data()[0], 0x7A);
}

TEST(ModbusRtuFraming, RefusesFramesLargerThanTheirBuffers)
{
    TModbusBuffer Frame(8);
    Fill(Frame, ReadRequest);
    std::uint8_t Raw[6];
    EXPECT_EQ(EncodeFrame(tmRTU, Frame, Raw, 6), 6);
    try {
        EncodeFrame(tmRTU, Frame, Raw, 5);
        FAIL() << "oversize frame was truncated";
    } catch (const EFieldwireError& E) {
        EXPECT_STREQ(E.what(), "Failed to encode frame");
    }

    TModbusBuffer Small(4);
    Small.WriteByte(0xEE);
    try {
        DecodeFrame(tmRTU, Raw, 6, Small);
        FAIL() << "oversize reception accepted";
    } catch (const EFieldwireError& E) {
        EXPECT_STREQ(E.what(), "Failed to decode frame");
    }
    EXPECT_EQ(Small.Size(), 0) << "the target is emptied before decoding";
}

TEST(ModbusReplies, ExceptionRepliesAreRecognisedAndMatchTheirRequest)
{
    TModbusBuffer Request(256);
    Fill(Request, ReadRequest);
    AppendChecksum(tmRTU, Request);

    TModbusBuffer Reply(256);
    BuildExceptionReply(tmRTU, Reply, 0x79, 0x03, 0x02);
    ASSERT_EQ(Reply.Size(), 5);
    EXPECT_TRUE(IsValidFrame(tmRTU, cmClient, Reply));
    EXPECT_TRUE(IsExceptionReply(tmRTU, Reply));
    EXPECT_TRUE(ReplyMatchesRequest(Request, Reply, false));
    const TExceptionCode Code = GetExceptionCode(Reply);
    EXPECT_EQ(Code.Known, 2);
    EXPECT_EQ(Code.Raw, 2);

    // 0x80 carries no function: not an exception reply.
    Fill(Reply, {0x79, 0x80, 0x02});
    AppendChecksum(tmRTU, Reply);
    EXPECT_FALSE(IsExceptionReply(tmRTU, Reply));

    // Codes the protocol does not define are reported as 0 beside the raw byte.
    BuildExceptionReply(tmRTU, Reply, 0x79, 0x03, 0x0B);
    EXPECT_EQ(GetExceptionCode(Reply).Known, 0);
    EXPECT_EQ(GetExceptionCode(Reply).Raw, 0x0B);

    // Another server answering, or another function, does not match.
    BuildExceptionReply(tmRTU, Reply, 0x7A, 0x03, 0x02);
    EXPECT_FALSE(ReplyMatchesRequest(Request, Reply, false));
    EXPECT_TRUE(ReplyMatchesRequest(Request, Reply, true));
    BuildExceptionReply(tmRTU, Reply, 0x79, 0x04, 0x02);
    EXPECT_FALSE(ReplyMatchesRequest(Request, Reply, true));

    Fill(Reply, {0x79});
    EXPECT_FALSE(ReplyMatchesRequest(Request, Reply, true)) << "a lone byte answers nothing";
}

TEST(ModbusReplies, ShortFramesAreNotValidForTheirSide)
{
    TModbusBuffer B(256);
    Fill(B, {0x79, 0x11}); // server side accepts a frame without data
    AppendChecksum(tmRTU, B);
    EXPECT_TRUE(IsValidFrame(tmRTU, cmServer, B));
    EXPECT_FALSE(IsValidFrame(tmRTU, cmClient, B));

    Fill(B, {0x79, 0x11});
    AppendChecksum(tmASCII, B);
    EXPECT_TRUE(IsValidFrame(tmASCII, cmServer, B));
    EXPECT_FALSE(IsValidFrame(tmASCII, cmClient, B));
}
