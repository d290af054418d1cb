#pragma once
// A connection and a client on a real pseudo-terminal, with the test playing the server on
// the master side byte by byte. The test thread is the UI thread: it pumps the dispatcher
// to receive frames and reply events.

#include "modbus/ModbusClient.h"
#include "modbus/ModbusConnection.h"
#include "modbus/ModbusFrames.h"
#include "platform/ManualUiDispatcher.h"
#include "support/PtyPair.h"
#include "support/RtuFrames.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace veltro::modbus::test {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

using veltro::test::Concat;
using veltro::test::Rtu;

// Sees when a worker asks for a synchronous hand-over, so a test can act while it waits.
class SpyDispatcher : public platform::ManualUiDispatcher {
public:
    std::atomic<int> HandOverRequests{0};

protected:
    void WakeForHandOver() override
    {
        ++HandOverRequests;
        ManualUiDispatcher::WakeForHandOver();
    }
};

struct RegistersEvent {
    TTransactionInfo Info;
    std::uint16_t Start = 0;
    std::uint16_t Count = 0;
    TRegValues Values;
};

class ClientFixture : public ::testing::Test {
protected:
    static constexpr std::uint8_t Server = 17;

    void SetUp() override
    {
        Dir.Publish(1, Pty.SlavePath());
        Conn = std::make_unique<TModbusConnection>(&Ui);
        Conn->SetPort("COM1");
        // A pty drops the parity flag it is given, and glibc's tcsetattr reports that
        // read-back difference as EINVAL once the flag is gone: parity-free lines reopen.
        Conn->SetParity(psNone);
        Conn->OnFrameSend = [this](TModbusConnection&, const TFrameData& D) { Sent.push_back(D); };
        Conn->OnFrameReceive = [this](TModbusConnection&, const TFrameData& D) { Received.push_back(D); };
        Client.SetServerAddress(Server);
        Client.SetConnection(Conn.get());
        Client.OnHoldingRegistersRead = [this](TModbusClient&, TTransactionInfo& Info, std::uint16_t Start,
                                               std::uint16_t Count, const TRegValues& Values) {
            Holding.push_back({Info, Start, Count, Values});
        };
    }

    void TearDown() override { Conn.reset(); }

    void Open() { Conn->SetActive(true); }

    // The request as the peer sees it on the line.
    Bytes Request(std::size_t Length, std::chrono::milliseconds Timeout = 2s)
    {
        return Pty.Receive(Length, Timeout);
    }

    bool PumpUntil(const std::function<bool()>& Pred, std::chrono::milliseconds Timeout = 5s)
    {
        return Ui.PumpUntil(Pred, Timeout);
    }

    bool WaitForHolding(std::size_t Count, std::chrono::milliseconds Timeout = 5s)
    {
        return PumpUntil([&] { return Holding.size() >= Count; }, Timeout);
    }

    SpyDispatcher Ui;
    veltro::test::PortDir Dir;
    veltro::test::PtyPair Pty;
    std::unique_ptr<TModbusConnection> Conn;
    TModbusClient Client;
    std::vector<TFrameData> Sent;
    std::vector<TFrameData> Received;
    std::vector<RegistersEvent> Holding;
};

} // namespace veltro::modbus::test
