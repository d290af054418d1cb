// The serial byte link over a real pseudo-terminal published as COM1; the far end is the
// pty master.
#include "link/LinkSerial.h"
#include "platform/DebugOutput.h"
#include "platform/ManualUiDispatcher.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>

using namespace veltro::link;
using namespace veltro::platform;
using namespace veltro::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Collects the debugger channel while it lives.
class DebugCapture {
public:
    DebugCapture()
    {
        SetDebugOutputEnabled(true);
        previous_ = SetDebugSink([this](std::string_view line) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        });
    }
    ~DebugCapture()
    {
        SetDebugSink(previous_);
        const char* env = std::getenv("VELTRO_DEBUG_OUTPUT");
        SetDebugOutputEnabled(!env || std::string_view(env) != "0");
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    void Clear()
    {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    DebugSink previous_;
};

class SerialLink : public ::testing::Test {
protected:
    SerialLink() : previous_(InstallUiDispatcher(&ui)) { dir.Publish(1, pty.SlavePath()); }
    ~SerialLink() override
    {
        link.reset();
        InstallUiDispatcher(previous_);
    }
    void ConnectOk()
    {
        link->Connect();
        ASSERT_TRUE(link->IsConnected()) << link->LastError;
    }
    bool WaitQueued(int32_t n)
    {
        return ui.PumpUntil([&] { return link->Comm->InQueueCount() >= n; }, 3s);
    }

    PortDir dir;
    PtyPair pty;
    ManualUiDispatcher ui;
    UiDispatcher* previous_;
    std::unique_ptr<TLinkSerial> link = std::make_unique<TLinkSerial>();
};

}  // namespace

TEST_F(SerialLink, ConnectFailureIsReportedAndDisconnectAfterItIsHarmless)
{
    link->Disconnect();  // never connected: only clears the flag
    EXPECT_FALSE(link->IsConnected());

    link->SetPort(42);
    link->Connect();
    EXPECT_FALSE(link->IsConnected());
    EXPECT_EQ(link->LastError, "Connect: Error accessing specified device COM42 (Error: 2) ");
    link->Disconnect();
    EXPECT_FALSE(link->IsConnected());
    EXPECT_EQ(link->LastError, "Connect: Error accessing specified device COM42 (Error: 2) ");

    link->SetPort(0);
    link->Connect();
    EXPECT_EQ(link->LastError, "Connect: Error accessing specified device COM0 (Error: 2) ");
}

TEST_F(SerialLink, ConnectsWithItsSettingsAndRatesWithoutAPortValueKeep9600)
{
    link->SetBaudRate(10);  // 230400: the port has no value for it
    ConnectOk();
    EXPECT_EQ(link->Comm->DeviceName(), "COM1");
    EXPECT_EQ(link->Comm->BaudRate(), br9600);
    EXPECT_EQ(link->Comm->Databits(), da7);
    EXPECT_EQ(link->Comm->Parity(), paEven);
    EXPECT_EQ(link->Comm->Stopbits(), sb10);
    link->Disconnect();
    EXPECT_FALSE(link->IsConnected());
    EXPECT_FALSE(link->Comm->IsOpen());

    link->SetBaudRate(4);
    link->SetParity(1);
    link->SetDataBits(1);
    link->SetStopBits(1);
    ConnectOk();
    EXPECT_EQ(link->Comm->BaudRate(), br4800);
    EXPECT_EQ(link->Comm->Parity(), paOdd);
    EXPECT_EQ(link->Comm->Databits(), da8);
    EXPECT_EQ(link->Comm->Stopbits(), sb20);
}

TEST_F(SerialLink, WriteDiscardsStaleInputAndSendsEveryByte)
{
    ConnectOk();
    pty.Send("stale");
    ASSERT_TRUE(WaitQueued(5));
    const std::string command("/?1!\r\n\0x", 8);  // a NUL inside is sent too
    EXPECT_TRUE(link->WriteString(command));
    EXPECT_EQ(pty.Receive(8, 2s), std::vector<uint8_t>(command.begin(), command.end()));
    EXPECT_EQ(link->Comm->InQueueCount(), 0);
    EXPECT_TRUE(link->WriteBytes({0x01, 0x42, 0x30, 0x03}));
    EXPECT_EQ(pty.Receive(4, 2s), FromHex("01 42 30 03"));
}

TEST_F(SerialLink, WriteReportsBytesTheLineDidNotTake)
{
    TLinkSerial idle;
    EXPECT_FALSE(idle.WriteString("x"));
    EXPECT_EQ(idle.LastError, "WriteString: Write error (Error: 9) ");

    ConnectOk();
    link->Comm->SetWriteTimeout(100);
    // Nobody reads the far end: the pty fills up and the write cannot finish in time.
    EXPECT_FALSE(link->WriteString(std::string(1 << 20, 'A')));
    EXPECT_EQ(link->LastError, "WriteString: timed out");
}

TEST_F(SerialLink, StringReadsEndAtTheTerminatorAndCutAtNul)
{
    struct Case {
        std::string input, terminator, text;
    };
    const Case cases[] = {
        {"/XYZ5\\2ABC\r\n", "\r\n", "/XYZ5\\2ABC\r\n"},
        {"\nA\r\n", "\r\n", "\nA\r\n"},  // a lone LF first does not end a CR LF read
        {std::string("AB\0CD\r\n", 7), "\r\n", "AB"},
        {"\x02" "0.0.1(123)\x03" "B", "\x03", "\x02" "0.0.1(123)\x03"},
    };
    ConnectOk();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        pty.Send(c.input);
        std::string text = "old";
        EXPECT_TRUE(link->ReadStringTimed(text, c.terminator, 3000)) << link->LastError;
        EXPECT_EQ(text, c.text);
        link->PurgeInput();
    }
    std::string text = "old";
    pty.Send("no end");
    EXPECT_FALSE(link->ReadStringTimed(text, "\r\n", 150));
    EXPECT_EQ(text, "");
    EXPECT_EQ(link->LastError, "ReadStringTimed: timed out");

    pty.Send("\x02" "abc\x04");
    char last = 0;
    EXPECT_TRUE(link->ReadStringToEOT(text, 3000, last));
    EXPECT_EQ(text, "\x02" "abc\x04");
    EXPECT_EQ(last, '\x04');
    EXPECT_FALSE(link->ReadStringToEOT(text, 100, last));
    EXPECT_EQ(link->LastError, "ReadStringToEOT: timed out");
}

TEST_F(SerialLink, StringReadHolds4094BytesAndGivesUpOnTheNextWithoutWaitingForTheTimeOut)
{
    ConnectOk();
    std::string text;
    pty.Send(std::string(4092, 'A') + "\r\n");
    EXPECT_TRUE(link->ReadStringTimed(text, "\r\n", 5000)) << link->LastError;
    EXPECT_EQ(text.size(), 4094u);

    pty.Send(std::string(4095, 'B'));
    const auto t0 = Clock::now();
    EXPECT_FALSE(link->ReadStringTimed(text, "\r\n", 20000));
    EXPECT_LT(Clock::now() - t0, 10s);
    EXPECT_EQ(link->LastError, "ReadStringTimed: timed out");
    EXPECT_EQ(text, "");
    EXPECT_EQ(link->Comm->InQueueCount(), 1);  // the byte after the 4094th stays queued
}

TEST_F(SerialLink, CharReadsTimeOutAndSkipCountsWhatItDropped)
{
    DebugCapture debug;
    ConnectOk();
    char c = 0;
    EXPECT_FALSE(link->ReadCharTimed(c, 50));
    EXPECT_EQ(link->LastError, "ReadCharTimed: timed out");
    uint8_t b = 0;
    EXPECT_FALSE(link->ReadByteTimed(b, 20));
    EXPECT_EQ(link->LastError, "ReadByteTimed: timed out");
    EXPECT_EQ(link->ReadBufferTimed(&b, 1, 20), 0);

    link->SkipChars(50);  // a silent line: nothing to report
    EXPECT_TRUE(debug.Lines().empty());

    pty.Send("\x15\x15\x15");
    ASSERT_TRUE(WaitQueued(3));
    link->SkipChars(50);
    EXPECT_EQ(debug.Lines(), (std::vector<std::string>{"Skipped chars: 3"}));
    EXPECT_EQ(link->LastError, "ReadCharTimed: timed out");

    debug.Clear();
    link.reset();
    EXPECT_EQ(debug.Lines(), (std::vector<std::string>{"Destroy TLinkSerial"}));
}

TEST_F(SerialLink, ByteReadsReportProgressOncePer128Bytes)
{
    ConnectOk();
    std::vector<int32_t> reports;
    link->OnProgress = [&](int32_t n) { reports.push_back(n); };
    pty.Send(std::string(300, 'z'));
    for (int i = 0; i < 300; ++i) {
        uint8_t b = 0;
        ASSERT_TRUE(link->ReadByteTimed(b, 3000)) << i << ": " << link->LastError;
    }
    EXPECT_EQ(reports, (std::vector<int32_t>{128, 256}));
    EXPECT_EQ(link->ByteCount, 300);
}

TEST_F(SerialLink, AHungUpLineIsAnErrorNotATimeOut)
{
    ConnectOk();
    pty.CloseSlaveKeeper();
    pty.CloseMaster();
    char c;
    EXPECT_FALSE(link->ReadCharTimed(c, 5000));
    EXPECT_EQ(link->LastError, "ReadCharTimed: Read error (Error: 5) ");
    link->Disconnect();
    EXPECT_FALSE(link->IsConnected());
}
