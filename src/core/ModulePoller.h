#pragma once
// Polls the module as "Controllo" does, without a window: the page's connection settings
// and framing, one request at a time, the next one 100 ms after the last reply, the three
// blocks in turn, an adapter that goes away waited for and opened again. Frames, replies
// and finished cycles are raised on the thread that runs its Qt event loop.
//
// Through an RS485-to-Ethernet gateway the connection is made at the first request. A
// gateway lost after its connection came up is waited for and connected to again, like an
// adapter; one that could not be reached at all ends the poll, as a port that cannot be
// opened does.

#include "core/ModuleLink.h"
#include "core/PollSession.h"
#include "core/RtuSettings.h"
#include "modbus/ModbusClient.h"
#include "modbus/ModbusConnection.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <string>

namespace veltro::core {

// The connection settings of "Controllo" beside the line settings: a reply may take 2.5 s,
// and it ends as soon as it is complete rather than 188 ms later at 9600 bit/s.
void UseMonitorTiming(modbus::TModbusConnection& connection);

class ModulePoller {
public:
    struct Target {
        std::string port = "COM1";
        int address = 100;
        RtuSettings settings;  // unused through a gateway
        ModuleLink link{};     // the serial port, or a gateway
    };

    // Deliveries go through dispatcher, or the process-wide one when null.
    explicit ModulePoller(platform::UiDispatcher* dispatcher = nullptr);
    ~ModulePoller();
    ModulePoller(const ModulePoller&) = delete;
    ModulePoller& operator=(const ModulePoller&) = delete;

    // Opens the port with the target's settings (or the connection's as they are), and asks
    // for the first block one interval later. Raises the library's EFieldwireError when the
    // port cannot be opened (Connection().Line().LastError() says why); nothing runs then.
    void Start(const Target& target);
    void Start();
    void Stop();
    bool Running() const { return running_; }
    // A reply to one of the poll's requests (the client's event; a window may feed one).
    void Replied(const modbus::TTransactionInfo& info, uint16_t start, const modbus::TRegValues& values);

    // The pause between a reply and the next request.
    void SetInterval(std::chrono::milliseconds interval) { timer_.setInterval(static_cast<int>(interval.count())); }

    PollStatistics& Statistics() { return session_.Stats; }
    modbus::TModbusConnection& Connection() { return connection_; }
    modbus::TModbusClient& Client() { return client_; }
    // Started for the next request after each reply; stopped while a request is out.
    QTimer& Timer() { return timer_; }

    std::function<void(const modbus::TFrameData& frame, bool sent)> OnFrame;
    std::function<void(const PollReply& reply)> OnReply;
    // The line when an adapter that went away is back.
    std::function<void(const QString& line)> OnLog;
    // The gateway could not be reached (refused, unreachable, the connect unanswered)
    // before any connection of this poll came up: polling has stopped, and line says why
    // ("Gateway ...: connessione rifiutata ...").
    std::function<void(const QString& line)> OnUnreachable;

private:
    void Tick();

    modbus::TModbusConnection connection_;
    modbus::TModbusClient client_;
    QTimer timer_;
    PollSession session_;
    bool running_ = false;
    bool reached_ = false;  // a connection to the gateway came up since Start
};

}  // namespace veltro::core
