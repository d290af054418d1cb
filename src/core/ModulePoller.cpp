#include "core/ModulePoller.h"

#include "platform/UiDispatcher.h"

namespace veltro::core {

void UseMonitorTiming(modbus::TModbusConnection& connection)
{
    connection.SetReceiveTimeout(2500);
    connection.SetSilentInterval(200);
    connection.SetFrameEnd(modbus::feExpectedLength);
}

ModulePoller::ModulePoller(platform::UiDispatcher* dispatcher) : connection_(dispatcher)
{
    UseMonitorTiming(connection_);
    connection_.OnFrameSend = [this](modbus::TModbusConnection&, const modbus::TFrameData& data) {
        if (OnFrame)
            OnFrame(data, true);
    };
    connection_.OnFrameReceive = [this](modbus::TModbusConnection&, const modbus::TFrameData& data) {
        if (OnFrame)
            OnFrame(data, false);
    };
    client_.SetConnection(&connection_);
    client_.OnHoldingRegistersRead = [this](modbus::TModbusClient&, modbus::TTransactionInfo& info, uint16_t start,
                                            uint16_t, const modbus::TRegValues& values) { Replied(info, start, values); };
    timer_.setSingleShot(true);
    timer_.setInterval(100);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        try {
            Tick();
        } catch (...) {
            platform::ReportException(std::current_exception());
        }
    });
}

ModulePoller::~ModulePoller()
{
    timer_.stop();
}

void ModulePoller::Start(const Target& target)
{
    Stop();
    connection_.SetPort(target.port);
    ApplyLink(connection_, target.link);
    ApplyRtuSettings(connection_, target.settings);
    client_.SetServerAddress(static_cast<uint8_t>(target.address));
    Start();
}

void ModulePoller::Start()
{
    Stop();
    session_.Stats.FInErrorRun = false;
    reached_ = false;
    connection_.SetActive(true);
    running_ = true;
    timer_.start();
}

void ModulePoller::Stop()
{
    timer_.stop();
    running_ = false;
    session_.Reset();
    connection_.SetActive(false);
}

void ModulePoller::Tick()
{
    timer_.stop();  // one request in flight at a time
    if (!running_)
        return;
    std::optional<QString> back;
    if (!session_.ReadyToAsk(connection_, back))
        return timer_.start();
    if (back && OnLog)
        OnLog(*back);
    const RegisterBlockRange block = session_.NextBlock();
    client_.ReadHoldingRegisters(block.start, block.count, 0);
    session_.Asked();
}

void ModulePoller::Replied(const modbus::TTransactionInfo& info, uint16_t start, const modbus::TRegValues& values)
{
    if (connection_.Link() != modbus::ltSerial && connection_.Active()) {
        reached_ = reached_ || GatewayReached(connection_);
        if (!reached_ && connection_.Line().LineLost()) {
            const QString line = LostGatewayText(connection_.Gateway(), connection_.Line().LastError());
            Stop();
            if (OnUnreachable)
                OnUnreachable(line);
            return;
        }
    }
    const PollReply reply = session_.Replied(connection_, info, start, values);
    if (OnReply)
        OnReply(reply);
    // A reply that arrives after polling was stopped must not start the ticks again.
    if (running_)
        timer_.start();
}

}  // namespace veltro::core
