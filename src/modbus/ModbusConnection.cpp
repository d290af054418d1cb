#include "modbus/ModbusConnection.h"

#include "modbus/FieldwireError.h"
#include "modbus/MbapLine.h"
#include "modbus/ModbusClient.h"
#include "modbus/ModbusServer.h"
#include "modbus/TransactionThread.h"
#include "platform/UiDispatcher.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <utility>

namespace veltro::modbus {

// What the worker's posted deliveries hold on to: cleared when the connection goes, so a
// delivery that runs later finds no connection instead of a dangling one.
struct TModbusConnection::TMessageSink {
    TModbusConnection* Owner;
};

TModbusConnection::TModbusConnection(platform::UiDispatcher* Dispatcher)
    : FSink(std::make_shared<TMessageSink>(TMessageSink{this})),
      FDispatcher(Dispatcher ? Dispatcher : &platform::Ui())
{
    MakeLine();
}

void TModbusConnection::MakeLine()
{
    if (FLine.Link == ltModbusTcp) {
        auto Line = std::make_unique<MbapLine>();
        // A reply to another transaction is dropped, but the log shows it came.
        Line->OnDropped = [this](std::span<const std::uint8_t> Wire) {
            NotifyFrame(Wire.data(), static_cast<std::int32_t>(Wire.size()), false);
        };
        FSerial = std::move(Line);
    } else {
        FSerial = std::make_unique<SerialLine>();
    }
    FSerial->SetHookedPortProvider([this] { return DoGetHookedPortHandle(); });
    FSerial->ComputeCharTimeout(FLine);
}

TModbusConnection::~TModbusConnection()
{
    if (FHandOvers > 0) {
        // Destroyed from inside a call its own worker waits for (a modal error display that
        // let the window close, a server object's query): the worker cannot be joined from
        // here. It is told to end and left to finish by itself once the call returns,
        // without touching the connection again.
        FSink->Owner = nullptr;
        FThread.release()->Abandon();
    } else {
        try {
            SetActive(false);
        } catch (...) {
            Report(std::current_exception());
        }
    }
    // A handler that refused the close cannot keep the port past the connection's life.
    StopWorkerAndPort();
    FActive = false;
    FSink->Owner = nullptr;
    for (TModbusClient* Client : std::vector<TModbusClient*>(FClients))
        Client->ConnectionRemoved(this);
    for (TModbusServer* Server : std::vector<TModbusServer*>(FServers))
        Server->ConnectionRemoved(this);
}

// ---------------------------------------------------------------------------------------
// Active

void TModbusConnection::SetActive(bool Value)
{
    if (FLoading) {
        FStreamedActive = Value;
        return;
    }
    if (Value == FActive)
        return;
    if (Value)
        Open();
    else
        Close();
}

void TModbusConnection::Open()
{
    DoBeforeOpen();
    FSerial->OpenPort(FLine);
    try {
        ++FSession;
        FOutbox.clear();  // what a closed worker left unsent belongs to the session it closed
        FSendWanted = FrameEventsWanted(true);
        FReceiveWanted = FrameEventsWanted(false);
        FThread = std::make_unique<TTransactionThread>(*this, FThreadPriority);
        FThread->Start();
        // A handler that fails here leaves nothing open: the caller sees the connection
        // inactive, so it must be inactive.
        DoAfterOpen();
    } catch (...) {
        StopWorkerAndPort();
        throw;
    }
    FActive = true;
}

void TModbusConnection::Close()
{
    // Closing joins the worker, which waits for this very call to return: refused instead
    // of a deadlock. The caller may close once the call has returned (a posted task).
    if (FHandOvers > 0)
        throw EFieldwireError(messages::SCloseInHandOver);
    DoBeforeClose();
    StopWorkerAndPort();
    try {
        DoAfterClose();
    } catch (...) {
        FActive = false;
        throw;
    }
    FActive = false;
}

void TModbusConnection::StopWorkerAndPort() noexcept
{
    if (FThread) {
        FThread->Stop();
        FThread.reset();
    }
    FSerial->ClosePort();
}

void TModbusConnection::Loaded()
{
    FLoading = false;
    if (!FStreamedActive)
        return;
    try {
        SetActive(true);
    } catch (...) {
        Report(std::current_exception());
    }
}

// ---------------------------------------------------------------------------------------
// Properties

void TModbusConnection::CheckInactive() const
{
    if (FActive && !FLoading)
        throw EFieldwireError(messages::SConnectionMustNotBeActive);
}

void TModbusConnection::ApplyLine(const LineSettings& Previous)
{
    if (FActive && !FLoading) {
        try {
            FSerial->ApplyLineSettings(FLine);
        } catch (...) {
            // The port kept its settings, so the properties keep describing it.
            FLine = Previous;
            throw;
        }
    }
    FSerial->ComputeCharTimeout(FLine);
}

template <typename T> void TModbusConnection::ChangeLine(T LineSettings::*Field, T Value)
{
    if (Value == FLine.*Field)
        return;
    const LineSettings Previous = FLine;
    FLine.*Field = Value;
    ApplyLine(Previous);
}

template <typename T> void TModbusConnection::ChangeWhileInactive(T LineSettings::*Field, T Value)
{
    if (Value == FLine.*Field)
        return;
    CheckInactive();
    FLine.*Field = Value;
}

void TModbusConnection::SetBaudRate(TBaudRate Value) { ChangeLine(&LineSettings::BaudRate, Value); }

void TModbusConnection::SetCustomBaudRate(std::uint32_t Value)
{
    if (Value == FLine.CustomBaudRate)
        return;
    const LineSettings Previous = FLine;
    FLine.CustomBaudRate = Value;
    FLine.BaudRate = brCustom;
    ApplyLine(Previous);
}

void TModbusConnection::SetDataBits(TDataBits Value) { ChangeLine(&LineSettings::DataBits, Value); }

void TModbusConnection::SetParity(TParityScheme Value) { ChangeLine(&LineSettings::Parity, Value); }

void TModbusConnection::SetStopBits(TStopBits Value) { ChangeLine(&LineSettings::StopBits, Value); }

void TModbusConnection::SetSilentInterval(std::uint32_t Value)
{
    if (Value == FLine.SilentInterval)
        return;
    FLine.SilentInterval = Value;
    FSerial->ComputeCharTimeout(FLine);
}

void TModbusConnection::SetConnectionMode(TConnectionMode Value) { ChangeWhileInactive(&LineSettings::ConnectionMode, Value); }

void TModbusConnection::SetDTREnabled(bool Value) { ChangeWhileInactive(&LineSettings::DTREnabled, Value); }

void TModbusConnection::SetFlowControl(TFlowControl Value) { ChangeWhileInactive(&LineSettings::FlowControl, Value); }

void TModbusConnection::SetHookExistingPort(bool Value) { ChangeWhileInactive(&LineSettings::HookExistingPort, Value); }

void TModbusConnection::SetPort(const TSerialPort& Value) { ChangeWhileInactive(&LineSettings::Port, TSerialPort(Value)); }

void TModbusConnection::SetRTSEnabled(bool Value) { ChangeWhileInactive(&LineSettings::RTSEnabled, Value); }

void TModbusConnection::SetLink(TLinkType Value)
{
    if (Value == FLine.Link)
        return;
    CheckInactive();
    const bool NewLine = (Value == ltModbusTcp) != (FLine.Link == ltModbusTcp);
    FLine.Link = Value;
    if (NewLine)
        MakeLine();
    else
        FSerial->ComputeCharTimeout(FLine);
}

void TModbusConnection::SetGateway(const std::string& Value) { ChangeWhileInactive(&LineSettings::Gateway, std::string(Value)); }

void TModbusConnection::SetTransmissionMode(TTransmissionMode Value)
{
    if (Value == FLine.TransmissionMode)
        return;
    CheckInactive();
    FLine.TransmissionMode = Value;
    FSerial->ComputeCharTimeout(FLine);
}

void TModbusConnection::SetThreadPriority(TThreadPriority Value)
{
    if (Value == FThreadPriority)
        return;
    FThreadPriority = Value;
    if (FThread)
        FThread->SetPriority(Value);
}

// The worker reads these at the moment of use, so each takes the shared side of the lock;
// the setters take the exclusive side.

template <typename T> T TModbusConnection::ReadShared(const T& Field) const
{
    std::shared_lock Lock(FLock);
    return Field;
}

template <typename T> void TModbusConnection::WriteShared(T& Field, T Value)
{
    std::unique_lock Lock(FLock);
    Field = Value;
}

bool TModbusConnection::EchoQueryBeforeReply() const { return ReadShared(FEchoQueryBeforeReply); }

void TModbusConnection::SetEchoQueryBeforeReply(bool Value) { WriteShared(FEchoQueryBeforeReply, Value); }

TFrameEnd TModbusConnection::FrameEnd() const { return ReadShared(FFrameEnd); }

void TModbusConnection::SetFrameEnd(TFrameEnd Value) { WriteShared(FFrameEnd, Value); }

TMaxRetries TModbusConnection::MaxRetries() const { return ReadShared(FMaxRetries); }

void TModbusConnection::SetMaxRetries(TMaxRetries Value)
{
    std::unique_lock Lock(FLock);
    if (Value == FMaxRetries)
        return;
    if (Value < 1)
        throw EFieldwireError(messages::ValueRange(1, std::numeric_limits<TMaxRetries>::max()));
    FMaxRetries = Value;
}

std::uint32_t TModbusConnection::HalfOpenAfter() const { return ReadShared(FHalfOpenAfter); }

void TModbusConnection::SetHalfOpenAfter(std::uint32_t Value) { WriteShared(FHalfOpenAfter, Value); }

std::uint32_t TModbusConnection::ReceiveTimeout() const { return ReadShared(FReceiveTimeout); }

void TModbusConnection::SetReceiveTimeout(std::uint32_t Value) { WriteShared(FReceiveTimeout, Value); }

std::uint32_t TModbusConnection::RefetchDelay() const { return ReadShared(FRefetchDelay); }

void TModbusConnection::SetRefetchDelay(std::uint32_t Value) { WriteShared(FRefetchDelay, Value); }

std::uint32_t TModbusConnection::SendTimeout() const { return ReadShared(FSendTimeout); }

void TModbusConnection::SetSendTimeout(std::uint32_t Value) { WriteShared(FSendTimeout, Value); }

std::uint32_t TModbusConnection::TurnaroundDelay() const { return ReadShared(FTurnaroundDelay); }

void TModbusConnection::SetTurnaroundDelay(std::uint32_t Value) { WriteShared(FTurnaroundDelay, Value); }

std::uint32_t TModbusConnection::CharTimeout() const
{
    return static_cast<std::uint32_t>(FSerial->CharTimeout().count());
}

// ---------------------------------------------------------------------------------------
// Clients, servers, queue

void TModbusConnection::RegisterClient(TModbusClient* Client)
{
    if (Client && std::find(FClients.begin(), FClients.end(), Client) == FClients.end())
        FClients.push_back(Client);
}

void TModbusConnection::UnregisterClient(TModbusClient* Client)
{
    FClients.erase(std::remove(FClients.begin(), FClients.end(), Client), FClients.end());
}

void TModbusConnection::RegisterServer(TModbusServer* Server)
{
    if (Server && std::find(FServers.begin(), FServers.end(), Server) == FServers.end())
        FServers.push_back(Server);
}

void TModbusConnection::UnregisterServer(TModbusServer* Server)
{
    FServers.erase(std::remove(FServers.begin(), FServers.end(), Server), FServers.end());
}

void TModbusConnection::QueueTransaction(std::unique_ptr<TModbusTransaction>&& Transaction)
{
    // The worker is gone already while OnAfterClose runs.
    if (!FActive || !FThread)
        throw EFieldwireError(messages::SConnectionMustBeActive);
    FThread->Enqueue(std::move(Transaction));
}

// ---------------------------------------------------------------------------------------
// Worker to UI thread

void TModbusConnection::NotifyFrame(const std::uint8_t* Bytes, std::int32_t Count, bool Sent)
{
    // Every receive attempt is reported, an empty one included, so a log shows the silence;
    // but not the attempt that closing the connection cut short: it is discarded.
    if ((Sent && Count <= 0) || (FThread && FThread->Terminated()) || !(Sent ? FSendWanted : FReceiveWanted))
        return;
    auto Data = std::make_shared<const TFrameData>(Bytes, Bytes + std::max<std::int32_t>(Count, 0));
    FOutbox.push_back([Sink = FSink, Data, Sent] {
        if (Sink->Owner)
            Sink->Owner->DeliverFrame(*Data, Sent);
    });
    // A client's reply goes to the UI thread together with the transaction it ends: one
    // wake-up of that thread instead of two for every exchange. A request is shown at
    // once, and a server's request before it is answered.
    if (Sent || FLine.ConnectionMode == cmServer)
        FlushOutbox();
}

void TModbusConnection::PostTransaction(std::unique_ptr<TModbusTransaction> Transaction)
{
    std::shared_ptr<TModbusTransaction> Shared(std::move(Transaction));
    FOutbox.push_back([Sink = FSink, Shared, Session = FSession] {
        if (Sink->Owner)
            Sink->Owner->DeliverTransaction(*Shared, Session);
    });
    FlushOutbox();
}

void TModbusConnection::FlushOutbox()
{
    if (FOutbox.empty())
        return;
    Dispatcher().Post([Tasks = std::exchange(FOutbox, {})] {
        for (const auto& Task : Tasks)
            Task();
    });
}

void TModbusConnection::HandOver(const std::function<void()>& Fn)
{
    // Fn may destroy the connection (see the destructor): the sink, held here, tells. After
    // that nothing of the connection is touched, on either thread.
    const std::shared_ptr<TMessageSink> Sink = FSink;
    Dispatcher().InvokeAndWait([this, &Sink, &Fn] {
        ++FHandOvers;
        try {
            Fn();
        } catch (...) {
            if (Sink->Owner)
                --FHandOvers;
            throw;
        }
        if (Sink->Owner)
            --FHandOvers;
    });
}

void TModbusConnection::ReportWorkerError(std::exception_ptr Error) noexcept
{
    try {
        HandOver([this, Error] { Report(Error); });
    } catch (...) {
        // The display itself failed; the worker carries on regardless.
    }
}

void TModbusConnection::DispatchRequest(TModbusTransaction& Transaction)
{
    const std::uint8_t Address = Transaction.Info.ServerAddress;
    if (Address != 0) {
        for (TModbusServer* Server : FServers) {
            if (Server->ServerAddress() == Address) {
                Server->HandleRequest(Transaction);
                return;
            }
        }
        return;
    }
    // A handler may unregister a server object: one that left is not asked any more.
    for (TModbusServer* Server : std::vector<TModbusServer*>(FServers))
        if (std::find(FServers.begin(), FServers.end(), Server) != FServers.end())
            Server->HandleRequest(Transaction);
}

void TModbusConnection::Report(std::exception_ptr Error) const
{
    if (FReporter)
        FReporter(Error);
    else
        platform::ReportException(Error);
}

void TModbusConnection::DeliverTransaction(TModbusTransaction& Transaction, std::uint64_t Session)
{
    try {
        if (!FActive || Session != FSession)
            return;
        // Replies are routed by server address, to the first client that has it.
        for (TModbusClient* Client : FClients) {
            if (Client->ServerAddress() == Transaction.Info.ServerAddress) {
                Client->ProcessReply(Transaction);
                break;
            }
        }
    } catch (...) {
        Report(std::current_exception());
    }
}

void TModbusConnection::DeliverFrame(const TFrameData& Data, bool Sent)
{
    try {
        if (Sent)
            DoFrameSend(Data);
        else
            DoFrameReceive(Data);
    } catch (...) {
        Report(std::current_exception());
    }
}

// ---------------------------------------------------------------------------------------
// Event raisers

void TModbusConnection::DoAfterClose()
{
    if (OnAfterClose)
        OnAfterClose(*this);
}

void TModbusConnection::DoAfterOpen()
{
    if (OnAfterOpen)
        OnAfterOpen(*this);
}

void TModbusConnection::DoBeforeClose()
{
    if (OnBeforeClose)
        OnBeforeClose(*this);
}

void TModbusConnection::DoBeforeOpen()
{
    if (OnBeforeOpen)
        OnBeforeOpen(*this);
}

void TModbusConnection::DoFrameReceive(const TFrameData& Data)
{
    if (OnFrameReceive)
        OnFrameReceive(*this, Data);
}

void TModbusConnection::DoFrameSend(const TFrameData& Data)
{
    if (OnFrameSend)
        OnFrameSend(*this, Data);
}

platform::ISerialDevice* TModbusConnection::DoGetHookedPortHandle()
{
    platform::ISerialDevice* Handle = nullptr;
    if (OnGetHookedPortHandle)
        OnGetHookedPortHandle(*this, Handle);
    return Handle;
}

} // namespace veltro::modbus
