// A connection in server mode answering a master over a pseudo-terminal: the request
// handling of the data-access functions, the exception codes, and the requests that must
// go unanswered.

#include "ServerFixture.h"

namespace veltro::modbus::test {
namespace {

using veltro::test::Hex;

struct Case {
    const char* Name;
    const char* Request;  // without CRC
    const char* Reply;    // without CRC
};

class ServerMode : public ServerFixture {};

class ServerAnswers : public ServerFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(ServerAnswers, WithTheExpectedFrame)
{
    Map.Registers[0] = 0x1234;
    Map.Registers[1] = 0xBEEF;
    Map.Coils[0] = true;
    Map.Coils[2] = true;
    Map.Coils[9] = true;
    Map.FailingRead = 50;
    Open();
    const Bytes Expected = Rtu(GetParam().Reply);
    EXPECT_EQ(Hex(Exchange(Rtu(GetParam().Request), Expected.size())), Hex(Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ServerAnswers,
    ::testing::Values(
        Case{"ReadHolding", "11 03 0000 0002", "11 03 04 1234 BEEF"},
        Case{"ReadInput", "11 04 0001 0001", "11 04 02 4110"},
        Case{"ReadCoilsPacksLowBitFirst", "11 01 0000 000A", "11 01 02 0502"},
        Case{"ReadDiscreteInputs", "11 02 0000 0003", "11 02 01 02"},
        Case{"TooManyCoils", "11 01 0000 07D9", "11 81 03"},
        Case{"ZeroRegisters", "11 03 0000 0000", "11 83 03"},
        Case{"TooManyRegisters", "11 03 0000 007E", "11 83 03"},
        Case{"RangePastTheLastAddress", "11 03 FFFF 0002", "11 83 02"},
        Case{"AddressNotServed", "11 03 0063 0002", "11 83 02"},
        Case{"GetterFails", "11 03 0030 0004", "11 83 04"},
        Case{"ReadTooShort", "11 03 0000", "11 83 03"},
        Case{"CoilValueNeitherOnNorOff", "11 05 0001 1234", "11 85 03"},
        Case{"WriteCoilOn", "11 05 0001 FF00", "11 05 0001 FF00"},
        Case{"WriteRegister", "11 06 0005 ABCD", "11 06 0005 ABCD"},
        Case{"WriteRegisterNotServed", "11 06 0064 0001", "11 86 02"},
        Case{"WriteCoils", "11 0F 0003 0009 02 FF01", "11 0F 0003 0009"},
        Case{"WriteCoilsValuesMissing", "11 0F 0003 0009 02 FF", "11 8F 03"},
        Case{"WriteRegisters", "11 10 0002 0002 04 0102 0304", "11 10 0002 0002"},
        Case{"WriteRegistersTooMany", "11 10 0000 007C F8", "11 90 03"},
        Case{"UnsupportedFunction", "11 07", "11 87 01"},
        Case{"ReadWriteMultipleIsNotServed", "11 17 0000 0001 0000 0001 02 0000", "11 97 01"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(ServerMode, TwoThousandEightCoilsFillA251ByteField)
{
    for (std::size_t I = 0; I < 2008; I += 3)
        Map.Coils[I] = true;
    Open();
    const Bytes Reply = Exchange(Rtu("11 01 0000 07D8"), 3 + 251 + 2);
    ASSERT_EQ(Reply.size(), 256u);
    EXPECT_EQ(Hex(Bytes(Reply.begin(), Reply.begin() + 3)), "1101FB");
    EXPECT_EQ(Crc16(Reply.data(), 254), Reply[254] | (Reply[255] << 8));
    for (std::size_t I = 0; I < 2008; ++I)
        ASSERT_EQ(((Reply[3 + I / 8] >> (I % 8)) & 1) != 0, Map.Coils[I]) << "coil " << I;
}

TEST_F(ServerMode, WritesLandInTheMapAndARefusedValueWritesNothing)
{
    Open();
    Exchange(Rtu("11 10 0002 0002 04 0102 0304"), 8);
    Exchange(Rtu("11 0F 0003 0009 02 FF01"), 8);
    Exchange(Rtu("11 05 0001 FF00"), 8);
    EXPECT_EQ(Map.Registers[2], 0x0102);
    EXPECT_EQ(Map.Registers[3], 0x0304);
    for (int I = 3; I < 12; ++I)
        EXPECT_TRUE(Map.Coils[static_cast<std::size_t>(I)]) << I;
    EXPECT_TRUE(Map.Coils[1]);

    // Both passes: the third value is refused, so the first two must stay as they were.
    Map.WriteCheck[12] = cwAddressRefused;
    const Bytes Reply = Exchange(Rtu("11 10 000A 0004 08 1111 2222 3333 4444"), 5);
    EXPECT_EQ(Hex(Reply), Hex(Rtu("11 90 02")));
    Map.WriteCheck[12] = cwValueRefused;
    EXPECT_EQ(Hex(Exchange(Rtu("11 06 000C 0001"), 5)), Hex(Rtu("11 86 03")));
    for (int I = 10; I < 14; ++I)
        EXPECT_EQ(Map.Registers[static_cast<std::size_t>(I)], 0) << I;
}

// What must go unanswered is followed by a request that is answered: the first bytes to
// come back are then that answer, so nothing was sent for the others.
TEST_F(ServerMode, IgnoresShortFramesBadChecksumsOtherAddressesAndBroadcasts)
{
    Open();
    Bytes BadCrc = Rtu("11 03 0000 0001");
    BadCrc.back() ^= 0x01;
    const Bytes Ignored[] = {
        Rtu("11"),                       // three bytes: too short for any request
        BadCrc,
        Rtu("12 03 0000 0001"),          // another station's request
        Rtu("00 06 0007 4242"),          // broadcast write: acted on, never answered
        Rtu("00 03 0000 0001"),          // broadcast read
        Rtu("00 05 0001 1234"),          // broadcast with a refused value: no exception reply
    };
    for (const Bytes& Frame : Ignored) {
        SendUnanswered(Frame);
        const Bytes Answer = Exchange(Rtu("11 03 0007 0001"), 7);
        EXPECT_EQ(Hex(Answer), Hex(Rtu(std::string("11 03 02 ") + (Map.Registers[7] ? "4242" : "0000"))))
            << "after " << Hex(Frame);
    }
    EXPECT_EQ(Map.Registers[7], 0x4242);
    // Only the answered requests were reported as sent.
    Ui.Pump();
    EXPECT_EQ(Sent.size(), std::size(Ignored));
}

TEST_F(ServerMode, EveryServerObjectHearsABroadcastAndOnlyTheAddressedOneAnswers)
{
    MapServer Other;
    Other.SetServerAddress(18);
    Other.SetConnection(Conn.get());
    Open();
    SendUnanswered(Rtu("00 06 0001 0077"));
    EXPECT_EQ(Hex(Exchange(Rtu("12 03 0001 0001"), 7)), Hex(Rtu("12 03 02 0077")));
    EXPECT_EQ(Map.Registers[1], 0x0077);
    EXPECT_EQ(Hex(Exchange(Rtu("11 03 0001 0001"), 7)), Hex(Rtu("11 03 02 0077")));
    Other.SetConnection(nullptr);
    SendUnanswered(Rtu("12 03 0001 0001"));
    EXPECT_EQ(Hex(Exchange(Rtu("11 06 0001 0001"), 8)), Hex(Rtu("11 06 0001 0001")));
}

TEST_F(ServerMode, FollowsAnAddressChangeWhileActive)
{
    Open();
    Map.SetServerAddress(99);
    SendUnanswered(Rtu("11 03 0000 0001"));
    EXPECT_EQ(Hex(Exchange(Rtu("63 03 0000 0001"), 7)), Hex(Rtu("63 03 02 0000")));
}

TEST_F(ServerMode, StopsPromptlyWhileWaitingAndAfterTheLineHungUp)
{
    Open();
    EXPECT_EQ(Exchange(Rtu("11 03 0000 0001"), 7).size(), 7u);
    auto Start = std::chrono::steady_clock::now();
    Conn->SetActive(false);
    EXPECT_LT(std::chrono::steady_clock::now() - Start, 1s);

    // A lost line makes every wait fail at once; the worker must neither spin nor linger.
    Open();
    Pty.CloseMaster();
    ASSERT_TRUE(Ui.PumpUntil([&] { return Conn->Line().LineLost(); }, 2s));
    Start = std::chrono::steady_clock::now();
    Conn->SetActive(false);
    EXPECT_LT(std::chrono::steady_clock::now() - Start, 1s);
}

TEST_F(ServerMode, OnALineThatEchoesItAnswersOncePerRequestAndNeverItsOwnEcho)
{
    Conn->SetEchoQueryBeforeReply(true);
    Open();
    Map.Registers[0] = 0x1234;
    // The peer returns every byte the server sends, as a two-wire line does.
    const auto Echoing = [&](std::chrono::milliseconds For) {
        Bytes Heard;
        Ui.PumpUntil([&] {
            std::uint8_t Buf[512];
            struct pollfd P {Pty.MasterFd(), POLLIN, 0};
            while (::poll(&P, 1, 0) > 0 && (P.revents & POLLIN)) {
                const ssize_t N = ::read(Pty.MasterFd(), Buf, sizeof Buf);
                if (N <= 0)
                    break;
                Heard.insert(Heard.end(), Buf, Buf + N);
                Pty.Send(Bytes(Buf, Buf + N));
            }
            return false;
        }, For);
        return Heard;
    };
    for (int I = 0; I < 2; ++I) {
        Pty.Send(Rtu("11 03 0000 0001"));
        EXPECT_EQ(Hex(Echoing(500ms)), Hex(Rtu("11 03 02 1234"))) << "request " << I;
    }
    EXPECT_EQ(Sent.size(), 2u);
    EXPECT_EQ(Heard.size(), 2u) << "the echoes are not reported as received";
}

TEST_F(ServerMode, AServerObjectClosingItsOwnConnectionIsRefusedInsteadOfHanging)
{
    struct Closing : MapServer {
        TModbusConnection* Conn = nullptr;
        std::uint16_t GetHoldingRegisterValue(std::uint16_t) override
        {
            Conn->SetActive(false);  // raises: the worker waits for this very call
            return 0;
        }
    } Server;
    Server.Conn = Conn.get();
    Server.SetServerAddress(18);
    Server.SetConnection(Conn.get());
    Open();
    // The refused close is a failure while fetching: exception code 4.
    EXPECT_EQ(Hex(Exchange(Rtu("12 03 0000 0001"), 5, 1s)), Hex(Rtu("12 83 04")));
    EXPECT_TRUE(Conn->Active());
    Conn->SetActive(false);  // once the call has returned, closing works
    EXPECT_FALSE(Conn->Active());
}

TEST_F(ServerMode, AsciiFramingIsAnsweredInAscii)
{
    Conn->SetTransmissionMode(tmASCII);
    Open();
    Pty.Send(Ascii("11 03 0000 0001"));
    const Bytes Answer = Collect(15);
    EXPECT_EQ(std::string(Answer.begin(), Answer.end()), ":1103020000EA\r\n");
}

} // namespace
} // namespace veltro::modbus::test
