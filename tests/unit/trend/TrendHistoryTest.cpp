// The history behind the trend chart: samples back as they came while recent, spikes and
// gaps kept through downsampling, at most two points per pixel column, lines that reach
// the edges of a zoom, and memory that stops growing however long the poll runs.
#include "trend/TrendHistory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace veltro::trend {
namespace {

using namespace std::chrono_literals;

const TrendTime kStart = TrendTime(1'700'000'000s);
constexpr auto kPoll = 700ms;
constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

TrendCycle Cycle(TrendTime at, double current) {
    TrendCycle c;
    c.time = at;
    if (!std::isnan(current)) c.Set(Quantity::CurrentL1, current);
    return c;
}

int Breaks(const TrendSeries& s) {
    int n = 0;
    for (std::size_t i = 1; i < s.points.size(); ++i) n += s.points[i].gapBefore ? 1 : 0;
    return n;
}

TEST(TrendQuantity, EveryKeyFindsItsOwnQuantity) {
    for (Quantity q : kAllQuantities) EXPECT_EQ(QuantityFromKey(InfoOf(q).key), q) << InfoOf(q).key;
    EXPECT_FALSE(QuantityFromKey("I4"));
}

TEST(TrendHistory, RecentSamplesComeBackAsTheyCame) {
    TrendHistory h;
    for (int i = 0; i < 5; ++i) h.AddCycle(Cycle(kStart + i * kPoll, 1.0 + i));
    const TrendSeries s = h.Series(Quantity::CurrentL1, kStart, kStart + 10s, 1000);
    ASSERT_EQ(s.points.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s.points[i].time, kStart + i * kPoll);
        EXPECT_EQ(s.points[i].value, 1.0 + i);
        EXPECT_FALSE(s.points[i].gapBefore);
    }
    EXPECT_EQ(s.min, 1.0);
    EXPECT_EQ(s.max, 5.0);
    EXPECT_DOUBLE_EQ(s.mean, 3.0);
    // A quantity the cycles never carried has nothing to draw.
    EXPECT_TRUE(h.Series(Quantity::Frequency, kStart, kStart + 10s, 1000).points.empty());
}

struct BreakCase {
    std::string name;
    std::vector<std::pair<std::chrono::milliseconds, double>> samples;  // after kStart
    std::vector<bool> gapBefore;                                          // per point drawn
};

class Breaking : public testing::TestWithParam<BreakCase> {};

TEST_P(Breaking, TheLineOpensWhereValuesAreMissing) {
    TrendHistory h;
    for (const auto& [at, value] : GetParam().samples) h.AddCycle(Cycle(kStart + at, value));
    const TrendSeries s = h.Series(Quantity::CurrentL1, kStart, kStart + 2min, 10000);
    std::vector<bool> gaps;
    for (const TrendPoint& p : s.points) gaps.push_back(p.gapBefore);
    EXPECT_EQ(gaps, GetParam().gapBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Breaking,
    testing::Values(BreakCase{"MissingValue", {{0ms, 1}, {700ms, 2}, {1400ms, kMissing}, {2100ms, 4}}, {false, false, true}},
                    BreakCase{"NotANumber",
                              {{0ms, 1}, {700ms, std::numeric_limits<double>::infinity()}, {1400ms, 3}},
                              {false, true}},
                    BreakCase{"PollingStopped", {{0ms, 1}, {700ms, 2}, {31s, 3}, {31700ms, 4}}, {false, false, true, false}},
                    BreakCase{"SlowButSteady", {{0ms, 1}, {8s, 2}, {16s, 3}}, {false, false, false}}),
    [](const auto& info) { return info.param.name; });

TEST(TrendHistory, TheLineReachesTheEdgesOfAZoom) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::chrono::seconds, double>> samples;
        std::chrono::seconds from, to;
        std::vector<std::pair<std::chrono::milliseconds, double>> expected;
    };
    const Case cases[] = {
        {"BetweenTwoSamples", {{0s, 10}, {8s, 18}}, 2s, 5s, {{2s, 12}, {5s, 15}}},
        {"AroundOneSample", {{0s, 10}, {4s, 14}, {8s, 18}}, 2s, 6s, {{2s, 12}, {4s, 14}, {6s, 16}}},
        {"NotAcrossAGap", {{0s, 10}, {4s, kMissing}, {8s, 18}}, 5s, 7s, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TrendHistory h;
        for (const auto& [at, value] : c.samples) h.AddCycle(Cycle(kStart + at, value));
        const TrendSeries s = h.Series(Quantity::CurrentL1, kStart + c.from, kStart + c.to, 400);
        ASSERT_EQ(s.points.size(), c.expected.size());
        for (std::size_t i = 0; i < s.points.size(); ++i) {
            EXPECT_EQ(s.points[i].time, kStart + c.expected[i].first);
            EXPECT_DOUBLE_EQ(s.points[i].value, c.expected[i].second);
        }
    }
}

TEST(TrendHistory, AClockSetBackStartsOver) {
    TrendHistory h;
    h.AddCycle(Cycle(kStart, 1));
    h.AddCycle(Cycle(kStart + 1s, 2));
    h.AddCycle(Cycle(kStart - 1h, 3));
    EXPECT_EQ(h.Oldest(), kStart - 1h);
    EXPECT_EQ(h.Newest(), kStart - 1h);
    EXPECT_TRUE(h.Series(Quantity::CurrentL1, kStart, kStart + 2s, 100).points.empty());
    h.Clear();
    EXPECT_TRUE(h.Empty());
    EXPECT_FALSE(h.Oldest());
}

// Twelve hours of polling every 0.7 s, fed once for the cases below: a current around
// 10 A with one spike and one dip, two minutes of failed reads and five minutes without
// any poll. All of them lie far beyond the samples kept at full resolution.
class LongRun : public testing::Test {
protected:
    static constexpr auto kRun = 12h;
    static inline const TrendTime kEnd = kStart + kRun;
    static inline const TrendTime kSpike = kEnd - 5h;
    static inline const TrendTime kDip = kEnd - 6h;
    static inline const TrendTime kFailedFrom = kEnd - 7h;
    static inline const TrendTime kSilentFrom = kEnd - 3h;

    static void SetUpTestSuite() {
        history_ = new TrendHistory;
        fed_ = new std::vector<std::pair<TrendTime, double>>;
        for (TrendTime t = kStart; t <= kEnd; t += kPoll) {
            if (t >= kSilentFrom && t < kSilentFrom + 5min) continue;
            const long i = static_cast<long>((t - kStart) / kPoll);
            double value = 10.0 + static_cast<double>(i % 7) * 0.1;
            if (t >= kSpike && t < kSpike + kPoll) value = 95.0;
            if (t >= kDip && t < kDip + kPoll) value = 1.5;
            if (t >= kFailedFrom && t < kFailedFrom + 2min) value = kMissing;
            history_->AddCycle(Cycle(t, value));
            if (!std::isnan(value)) fed_->emplace_back(t, value);
            if (t >= kStart + 10h && t - kPoll < kStart + 10h) bytesAfterTenHours_ = history_->MemoryBytes();
        }
        bytesAfterRun_ = history_->MemoryBytes();
    }
    static void TearDownTestSuite() {
        delete history_;
        delete fed_;
    }

    static inline TrendHistory* history_ = nullptr;
    static inline std::vector<std::pair<TrendTime, double>>* fed_ = nullptr;
    static inline std::size_t bytesAfterTenHours_ = 0;
    static inline std::size_t bytesAfterRun_ = 0;
};

TEST_F(LongRun, KeepsAtLeastEightHoursInBoundedMemory) {
    const TrendTime oldest = *history_->Oldest();
    EXPECT_LE(oldest, kEnd - 8h);
    EXPECT_GT(oldest, kStart) << "nothing was ever dropped";
    EXPECT_LE(bytesAfterRun_, kTrendMemoryBound);
    EXPECT_EQ(bytesAfterRun_, bytesAfterTenHours_) << "still growing after ten hours";
}

TEST_F(LongRun, SpikesAndDipsKeepTheirHeightAtEveryZoom) {
    for (int columns : {3, 100, 800}) {
        SCOPED_TRACE(columns);
        const TrendSeries s = history_->Series(Quantity::CurrentL1, kEnd - 8h, kEnd, columns);
        EXPECT_EQ(s.max, 95.0);
        EXPECT_EQ(s.min, 1.5);
    }
    // Zoomed right in, the spike stands where it happened, to within its sample.
    const TrendSeries near = history_->Series(Quantity::CurrentL1, kSpike - 1min, kSpike + 1min, 800);
    auto top = std::max_element(near.points.begin(), near.points.end(),
                                [](const TrendPoint& a, const TrendPoint& b) { return a.value < b.value; });
    ASSERT_NE(top, near.points.end());
    EXPECT_EQ(top->value, 95.0);
    EXPECT_LT(std::chrono::abs(top->time - kSpike), kPoll);
}

TEST_F(LongRun, NeverMorePointsThanTwoPerColumn) {
    for (int columns : {1, 7, 800, 5000}) {
        SCOPED_TRACE(columns);
        const TrendSeries s = history_->Series(Quantity::CurrentL1, kEnd - 10h, kEnd, columns);
        EXPECT_LE(s.points.size(), 2u * static_cast<unsigned>(columns));
        EXPECT_GE(s.points.size(), 2u);
        for (std::size_t i = 1; i < s.points.size(); ++i) ASSERT_LE(s.points[i - 1].time, s.points[i].time);
        EXPECT_GE(s.points.front().time, kEnd - 10h);
        EXPECT_LE(s.points.back().time, kEnd);
    }
}

TEST_F(LongRun, LongGapsSurviveDownsampling) {
    const TrendSeries s = history_->Series(Quantity::CurrentL1, kEnd - 8h, kEnd, 800);
    std::vector<TrendTime> breaks;
    for (const TrendPoint& p : s.points)
        if (p.gapBefore) breaks.push_back(p.time);
    ASSERT_EQ(breaks.size(), 2u) << "exactly the failed reads and the silence";
    const auto column = std::chrono::seconds(8h) / 800;
    EXPECT_GE(breaks[0], kFailedFrom + 2min - column);
    EXPECT_LE(breaks[0], kFailedFrom + 2min + column);
    EXPECT_GE(breaks[1], kSilentFrom + 5min - column);
    EXPECT_LE(breaks[1], kSilentFrom + 5min + column);
    EXPECT_EQ(Breaks(history_->Series(Quantity::CurrentL1, kEnd - 2h, kEnd, 800)), 0);
}

TEST_F(LongRun, TheMeanCountsEverySampleStillHeld) {
    const TrendTime oldest = *history_->Oldest();
    double sum = 0.0;
    int count = 0;
    for (const auto& [t, v] : *fed_) {
        if (t < oldest) continue;
        sum += v;
        ++count;
    }
    EXPECT_NEAR(history_->Series(Quantity::CurrentL1, oldest, kEnd, 800).mean, sum / count, 1e-9);
}

}  // namespace
}  // namespace veltro::trend
