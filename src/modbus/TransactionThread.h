#pragma once
// The worker of an active connection. In client mode it takes queued transactions one at a
// time, in queue order: sends the request, collects and classifies the reply, retries as
// configured and hands the finished transaction to the UI thread. It sleeps on the queue
// when idle and on the port during an exchange; nothing polls. In server mode it waits on
// the port for requests, hands each valid one to the UI thread's server objects and writes
// the answer they produced.

#include "modbus/LateReplyGuard.h"
#include "modbus/ModbusConnection.h"
#include "modbus/ModbusTransaction.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace veltro::modbus {

class TTransactionThread {
public:
    TTransactionThread(TModbusConnection& Owner, TThreadPriority Priority);
    virtual ~TTransactionThread();
    TTransactionThread(const TTransactionThread&) = delete;
    TTransactionThread& operator=(const TTransactionThread&) = delete;

    void Start();
    // Ends the thread: the transaction in progress is finished with all its attempts, the
    // ones still queued are freed without events. On the UI thread the wait keeps serving
    // hand-overs, so a worker reporting an error cannot deadlock it.
    void Stop() noexcept;

    // The owner is being destroyed while the worker waits in a hand-over: the thread is
    // told to end, detached, and deletes itself when it has; it touches its owner no more.
    void Abandon() noexcept;

    void Enqueue(std::unique_ptr<TModbusTransaction> Transaction);
    // Best effort: lowering always works, raising needs the privilege to do so.
    void SetPriority(TThreadPriority Priority) noexcept;

    bool Terminated() const noexcept { return FTerminated.load(); }

protected:
    // The thread body: the server loop in server mode, otherwise the client loop.
    virtual void Execute();
    // Reports the current error on the UI thread (synchronously) and returns.
    virtual void HandleException(std::exception_ptr Error) noexcept;
    // Server mode: answers requests until stopped; stopping ends the wait for the next one.
    virtual void ServerLoop();

    TModbusConnection& Owner() noexcept { return FOwner; }

private:
    void Run() noexcept;
    void ClientLoop();
    bool WaitForQueue();
    std::unique_ptr<TModbusTransaction> TakeFirst();
    void ProcessTransaction(std::unique_ptr<TModbusTransaction> Transaction);
    // Collects and classifies the reply of one attempt. True when the exchange ended cleanly:
    // an answer to the request (a normal or an exception reply) with nothing else around it
    // but the request's echo.
    bool Receive(TModbusTransaction& T, std::int32_t RawRequestLength, bool Cautious);
    // The silence that ends a burst, and that a drain waits for, on a line not yet settled.
    std::chrono::milliseconds UnsettledSilence() const;
    void ServeRequest(TModbusTransaction& T);
    void WaitForStop();
    // Sleeps Ms milliseconds unless the thread is stopped meanwhile.
    void Pause(std::uint32_t Ms);
    // Decodes what came off the line; unusable bytes leave the buffer empty.
    void DecodeInto(TModbusBuffer& Buffer, std::int32_t Length);
    void DecodeReceived(TModbusTransaction& T, std::int32_t Length) { DecodeInto(T.Reply, Length); }
    // Reports the frame just received as it came over the wire.
    void NotifyReceived(std::int32_t Length);
    bool IsEcho(TModbusTransaction& T) const;
    // Server mode: how many leading bytes of the frame just received are the echo of the
    // reply sent before it.
    std::int32_t TakeEcho(std::int32_t Length);
    void Classify(TModbusTransaction& T);

    TModbusConnection& FOwner;
    std::atomic<TThreadPriority> FPriority;
    std::mutex FQueueLock;
    std::condition_variable FQueueSignal;  // with FSignaled: an auto-reset event
    bool FSignaled = false;
    std::deque<std::unique_ptr<TModbusTransaction>> FQueue;
    std::vector<std::uint8_t> FRawReceive;
    std::vector<std::uint8_t> FRawSend;
    std::int32_t FRawSize;
    std::vector<std::uint8_t> FPendingEcho;  // server mode: the echo still expected
    // Client mode: an exchange did not end cleanly (no reply, a broken or unmatched frame,
    // stray bytes, a retry), so an answer to an earlier request may still be on its way.
    // Until one exchange has been clean again, the line is drained before each request and
    // a reply counts only when it came alone.
    bool FUnsettled = false;
    // Client mode, RTU: requests whose answer may still come, which a reply must not be
    // taken for.
    TLateReplyGuard FLateReplies;
    // Client mode on TCP: requests in a row that got no reply at all.
    std::uint32_t FSilentRun = 0;
    std::vector<std::uint8_t> FDrained;  // what the last drain took off the line
    // Both are refused changes while the connection is active, so the worker keeps its own copy.
    TTransmissionMode FMode;
    TConnectionMode FSide;

    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FAbandoned{false};
    std::atomic<int> FTid{0};
    std::thread FThread;
};

} // namespace veltro::modbus
