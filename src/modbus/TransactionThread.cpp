#include "modbus/TransactionThread.h"

#include "modbus/FieldwireError.h"
#include "modbus/ModbusFrames.h"
#include "platform/UiDispatcher.h"

#include <algorithm>
#include <cerrno>
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

// The shortest silence that ends a burst on an unsettled line. A module that answers one
// request late often answers the next at its usual turnaround right behind; the two frames
// must land in one burst, which is no valid frame, rather than the late one being taken
// alone. At high rates the frame-end silence alone (20 ms) is shorter than such a turnaround.
constexpr std::chrono::milliseconds UnsettledSilenceFloor{50};

// A normal or an exception reply to the request: an answer either way.
bool Answered(const TModbusTransaction& T)
{
    return T.Info.ReplyStatus == rsSuccess || T.Info.ReplyStatus == rsException;
}

// Bytes that came with the reply but are neither it nor the request's echo.
bool StrayAround(const TReplySearch& Search, std::int32_t RawRequestLength)
{
    const bool EchoOnly = Search.EchoBefore && Search.SkippedBefore == RawRequestLength;
    return (Search.SkippedBefore > 0 && !EchoOnly) || Search.DroppedAfter > 0;
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
    FDrained.reserve(2 * static_cast<std::size_t>(FRawSize));
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
        // Ends whatever the worker waits for on the line, a client's wait for a reply
        // included: closing discards the exchange instead of waiting out its time-outs.
        FOwner.Line().AbortWaits();
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

void TTransactionThread::Abandon() noexcept
{
    FTerminated = true;
    FAbandoned = true;
    FThread.detach();
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
        if (!FAbandoned)
            HandleException(std::current_exception());
    }
    FFinished = true;
    if (FAbandoned)
        delete this;
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
            if (FAbandoned)
                return;
            HandleException(std::current_exception());
        }
    }
}

void TTransactionThread::ServeRequest(TModbusTransaction& T)
{
    SerialLine& Line = FOwner.Line();
    // The first character may take for ever; the stop signal ends that wait.
    std::chrono::milliseconds Remaining = InfiniteTimeout;
    std::int32_t Length = Line.ReceiveFrame(FRawReceive.data(), FRawSize, Line.CharTimeout(), Remaining);
    if (Terminated())
        return;
    if (Line.LineLost()) {
        // Every further wait would fail at once; spinning on them would only burn the core.
        WaitForStop();
        return;
    }
    if (const std::int32_t Echo = TakeEcho(Length); Echo > 0) {
        // The echo itself is neither reported nor answered; what followed it is a request.
        Length -= Echo;
        if (Length == 0)
            return;
        std::memmove(FRawReceive.data(), FRawReceive.data() + Echo, static_cast<std::size_t>(Length));
    }
    NotifyReceived(Length);
    DecodeInto(T.Request, Length);
    if (!IsValidFrame(FMode, cmServer, T.Request) || Terminated())
        return;
    T.Info = TTransactionInfo{};
    T.Info.ServerAddress = GetFrameAddress(T.Request);
    T.Reply.SetSize(0);
    FOwner.HandOver([this, &T] { FOwner.DispatchRequest(T); });
    // Nobody may answer a broadcast, and no server object means no answer either.
    if (T.Info.ServerAddress == 0 || T.Reply.Size() == 0 || Terminated())
        return;
    const std::int32_t RawLength = EncodeFrame(FMode, T.Reply, FRawSend.data(), FRawSize);
    const std::span<const std::uint8_t> Wire = Line.Outgoing({FRawSend.data(), static_cast<std::size_t>(RawLength)});
    const auto WireLength = static_cast<std::int32_t>(Wire.size());
    FOwner.NotifyFrame(Wire.data(), WireLength, true);
    Line.PurgePort(true, true);
    if (Line.SendFrame(Wire.data(), WireLength, std::chrono::milliseconds(FOwner.SendTimeout()))
        && FOwner.EchoQueryBeforeReply())
        FPendingEcho.assign(Wire.begin(), Wire.end());
}

// A half-duplex line without echo suppression hands the server its own reply back, which
// is a valid frame with the server's own address: answered, it would be echoed and
// answered again for ever. With EchoQueryBeforeReply the first frame after a reply is
// checked against it; an echo split by a pause is matched piece by piece.
std::int32_t TTransactionThread::TakeEcho(std::int32_t Length)
{
    if (FPendingEcho.empty())
        return 0;
    std::vector<std::uint8_t> Echo;
    Echo.swap(FPendingEcho);
    const std::size_t N = std::min(Echo.size(), static_cast<std::size_t>(std::max(Length, 0)));
    if (N == 0 || std::memcmp(FRawReceive.data(), Echo.data(), N) != 0)
        return 0;
    FPendingEcho.assign(Echo.begin() + static_cast<std::ptrdiff_t>(N), Echo.end());
    return static_cast<std::int32_t>(N);
}

void TTransactionThread::WaitForStop()
{
    std::unique_lock Lock(FQueueLock);
    FQueueSignal.wait(Lock, [this] { return FTerminated.load(); });
}

void TTransactionThread::Pause(std::uint32_t Ms)
{
    // Line timing, not a wait for a result: the protocol asks for a pause here. Stopping
    // ends it.
    if (Ms == 0)
        return;
    std::unique_lock Lock(FQueueLock);
    FQueueSignal.wait_for(Lock, std::chrono::milliseconds(Ms), [this] { return FTerminated.load(); });
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
                if (FAbandoned)
                    return;
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
        // A closing connection discards the exchange: no further attempt, no event.
        if (Terminated())
            return;
        T.Info.ReplyStatus = rsNoReply;
        ++T.Info.Attempts;
        // A late answer to an earlier request must not be taken for this one's: whatever is
        // still coming is let through and dropped before the request goes out.
        const bool Cautious = FUnsettled;
        if (Cautious) {
            Line.DrainUntilQuiet(UnsettledSilence(), std::chrono::milliseconds(FOwner.ReceiveTimeout()), &FDrained);
            FLateReplies.Seen(FDrained.data(), static_cast<std::int32_t>(FDrained.size()));
        }
        const std::span<const std::uint8_t> Wire = Line.Outgoing({FRawSend.data(), static_cast<std::size_t>(RawLength)});
        const auto WireLength = static_cast<std::int32_t>(Wire.size());
        FOwner.NotifyFrame(Wire.data(), WireLength, true);
        Line.PurgePort(true, true);
        const bool Written = Line.SendFrame(Wire.data(), WireLength, std::chrono::milliseconds(FOwner.SendTimeout()));
        bool Clean = false;
        if (Written) {
            if (Broadcast) {
                // No station answers a broadcast; the silence gives them time to act on it.
                Pause(FOwner.TurnaroundDelay());
                T.Info.ReplyStatus = rsSuccess;
                Clean = !Cautious;
            } else {
                Clean = Receive(T, RawLength, Cautious);
            }
        }
        // A request sent again may be answered twice: only a first attempt that was clean
        // on a drained line settles it.
        if (!Clean)
            FUnsettled = true;
        else if (Cautious && T.Info.Attempts == 1)
            FUnsettled = false;
        if (!Broadcast && FMode == tmRTU) {
            if (Answered(T))
                FLateReplies.Answered(T.Request.Data(), T.Request.Size(), T.Info.Attempts > 1);
            else
                FLateReplies.Unanswered(T.Request.Data(), T.Request.Size());
        }
        Pause(FOwner.RefetchDelay());
        // An exception reply is an answer too: repeating the request would not change it.
        if (T.Info.ReplyStatus == rsException || T.Info.ReplyStatus == rsSuccess)
            break;
        if (T.Info.Attempts >= FOwner.MaxRetries())
            break;
    }
    if (Terminated())
        return;
    // A TCP connection on which nothing answers any more may be half-open (the gateway
    // gone without a reset): after a few requests in a row it counts as lost, like an
    // unplugged adapter, so it is closed and opened afresh.
    if (Line.Stream() && !Broadcast) {
        FSilentRun = T.Info.ReplyStatus == rsNoReply ? FSilentRun + 1 : 0;
        const std::uint32_t Limit = FOwner.HalfOpenAfter();
        if (Limit > 0 && FSilentRun >= Limit) {
            FSilentRun = 0;
            Line.MarkLost(ETIMEDOUT);
        }
    }
    if (T.Info.ServerAddress != 0 || T.Custom)
        FOwner.PostTransaction(std::move(Transaction));
}

void TTransactionThread::NotifyReceived(std::int32_t Length)
{
    const std::span<const std::uint8_t> Wire =
        FOwner.Line().Incoming({FRawReceive.data(), static_cast<std::size_t>(std::max(Length, 0))});
    FOwner.NotifyFrame(Wire.data(), static_cast<std::int32_t>(Wire.size()), false);
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

std::chrono::milliseconds TTransactionThread::UnsettledSilence() const
{
    return std::max(FOwner.Line().CharTimeout(), UnsettledSilenceFloor);
}

bool TTransactionThread::Receive(TModbusTransaction& T, std::int32_t RawRequestLength, bool Cautious)
{
    SerialLine& Line = FOwner.Line();
    std::chrono::milliseconds Remaining(FOwner.ReceiveTimeout());
    TExpectedReply Expected(T.Request.Data(), T.Request.Size(), T.AcceptAnyServer);
    TReplySearch Search;
    // A TCP connection has no line silence to end a reply: its length does.
    if (FMode == tmRTU && (FOwner.FrameEnd() == feExpectedLength || Line.Stream()))
        Search.Expected = &Expected;
    Search.WholeBurst = Cautious;
    const std::chrono::milliseconds CharTimeout = Cautious ? UnsettledSilence() : Line.CharTimeout();
    bool Stray = false;
    do {
        Search = TReplySearch{Search.Expected, Search.WholeBurst};
        std::int32_t Length = Line.ReceiveFrame(FRawReceive.data(), FRawSize, CharTimeout, Remaining, &Search);
        DecodeReceived(T, Length);
        // An echo found and dropped on the way is not looked for again: the reply of a write
        // is a copy of the request and would be taken for a second echo.
        if (FOwner.EchoQueryBeforeReply() && !Search.EchoBefore && IsEcho(T)) {
            if (T.Reply.Size() == T.Request.Size()) {
                Expected.EchoTaken();
                Search = TReplySearch{Search.Expected, Search.WholeBurst};
                Length = Line.ReceiveFrame(FRawReceive.data(), FRawSize, CharTimeout, Remaining, &Search);
                NotifyReceived(Length);
                DecodeReceived(T, Length);
            } else {
                FOwner.NotifyFrame(FRawReceive.data() + RawRequestLength, Length - RawRequestLength, false);
                T.Reply.SetPosition(T.Request.Size());
                T.Reply.DiscardBeforePosition();
            }
        } else {
            NotifyReceived(Length);
        }
        Stray = Stray || StrayAround(Search, RawRequestLength);
        Classify(T);
        if (!Answered(T) && FMode == tmRTU)
            FLateReplies.Seen(FRawReceive.data(), Length);
        if (Answered(T) && FMode == tmRTU
            && FLateReplies.Ambiguous(T.Request.Data(), T.Request.Size(), T.Reply.Data(), T.Reply.Size())) {
            // It may be the late answer to an earlier request: not taken, and the wait for
            // ours goes on. Whatever comes next is no longer owed to that request.
            T.Info.ReplyStatus = rsUnmatched;
            FLateReplies.Forget();
        }
        // A valid frame for another station does not end the wait for ours, but it was not
        // asked for: the exchange is not clean.
        if (T.Info.ReplyStatus == rsUnmatched)
            Stray = true;
    } while (T.Info.ReplyStatus == rsUnmatched && Remaining.count() > 0);
    return Answered(T) && !Stray;
}

} // namespace veltro::modbus
