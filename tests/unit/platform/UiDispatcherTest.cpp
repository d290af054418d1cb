#include "platform/DebugOutput.h"
#include "platform/ManualUiDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace veltro::platform;
using namespace std::chrono_literals;

TEST(ManualUiDispatcher, PostedTasksRunOnlyWhenPumpedAndInOrder)
{
    ManualUiDispatcher ui;
    std::vector<int> seen;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            ui.Post([&seen, i] { seen.push_back(i); });
    });
    worker.join();
    EXPECT_TRUE(seen.empty());
    ui.Pump();
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(seen[i], i);
}

TEST(ManualUiDispatcher, InvokeAndWaitRunsOnTheUiThreadAndRethrows)
{
    ManualUiDispatcher ui;
    std::thread::id ranOn;
    std::atomic<bool> done{false};
    std::string error;
    std::thread worker([&] {
        ui.InvokeAndWait([&] { ranOn = std::this_thread::get_id(); });
        try {
            ui.InvokeAndWait([] { throw std::runtime_error("boom"); });
        } catch (const std::exception& e) {
            error = e.what();
        }
        done = true;
    });
    EXPECT_TRUE(ui.PumpUntil([&] { return done.load(); }, 5s));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(error, "boom");
}

TEST(ManualUiDispatcher, InvokeAndWaitOnTheUiThreadRunsAtOnce)
{
    ManualUiDispatcher ui;
    bool ran = false;
    ui.InvokeAndWait([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(UiDispatcher, WaitServingServesHandOversButNotPosts)
{
    // A worker that hands a call over and then finishes must not deadlock a UI thread
    // that waits for it; posted tasks stay queued for the event loop.
    ManualUiDispatcher ui;
    std::atomic<bool> finished{false};
    bool posted = false;
    std::thread worker([&] {
        ui.Post([&] { posted = true; });
        ui.InvokeAndWait([] {});
        finished = true;
    });
    ui.WaitServing([&] { return finished.load(); });
    worker.join();
    EXPECT_FALSE(posted);
    ui.Pump();
    EXPECT_TRUE(posted);
}

TEST(ManualUiDispatcher, ExceptionInPostedTaskGoesToTheExceptionHandler)
{
    ManualUiDispatcher ui;
    std::string reported;
    auto previous = SetExceptionHandler([&](std::exception_ptr e) { reported = ExceptionMessage(e); });
    bool second = false;
    ui.Post([] { throw std::runtime_error("handler failed"); });
    ui.Post([&] { second = true; });
    ui.Pump();
    SetExceptionHandler(previous);
    EXPECT_EQ(reported, "handler failed");
    EXPECT_TRUE(second);
}

TEST(DebugOutput, SinkReceivesLinesAndCanBeSwitchedOff)
{
    std::vector<std::string> lines;
    auto previous = SetDebugSink([&](std::string_view s) { lines.emplace_back(s); });
    SetDebugOutputEnabled(true);
    DebugOutput("one");
    SetDebugOutputEnabled(false);
    DebugOutput("two");
    SetDebugOutputEnabled(true);
    SetDebugSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "one");
}
