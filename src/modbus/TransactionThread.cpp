#include "modbus/TransactionThread.h"

#include "modbus/FieldwireError.h"
#include "modbus/ModbusFrames.h"
#include "platform/UiDispatcher.h"

#include <chrono>
#include <cstring>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace veltro::modbus {

namespace {

// Linux threads have no priority classes of their own under the normal scheduler; the
// per-thread nice value is the closest thing, and an unprivileged process may lower it.
int NiceValue(TThreadPriority Priority)
{
    switch (Priority) {
    case tpIdle: return 19;
    case tpLowest: return 10;
    case tpLower: return 5;
    case tpNormal: return 0;
    case tpHigher: return -5;
    case tpHighest: return -10;
    case tpTimeCritical: return -20;
    }
    return 0;
}

void ApplyNice(int Tid, TThreadPriority Priority) noexcept
{
    if (Tid > 0)
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(Tid), NiceValue(Priority));
}

// Line timing, not a wait for a result: the protocol asks for a pause here.
void Pause(std::uint32_t Ms)
{
    if (Ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
}

} // namespace

TTransactionThread::TTransactionThread(TModbusConnection& Owner, TThreadPriority Priority)
    : FOwner(Owner),
      FPriority(Priority),
      FRawSize(RawBufferSize(Owner.TransmissionMode())),
      FMode(Owner.TransmissionMode()),
      FSide(Owner.ConnectionMode())
{
    FRawReceive.assign(static_cast<std::size_t>(FRawSize), 0);
    FRawSend.assign(static_cast<std::size_t>(FRawSize), 0);
}

TTransactionThread::~TTransactionThread() { Stop(); }

void TTransactionThread::Start()
{
    FThread = std::thread([this] { Run(); });
}

void TTransactionThread::Stop() noexcept
{
    if (FThread.joinable()) {
        FTerminated = true;
        if (FSide == cmServer)
            FOwner.Line().SignalServerStop();
        {
            std::lock_guard Lock(FQueueLock);
            FSignaled = true;
        }
        FQueueSignal.notify_all();
        platform::UiDispatcher& Ui = FOwner.Dispatcher();
        if (Ui.IsUiThread())
            Ui.WaitServing([this] { return FFinished.load(); });
        FThread.join();
    }
    std::lock_guard Lock(FQueueLock);
    FQueue.clear();
}

void TTransactionThread::Enqueue(std::unique_ptr<TModbusTransaction> Transaction)
{
    {
        std::lock_guard Lock(FQueueLock);
        FQueue.push_back(std::move(Transaction));
        FSignaled = true;
    }
    FQueueSignal.notify_one();
}

void TTransactionThread::SetPriority(TThreadPriority Priority) noexcept
{
    FPriority = Priority;
    ApplyNice(FTid.load(), Priority);
}

void TTransactionThread::Run() noexcept
{
    FTid = static_cast<int>(syscall(SYS_gettid));
    ApplyNice(FTid.load(), FPriority.load());
    try {
        Execute();
    } catch (...) {
        HandleException(std::current_exception());
    }
    FFinished = true;
}

void TTransactionThread::Execute()
{
    if (FSide == cmServer)
        ServerLoop();
    else
        ClientLoop();
}

void TTransactionThread::ServerLoop()
{
    FOwner.Line().SettleLine();
    // One transaction for the worker's life: Request takes each incoming frame, Reply the answer.
    TModbusTransaction T(FrameBufferCapacity(FMode));
    while (!Terminated()) {
        try {
            ServeRequest(T);
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
}

void TTransactionThread::ServeRequest(TModbusTransaction& T)
{
    SerialLine& Line = FOwner.Line();
    // The first character may take for ever; the stop signal ends that wait.
    std::chrono::milliseconds Remaining = InfiniteTimeout;
    const std::int32_t Length = Line.ReceiveFrame(FRawReceive.data(), FRawSize, Line.CharTimeout(), Remaining);
    if (Terminated())
        return;
    if (Line.LineLost()) {
        // Every further wait would fail at once; spinning on them would only burn the core.
        WaitForStop();
        return;
    }
    FOwner.NotifyFrame(FRawReceive.data(), Length, false);
    DecodeInto(T.Request, Length);
    if (!IsValidFrame(FMode, cmServer, T.Request) || Terminated())
        return;
    T.Info = TTransactionInfo{};
    T.Info.ServerAddress = GetFrameAddress(T.Request);
    T.Reply.SetSize(0);
    FOwner.Dispatcher().InvokeAndWait([this, &T] { FOwner.DispatchRequest(T); });
    // Nobody may answer a broadcast, and no server object means no answer either.
    if (T.Info.ServerAddress == 0 || T.Reply.Size() == 0)
        return;
    const std::int32_t RawLength = EncodeFrame(FMode, T.Reply, FRawSend.data(), FRawSize);
    FOwner.NotifyFrame(FRawSend.data(), RawLength, true);
    Line.PurgePort(true, true);
    Line.SendFrame(FRawSend.data(), RawLength, std::chrono::milliseconds(FOwner.SendTimeout()));
}

void TTransactionThread::WaitForStop()
{
    std::unique_lock Lock(FQueueLock);
    FQueueSignal.wait(Lock, [this] { return FTerminated.load(); });
}

void TTransactionThread::HandleException(std::exception_ptr Error) noexcept
{
    FOwner.ReportWorkerError(Error);
}

bool TTransactionThread::WaitForQueue()
{
    std::unique_lock Lock(FQueueLock);
    FQueueSignal.wait(Lock, [this] { return FSignaled || FTerminated.load(); });
    FSignaled = false;
    return !FTerminated.load();
}

std::unique_ptr<TModbusTransaction> TTransactionThread::TakeFirst()
{
    std::lock_guard Lock(FQueueLock);
    if (FQueue.empty())
        return nullptr;
    auto T = std::move(FQueue.front());
    FQueue.pop_front();
    return T;
}

void TTransactionThread::ClientLoop()
{
    FOwner.Line().SettleLine();
    while (WaitForQueue()) {
        // The event is auto-reset: everything queued until now is handled before sleeping again.
        while (!Terminated()) {
            auto T = TakeFirst();
            if (!T)
                break;
            try {
                ProcessTransaction(std::move(T));
            } catch (...) {
                HandleException(std::current_exception());
            }
        }
    }
}

void TTransactionThread::ProcessTransaction(std::unique_ptr<TModbusTransaction> Transaction)
{
    TModbusTransaction& T = *Transaction;
    SerialLine& Line = FOwner.Line();
    T.Info.Attempts = 0;
    const std::int32_t RawLength =
        EncodeFrame(FMode, T.Request, FRawSend.data(), FRawSize);
    const bool Broadcast = T.Info.ServerAddress == 0 && !T.Custom;
    for (;;) {
        T.Info.ReplyStatus = rsNoReply;
        ++T.Info.Attempts;
        FOwner.NotifyFrame(FRawSend.data(), RawLength, true);
        Line.PurgePort(true, true);
        const bool Written =
            Line.SendFrame(FRawSend.data(), RawLength, std::chrono::milliseconds(FOwner.SendTimeout()));
        if (Written) {
            if (Broadcast) {
                // No station answers a broadcast; the silence gives them time to act on it.
                Pause(FOwner.TurnaroundDelay());
                T.Info.ReplyStatus = rsSuccess;
            } else {
                Receive(T, RawLength);
            }
        }
        Pause(FOwner.RefetchDelay());
        // An exception reply is an answer too: repeating the request would not change it.
        if (T.Info.ReplyStatus == rsException || T.Info.ReplyStatus == rsSuccess)
            break;
        if (T.Info.Attempts >= FOwner.MaxRetries())
            break;
    }
    if (T.Info.ServerAddress != 0 || T.Custom)
        FOwner.PostTransaction(std::move(Transaction));
}

void TTransactionThread::DecodeInto(TModbusBuffer& Buffer, std::int32_t Length)
{
    // Line noise that breaks the ASCII framing or the hex digits is as unusable as a bad
    // checksum: a client's attempt ends without a reply and may be repeated, instead of the
    // whole transaction vanishing without an event; a server ignores the frame.
    try {
        DecodeFrame(FMode, FRawReceive.data(), Length, Buffer);
    } catch (const EFieldwireError&) {
        Buffer.SetSize(0);
    } catch (const EAssertionFailed&) {
        Buffer.SetSize(0);
    }
}

// On a half-duplex line without echo suppression the request comes back first.
bool TTransactionThread::IsEcho(TModbusTransaction& T) const
{
    const std::int32_t Size = T.Request.Size();
    return T.Reply.Size() >= Size && std::memcmp(T.Reply.Data(), T.Request.Data(), static_cast<std::size_t>(Size)) == 0;
}

void TTransactionThread::Classify(TModbusTransaction& T)
{
    const TTransmissionMode Mode = FMode;
    if (!IsValidFrame(Mode, cmClient, T.Reply)) {
        T.Info.ReplyStatus = rsNoReply;
    } else if (!ReplyMatchesRequest(T.Request, T.Reply, T.AcceptAnyServer)) {
        T.Info.ReplyStatus = rsUnmatched;
    } else if (IsExceptionReply(Mode, T.Reply)) {
        T.Info.ReplyStatus = rsException;
        const TExceptionCode Code = GetExceptionCode(T.Reply);
        T.Info.ExceptionCode = Code.Known;
        T.Info.RawExceptionCode = Code.Raw;
    } else {
        T.Info.ReplyStatus = rsSuccess;
    }
}

void TTransactionThread::Receive(TModbusTransaction& T, std::int32_t RawRequestLength)
{
    SerialLine& Line = FOwner.Line();
    std::chrono::milliseconds Remaining(FOwner.ReceiveTimeout());
    const TExpectedReply Expected(T.Request.Data(), T.Request.Size(), T.AcceptAnyServer);
    const TExpectedReply* EndEarly =
        FMode == tmRTU && FOwner.FrameEnd() == feExpectedLength ? &Expected : nullptr;
    do {
        std::int32_t Length =
            Line.ReceiveFrame(FRawReceive.data(), FRawSize, Line.CharTimeout(), Remaining, EndEarly);
        DecodeReceived(T, Length);
        if (FOwner.EchoQueryBeforeReply() && IsEcho(T)) {
            if (T.Reply.Size() == T.Request.Size()) {
                Length = Line.ReceiveFrame(FRawReceive.data(), FRawSize, Line.CharTimeout(), Remaining, EndEarly);
                FOwner.NotifyFrame(FRawReceive.data(), Length, false);
                DecodeReceived(T, Length);
            } else {
                FOwner.NotifyFrame(FRawReceive.data() + RawRequestLength, Length - RawRequestLength, false);
                T.Reply.SetPosition(T.Request.Size());
                T.Reply.DiscardBeforePosition();
            }
        } else {
            FOwner.NotifyFrame(FRawReceive.data(), Length, false);
        }
        Classify(T);
        // A valid frame for another station does not end the wait for ours.
    } while (T.Info.ReplyStatus == rsUnmatched && Remaining.count() > 0);
}

} // namespace veltro::modbus
