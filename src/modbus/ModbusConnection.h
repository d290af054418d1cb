#pragma once
// The connection component: owns one serial port for Modbus traffic, holds its line
// settings and exchange timing, and runs one worker thread (TTransactionThread) while
// Active. Clients queue transactions on it; the worker hands frames and finished
// transactions back to the UI thread through the UI dispatcher, in the order it produced
// them. Everything public runs on the UI thread.

#include "modbus/LineSettings.h"
#include "modbus/ModbusTransaction.h"
#include "modbus/ModbusTypes.h"
#include "modbus/SerialLine.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <vector>

namespace veltro::platform {
class UiDispatcher;
class ISerialDevice;
}

namespace veltro::modbus {

class TModbusClient;
class TModbusServer;  // server mode registers its request handlers beside the clients
class TTransactionThread;

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// 1..4294967295; 0 is refused by the setter.
using TMaxRetries = std::uint32_t;

class TModbusConnection;
using TConnectionNotifyEvent = std::function<void(TModbusConnection& Sender)>;
using TFrameEvent = std::function<void(TModbusConnection& Sender, const TFrameData& Data)>;
// HookHandle starts as nullptr (no port); a handler hands over a port it keeps owning.
using TGetHookedPortHandleEvent =
    std::function<void(TModbusConnection& Sender, platform::ISerialDevice*& HookHandle)>;

class TModbusConnection {
public:
    // Deliveries go through Dispatcher, or the process-wide one (platform::Ui()) when null.
    explicit TModbusConnection(platform::UiDispatcher* Dispatcher = nullptr);
    virtual ~TModbusConnection();
    TModbusConnection(const TModbusConnection&) = delete;
    TModbusConnection& operator=(const TModbusConnection&) = delete;

    // Opening: OnBeforeOpen, open and configure the port, start the worker, OnAfterOpen.
    // Closing: OnBeforeClose, stop the worker (the exchange in progress is cut short and,
    // like the queued transactions, freed without events), close the port, OnAfterClose.
    // Closing from inside a call the worker waits for (a server object's query, the
    // display of a worker's error) raises "Connection cannot be closed ..." instead.
    bool Active() const noexcept { return FActive; }
    void SetActive(bool Value);

    // Published properties. "Refused" ones raise "Connection must NOT be active ..." while
    // active; line settings are written to the open port at once; timing values are taken
    // by the worker at their next use.
    TBaudRate BaudRate() const noexcept { return FLine.BaudRate; }
    void SetBaudRate(TBaudRate Value);
    TConnectionMode ConnectionMode() const noexcept { return FLine.ConnectionMode; }
    void SetConnectionMode(TConnectionMode Value);  // refused
    std::uint32_t CustomBaudRate() const noexcept { return FLine.CustomBaudRate; }
    void SetCustomBaudRate(std::uint32_t Value);  // also selects brCustom
    TDataBits DataBits() const noexcept { return FLine.DataBits; }
    void SetDataBits(TDataBits Value);
    bool DTREnabled() const noexcept { return FLine.DTREnabled; }
    void SetDTREnabled(bool Value);  // refused
    bool EchoQueryBeforeReply() const;
    void SetEchoQueryBeforeReply(bool Value);
    TFlowControl FlowControl() const noexcept { return FLine.FlowControl; }
    void SetFlowControl(TFlowControl Value);  // refused
    TFrameEnd FrameEnd() const;  // client RTU replies; used from the next reply on
    void SetFrameEnd(TFrameEnd Value);
    // What carries the frames: the serial port (the default) or a TCP connection to an
    // RS485-to-Ethernet gateway at Gateway ("host:port"), which passes RTU frames on as
    // they are or speaks Modbus TCP. A client connects there, a server listens there.
    // The serial settings do not apply to the TCP links. Both refused while active.
    TLinkType Link() const noexcept { return FLine.Link; }
    void SetLink(TLinkType Value);
    const std::string& Gateway() const noexcept { return FLine.Gateway; }
    void SetGateway(const std::string& Value);
    // Client mode on a TCP link: after this many requests in a row without any reply the
    // connection counts as lost (half-open: a gateway gone without a reset), so that it is
    // closed and opened afresh; 0 never. A search asks addresses where nobody is expected to
    // answer, and sets 0. Taken by the worker at the next request.
    std::uint32_t HalfOpenAfter() const;
    void SetHalfOpenAfter(std::uint32_t Value);
    bool HookExistingPort() const noexcept { return FLine.HookExistingPort; }
    void SetHookExistingPort(bool Value);  // refused
    TMaxRetries MaxRetries() const;
    void SetMaxRetries(TMaxRetries Value);  // 0 raises "Value must be between 1 and 4294967295"
    TParityScheme Parity() const noexcept { return FLine.Parity; }
    void SetParity(TParityScheme Value);
    const TSerialPort& Port() const noexcept { return FLine.Port; }
    void SetPort(const TSerialPort& Value);  // refused
    std::uint32_t ReceiveTimeout() const;  // ms
    void SetReceiveTimeout(std::uint32_t Value);
    std::uint32_t RefetchDelay() const;  // ms, after every attempt
    void SetRefetchDelay(std::uint32_t Value);
    bool RTSEnabled() const noexcept { return FLine.RTSEnabled; }
    void SetRTSEnabled(bool Value);  // refused
    std::uint32_t SendTimeout() const;  // ms
    void SetSendTimeout(std::uint32_t Value);
    std::uint32_t SilentInterval() const noexcept { return FLine.SilentInterval; }
    void SetSilentInterval(std::uint32_t Value);
    TStopBits StopBits() const noexcept { return FLine.StopBits; }
    void SetStopBits(TStopBits Value);
    TThreadPriority ThreadPriority() const noexcept { return FThreadPriority; }
    void SetThreadPriority(TThreadPriority Value);
    TTransmissionMode TransmissionMode() const noexcept { return FLine.TransmissionMode; }
    void SetTransmissionMode(TTransmissionMode Value);  // refused
    std::uint32_t TurnaroundDelay() const;  // ms of silence after a broadcast
    void SetTurnaroundDelay(std::uint32_t Value);

    // The computed end-of-frame silence in ms.
    std::uint32_t CharTimeout() const;
    const LineSettings& CurrentLineSettings() const noexcept { return FLine; }

    // Component loading: between BeginLoading and Loaded, setting Active only records the
    // value; Loaded applies it and reports a failure instead of raising it.
    void BeginLoading() noexcept { FLoading = true; }
    void Loaded();
    bool Loading() const noexcept { return FLoading; }
    // "COM1" is the default port and is not worth storing with the other settings.
    bool PortStored() const { return FLine.Port != "COM1"; }

    void RegisterClient(TModbusClient* Client);
    void UnregisterClient(TModbusClient* Client);
    const std::vector<TModbusClient*>& Clients() const noexcept { return FClients; }
    void RegisterServer(TModbusServer* Server);
    void UnregisterServer(TModbusServer* Server);
    const std::vector<TModbusServer*>& Servers() const noexcept { return FServers; }

    // Returns the counter, then increments it (UI thread only).
    std::uint32_t NextTransactionID() noexcept { return FNextTransactionID++; }
    // Raises "Connection MUST be active ..." unless active, and then leaves Transaction with
    // the caller; otherwise the worker takes it over.
    void QueueTransaction(std::unique_ptr<TModbusTransaction>&& Transaction);
    int FrameBufferCapacity() const noexcept { return modbus::FrameBufferCapacity(FLine.TransmissionMode); }

    // The line under the connection; tests replace the device opener before opening.
    SerialLine& Line() noexcept { return *FSerial; }
    platform::UiDispatcher& Dispatcher() const noexcept { return *FDispatcher; }
    // Where errors without a caller go (a worker's report, a failing event handler), on the
    // dispatcher's thread: the application's exception display unless set. A connection
    // dispatched on a thread of its own sets one, as that display may belong to a toolkit
    // that only works on its own thread.
    using TExceptionReporter = std::function<void(std::exception_ptr)>;
    void SetExceptionReporter(TExceptionReporter Reporter) { FReporter = std::move(Reporter); }

    TConnectionNotifyEvent OnAfterClose;
    TConnectionNotifyEvent OnAfterOpen;
    TConnectionNotifyEvent OnBeforeClose;
    TConnectionNotifyEvent OnBeforeOpen;
    TFrameEvent OnFrameReceive;
    TFrameEvent OnFrameSend;
    TGetHookedPortHandleEvent OnGetHookedPortHandle;

protected:
    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoFrameReceive(const TFrameData& Data);
    virtual void DoFrameSend(const TFrameData& Data);
    virtual platform::ISerialDevice* DoGetHookedPortHandle();
    // Whether frames are to be raised at all, asked when the connection opens: nothing is
    // posted for an event nobody handles. A subclass that overrides DoFrameSend or
    // DoFrameReceive overrides this too.
    virtual bool FrameEventsWanted(bool Sent) const { return Sent ? bool(OnFrameSend) : bool(OnFrameReceive); }

private:
    friend class TTransactionThread;
    struct TMessageSink;

    void Open();
    void Close();
    // A Modbus TCP link has a line of its own (MbapLine); the others the serial line.
    void MakeLine();
    void StopWorkerAndPort() noexcept;
    void CheckInactive() const;
    // Writes changed line settings to the open port; on refusal the previous settings stay.
    void ApplyLine(const LineSettings& Previous);
    // A line property the open port takes at once (else at the next open).
    template <typename T> void ChangeLine(T LineSettings::*Field, T Value);
    // A line property that can only change while the port is closed.
    template <typename T> void ChangeWhileInactive(T LineSettings::*Field, T Value);
    // The timing values the worker reads at the moment of use.
    template <typename T> T ReadShared(const T& Field) const;
    template <typename T> void WriteShared(T& Field, T Value);

    // Worker side: queue deliveries to the UI thread; never block.
    void NotifyFrame(const std::uint8_t* Bytes, std::int32_t Count, bool Sent);
    void PostTransaction(std::unique_ptr<TModbusTransaction> Transaction);
    // Posts what waits in the outbox as one delivery, in order.
    void FlushOutbox();
    // Worker side: runs Fn on the UI thread and waits until it has run; meanwhile the
    // connection refuses to close.
    void HandOver(const std::function<void()>& Fn);
    // Worker side: synchronous hand-over of an error to the UI thread's exception display.
    void ReportWorkerError(std::exception_ptr Error) noexcept;
    // Server mode, UI side (the worker waits): the first server object with the request's
    // address handles it; a broadcast goes to every one of them in turn.
    void DispatchRequest(TModbusTransaction& Transaction);

    // UI side.
    void Report(std::exception_ptr Error) const;
    void DeliverTransaction(TModbusTransaction& Transaction, std::uint64_t Session);
    void DeliverFrame(const TFrameData& Data, bool Sent);

    bool FActive = false;
    std::vector<TModbusClient*> FClients;
    std::unique_ptr<SerialLine> FSerial;
    std::shared_ptr<TMessageSink> FSink;
    platform::UiDispatcher* FDispatcher;
    TExceptionReporter FReporter;
    mutable std::shared_mutex FLock;  // guards the timing values the worker reads
    std::uint32_t FNextTransactionID = 0;
    std::vector<TModbusServer*> FServers;
    bool FStreamedActive = false;
    bool FLoading = false;
    std::unique_ptr<TTransactionThread> FThread;
    int FHandOvers = 0;  // UI thread: hand-overs of this connection's worker now running
    // Counts openings, so a delivery queued before a close is not taken for one of a later opening.
    std::uint64_t FSession = 0;
    // Worker side: deliveries not yet posted (a client's received frames wait for the
    // transaction they end).
    std::vector<std::function<void()>> FOutbox;
    // Set at opening, read by the worker: which frames anybody handles.
    bool FSendWanted = false;
    bool FReceiveWanted = false;

    LineSettings FLine;
    TThreadPriority FThreadPriority = tpNormal;
    // Under FLock:
    bool FEchoQueryBeforeReply = false;
    TFrameEnd FFrameEnd = feSilence;
    TMaxRetries FMaxRetries = 1;
    std::uint32_t FReceiveTimeout = 1000;
    std::uint32_t FRefetchDelay = 0;
    std::uint32_t FSendTimeout = 1000;
    std::uint32_t FTurnaroundDelay = 100;
    std::uint32_t FHalfOpenAfter = 3;
};

} // namespace veltro::modbus
