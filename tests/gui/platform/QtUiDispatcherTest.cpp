#include "platform/UiDispatcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace veltro::platform;

namespace {
bool SpinQtUntil(const std::function<bool()>& cond, int timeoutMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return cond();
}
}  // namespace

TEST(QtUiDispatcher, PostsFromAWorkerArriveInOrderOnTheGuiThread)
{
    UiDispatcher& ui = Ui();
    std::vector<int> seen;
    std::vector<bool> onGui;
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i)
            ui.Post([&, i] {
                seen.push_back(i);
                onGui.push_back(ui.IsUiThread());
            });
    });
    worker.join();
    ASSERT_TRUE(SpinQtUntil([&] { return seen.size() == 200; }));
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(seen[i], i);
        EXPECT_TRUE(onGui[i]);
    }
}

TEST(QtUiDispatcher, HandOverIsServedByTheEventLoopAndByWaitServing)
{
    UiDispatcher& ui = Ui();
    std::atomic<int> served{0};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        ui.InvokeAndWait([&] { ++served; });   // served by the Qt event loop
        ui.InvokeAndWait([&] { ++served; });   // served while the GUI thread waits
        finished = true;
    });
    ASSERT_TRUE(SpinQtUntil([&] { return served.load() >= 1; }));
    ui.WaitServing([&] { return finished.load(); });
    worker.join();
    EXPECT_EQ(served.load(), 2);
}
