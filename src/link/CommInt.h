#pragma once
// TCustomComm / TComm: the serial port component. It owns one serial device, writes the
// line settings into it, reads and writes under one lock, offers the polling reads the
// byte link needs, and watches the line on a background thread (TCommEventThread) that
// hands line events to the UI thread synchronously. Failures raise ECommError.
//
// The device is reached through platform::ISerialDevice; OpenDevice is virtual so a
// test can put a fake device behind the component.

#include "link/CommDcb.h"
#include "link/CommError.h"
#include "link/CommObjs.h"
#include "platform/SerialDevice.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace veltro::platform {
class UiDispatcher;
}

namespace veltro::link {

class TCustomComm;
class TCommEventThread;

using TNotifyEvent = std::function<void(TCustomComm& sender)>;
using TCommRxCharEvent = std::function<void(TCustomComm& sender, int32_t count)>;
using TCommErrorEvent = std::function<void(TCustomComm& sender, int32_t errors)>;

// The five special characters of the line, owned by a port. Changing one while the port
// is open rewrites the device settings at once.
class TCommEventChars {
public:
    explicit TCommEventChars(TCustomComm& port) : port_(port) {}
    TCommEventChars(const TCommEventChars&) = delete;
    TCommEventChars& operator=(const TCommEventChars&) = delete;

    // Copies the five characters; the device is not touched.
    void Assign(const TCommEventChars& source);

    uint8_t XonChar() const { return xon_; }
    uint8_t XoffChar() const { return xoff_; }
    uint8_t ErrorChar() const { return error_; }
    uint8_t EofChar() const { return eof_; }
    uint8_t EvtChar() const { return evt_; }
    void SetXonChar(uint8_t value) { Change(xon_, value); }
    void SetXoffChar(uint8_t value) { Change(xoff_, value); }
    void SetErrorChar(uint8_t value) { Change(error_, value); }
    void SetEofChar(uint8_t value) { Change(eof_, value); }
    void SetEvtChar(uint8_t value) { Change(evt_, value); }

private:
    void Change(uint8_t& field, uint8_t value);

    TCustomComm& port_;
    uint8_t xon_ = 17;
    uint8_t xoff_ = 19;
    uint8_t error_ = 0;
    uint8_t eof_ = 0;
    uint8_t evt_ = 0;
};

// What a port and its event thread share about the line while the port is open.
struct TCommLineWatch {
    // Held around taking bytes out of the input queue and counting them, and around the
    // event thread's look at queue and count, so that look is never half a read old.
    std::mutex countLock;
    std::atomic<uint64_t> consumed{0};   // bytes taken out of the input queue (reads, purges)
    std::atomic<uint32_t> errors{0};     // line-error flags not yet taken by the port
    std::atomic<bool> txPending{false};  // a write went out; the empty output queue is awaited
    std::atomic<bool> lineLost{false};   // the far end hung up
    std::atomic<bool> signalArrival{true};
    // The event thread is handing a batch of line events to the UI thread and waits for
    // it; until served it watches nothing, so a timed read must not sleep a whole poll.
    std::atomic<bool> handOverPending{false};
    TSimpleEvent dataWait;               // the port's DataWaitEvent

    void Reset();
};

// Watches one open device for line events and hands each batch to the UI thread,
// waiting until the handler has run there.
class TCommEventThread {
public:
    using THandler = std::function<void(TCommEventThread& sender, uint32_t mask)>;

    // Starts at once.
    TCommEventThread(std::shared_ptr<platform::ISerialDevice> device, TCommEventTypes events,
                     TCommLineWatch& watch, platform::UiDispatcher& ui, THandler handler);
    ~TCommEventThread();
    TCommEventThread(const TCommEventThread&) = delete;
    TCommEventThread& operator=(const TCommEventThread&) = delete;

    // Marks the thread terminated and wakes it; from then on it dispatches nothing.
    void Stop();
    // Returns when the thread has ended. On the UI thread, hand-overs the thread is
    // blocked in are served meanwhile (they run nothing once stopped).
    void WaitFor();
    // Lets a stopped thread end on its own. Only for a stop from inside one of the
    // thread's own hand-overs: the thread is blocked there and touches nothing after it.
    void Release();
    // The thread saw output go out and should watch for the empty output queue.
    void WakeUp();

    bool Terminated() const;
    uint32_t EventMask() const;  // the last event mask received
    uint64_t Id() const { return id_; }

private:
    struct State;
    static void Execute(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
    std::thread thread_;
    uint64_t id_;
};

class TCustomComm {
public:
    TCustomComm();
    virtual ~TCustomComm();
    TCustomComm(const TCustomComm&) = delete;
    TCustomComm& operator=(const TCustomComm&) = delete;

    void Open();
    void Close();
    bool IsOpen() const { return device_ != nullptr; }

    // Bytes written, or -1 when not all went out within WriteTimeout.
    int32_t Write(const void* src, int32_t count);
    // What is queued, up to count; never waits.
    int32_t Read(void* dst, int32_t count);
    // -1 when closed.
    int32_t InQueueCount();
    int32_t OutQueueCount();
    void PurgeIn();

    // Waits until count bytes are queued or the time-out passes, then reads what came
    // (up to count, 0 when nothing did).
    int32_t ReadTimed(uint8_t* dst, uint16_t count, uint32_t timeoutMs);
    // Reads byte by byte until EOT or ETX, storing at most limit - 1 bytes.
    bool ReadToEot(uint8_t* dst, int32_t limit, uint32_t timeoutMs, int32_t& count, uint8_t& last);
    // Reads byte by byte until the bytes read end with the terminator (counted in).
    bool ReadToTerminator(uint8_t* dst, int32_t limit, const std::string& terminator,
                          uint32_t timeoutMs, int32_t& count);
    // Waits until the output queue has gone out, at most the time-out; true when it has
    // (or the port is closed).
    bool DrainOutput(std::chrono::milliseconds timeout);

    // Rewrites the device settings from the properties; nothing while closed.
    void UpdateDataControlBlock();

    TSimpleEvent& DataWaitEvent() { return watch_.dataWait; }
    TCriticalSection& PortLock() { return portLock_; }
    const TDeviceControlBlock& DataControlBlock() const { return dcb_; }
    TCommEventThread* EventThread() const { return eventThread_.get(); }
    platform::ISerialDevice* Device() const { return device_.get(); }
    // The far end hung up or the device went away (an adapter pulled out): no read or
    // write will succeed again on this opening; Device()->LastError() tells why.
    bool LineLost() const { return IsOpen() && watch_.lineLost; }

    // Whether the event thread signals DataWaitEvent as characters arrive (default on),
    // so a timed read ends within a few milliseconds of its condition instead of at
    // its next 50 ms poll.
    bool SignalDataArrival() const { return watch_.signalArrival; }
    void SetSignalDataArrival(bool value) { watch_.signalArrival = value; }
    // What ports created from now on start with; lets a measurement compare both ways
    // through code that creates its ports itself.
    static bool DefaultSignalDataArrival();
    static void SetDefaultSignalDataArrival(bool value);

protected:
    // Opens the device named by DeviceName.
    virtual std::shared_ptr<platform::ISerialDevice> OpenDevice();
    // On the UI thread: fires the published events for one batch of line events.
    void HandleCommEvents(TCommEventThread& sender, uint32_t mask);
    // Takes the line-error flags gathered since the last call.
    uint32_t ClearCommError();

    const std::string& DeviceName() const { return deviceName_; }
    void SetDeviceName(const std::string& value);
    int32_t ReadTimeout() const { return readTimeout_; }
    void SetReadTimeout(int32_t value) { readTimeout_ = value; }
    int32_t WriteTimeout() const { return writeTimeout_; }
    void SetWriteTimeout(int32_t value) { writeTimeout_ = value; }
    int32_t ReadBufSize() const { return readBufSize_; }
    void SetReadBufSize(int32_t value);
    int32_t WriteBufSize() const { return writeBufSize_; }
    void SetWriteBufSize(int32_t value);
    TCommEventTypes MonitorEvents() const { return monitorEvents_; }
    void SetMonitorEvents(TCommEventTypes value);
    TBaudrate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudrate value) { SetLineSetting(baudRate_, value); }
    TParity Parity() const { return parity_; }
    void SetParity(TParity value) { SetLineSetting(parity_, value); }
    TStopbits Stopbits() const { return stopbits_; }
    void SetStopbits(TStopbits value) { SetLineSetting(stopbits_, value); }
    TDatabits Databits() const { return databits_; }
    void SetDatabits(TDatabits value) { SetLineSetting(databits_, value); }
    TCommEventChars& EventChars() { return eventChars_; }
    TCommOptions Options() const { return options_; }
    void SetOptions(TCommOptions value) { SetLineSetting(options_, value); }
    TFlowControl FlowControl() const { return flowControl_; }
    void SetFlowControl(TFlowControl value) { SetLineSetting(flowControl_, value); }

    TNotifyEvent OnBreak;
    TNotifyEvent OnCts;
    TNotifyEvent OnDsr;
    TNotifyEvent OnRing;
    TNotifyEvent OnRlsd;
    TCommErrorEvent OnError;
    TCommRxCharEvent OnRxChar;
    TNotifyEvent OnRxFlag;
    TNotifyEvent OnTxEmpty;

private:
    using Clock = std::chrono::steady_clock;

    void CheckNotOpen() const;
    void UpdateCommTimeouts();
    void SetupDeviceQueues();
    void StopEventThread();
    void CheckReadable();
    int32_t QueuedOrLineLost();
    int32_t PollRound(Clock::time_point deadline);
    bool ReadUntil(uint8_t* dst, int32_t limit, uint32_t timeoutMs, int32_t& count,
                   const std::function<bool(int32_t count)>& ends);
    void Fire(uint32_t mask, uint32_t bit, const TNotifyEvent& event);
    template <typename T>
    void SetLineSetting(T& field, T value)
    {
        if (field == value)
            return;
        field = value;
        UpdateDataControlBlock();
    }

    std::shared_ptr<platform::ISerialDevice> device_;
    TDeviceControlBlock dcb_;
    std::string deviceName_ = "Com2";
    TCriticalSection portLock_;
    TCommLineWatch watch_;
    int32_t readTimeout_ = 1000;
    int32_t writeTimeout_ = 1000;
    int32_t readBufSize_ = 4096;
    int32_t writeBufSize_ = 2048;
    TCommEventTypes monitorEvents_ = AllCommEvents;
    TBaudrate baudRate_ = br9600;
    TParity parity_ = paNone;
    TStopbits stopbits_ = sb10;
    TDatabits databits_ = da8;
    TCommEventChars eventChars_{*this};
    TCommOptions options_;
    TFlowControl flowControl_ = fcDefault;
    std::unique_ptr<TCommEventThread> eventThread_;
    platform::UiDispatcher* ui_ = nullptr;
    uint64_t handingOver_ = 0;  // id of the event thread whose hand-over is running
};

// The component with its properties and events published.
class TComm : public TCustomComm {
public:
    using TCustomComm::DeviceName;
    using TCustomComm::SetDeviceName;
    using TCustomComm::ReadTimeout;
    using TCustomComm::SetReadTimeout;
    using TCustomComm::WriteTimeout;
    using TCustomComm::SetWriteTimeout;
    using TCustomComm::ReadBufSize;
    using TCustomComm::SetReadBufSize;
    using TCustomComm::WriteBufSize;
    using TCustomComm::SetWriteBufSize;
    using TCustomComm::MonitorEvents;
    using TCustomComm::SetMonitorEvents;
    using TCustomComm::BaudRate;
    using TCustomComm::SetBaudRate;
    using TCustomComm::Parity;
    using TCustomComm::SetParity;
    using TCustomComm::Stopbits;
    using TCustomComm::SetStopbits;
    using TCustomComm::Databits;
    using TCustomComm::SetDatabits;
    using TCustomComm::EventChars;
    using TCustomComm::Options;
    using TCustomComm::SetOptions;
    using TCustomComm::FlowControl;
    using TCustomComm::SetFlowControl;
    using TCustomComm::OnBreak;
    using TCustomComm::OnCts;
    using TCustomComm::OnDsr;
    using TCustomComm::OnRing;
    using TCustomComm::OnRlsd;
    using TCustomComm::OnError;
    using TCustomComm::OnRxChar;
    using TCustomComm::OnRxFlag;
    using TCustomComm::OnTxEmpty;
};

}  // namespace veltro::link
