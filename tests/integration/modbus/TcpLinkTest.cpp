// Modbus over TCP on the loopback address, as through an RS485-to-Ethernet gateway: RTU
// frames as they are, and Modbus TCP with its MBAP header; our client against our server,
// against peers nobody here wrote (libmodbus, mbpoll, an RTU module behind socat), and
// against connections that fail the ways a gateway's do.

#include "LibmodbusPeer.h"
#include "Programs.h"
#include "ServerFixture.h"
#include "platform/TcpSocket.h"

#include <gmock/gmock.h>

#include <arpa/inet.h>
#include <filesystem>
#include <sys/socket.h>

namespace veltro::modbus::test {
namespace {

using veltro::test::Concat;

std::uint16_t ListeningPort(TModbusConnection& Server)
{
    const auto* Device = dynamic_cast<const platform::TcpSocketDevice*>(Server.Line().Device());
    return Device ? Device->LocalPort() : 0;
}

std::string Loopback(std::uint16_t Port)
{
    return "127.0.0.1:" + std::to_string(Port);
}

// A TCP peer the test plays byte by byte: it listens on the loopback address and takes one
// connection. Backlog gives the length of its queue of connections not yet accepted.
class RawPeer {
public:
    explicit RawPeer(int Backlog = 1)
    {
        FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in Address{};
        Address.sin_family = AF_INET;
        Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FListen, reinterpret_cast<sockaddr*>(&Address), sizeof Address);
        ::listen(FListen, Backlog);
        socklen_t Size = sizeof Address;
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&Address), &Size);
        FPort = ntohs(Address.sin_port);
    }
    ~RawPeer()
    {
        if (FClient >= 0)
            ::close(FClient);
        ::close(FListen);
    }
    std::uint16_t Port() const { return FPort; }
    bool Accept(platform::ManualUiDispatcher& Ui)
    {
        return Ui.PumpUntil([&] {
            struct pollfd P {FListen, POLLIN, 0};
            if (::poll(&P, 1, 0) > 0)
                FClient = ::accept(FListen, nullptr, nullptr);
            return FClient >= 0;
        }, 5s);
    }
    Bytes Receive(platform::ManualUiDispatcher& Ui, std::size_t Count)
    {
        Bytes Got;
        Ui.PumpUntil([&] {
            std::uint8_t Buf[256];
            const ssize_t N = ::recv(FClient, Buf, sizeof Buf, MSG_DONTWAIT);
            if (N > 0)
                Got.insert(Got.end(), Buf, Buf + N);
            return Got.size() >= Count;
        }, 5s);
        return Got;
    }
    void Send(const Bytes& Data) { ::send(FClient, Data.data(), Data.size(), MSG_NOSIGNAL); }
    void CloseClient()
    {
        ::close(FClient);
        FClient = -1;
    }

private:
    int FListen = -1;
    int FClient = -1;
    std::uint16_t FPort = 0;
};

class TcpClient : public ::testing::Test {
protected:
    static constexpr std::uint8_t Address = 17;

    void SetUp() override
    {
        Conn = std::make_unique<TModbusConnection>(&Ui);
        Conn->OnFrameSend = [this](TModbusConnection&, const TFrameData& D) { Sent.push_back(D); };
        Conn->OnFrameReceive = [this](TModbusConnection&, const TFrameData& D) { Received.push_back(D); };
        Client.SetServerAddress(Address);
        Client.SetConnection(Conn.get());
        Client.OnHoldingRegistersRead = [this](TModbusClient&, TTransactionInfo& Info, std::uint16_t, std::uint16_t,
                                               const TRegValues& Values) { Done.push_back({Info, 0, 0, Values}); };
    }
    void TearDown() override { Conn.reset(); }

    void Open(TLinkType Link, const std::string& Gateway)
    {
        Conn->SetLink(Link);
        Conn->SetGateway(Gateway);
        Conn->SetActive(true);
    }
    // One read of two registers from 0; false when no event came.
    bool Read(std::uint16_t Start = 0)
    {
        const std::size_t Before = Done.size();
        Client.ReadHoldingRegisters(Start, 2);
        return Ui.PumpUntil([&] { return Done.size() > Before; }, 10s);
    }

    SpyDispatcher Ui;
    std::unique_ptr<TModbusConnection> Conn;
    TModbusClient Client;
    std::vector<TFrameData> Sent, Received;
    std::vector<RegistersEvent> Done;
};

class TcpFraming : public TcpClient, public ::testing::WithParamInterface<TLinkType> {};

TEST_P(TcpFraming, OurClientReadsOurServer)
{
    TModbusConnection Server(&Ui);
    MapServer Map;
    Map.Registers[0] = 0x1234;
    Map.Registers[1] = 0x5678;
    Server.SetConnectionMode(cmServer);
    Server.SetLink(GetParam());
    Server.SetGateway("127.0.0.1:0");
    Map.SetServerAddress(Address);
    Map.SetConnection(&Server);
    Server.SetActive(true);

    Open(GetParam(), Loopback(ListeningPort(Server)));
    ASSERT_TRUE(Read());
    ASSERT_TRUE(Read());
    for (const RegistersEvent& E : Done) {
        EXPECT_EQ(E.Info.ReplyStatus, rsSuccess);
        EXPECT_EQ(E.Values, (TRegValues{0x1234, 0x5678}));
    }
    // What crossed the wire, as the frame log shows it: an MBAP header with a new
    // transaction identifier for every request, or the RTU frame with its CRC.
    if (GetParam() == ltModbusTcp) {
        EXPECT_EQ(Sent[0], veltro::test::FromHex("0000 0000 0006 11 03 0000 0002"));
        EXPECT_EQ(Sent[1], veltro::test::FromHex("0001 0000 0006 11 03 0000 0002"));
        EXPECT_EQ(Received[1], veltro::test::FromHex("0001 0000 0007 11 03 04 1234 5678"));
    } else {
        EXPECT_EQ(Sent[0], Rtu("11 03 0000 0002"));
        EXPECT_EQ(Received[1], Rtu("11 03 04 1234 5678"));
    }
}

INSTANTIATE_TEST_SUITE_P(Links, TcpFraming, ::testing::Values(ltRtuOverTcp, ltModbusTcp),
                         [](const auto& Info) { return Info.param == ltModbusTcp ? "ModbusTcp" : "RtuOverTcp"; });

TEST_F(TcpClient, AModbusTcpReplyUnderAnotherTransactionIdIsDroppedNeverTaken)
{
    RawPeer Peer;
    Open(ltModbusTcp, Loopback(Peer.Port()));
    Client.ReadHoldingRegisters(0, 2);
    ASSERT_TRUE(Peer.Accept(Ui));
    ASSERT_EQ(Peer.Receive(Ui, 12), veltro::test::FromHex("0000 0000 0006 11 03 0000 0002"));
    const Bytes Stale = veltro::test::FromHex("0007 0000 0007 11 03 04 0009 0009");
    const Bytes Right = veltro::test::FromHex("0000 0000 0007 11 03 04 0001 0002");
    Peer.Send(Concat(Stale, Right));
    ASSERT_TRUE(Ui.PumpUntil([&] { return !Done.empty(); }, 5s));
    EXPECT_EQ(Done[0].Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Done[0].Values, (TRegValues{1, 2}));
    EXPECT_EQ(Received, (std::vector<TFrameData>{Stale, Right})) << "the dropped reply is shown, then the right one";
}

// The ways a gateway's connection fails end the exchange on a lost line with the system's
// reason, which the polling side reports once and reconnects after.
struct FaultCase {
    const char* Name;
    std::function<std::string(RawPeer&)> Gateway;
    std::function<void(RawPeer&, platform::ManualUiDispatcher&)> Peer;  // plays the gateway
    int Requests;  // how many the client sends
    int Error;
};

void PrintTo(const FaultCase& C, std::ostream* Os) { *Os << C.Name; }

class TcpFault : public TcpClient, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(TcpFault, LosesTheLineWithItsReason)
{
    const FaultCase& C = GetParam();
    RawPeer Peer;
    Conn->SetReceiveTimeout(200);
    Open(ltRtuOverTcp, C.Gateway(Peer));
    for (int I = 0; I < C.Requests; ++I) {
        Client.ReadHoldingRegisters(0, 2);
        if (I == 0)
            C.Peer(Peer, Ui);
        ASSERT_TRUE(Ui.PumpUntil([&] { return Done.size() > static_cast<std::size_t>(I); }, 10s));
        EXPECT_EQ(Done.back().Info.ReplyStatus, rsNoReply);
    }
    EXPECT_TRUE(Conn->Line().LineLost());
    EXPECT_EQ(Conn->Line().LastError(), C.Error);
}

INSTANTIATE_TEST_SUITE_P(
    Gateways, TcpFault,
    ::testing::Values(
        FaultCase{"Refused",
                  [](RawPeer&) {
                      // A port nobody listens on: one of a peer that has just gone.
                      const std::uint16_t Port = RawPeer().Port();
                      return Loopback(Port);
                  },
                  [](RawPeer&, platform::ManualUiDispatcher&) {}, 1, ECONNREFUSED},
        FaultCase{"ClosedMidPoll", [](RawPeer& P) { return Loopback(P.Port()); },
                  [](RawPeer& P, platform::ManualUiDispatcher& Ui) {
                      if (P.Accept(Ui)) {
                          P.Receive(Ui, 8);
                          P.CloseClient();
                      }
                  },
                  1, ECONNRESET},
        // No reply and no reset: after a few requests in a row the connection counts as
        // half-open and lost, without waiting for the kernel's keep-alive.
        FaultCase{"HalfOpen", [](RawPeer& P) { return Loopback(P.Port()); },
                  [](RawPeer& P, platform::ManualUiDispatcher& Ui) { P.Accept(Ui); }, 3, ETIMEDOUT}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(TcpClient, ClosingDuringAConnectThatHangsTakesUnder100ms)
{
    // A listener whose queue is full and that never accepts: the kernel drops our SYN and
    // the connect hangs, as with a gateway that is switched off behind a router.
    RawPeer Peer(0);
    std::vector<int> Filling;
    for (int I = 0; I < 4; ++I) {
        Filling.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_in A{};
        A.sin_family = AF_INET;
        A.sin_port = htons(Peer.Port());
        A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(Filling.back(), reinterpret_cast<sockaddr*>(&A), sizeof A);
    }
    Open(ltModbusTcp, Loopback(Peer.Port()));
    Client.ReadHoldingRegisters(0, 2);
    ASSERT_FALSE(Ui.PumpUntil([&] { return !Done.empty(); }, 300ms)) << "the connect did hang";
    const auto Start = std::chrono::steady_clock::now();
    Conn->SetActive(false);
    EXPECT_LT(std::chrono::steady_clock::now() - Start, 100ms);
    for (int Fd : Filling)
        ::close(Fd);
}

TEST_F(TcpClient, ReadsALibmodbusModbusTcpServer)
{
    LibmodbusTcpServer Server;
    Open(ltModbusTcp, Loopback(Server.Port()));
    ASSERT_TRUE(Read(10));
    EXPECT_EQ(Done[0].Info.ReplyStatus, rsSuccess);
    EXPECT_EQ(Done[0].Values, (TRegValues{510, 511}));
}

TEST_F(TcpClient, ReadsAnRtuModuleBehindAByteTransparentBridge)
{
    // socat plays the gateway: a pseudo-terminal on one side, a TCP listener on the other,
    // bytes passed on as they are. A libmodbus RTU server is the module on the terminal.
    const std::uint16_t Port = RawPeer().Port();
    const std::string Link = ::testing::TempDir() + "veltro-bridge-" + std::to_string(::getpid());
    Program Bridge({"socat", "PTY,link=" + Link + ",raw,echo=0", "TCP-LISTEN:" + std::to_string(Port) + ",bind=127.0.0.1,reuseaddr"});
    ASSERT_TRUE(Bridge.Started());
    ASSERT_TRUE(Ui.PumpUntil([&] { return std::filesystem::exists(Link); }, 5s)) << Bridge.Output();
    LibmodbusServer Module(Link, Address);
    Module.WithMap([](modbus_mapping_t& M) {
        M.tab_registers[0] = 7;
        M.tab_registers[1] = 8;
    });
    Open(ltRtuOverTcp, Loopback(Port));
    ASSERT_TRUE(Ui.PumpUntil([&] {
        // socat starts listening a moment after it made the terminal.
        if (!Done.empty() && Done.back().Info.ReplyStatus == rsSuccess)
            return true;
        if (!Conn->Active() || Conn->Line().LineLost()) {
            Conn->SetActive(false);
            Conn->SetActive(true);
        }
        return Read() && Done.back().Info.ReplyStatus == rsSuccess;
    }, 10s));
    EXPECT_EQ(Done.back().Values, (TRegValues{7, 8}));
}

TEST_F(TcpClient, MbpollReadsOurModbusTcpServer)
{
    TModbusConnection Server(&Ui);
    MapServer Map;
    for (std::size_t I = 0; I < Map.Registers.size(); ++I)
        Map.Registers[I] = static_cast<std::uint16_t>(2000 + I);
    Server.SetConnectionMode(cmServer);
    Server.SetLink(ltModbusTcp);
    Server.SetGateway("127.0.0.1:0");
    Map.SetServerAddress(Address);
    Map.SetConnection(&Server);
    Server.SetActive(true);
    Program Mbpoll({"mbpoll", "-m", "tcp", "-a", std::to_string(Address), "-p", std::to_string(ListeningPort(Server)),
                    "-t", "4", "-0", "-r", "3", "-c", "2", "-1", "-o", "2", "127.0.0.1"});
    ASSERT_TRUE(Mbpoll.Succeeded(Ui)) << Mbpoll.Output();
    EXPECT_THAT(Mbpoll.Output(), ::testing::HasSubstr("[3]: \t2003"));
    EXPECT_THAT(Mbpoll.Output(), ::testing::HasSubstr("[4]: \t2004"));
}

} // namespace
} // namespace veltro::modbus::test
