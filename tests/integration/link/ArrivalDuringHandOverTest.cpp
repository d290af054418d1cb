// A reply that arrives while the port's event thread is handing a line event to the UI
// thread (here the empty output queue after our own write, as in every request and
// reply): the timed read must still end within a few milliseconds of the reply, not at
// its next 50 ms poll. Also the default that new ports take for arrival signalling.
#include "link/CommInt.h"
#include "platform/ManualUiDispatcher.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

using namespace veltro;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class UiScope {
public:
    UiScope() : previous_(platform::InstallUiDispatcher(&ui)) {}
    ~UiScope() { platform::InstallUiDispatcher(previous_); }
    platform::ManualUiDispatcher ui;

private:
    platform::UiDispatcher* previous_;
};

TEST(ArrivalDuringHandOver, ReplyAfterOurWriteEndsTheReadWithinAFewMilliseconds)
{
    UiScope scope;
    test::PortDir dir;
    test::PtyPair pty;
    dir.Publish(1, pty.SlavePath());
    link::TComm port;
    port.SetDeviceName("COM1");
    port.Open();
    ASSERT_TRUE(port.SignalDataArrival());

    std::vector<double> latencies;
    for (int i = 0; i < 9; ++i) {
        // The request goes out; the peer answers after the request's line time.
        ASSERT_EQ(port.Write("\x01", 1), 1);
        Clock::time_point sent{};
        std::thread peer([&] {
            (void)pty.Receive(1, 1s);
            std::this_thread::sleep_for(std::chrono::milliseconds(2 + i));
            sent = Clock::now();
            pty.Send("\x06");
        });
        uint8_t b = 0;
        const int32_t n = port.ReadTimed(&b, 1, 2000);
        const auto returned = Clock::now();
        peer.join();
        ASSERT_EQ(n, 1);
        latencies.push_back(std::chrono::duration<double, std::milli>(returned - sent).count());
    }
    std::sort(latencies.begin(), latencies.end());
    // A read that sleeps through its poll takes up to 50 ms minus the peer's pause; most
    // rounds must end well before that.
    EXPECT_LT(latencies[latencies.size() * 3 / 4], 15.0);
    port.Close();
}

TEST(ArrivalDuringHandOver, NewPortsTakeTheDefaultSignalling)
{
    UiScope scope;
    link::TCustomComm::SetDefaultSignalDataArrival(false);
    link::TComm off;
    link::TCustomComm::SetDefaultSignalDataArrival(true);
    link::TComm on;
    EXPECT_FALSE(off.SignalDataArrival());
    EXPECT_TRUE(on.SignalDataArrival());
    EXPECT_TRUE(link::TCustomComm::DefaultSignalDataArrival());
}

}  // namespace
