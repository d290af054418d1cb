// The serial port component over real pseudo-terminals (the far end is the pty master)
// and, where a pty cannot produce the condition (line errors, settings read-back), over a
// fake device put behind the component's OpenDevice.
#include "link/CommInt.h"
#include "platform/ManualUiDispatcher.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

using namespace veltro::link;
using namespace veltro::platform;
using namespace veltro::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

template <typename F>
void ExpectCommError(F&& call, const std::string& message, int32_t code)
{
    try {
        call();
        ADD_FAILURE() << "no ECommError, expected: " << message;
    } catch (const ECommError& e) {
        EXPECT_EQ(std::string(e.what()), message);
        EXPECT_EQ(e.ErrorCode, code);
    }
}

// Installs a dispatcher bound to the test thread for the lifetime of the object.
class UiScope {
public:
    UiScope() : previous_(InstallUiDispatcher(&ui)) {}
    ~UiScope() { InstallUiDispatcher(previous_); }
    ManualUiDispatcher ui;

private:
    UiDispatcher* previous_;
};

class PtyPort : public ::testing::Test {
protected:
    PtyPort()
    {
        dir.Publish(1, pty.SlavePath());
        port.SetDeviceName("COM1");
    }
    bool WaitQueued(int32_t n)
    {
        return scope.ui.PumpUntil([&] { return port.InQueueCount() >= n; }, 3s);
    }
    std::string Take(int32_t n)
    {
        std::string s(static_cast<size_t>(n), '\0');
        const int32_t got = port.ReadTimed(reinterpret_cast<uint8_t*>(s.data()), static_cast<uint16_t>(n), 0);
        s.resize(static_cast<size_t>(std::max(got, 0)));
        return s;
    }

    PortDir dir;
    PtyPair pty;
    UiScope scope;
    TComm port;  // after the dispatcher, so it closes first
};

// A device whose input, line errors and settings the test controls. The event thread
// calls it concurrently with the test thread.
class FakeDevice : public ISerialDevice {
public:
    bool IsOpen() const override { return open; }
    void Close() override { open = false; }
    int LastError() const override { return lastError; }
    bool Configure(const SerialSettings& s) override
    {
        std::lock_guard lock(mutex_);
        if (rejectSettings) {
            lastError = EINVAL;
            return false;
        }
        configured.push_back(s);
        return true;
    }
    int InQueue() override
    {
        std::lock_guard lock(mutex_);
        return static_cast<int>(input_.size());
    }
    int OutQueue() override { return 0; }
    bool Purge(bool in, bool) override
    {
        std::lock_guard lock(mutex_);
        if (in)
            input_.clear();
        return true;
    }
    long Read(uint8_t* dst, size_t max) override
    {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (; n < max && !input_.empty(); ++n) {
            dst[n] = input_.front();
            input_.pop_front();
        }
        return static_cast<long>(n);
    }
    long Write(const uint8_t*, size_t count, std::chrono::milliseconds) override
    {
        return static_cast<long>(count);
    }
    WaitResult WaitReadable(std::chrono::milliseconds timeout) override
    {
        std::unique_lock lock(mutex_);
        auto ready = [&] { return !input_.empty() || interrupted_ || errors_.Any(); };
        if (timeout.count() < 0)
            cv_.wait(lock, ready);
        else
            cv_.wait_for(lock, timeout, ready);
        if (interrupted_) {
            interrupted_ = false;
            return WaitResult::Interrupted;
        }
        return ready() ? WaitResult::Ready : WaitResult::Timeout;
    }
    void Interrupt() override
    {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        cv_.notify_all();
    }
    bool Drain(std::chrono::milliseconds) override { return true; }
    bool SetRts(bool on) override
    {
        std::lock_guard lock(mutex_);
        rts = on;
        return true;
    }
    bool SetDtr(bool on) override
    {
        std::lock_guard lock(mutex_);
        dtr = on;
        return true;
    }
    bool SetRs485(bool) override { return false; }
    LineErrors TakeLineErrors() override
    {
        std::lock_guard lock(mutex_);
        const LineErrors e = errors_;
        errors_ = {};
        return e;
    }

    // Bytes and line errors arriving together, as a UART reports a damaged character.
    void Arrive(const std::string& bytes, LineErrors errors = {})
    {
        std::lock_guard lock(mutex_);
        input_.insert(input_.end(), bytes.begin(), bytes.end());
        errors_.parity += errors.parity;
        errors_.framing += errors.framing;
        errors_.overrun += errors.overrun;
        errors_.breaks += errors.breaks;
        cv_.notify_all();
    }
    SerialSettings Last()
    {
        std::lock_guard lock(mutex_);
        return configured.empty() ? SerialSettings{} : configured.back();
    }
    size_t ConfigureCalls()
    {
        std::lock_guard lock(mutex_);
        return configured.size();
    }

    std::atomic<bool> open{false};
    std::atomic<int> lastError{0};
    std::atomic<bool> rejectSettings{false};
    std::atomic<bool> dtr{false};
    std::atomic<bool> rts{false};
    std::vector<SerialSettings> configured;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<uint8_t> input_;
    LineErrors errors_;
    bool interrupted_ = false;
};

class FakeComm : public TComm {
public:
    std::shared_ptr<FakeDevice> fake = std::make_shared<FakeDevice>();

protected:
    std::shared_ptr<ISerialDevice> OpenDevice() override
    {
        fake->open = true;
        return fake;
    }
};

}  // namespace

TEST_F(PtyPort, PortAlreadyOpenRefusesOpenAndChangesThatNeedAClosedPort)
{
    port.Open();
    const std::string busy = "Port already assigned (open) (Error: -1) ";
    ExpectCommError([&] { port.Open(); }, busy, -1);
    ExpectCommError([&] { port.SetDeviceName("COM2"); }, busy, -1);
    ExpectCommError([&] { port.SetMonitorEvents({evRxChar}); }, busy, -1);
    ExpectCommError([&] { port.SetReadBufSize(8192); }, busy, -1);
    ExpectCommError([&] { port.SetWriteBufSize(1); }, busy, -1);
    // The same values are accepted while open.
    EXPECT_NO_THROW(port.SetDeviceName("COM1"));
    EXPECT_NO_THROW(port.SetMonitorEvents(AllCommEvents));
    EXPECT_NO_THROW(port.SetReadBufSize(4096));
    EXPECT_NO_THROW(port.SetWriteBufSize(2048));
    EXPECT_EQ(port.DeviceName(), "COM1");
    EXPECT_TRUE(port.IsOpen());
}

TEST(CommPort, OpenFailuresAndAClosedPort)
{
    PortDir dir;
    UiScope scope;
    TComm port;
    EXPECT_EQ(port.DeviceName(), "Com2");
    port.SetDeviceName("COM42");
    ExpectCommError([&] { port.Open(); }, "Error accessing specified device COM42 (Error: 2) ", ENOENT);
    EXPECT_FALSE(port.IsOpen());

    dir.Publish(4, "/dev/null");  // exists, but is no serial device
    port.SetDeviceName("COM4");
    ExpectCommError([&] { port.Open(); }, "Invalid device handle, access denied (Error: -1) ", -1);
    EXPECT_FALSE(port.IsOpen());

    uint8_t b = 0;
    ExpectCommError([&] { port.Read(&b, 1); }, "Read error (Error: 9) ", EBADF);
    ExpectCommError([&] { port.Write(&b, 1); }, "Write error (Error: 9) ", EBADF);
    ExpectCommError([&] { port.ReadTimed(&b, 1, 10); }, "Read error (Error: 9) ", EBADF);
    EXPECT_EQ(port.InQueueCount(), -1);
    EXPECT_EQ(port.OutQueueCount(), -1);
    EXPECT_NO_THROW(port.PurgeIn());
    EXPECT_NO_THROW(port.Close());
}

TEST_F(PtyPort, RejectedSettingsRaiseAndLeaveThePortOpenForTheCallerToClose)
{
    port.SetDatabits(da4);  // no Linux device takes 4 data bits
    ExpectCommError([&] { port.Open(); }, "Error updating DataControlBlock (Error: 22) ", EINVAL);
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    port.SetDatabits(da7);
    port.Open();
    ExpectCommError([&] { port.SetDatabits(da4); }, "Error updating DataControlBlock (Error: 22) ", EINVAL);
}

TEST_F(PtyPort, TimedReadReturnsZeroOnSilenceAndReadsAtOnceWithTimeOutZero)
{
    port.Open();
    uint8_t buf[16];
    const auto t0 = Clock::now();
    EXPECT_EQ(port.ReadTimed(buf, 1, 100), 0);  // 0, not -1: a time-out is no failure
    EXPECT_GE(Clock::now() - t0, 100ms);

    pty.Send("ABCDE");
    ASSERT_TRUE(WaitQueued(5));
    EXPECT_EQ(Take(3), "ABC");
    EXPECT_EQ(Take(10), "DE");
    EXPECT_EQ(Take(4), "");
}

TEST_F(PtyPort, TimedReadEndsSoonAfterItsConditionNotAtTheNextPoll)
{
    port.Open();
    // The poll period is 50 ms; a read signalled by the event thread ends well within
    // it. Best of three, so one scheduling hiccup on a busy machine does not decide.
    auto best = std::chrono::milliseconds::max();
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::atomic<Clock::time_point> sent{};
        std::thread peer([&] {
            std::this_thread::sleep_for(15ms);  // line time before the reply
            sent = Clock::now();
            pty.Send("\x06\x06\x06\x06");
        });
        uint8_t buf[4];
        const int32_t n = port.ReadTimed(buf, 4, 5000);
        const auto returned = Clock::now();
        peer.join();
        EXPECT_EQ(n, 4);
        best = std::min(best, std::chrono::duration_cast<std::chrono::milliseconds>(returned - sent.load()));
    }
    EXPECT_LT(best, 30ms);
}

TEST_F(PtyPort, TerminatorReadStopsExactlyAtTheTerminator)
{
    struct Case {
        std::string input, terminator;
        bool ok;
        std::string read, left;
    };
    const Case cases[] = {
        {"reply\r\n", "\r\n", true, "reply\r\n", ""},
        // A lone LF is no CR LF, not even as the first byte.
        {"\nA\rB\r\n", "\r\n", true, "\nA\rB\r\n", ""},
        {"AB\x03" "CD\x03", "\x03", true, "AB\x03", "CD\x03"},
        {"no end\r", "\r\n", false, "no end\r", ""},
        {"x", "", false, "x", ""},  // an empty terminator never matches
    };
    port.Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(Hex(std::vector<uint8_t>(c.input.begin(), c.input.end())));
        pty.Send(c.input);
        uint8_t buf[64] = {};
        int32_t count = -1;
        EXPECT_EQ(port.ReadToTerminator(buf, 4095, c.terminator, c.ok ? 3000 : 150, count), c.ok);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(count)), c.read);
        if (!c.left.empty()) {
            ASSERT_TRUE(WaitQueued(static_cast<int32_t>(c.left.size())));
        }
        EXPECT_EQ(Take(16), c.left);
    }
}

TEST_F(PtyPort, EotReadStopsOnEotAndOnEtx)
{
    port.Open();
    for (const std::string end : {"\x04", "\x03"}) {
        pty.Send("\x02" "val" + end + "more");
        uint8_t buf[64];
        int32_t count = 0;
        uint8_t last = 0;
        EXPECT_TRUE(port.ReadToEot(buf, 4095, 3000, count, last));
        EXPECT_EQ(count, 5);
        EXPECT_EQ(last, static_cast<uint8_t>(end[0]));
        ASSERT_TRUE(WaitQueued(4));
        EXPECT_EQ(Take(16), "more");
    }
}

TEST_F(PtyPort, ReceivedCharactersReachTheUiThreadAsRxChar)
{
    std::vector<int32_t> counts;
    std::thread::id ranOn;
    port.OnRxChar = [&](TCustomComm& sender, int32_t count) {
        EXPECT_EQ(&sender, &port);
        counts.push_back(count);
        ranOn = std::this_thread::get_id();
    };
    port.Open();
    pty.Send("xyz");
    ASSERT_TRUE(scope.ui.PumpUntil([&] { return !counts.empty(); }, 3s));
    EXPECT_EQ(counts.front(), 3);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(port.EventThread()->EventMask() & EV_RXCHAR, EV_RXCHAR);
}

TEST_F(PtyPort, TxEmptyFollowsAWrite)
{
    int empties = 0;
    port.OnTxEmpty = [&](TCustomComm&) { ++empties; };
    port.Open();
    EXPECT_EQ(port.Write("hello", 5), 5);
    ASSERT_TRUE(scope.ui.PumpUntil([&] { return empties > 0; }, 3s));
    EXPECT_EQ(pty.Receive(5, 2s), FromHex("68656C6C6F"));
}

TEST_F(PtyPort, PurgeDiscardsWhatWasQueued)
{
    port.Open();
    pty.Send("junk");
    ASSERT_TRUE(WaitQueued(4));
    port.PurgeIn();
    EXPECT_EQ(port.InQueueCount(), 0);
    uint8_t b;
    EXPECT_EQ(port.ReadTimed(&b, 1, 0), 0);
}

TEST_F(PtyPort, CloseFromInsideAnEventHandlerNeitherHangsNorFiresAgain)
{
    int calls = 0;
    port.OnRxChar = [&](TCustomComm& sender, int32_t) {
        sender.Close();
        ++calls;
    };
    port.Open();
    pty.Send("a");
    ASSERT_TRUE(scope.ui.PumpUntil([&] { return calls > 0; }, 3s));
    EXPECT_FALSE(port.IsOpen());
    pty.Send("b");
    scope.ui.PumpFor(20ms);
    EXPECT_EQ(calls, 1);
    // The device was released: the port opens again.
    port.OnRxChar = nullptr;
    EXPECT_NO_THROW(port.Open());
}

TEST_F(PtyPort, CloseServesAPendingHandOverWithoutRunningTheHandler)
{
    bool fired = false;
    port.OnRxChar = [&](TCustomComm&, int32_t) { fired = true; };
    port.Open();
    pty.Send("a");
    // The event thread signals the arrival, then blocks handing the event over; nobody
    // pumps, so only Close can free it.
    ASSERT_EQ(port.DataWaitEvent().WaitFor(3000), wrSignaled);
    port.Close();
    scope.ui.Pump();
    EXPECT_FALSE(fired);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(PtyPort, AHungUpLineFailsTheReadsInsteadOfLookingSilent)
{
    port.Open();
    pty.CloseSlaveKeeper();
    pty.CloseMaster();
    uint8_t buf[8];
    int32_t count = 0;
    const auto t0 = Clock::now();
    ExpectCommError([&] { port.ReadTimed(buf, 1, 10000); }, "Read error (Error: 5) ", EIO);
    ExpectCommError([&] { port.ReadToTerminator(buf, 8, "\r\n", 10000, count); }, "Read error (Error: 5) ", EIO);
    EXPECT_LT(Clock::now() - t0, 5s);
    ExpectCommError([&] { port.Write("x", 1); }, "Write error (Error: 5) ", EIO);
}

TEST(CommPortEvents, ErrorFiresBeforeRxCharAndRxCharOnlyWithBytesQueued)
{
    UiScope scope;
    FakeComm port;
    std::vector<std::string> seen;
    port.OnError = [&](TCustomComm&, int32_t errors) { seen.push_back("error " + std::to_string(errors)); };
    port.OnRxChar = [&](TCustomComm&, int32_t count) { seen.push_back("rx " + std::to_string(count)); };
    port.Open();

    LineErrors framing;
    framing.framing = 1;
    port.fake->Arrive("ab", framing);
    ASSERT_TRUE(scope.ui.PumpUntil([&] { return seen.size() >= 2; }, 3s));
    EXPECT_EQ(seen, (std::vector<std::string>{"error " + std::to_string(CE_FRAME), "rx 2"}));

    // Bytes the UI reads before the hand-over runs leave nothing to report.
    uint8_t buf[8];
    EXPECT_EQ(port.Read(buf, 8), 2);
    seen.clear();
    port.DataWaitEvent().ResetEvent();
    LineErrors parity;
    parity.parity = 1;
    parity.overrun = 1;
    port.fake->Arrive("c", parity);
    ASSERT_EQ(port.DataWaitEvent().WaitFor(3000), wrSignaled);
    EXPECT_EQ(port.Read(buf, 8), 1);
    ASSERT_TRUE(scope.ui.PumpUntil([&] { return !seen.empty(); }, 3s));
    scope.ui.PumpFor(10ms);
    EXPECT_EQ(seen, (std::vector<std::string>{"error " + std::to_string(CE_RXPARITY | CE_OVERRUN)}));
}

TEST(CommPortSettings, AppliedAtOpenWhenChangedClosedAndAtOnceWhenOpen)
{
    UiScope scope;
    FakeComm port;
    port.SetBaudRate(br19200);  // closed: no device to change
    port.SetParity(paEven);
    port.SetDatabits(da7);
    EXPECT_EQ(port.fake->ConfigureCalls(), 0u);
    port.Open();
    SerialSettings s = port.fake->Last();
    EXPECT_EQ(s.baudRate, 19200u);
    EXPECT_EQ(s.parity, SerialParity::Even);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_FALSE(s.checkParity);  // parity is sent but not checked without coParityCheck
    EXPECT_TRUE(port.fake->dtr && port.fake->rts);

    port.SetBaudRate(br56000);
    EXPECT_EQ(port.fake->Last().baudRate, 56000u);
    const size_t calls = port.fake->ConfigureCalls();
    port.SetBaudRate(br56000);  // unchanged: nothing rewritten
    EXPECT_EQ(port.fake->ConfigureCalls(), calls);

    port.SetFlowControl(fcSoftware);
    port.EventChars().SetXonChar(0x21);
    EXPECT_EQ(port.fake->Last().flow, SerialFlow::XonXoff);
    EXPECT_EQ(port.fake->Last().xonChar, 0x21);
    port.SetFlowControl(fcDefault);  // keeps what the device had
    EXPECT_EQ(port.fake->Last().flow, SerialFlow::XonXoff);
    port.SetFlowControl(fcNone);
    EXPECT_EQ(port.fake->Last().flow, SerialFlow::None);
    EXPECT_FALSE(port.fake->dtr);
    EXPECT_FALSE(port.fake->rts);

    TComm other;
    other.EventChars().SetXoffChar(0x05);
    const size_t before = port.fake->ConfigureCalls();
    port.EventChars().Assign(other.EventChars());
    EXPECT_EQ(port.fake->ConfigureCalls(), before);
    EXPECT_EQ(port.EventChars().XoffChar(), 0x05);
    EXPECT_EQ(port.EventChars().XonChar(), 17);

    port.fake->rejectSettings = true;
    ExpectCommError([&] { port.SetOptions({coParityCheck}); }, "Error updating DataControlBlock (Error: 22) ", EINVAL);
}
