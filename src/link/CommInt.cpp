#include "link/CommInt.h"

#include "platform/UiDispatcher.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace veltro::link {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint8_t EOT = 0x04;
constexpr uint8_t ETX = 0x03;

// The timed reads look at the input at least this often even when no arrival is signalled.
constexpr auto kPollPeriod = 50ms;
constexpr auto kHandOverPoll = 1ms;
// While input sits unread the event thread cannot sleep on the device (it would wake at
// once, the input being still there), so it looks again after this pause.
constexpr auto kBusyPoll = 2ms;
// An idle line is looked at this often for line errors that came without a byte.
constexpr auto kIdlePoll = 100ms;
// A negative write time-out stands for "no limit".
constexpr auto kNoLimit = std::chrono::hours(24);

std::atomic<uint64_t> g_nextThreadId{1};

class PortLockGuard {
public:
    explicit PortLockGuard(TCriticalSection& lock) : lock_(lock) { lock_.Enter(); }
    ~PortLockGuard() { lock_.Leave(); }
    PortLockGuard(const PortLockGuard&) = delete;
    PortLockGuard& operator=(const PortLockGuard&) = delete;

private:
    TCriticalSection& lock_;
};

// Counts arrivals without consuming input: every byte ever queued was either taken out
// (read or purged) or is still queued. Whenever the queue is seen empty the baseline is
// set again, so bytes taken out uncounted (NUL stripping, bytes arriving between the
// count and the purge) cannot hide later arrivals for long.
class ArrivalTracker {
public:
    bool Update(uint64_t consumed, int queued)
    {
        if (queued <= 0) {
            seen_ = consumed;
            return false;
        }
        const uint64_t arrived = consumed + static_cast<uint64_t>(queued);
        if (arrived <= seen_)
            return false;
        seen_ = arrived;
        return true;
    }

private:
    uint64_t seen_ = 0;
};

}  // namespace

// ---- TCommEventChars ---------------------------------------------------------------

void TCommEventChars::Assign(const TCommEventChars& source)
{
    xon_ = source.xon_;
    xoff_ = source.xoff_;
    error_ = source.error_;
    eof_ = source.eof_;
    evt_ = source.evt_;
}

void TCommEventChars::Change(uint8_t& field, uint8_t value)
{
    if (field == value)
        return;
    field = value;
    port_.UpdateDataControlBlock();
}

void TCommLineWatch::Reset()
{
    consumed = 0;
    errors = 0;
    txPending = false;
    lineLost = false;
    handOverPending = false;
    dataWait.ResetEvent();
}

// ---- TCommEventThread --------------------------------------------------------------

struct TCommEventThread::State {
    std::shared_ptr<platform::ISerialDevice> device;
    uint32_t mask = 0;
    TCommLineWatch* watch = nullptr;  // valid while not terminated
    platform::UiDispatcher* ui = nullptr;
    THandler handler;
    TCommEventThread* owner = nullptr;  // the Sender; valid while not terminated
    TSimpleEvent event;
    std::atomic<bool> terminated{false};
    std::atomic<bool> finished{false};
    std::atomic<uint32_t> lastMask{0};
};

namespace {

struct Observation {
    uint32_t mask = 0;
    bool inputWaiting = false;
};

}  // namespace

TCommEventThread::TCommEventThread(std::shared_ptr<platform::ISerialDevice> device, TCommEventTypes events,
                                   TCommLineWatch& watch, platform::UiDispatcher& ui, THandler handler)
    : state_(std::make_shared<State>()), id_(g_nextThreadId++)
{
    state_->device = std::move(device);
    state_->mask = link::EventMask(events);
    state_->watch = &watch;
    state_->ui = &ui;
    state_->handler = std::move(handler);
    state_->owner = this;
    thread_ = std::thread(&TCommEventThread::Execute, state_);
}

TCommEventThread::~TCommEventThread()
{
    Stop();
    WaitFor();
}

void TCommEventThread::Stop()
{
    state_->terminated = true;
    state_->event.SetEvent();
    state_->device->Interrupt();
}

void TCommEventThread::WaitFor()
{
    if (!thread_.joinable())
        return;
    // A thread blocked in a hand-over can only end once the UI thread serves it.
    if (state_->ui->IsUiThread())
        state_->ui->WaitServing([s = state_] { return s->finished.load(); });
    thread_.join();
}

void TCommEventThread::Release()
{
    if (thread_.joinable())
        thread_.detach();
}

void TCommEventThread::WakeUp()
{
    state_->device->Interrupt();
}

bool TCommEventThread::Terminated() const { return state_->terminated; }
uint32_t TCommEventThread::EventMask() const { return state_->lastMask; }

namespace {

Observation Observe(platform::ISerialDevice& device, TCommLineWatch& watch, ArrivalTracker& arrivals)
{
    Observation o;
    uint64_t consumed = 0;
    int queued = 0;
    {
        std::lock_guard lock(watch.countLock);
        consumed = watch.consumed;
        queued = device.InQueue();
    }
    o.inputWaiting = queued > 0;
    if (arrivals.Update(consumed, queued)) {
        if (watch.signalArrival)
            watch.dataWait.SetEvent();
        o.mask |= EV_RXCHAR;
    }
    const platform::LineErrors errors = device.TakeLineErrors();
    if (errors.Any()) {
        watch.errors |= ErrorFlags(errors);
        if (errors.parity || errors.framing || errors.overrun)
            o.mask |= EV_ERR;
        if (errors.breaks)
            o.mask |= EV_BREAK;
    }
    if (watch.txPending && device.OutQueue() <= 0) {
        watch.txPending = false;
        o.mask |= EV_TXEMPTY;
    }
    return o;
}

}  // namespace

void TCommEventThread::Execute(const std::shared_ptr<State>& s)
{
    ArrivalTracker arrivals;
    while (!s->terminated) {
        const Observation o = Observe(*s->device, *s->watch, arrivals);
        const uint32_t mask = o.mask & s->mask;
        if (mask != 0) {
            s->lastMask = mask;
            // A timed read waiting on the UI thread serves the hand-over only when it
            // next processes events; wake it, or every byte arriving meanwhile goes
            // unnoticed until its 50 ms poll ends.
            s->watch->handOverPending = true;
            if (s->watch->signalArrival)
                s->watch->dataWait.SetEvent();
            s->ui->InvokeAndWait([s, mask] {
                if (s->terminated)
                    return;
                try {
                    s->handler(*s->owner, mask);
                } catch (...) {
                    platform::ReportException(std::current_exception());
                }
            });
            s->event.ResetEvent();
            if (!s->terminated)
                s->watch->handOverPending = false;
            continue;
        }
        if (s->terminated)
            break;
        if (o.inputWaiting || s->watch->txPending) {
            s->event.WaitFor(static_cast<int32_t>(kBusyPoll.count()));
            continue;
        }
        const platform::WaitResult r = s->device->WaitReadable(kIdlePoll);
        if (r == platform::WaitResult::HangUp || r == platform::WaitResult::Error) {
            // A lost line stays lost; the reads report it. Nothing more to watch.
            s->watch->lineLost = true;
            s->event.WaitFor(static_cast<int32_t>(kIdlePoll.count()));
        }
    }
    s->finished = true;
}

// ---- TCustomComm -------------------------------------------------------------------

namespace {
std::atomic<bool> defaultSignalArrival{true};
}  // namespace

bool TCustomComm::DefaultSignalDataArrival()
{
    return defaultSignalArrival.load();
}

void TCustomComm::SetDefaultSignalDataArrival(bool value)
{
    defaultSignalArrival = value;
}

TCustomComm::TCustomComm()
{
    watch_.signalArrival = defaultSignalArrival.load();
}

TCustomComm::~TCustomComm()
{
    Close();
}

void TCustomComm::CheckNotOpen() const
{
    if (IsOpen())
        RaiseCommError("Port already assigned (open)", -1);
}

void TCustomComm::SetDeviceName(const std::string& value)
{
    if (value == deviceName_)
        return;
    CheckNotOpen();
    deviceName_ = value;
}

void TCustomComm::SetReadBufSize(int32_t value)
{
    if (value == readBufSize_)
        return;
    CheckNotOpen();
    readBufSize_ = value;
}

void TCustomComm::SetWriteBufSize(int32_t value)
{
    if (value == writeBufSize_)
        return;
    CheckNotOpen();
    writeBufSize_ = value;
}

void TCustomComm::SetMonitorEvents(TCommEventTypes value)
{
    if (value == monitorEvents_)
        return;
    CheckNotOpen();
    monitorEvents_ = value;
}

std::shared_ptr<platform::ISerialDevice> TCustomComm::OpenDevice()
{
    int error = 0;
    std::shared_ptr<platform::ISerialDevice> device = platform::PosixSerialDevice::Open(deviceName_, error);
    if (device)
        return device;
    if (error == ENOTTY)
        RaiseCommError("Invalid device handle, access denied", -1);
    RaiseCommError("Error accessing specified device " + deviceName_, error);
}

void TCustomComm::Open()
{
    CheckNotOpen();
    device_ = OpenDevice();
    // A freshly opened device: binary mode, DTR and RTS raised, no handshake. The
    // settings are written onto that, so fcDefault keeps exactly this.
    dcb_ = TDeviceControlBlock{};
    watch_.Reset();
    ui_ = &platform::Ui();  // bound here, on the UI thread
    eventThread_ = std::make_unique<TCommEventThread>(
        device_, monitorEvents_, watch_, *ui_, [this](TCommEventThread& sender, uint32_t mask) {
            const uint64_t outer = handingOver_;
            handingOver_ = sender.Id();
            try {
                HandleCommEvents(sender, mask);
            } catch (...) {
                handingOver_ = outer;
                throw;
            }
            handingOver_ = outer;
        });
    // An error below leaves the port open with its thread running; the caller closes it.
    UpdateCommTimeouts();
    UpdateDataControlBlock();
    SetupDeviceQueues();
}

void TCustomComm::UpdateCommTimeouts()
{
    // The device is opened non-blocking with VMIN = VTIME = 0, so a read already returns
    // at once with what is queued; there is nothing further to set on Linux.
}

void TCustomComm::SetupDeviceQueues()
{
    // Linux tty queues have a fixed size; ReadBufSize still sets the XON/XOFF limits.
}

void TCustomComm::UpdateDataControlBlock()
{
    if (!IsOpen())
        return;
    TDeviceControlBlock block = dcb_;
    block.BaudRate = BaudRateValue(baudRate_);
    block.Parity = static_cast<uint8_t>(parity_);
    block.StopBits = static_cast<uint8_t>(stopbits_);
    block.ByteSize = static_cast<uint8_t>(4 + static_cast<int>(databits_));
    block.XonChar = eventChars_.XonChar();
    block.XoffChar = eventChars_.XoffChar();
    block.ErrorChar = eventChars_.ErrorChar();
    block.EofChar = eventChars_.EofChar();
    block.EvtChar = eventChars_.EvtChar();
    block.XonLim = static_cast<uint32_t>(readBufSize_ / 4);
    block.XoffLim = static_cast<uint32_t>(readBufSize_ / 4);
    block.Flags = ApplyOptions(ApplyFlowControl(block.Flags, flowControl_), options_);

    const DeviceLineSettings line = ToDeviceSettings(block);
    const bool ok = device_->Configure(line.settings) && (!line.driveDtr || device_->SetDtr(line.dtrOn))
                    && (!line.driveRts || device_->SetRts(line.rtsOn));
    if (!ok)
        RaiseCommError("Error updating DataControlBlock", device_->LastError());
    dcb_ = block;
}

void TCustomComm::StopEventThread()
{
    std::unique_ptr<TCommEventThread> thread = std::move(eventThread_);
    if (!thread)
        return;
    thread->Stop();
    // Closing from inside one of this thread's own hand-overs: the thread is blocked
    // until the handler returns, so it cannot be waited for here. Once it is released
    // it only finds itself terminated and ends.
    if (handingOver_ == thread->Id())
        thread->Release();
    else
        thread->WaitFor();
}

void TCustomComm::Close()
{
    if (!IsOpen())
        return;
    // The thread is stopped before the device closes: a descriptor closed under a
    // waiting poll could be reused by the next open.
    StopEventThread();
    device_->Close();
    device_.reset();
}

int32_t TCustomComm::Write(const void* src, int32_t count)
{
    PortLockGuard guard(portLock_);
    if (!IsOpen())
        RaiseCommError("Write error", EBADF);
    if (count <= 0)
        return 0;
    const auto timeout = writeTimeout_ < 0 ? std::chrono::milliseconds(kNoLimit)
                                           : std::chrono::milliseconds(writeTimeout_);
    const long n = device_->Write(static_cast<const uint8_t*>(src), static_cast<size_t>(count), timeout);
    if (n < 0)
        RaiseCommError("Write error", device_->LastError());
    if (n > 0 && monitorEvents_.Contains(evTxEmpty) && eventThread_) {
        watch_.txPending = true;
        eventThread_->WakeUp();
    }
    return n == count ? static_cast<int32_t>(n) : -1;
}

int32_t TCustomComm::Read(void* dst, int32_t count)
{
    PortLockGuard guard(portLock_);
    if (!IsOpen())
        RaiseCommError("Read error", EBADF);
    if (count <= 0)
        return 0;
    // The device never blocks in a read, so ReadTimeout has nothing to bound here.
    long n = 0;
    {
        std::lock_guard countGuard(watch_.countLock);
        n = device_->Read(static_cast<uint8_t*>(dst), static_cast<size_t>(count));
        if (n > 0)
            watch_.consumed += static_cast<uint64_t>(n);
    }
    if (n < 0)
        RaiseCommError("Read error", device_->LastError());
    return static_cast<int32_t>(n);
}

int32_t TCustomComm::InQueueCount()
{
    return IsOpen() ? device_->InQueue() : -1;
}

int32_t TCustomComm::OutQueueCount()
{
    return IsOpen() ? device_->OutQueue() : -1;
}

void TCustomComm::PurgeIn()
{
    if (!IsOpen())
        return;
    PortLockGuard guard(portLock_);
    std::lock_guard countGuard(watch_.countLock);
    const int queued = device_->InQueue();
    device_->Purge(true, false);
    if (queued > 0)
        watch_.consumed += static_cast<uint64_t>(queued);
}

bool TCustomComm::DrainOutput(std::chrono::milliseconds timeout)
{
    return !IsOpen() || device_->Drain(timeout);
}

uint32_t TCustomComm::ClearCommError()
{
    return watch_.errors.exchange(0);
}

void TCustomComm::CheckReadable()
{
    if (!IsOpen())
        RaiseCommError("Read error", EBADF);
}

int32_t TCustomComm::QueuedOrLineLost()
{
    const int32_t queued = InQueueCount();
    // A hung-up line is not a silent one: what is still queued is read first, then the
    // read fails instead of waiting out its time-out.
    if (queued <= 0 && watch_.lineLost)
        RaiseCommError("Read error", EIO);
    return queued;
}

int32_t TCustomComm::PollRound(Clock::time_point deadline)
{
    platform::UiDispatcher& ui = ui_ ? *ui_ : platform::Ui();
    if (ui.IsUiThread())
        ui.ProcessPendingEvents();
    CheckReadable();
    const int32_t queued = QueuedOrLineLost();
    if (queued > 0)
        return queued;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    // While a hand-over is pending the reader may have woken before it was queued:
    // look again shortly instead of sleeping through the poll.
    const auto period = watch_.signalArrival && watch_.handOverPending ? kHandOverPoll : kPollPeriod;
    const auto wait = std::clamp(left, std::chrono::milliseconds(0), std::chrono::milliseconds(period));
    if (DataWaitEvent().WaitFor(static_cast<int32_t>(wait.count())) == wrSignaled)
        DataWaitEvent().ResetEvent();
    return QueuedOrLineLost();
}

int32_t TCustomComm::ReadTimed(uint8_t* dst, uint16_t count, uint32_t timeoutMs)
{
    CheckReadable();
    DataWaitEvent().ResetEvent();
    int32_t queued = InQueueCount();
    if (queued >= count)
        return Read(dst, count);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (queued < count && Clock::now() < deadline)
        queued = PollRound(deadline);
    // Up to count of what came; 0 when nothing did.
    return Read(dst, count);
}

bool TCustomComm::ReadUntil(uint8_t* dst, int32_t limit, uint32_t timeoutMs, int32_t& count,
                            const std::function<bool(int32_t)>& ends)
{
    count = 0;
    CheckReadable();
    DataWaitEvent().ResetEvent();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        const int32_t queued = PollRound(deadline);
        // One byte per device read, so the read stops exactly at its end mark.
        for (int32_t i = 0; i < queued; ++i) {
            if (count >= limit - 1)
                return false;
            if (Read(dst + count, 1) != 1)
                break;
            ++count;
            if (ends(count))
                return true;
        }
    }
    return false;
}

bool TCustomComm::ReadToEot(uint8_t* dst, int32_t limit, uint32_t timeoutMs, int32_t& count, uint8_t& last)
{
    return ReadUntil(dst, limit, timeoutMs, count, [&](int32_t n) {
        last = dst[n - 1];
        return last == EOT || last == ETX;
    });
}

bool TCustomComm::ReadToTerminator(uint8_t* dst, int32_t limit, const std::string& terminator,
                                   uint32_t timeoutMs, int32_t& count)
{
    const auto size = static_cast<int32_t>(terminator.size());
    return ReadUntil(dst, limit, timeoutMs, count, [&](int32_t n) {
        return size > 0 && n >= size && dst[n - 1] == static_cast<uint8_t>(terminator.back())
               && std::memcmp(dst + n - size, terminator.data(), terminator.size()) == 0;
    });
}

void TCustomComm::Fire(uint32_t mask, uint32_t bit, const TNotifyEvent& event)
{
    if ((mask & bit) && event && IsOpen())
        event(*this);
}

void TCustomComm::HandleCommEvents(TCommEventThread&, uint32_t mask)
{
    const uint32_t errors = ClearCommError();
    const int32_t queued = InQueueCount();
    // A handler may close the port; the events after it are then not fired.
    Fire(mask, EV_BREAK, OnBreak);
    Fire(mask, EV_CTS, OnCts);
    Fire(mask, EV_DSR, OnDsr);
    if ((mask & EV_ERR) && OnError && IsOpen())
        OnError(*this, static_cast<int32_t>(errors));
    Fire(mask, EV_RING, OnRing);
    Fire(mask, EV_RLSD, OnRlsd);
    if ((mask & EV_RXCHAR) && OnRxChar && IsOpen() && queued > 0)
        OnRxChar(*this, queued);
    Fire(mask, EV_RXFLAG, OnRxFlag);
    Fire(mask, EV_TXEMPTY, OnTxEmpty);
}

}  // namespace veltro::link
