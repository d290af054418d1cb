// The Linux serial device over real pseudo-terminals; the far end is the pty master fd.
#include "platform/PortNames.h"
#include "platform/SerialDevice.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <thread>

using namespace veltro::platform;
using namespace veltro::test;
using namespace std::chrono_literals;

namespace {
// A pty published as COM1 and opened through its number.
class OpenPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.Publish(1, pty.SlavePath());
        int err = 0;
        dev = PosixSerialDevice::Open("COM1", err);
        ASSERT_TRUE(dev) << "errno " << err;
    }
    PortDir dir;
    PtyPair pty;
    std::unique_ptr<PosixSerialDevice> dev;
};
}  // namespace

TEST(PortNames, OverrideDirectoryFirstThenPathsAsTheyAre)
{
    PortDir dir;
    PtyPair pty;
    dir.Publish(7, pty.SlavePath());
    EXPECT_EQ(ResolvePortName("COM7"), pty.SlavePath());
    EXPECT_EQ(ResolvePortName("com7"), pty.SlavePath());
    EXPECT_EQ(ResolvePortName("/dev/null"), "/dev/null");
    EXPECT_EQ(ResolvePortName("LPT1"), "");
    EXPECT_EQ(ResolvePortName("COM"), "");
    // A plain file naming the device serves users whose tools cannot make symlinks.
    std::ofstream(dir.Path() + "/COM9") << pty.SlavePath() << "\n";
    EXPECT_EQ(ResolvePortName("COM9"), pty.SlavePath());
    bool listed7 = false, listed9 = false;
    for (const auto& e : ListPorts()) {
        listed7 |= e.name == "COM7" && e.device == pty.SlavePath();
        listed9 |= e.name == "COM9" && e.device == pty.SlavePath();
    }
    EXPECT_TRUE(listed7);
    EXPECT_TRUE(listed9);
}

TEST(SerialDevice, OpenFailuresCarryTheSystemErrorCode)
{
    PortDir dir;
    int err = 0;
    EXPECT_FALSE(PosixSerialDevice::Open("COM42", err));
    EXPECT_EQ(err, ENOENT);
    dir.Publish(3, "/nonexistent/tty");
    EXPECT_FALSE(PosixSerialDevice::Open("COM3", err));
    EXPECT_EQ(err, ENOENT);
    dir.Publish(4, "/dev/null");  // exists but is not a terminal
    EXPECT_FALSE(PosixSerialDevice::Open("COM4", err));
    EXPECT_EQ(err, ENOTTY);
}

TEST_F(OpenPort, MovesBytesBothWaysAndCountsQueues)
{
    SerialSettings s;
    s.baudRate = 9600;
    s.dataBits = 7;
    s.parity = SerialParity::Even;
    EXPECT_TRUE(dev->Configure(s));  // a pty reads back 8N1; that is not an error

    const std::vector<uint8_t> out = FromHex("01 52 31 02 FF 00 03");
    EXPECT_EQ(dev->Write(out.data(), out.size(), 1000ms), 7);
    EXPECT_EQ(pty.Receive(7, 2s), out);

    pty.Send(FromHex("06 0D 0A"));
    ASSERT_EQ(dev->WaitReadable(2000ms), WaitResult::Ready);
    EXPECT_EQ(dev->InQueue(), 3);
    uint8_t buf[16];
    EXPECT_EQ(dev->Read(buf, sizeof buf), 3);
    EXPECT_EQ(buf[0], 0x06);
    EXPECT_EQ(dev->Read(buf, sizeof buf), 0);  // nothing queued: 0, not a failure
    EXPECT_EQ(dev->OutQueue(), 0);
}

TEST_F(OpenPort, WaitTimesOutAndIsInterruptible)
{
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(dev->WaitReadable(50ms), WaitResult::Timeout);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 45ms);

    std::thread stopper([&] { dev->Interrupt(); });
    EXPECT_EQ(dev->WaitReadable(-1ms), WaitResult::Interrupted);  // unlimited wait ends
    stopper.join();
    EXPECT_EQ(dev->WaitReadable(0ms), WaitResult::Timeout);       // the interrupt was used up
}

TEST_F(OpenPort, PurgeDiscardsQueuedInput)
{
    pty.Send("garbage");
    ASSERT_EQ(dev->WaitReadable(2000ms), WaitResult::Ready);
    EXPECT_TRUE(dev->Purge(true, false));
    EXPECT_EQ(dev->WaitReadable(20ms), WaitResult::Timeout);
}

TEST_F(OpenPort, HangUpOfTheFarEndIsReportedNotTakenAsSilence)
{
    pty.CloseSlaveKeeper();
    pty.CloseMaster();
    EXPECT_EQ(dev->WaitReadable(1000ms), WaitResult::HangUp);
    uint8_t b;
    EXPECT_EQ(dev->Read(&b, 1), -1);
    EXPECT_EQ(dev->LastError(), EIO);
}

TEST_F(OpenPort, ModemLinesAndErrorCountersOnAPtyAreHarmless)
{
    EXPECT_TRUE(dev->SetRts(true));
    EXPECT_TRUE(dev->SetDtr(false));
    EXPECT_FALSE(dev->TakeLineErrors().Any());
    EXPECT_TRUE(dev->Drain(100ms));
    SerialSettings custom;
    custom.baudRate = 14400;  // no Bxxx constant: goes through the custom-rate ioctl
    EXPECT_TRUE(dev->Configure(custom)) << "errno " << dev->LastError();
}

TEST_F(OpenPort, WhereErrorsAreMarkedInTheInputDataStillArrivesAsSent)
{
    // A pty cannot count line errors, so asking for them makes the kernel mark them in the
    // input and double every data byte 0xFF; the device undoes the doubling.
    SerialSettings s;
    s.checkParity = true;
    ASSERT_TRUE(dev->Configure(s));
    const std::vector<uint8_t> sent = FromHex("FF 00 41 FF FF 0A FF");
    pty.Send(sent);
    std::vector<uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (got.size() < sent.size() && dev->WaitReadable(100ms) == WaitResult::Ready
           && std::chrono::steady_clock::now() < deadline) {
        const int queued = dev->InQueue();
        uint8_t buf[32];
        const long n = dev->Read(buf, sizeof buf);
        ASSERT_GE(n, queued) << "every byte counted can be read";
        got.insert(got.end(), buf, buf + n);
    }
    EXPECT_EQ(got, sent);
    EXPECT_FALSE(dev->TakeLineErrors().Any());
}
