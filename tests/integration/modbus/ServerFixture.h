#pragma once
// A connection in server mode on a real pseudo-terminal, with a small map-backed server
// object; the test plays the master on the master side. The test thread is the UI thread,
// so every wait for the server's answer keeps pumping the dispatcher: the worker hands
// each request over to it synchronously.

#include "ClientFixture.h"
#include "modbus/ModbusServer.h"
#include "support/FakeSerialDevice.h"

#include <map>
#include <thread>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace veltro::modbus::test {

// Coils 0..2999 and holding registers 0..99, as plain tables; input registers and
// discrete inputs mirror them. A register can be made to refuse writes or fail on reading.
class MapServer : public TModbusServer {
public:
    std::vector<bool> Coils = std::vector<bool>(3000);
    std::vector<std::uint16_t> Registers = std::vector<std::uint16_t>(100);
    std::map<std::uint16_t, int> WriteCheck;  // register -> what CheckRegisterWrite answers
    int FailingRead = -1;                      // this register's getter raises
    int Handled = 0;

protected:
    bool IsCoilAddressValid(std::uint16_t Addr) override { return Addr < Coils.size(); }
    bool IsDiscreteInputAddressValid(std::uint16_t Addr) override { return Addr < Coils.size(); }
    bool IsHoldingRegisterAddressValid(std::uint16_t Addr) override { return Addr < Registers.size(); }
    bool IsInputRegisterAddressValid(std::uint16_t Addr) override { return Addr < Registers.size(); }
    int CheckRegisterWrite(std::uint16_t Addr, std::uint16_t Value) override
    {
        const auto It = WriteCheck.find(Addr);
        return It != WriteCheck.end() ? It->second : TModbusServer::CheckRegisterWrite(Addr, Value);
    }
    bool GetCoilValue(std::uint16_t Addr) override { return Coils[Addr]; }
    bool GetDiscreteInputValue(std::uint16_t Addr) override { return !Coils[Addr]; }
    std::uint16_t GetHoldingRegisterValue(std::uint16_t Addr) override
    {
        ++Handled;
        if (Addr == FailingRead)
            throw std::runtime_error("sensor gone");
        return Registers[Addr];
    }
    std::uint16_t GetInputRegisterValue(std::uint16_t Addr) override
    {
        return static_cast<std::uint16_t>(Registers[Addr] ^ 0xFFFF);
    }
    void SetCoilValue(std::uint16_t Addr, bool Value) override { Coils[Addr] = Value; }
    void SetRegisterValue(std::uint16_t Addr, std::uint16_t Value) override { Registers[Addr] = Value; }
};

struct OwnedDevice {
    std::unique_ptr<platform::ISerialDevice> Device;
};

// The port as opened, counting the waits without limit: a server worker waits so only for
// the first byte of the next request, so a count that rose means it listens.
class ListeningDevice : private OwnedDevice, public veltro::test::SerialDeviceRef {
public:
    ListeningDevice(std::unique_ptr<platform::ISerialDevice> Opened, std::atomic<int>& Waits)
        : OwnedDevice{std::move(Opened)}, SerialDeviceRef(*Device), FWaits(Waits) {}
    platform::WaitResult WaitReadable(std::chrono::milliseconds Timeout) override
    {
        if (Timeout.count() < 0)
            ++FWaits;
        return SerialDeviceRef::WaitReadable(Timeout);
    }

private:
    std::atomic<int>& FWaits;
};

inline void CountListening(TModbusConnection& Conn, std::atomic<int>& Waits)
{
    Conn.Line().SetDeviceOpener([&Waits](const std::string& Port, int& Error) -> std::unique_ptr<platform::ISerialDevice> {
        auto Opened = SerialLine::DefaultOpener()(Port, Error);
        if (!Opened)
            return nullptr;
        return std::make_unique<ListeningDevice>(std::move(Opened), Waits);
    });
}

// An ASCII frame (':' hex LRC CR LF) of a frame written as hex.
inline Bytes Ascii(const std::string& Hex)
{
    const Bytes Frame = veltro::test::FromHex(Hex);
    const std::uint8_t Check = Lrc(Frame.data(), static_cast<std::int32_t>(Frame.size()));
    const std::string Text = ":" + veltro::test::Hex(Frame) + veltro::test::Hex({Check}) + "\r\n";
    return Bytes(Text.begin(), Text.end());
}

class ServerFixture : public ::testing::Test {
protected:
    static constexpr std::uint8_t Address = 17;

    void SetUp() override
    {
        Dir.Publish(1, Pty.SlavePath());
        Conn = std::make_unique<TModbusConnection>(&Ui);
        Conn->SetPort("COM1");
        Conn->SetParity(psNone);
        Conn->SetBaudRate(br9600);
        Conn->SetConnectionMode(cmServer);
        CountListening(*Conn, Listening);
        Conn->OnFrameSend = [this](TModbusConnection&, const TFrameData& D) { Sent.push_back(D); };
        Conn->OnFrameReceive = [this](TModbusConnection&, const TFrameData& D) { Heard.push_back(D); };
        Map.SetServerAddress(Address);
        Map.SetConnection(Conn.get());
    }

    void TearDown() override { Conn.reset(); }

    // Opens and waits until the worker listens: it first lets the line fall quiet and
    // discards what comes meanwhile, so a request sent earlier could be lost.
    void Open()
    {
        const int Before = Listening.load();
        Conn->SetActive(true);
        ASSERT_TRUE(Ui.PumpUntil([&] { return Listening.load() > Before; }, 5s));
    }

    // Sends a request and collects its answer until Length bytes came, pumping meanwhile.
    Bytes Exchange(const Bytes& Request, std::size_t Length, std::chrono::milliseconds Timeout = 3s)
    {
        Pty.Send(Request);
        return Collect(Length, Timeout);
    }

    // Sends a frame that gets no answer and waits until the server has taken it off the
    // line: RTU frames are told apart by silence only, so the next one must come after it.
    void SendUnanswered(const Bytes& Frame)
    {
        const std::size_t Before = Heard.size();
        Pty.Send(Frame);
        EXPECT_TRUE(Ui.PumpUntil([&] { return Heard.size() > Before; }, 3s));
    }

    Bytes Collect(std::size_t Length, std::chrono::milliseconds Timeout = 3s)
    {
        Bytes Got;
        Ui.PumpUntil([&] {
            struct pollfd P {Pty.MasterFd(), POLLIN, 0};
            while (::poll(&P, 1, 0) > 0 && (P.revents & POLLIN)) {
                std::uint8_t Buf[512];
                const ssize_t N = ::read(Pty.MasterFd(), Buf, sizeof Buf);
                if (N <= 0)
                    break;
                Got.insert(Got.end(), Buf, Buf + N);
            }
            return Got.size() >= Length;
        }, Timeout);
        return Got;
    }

    SpyDispatcher Ui;
    veltro::test::PortDir Dir;
    veltro::test::PtyPair Pty;
    std::unique_ptr<TModbusConnection> Conn;
    MapServer Map;
    std::vector<TFrameData> Sent;
    std::vector<TFrameData> Heard;
    std::atomic<int> Listening{0};
};

} // namespace veltro::modbus::test
