#include "simulator/ModuleSim.h"

#include "modbus/ModbusConnection.h"
#include "modbus/ModbusFrames.h"
#include "modbus/ModbusServer.h"
#include "modbus/SerialLine.h"
#include "platform/DebugOutput.h"
#include "platform/ManualUiDispatcher.h"
#include "simulator/ModuleModel.h"

#include <future>
#include <stdexcept>

namespace veltro::sim {

namespace {

using namespace veltro::modbus;

constexpr std::uint8_t kReadHoldingRegisters = 3;

uint32_t SerialNumberValue(const std::string& text)
{
    try {
        size_t used = 0;
        const unsigned long value = std::stoul(text, &used);
        if (used == text.size() && value <= 0xFFFFFFFFul)
            return static_cast<uint32_t>(value);
    } catch (const std::exception&) {
    }
    return 0;  // the register holds a number; a text that is none has no image there
}

void ApplyLineSettings(TModbusConnection& conn, const ModuleLineSettings& s)
{
    TBaudRate rate = brCustom;
    for (int r = br110; r < brCustom; ++r)
        if (BaudRateValue(static_cast<TBaudRate>(r), 0) == s.baudRate)
            rate = static_cast<TBaudRate>(r);
    if (rate == brCustom)
        conn.SetCustomBaudRate(s.baudRate);
    else
        conn.SetBaudRate(rate);
    conn.SetDataBits(s.dataBits == 7 ? db7 : db8);
    conn.SetParity(s.parity == 'E' ? psEven : s.parity == 'O' ? psOdd : psNone);
    conn.SetStopBits(s.stopBits == 2 ? sb2 : sb1);
}

// The second station's reply to a request the module has just answered, when both have
// its address: built by the second server object on the module's thread, where server
// objects live, while the connection's worker waits in its write.
std::string SecondReplyTo(const std::vector<uint8_t>& request, const TModbusServer& module, TModbusServer& second,
                          platform::ManualUiDispatcher& ui)
{
    std::string out;
    try {
        ui.InvokeAndWait([&] {
            if (request.size() < 4 || request[0] != second.ServerAddress() || request[0] != module.ServerAddress())
                return;
            TModbusTransaction t(FrameBufferCapacity(tmRTU));
            DecodeFrame(tmRTU, request.data(), static_cast<std::int32_t>(request.size()), t.Request);
            t.Info.ServerAddress = request[0];
            second.HandleRequest(t);
            std::vector<std::uint8_t> raw(static_cast<size_t>(RawBufferSize(tmRTU)));
            const std::int32_t n = EncodeFrame(tmRTU, t.Reply, raw.data(), static_cast<std::int32_t>(raw.size()));
            out.assign(raw.begin(), raw.begin() + n);
        });
    } catch (const std::exception& e) {
        platform::DebugOutput(std::string("second station: ") + e.what());
    }
    return out;
}

}  // namespace

// The register map: function 3 on holding registers 0..175, read only. One snapshot of
// the model per request, so the values of one reply always belong together. The module
// serves the meter's serial number and follows the fault switches; a second station on
// the line serves its own serial number and no faults.
class ModuleSim::Server : public TModbusServer {
public:
    explicit Server(ModuleSim& owner, std::optional<std::string> ownSerial = std::nullopt, bool unreachable = false)
        : owner_(owner), ownSerial_(std::move(ownSerial)), unreachable_(unreachable) {}

protected:
    std::uint8_t Unavailable() override { return unreachable_ ? seGatewayTargetNoResponse : 0; }
    bool AcceptsFunction(std::uint8_t functionCode) override
    {
        if (!ownSerial_)
            ++owner_.handled_;
        faults_ = ownSerial_ ? ModuleFaults{} : owner_.Faults();
        if (faults_.exceptionCode == seIllegalFunction || functionCode != kReadHoldingRegisters)
            return false;
        const ModuleSnapshot snapshot = model_.Snapshot(
            SerialNumberValue(ownSerial_ ? *ownSerial_ : owner_.state_.SerialNumber()),
            std::chrono::steady_clock::now(), std::chrono::system_clock::now());
        registers_ = ModuleModel::Encode(snapshot);
        return true;
    }
    bool IsHoldingRegisterAddressValid(std::uint16_t addr) override
    {
        return faults_.exceptionCode != seIllegalDataAddress && addr < registers_.size();
    }
    std::uint16_t GetHoldingRegisterValue(std::uint16_t addr) override
    {
        if (faults_.exceptionCode == seServerDeviceFailure)
            throw std::runtime_error("meter not answering the module");
        return registers_[addr];
    }

private:
    ModuleSim& owner_;
    const std::optional<std::string> ownSerial_;
    const bool unreachable_;  // a gateway in front of the module that cannot reach it
    ModuleModel model_;
    ModuleModel::Registers registers_{};
    ModuleFaults faults_;
};

struct ModuleSim::Runtime {
    platform::ManualUiDispatcher ui;
    std::promise<void> started;
};

ModuleSim::ModuleSim(SimState& state) : state_(state) {}

ModuleSim::~ModuleSim() { Stop(); }

void ModuleSim::SetFaults(const ModuleFaults& faults)
{
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

ModuleFaults ModuleSim::Faults() const
{
    std::lock_guard lock(mutex_);
    return faults_;
}

void ModuleSim::SetSecondStation(std::optional<SecondStation> station)
{
    std::lock_guard lock(mutex_);
    second_ = std::move(station);
}

void ModuleSim::ServeTcp(std::optional<TcpService> service)
{
    std::lock_guard lock(mutex_);
    tcp_ = std::move(service);
}

ModuleLineSettings ModuleSim::LineSettings() const
{
    std::lock_guard lock(mutex_);
    return settings_;
}

std::string ModuleSim::SlavePath() const { return line_ ? line_->SlavePath() : std::string(); }

void ModuleSim::Start(const std::string& portDir, int comNumber, bool pace, const std::string& device,
                      bool lineEchoes)
{
    if (Running())
        return;
    lineEchoes_ = lineEchoes;
    line_ = std::make_unique<ModuleLine>(portDir, comNumber, [this] { return Faults(); }, pace, device);
    runtime_ = std::make_shared<Runtime>();
    quit_ = false;
    std::future<void> started = runtime_->started.get_future();
    thread_ = std::thread([this, runtime = runtime_] { Run(runtime); });
    try {
        started.get();
    } catch (...) {
        thread_.join();
        line_.reset();
        runtime_.reset();
        throw;
    }
    // The connection's worker first lets the line settle, discarding what arrives; a
    // client's first request must not fall into that.
    line_->WaitUntilListening(SerialLine::MaxSettleTime + std::chrono::milliseconds(500));
}

void ModuleSim::Stop()
{
    if (!Running())
        return;
    quit_ = true;
    runtime_->ui.Post([] {});  // wakes the loop
    thread_.join();
    line_->Shutdown();
    line_.reset();
    runtime_.reset();
}

void ModuleSim::Run(std::shared_ptr<Runtime> runtime)
{
    platform::ManualUiDispatcher& ui = runtime->ui;
    ui.AdoptCurrentThread();
    TModbusConnection conn(&ui);
    Server server(*this);
    std::optional<SecondStation> secondStation;
    std::optional<TcpService> tcpService;
    {
        std::lock_guard lock(mutex_);
        secondStation = second_;
        tcpService = tcp_;
    }
    // The gateway in front of the module: another connection, listening on TCP, with a
    // server object of its own answering from the same live module.
    TModbusConnection tcp(&ui);
    Server tcpServer(*this, std::nullopt, tcpService && tcpService->gatewayDead);
    std::optional<Server> second;
    if (secondStation)
        second.emplace(*this, secondStation->serialNumber);
    // Nobody on this thread can show an error box; the debug channel is what is left.
    conn.SetExceptionReporter([](std::exception_ptr error) {
        platform::DebugOutput("module: " + platform::ExceptionMessage(error));
    });

    uint64_t seen = 0;
    const auto follow = [&] {
        seen = state_.Version();
        const int address = state_.ModbusAddress();
        const ModuleLineSettings settings = state_.ModbusLineSettings();
        server.SetServerAddress(static_cast<std::uint8_t>(address));
        tcpServer.SetServerAddress(static_cast<std::uint8_t>(address));
        ApplyLineSettings(conn, settings);
        address_ = address;
        std::lock_guard lock(mutex_);
        settings_ = settings;
    };

    try {
        conn.SetConnectionMode(cmServer);
        conn.SetEchoQueryBeforeReply(lineEchoes_);
        conn.SetHookExistingPort(true);
        conn.OnGetHookedPortHandle = [this](TModbusConnection&, platform::ISerialDevice*& handle) {
            handle = line_.get();
        };
        server.SetConnection(&conn);
        if (second) {
            // Registered after the module, which therefore takes the requests to an
            // address they share; the line then adds the second station's reply.
            second->SetServerAddress(static_cast<std::uint8_t>(secondStation->address));
            second->SetConnection(&conn);
            line_->SetSecondReply([&](const std::vector<uint8_t>& request) {
                return SecondReplyTo(request, server, *second, ui);
            });
        }
        follow();
        conn.SetActive(true);
        if (tcpService) {
            tcp.SetConnectionMode(cmServer);
            tcp.SetLink(tcpService->link);
            tcp.SetGateway(tcpService->endpoint);
            tcp.SetExceptionReporter([](std::exception_ptr error) {
                platform::DebugOutput("module over TCP: " + platform::ExceptionMessage(error));
            });
            tcpServer.SetConnection(&tcp);
            tcp.SetActive(true);
        }
    } catch (const std::exception& e) {
        runtime->started.set_exception(
            std::make_exception_ptr(std::runtime_error(std::string("module: ") + e.what())));
        return;
    }
    runtime->started.set_value();

    while (!quit_) {
        // Requests are dispatched while the loop waits for the state to change.
        ui.PumpUntil([&] { return quit_.load() || state_.Version() != seen; }, std::chrono::seconds(1));
        if (!quit_ && state_.Version() != seen) {
            try {
                follow();
            } catch (const std::exception& e) {
                platform::DebugOutput(std::string("module: ") + e.what());
            }
        }
    }
    tcp.SetActive(false);
    conn.SetActive(false);
    line_->SetSecondReply(nullptr);
}

}  // namespace veltro::sim
