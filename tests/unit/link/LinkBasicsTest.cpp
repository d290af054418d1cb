#include "link/CommError.h"
#include "link/CommObjs.h"
#include "link/Link.h"
#include "support/NullLink.h"

#include <gtest/gtest.h>

#include <thread>

using namespace veltro::link;

TEST(ECommError, MessageCarriesTheCodeSuffix)
{
    try {
        RaiseCommError("Port already assigned (open)", -1);
        FAIL();
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "Port already assigned (open) (Error: -1) ");
        EXPECT_EQ(e.ErrorCode, -1);
    }
    EXPECT_STREQ(ECommError("Error accessing specified device COM9", 2).what(),
                 "Error accessing specified device COM9 (Error: 2) ");
}

TEST(TEvent, ManualResetEventStaysSignalledUntilReset)
{
    TSimpleEvent ev;
    EXPECT_EQ(ev.WaitFor(0), wrTimeout);
    std::thread setter([&] { ev.SetEvent(); });
    EXPECT_EQ(ev.WaitFor(5000), wrSignaled);
    setter.join();
    EXPECT_EQ(ev.WaitFor(0), wrSignaled);  // still set: manual reset
    ev.ResetEvent();
    EXPECT_EQ(ev.WaitFor(10), wrTimeout);
}

using CountingLink = veltro::test::NullLink;

TEST(TLink, ProgressIsReportedOncePer128Bytes)
{
    CountingLink link;
    std::vector<int32_t> reports;
    link.OnProgress = [&](int32_t n) { reports.push_back(n); };
    for (int32_t n = 1; n <= 300; ++n)
        link.SetByteCount(n);
    EXPECT_EQ(reports, (std::vector<int32_t>{128, 256}));
    link.SetByteCount(0);
    EXPECT_EQ(link.ReportedCount, 0);
    link.SetByteCount(127);
    EXPECT_EQ(reports.size(), 2u);
}
