#pragma once
// A connection in server mode on a real pseudo-terminal, with a small map-backed server
// object; the test plays the master on the master side. The test thread is the UI thread,
// so every wait for the server's answer keeps pumping the dispatcher: the worker hands
// each request over to it synchronously.

#include "ClientFixture.h"
#include "modbus/ModbusServer.h"

#include <cstdio>
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
        Conn->OnFrameSend = [this](TModbusConnection&, const TFrameData& D) { Sent.push_back(D); };
        Map.SetServerAddress(Address);
        Map.SetConnection(Conn.get());
    }

    void TearDown() override { Conn.reset(); }

    // Opens and waits until the worker listens: it first lets the line fall quiet and
    // discards what comes meanwhile, so a master's first request may need repeating, as
    // it would on a real line. The probe's traces are forgotten.
    void Open()
    {
        Conn->SetActive(true);
        for (int Attempt = 0; Attempt < 20; ++Attempt) {
            Pty.Send(Conn->TransmissionMode() == tmRTU ? Rtu(ProbeRequest()) : Ascii(ProbeRequest()));
            if (!Collect(7, 200ms).empty())
                break;
        }
        Ui.Pump();
        Sent.clear();
    }

    std::string ProbeRequest() const
    {
        char Text[32];
        std::snprintf(Text, sizeof Text, "%02X 03 0000 0001", Map.ServerAddress());
        return Text;
    }

    // Sends a request and collects its answer until Length bytes came, pumping meanwhile.
    Bytes Exchange(const Bytes& Request, std::size_t Length, std::chrono::milliseconds Timeout = 3s)
    {
        Pty.Send(Request);
        return Collect(Length, Timeout);
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
};

} // namespace veltro::modbus::test
