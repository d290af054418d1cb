// What the trend chart draws from: every polled quantity's values of the last hours, in
// memory that does not grow with the hours. Free of any toolkit.
//
// How older values are kept. Each quantity holds
//   - its latest 4096 samples as they came (48 minutes at one cycle every 0.7 s);
//   - before those, 5-second buckets (1024 of them, at least 85 minutes);
//   - before those, 30-second buckets (1024 of them, at least 8 h 32 min);
// a sample leaving the first ring is merged into the newest 5-second bucket, a bucket
// leaving that ring into the newest 30-second one, and the oldest 30-second bucket is
// dropped. A bucket keeps its lowest and highest value with the time each came, the sum
// and count of the values and the count of missing ones: a line drawn from buckets is the
// envelope of the samples, so a spike of one sample keeps its height at every zoom.
// Buckets are slots of clock time, not counts of samples: the buckets in use cover at
// least their number times their width, so the hours held do not shrink when polling runs
// faster. A gap (values missing, or no cycle at all) shorter than two bucket widths may
// merge into a bucket with values; it is narrower than a pixel column at the zooms where
// those buckets are drawn.
#pragma once

#include "trend/TrendQuantity.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace veltro::trend {

using TrendClock = std::chrono::system_clock;
using TrendTime = TrendClock::time_point;

// One poll cycle: when it ended and what it read. A quantity left empty (its block failed)
// or holding no number is a gap in its line.
struct TrendCycle {
    TrendTime time;
    std::array<std::optional<double>, kQuantityCount> values;

    void Set(Quantity q, double value) { values[IndexOf(q)] = value; }
};

struct TrendPoint {
    TrendTime time;
    double value = 0.0;
    bool gapBefore = false;  // the line does not join this point to the one before
};

// What to draw of one quantity over a time range.
struct TrendSeries {
    std::vector<TrendPoint> points;
    // The lowest and highest point: what the line covers. NaN without points.
    double min = std::numeric_limits<double>::quiet_NaN();
    double max = std::numeric_limits<double>::quiet_NaN();
    // The mean of the values read inside the range, NaN without any. A bucket counts whole
    // when its first sample lies inside, so the ends are exact to one bucket width.
    double mean = std::numeric_limits<double>::quiet_NaN();
};

namespace detail {

struct RawSample {
    std::int64_t ms = 0;  // since the epoch
    double value = 0.0;   // NaN: missing
};

struct Bucket {
    std::int64_t firstMs = 0;       // the first sample's time
    std::uint32_t minOffsetMs = 0;  // when the lowest and the highest value came, after firstMs
    std::uint32_t maxOffsetMs = 0;
    double min = 0.0;
    double max = 0.0;
    double sum = 0.0;
    std::uint32_t values = 0;   // samples with a value
    std::uint32_t missing = 0;  // samples without one
};

// A fixed-capacity ring, oldest first. Storage grows in steps up to the capacity and never
// past it.
template <typename T>
class Ring {
public:
    explicit Ring(std::size_t capacity) : capacity_(capacity) {}

    std::size_t Size() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    const T& operator[](std::size_t i) const { return items_[(head_ + i) % items_.size()]; }
    const T& Front() const { return (*this)[0]; }
    const T& Back() const { return (*this)[Size() - 1]; }
    T& Back() { return items_[(head_ + Size() - 1) % items_.size()]; }

    // Adds at the newest end; when the ring is full, hands back the item it overwrote.
    std::optional<T> Push(const T& item) {
        if (items_.size() < capacity_) {
            if (items_.size() == items_.capacity())
                items_.reserve(std::min(capacity_, std::max<std::size_t>(64, 2 * items_.capacity())));
            items_.push_back(item);
            return std::nullopt;
        }
        T old = items_[head_];
        items_[head_] = item;
        head_ = (head_ + 1) % capacity_;
        return old;
    }
    void Clear() {
        std::vector<T>().swap(items_);
        head_ = 0;
    }
    std::size_t HeapBytes() const { return items_.capacity() * sizeof(T); }

private:
    std::size_t capacity_;
    std::vector<T> items_;
    std::size_t head_ = 0;
};

struct TierShape {
    std::int64_t widthMs;
    std::size_t capacity;
};

inline constexpr std::size_t kRawCapacity = 4096;
inline constexpr std::array<TierShape, 2> kTiers{{{5'000, 1024}, {30'000, 1024}}};

class ColumnAccumulator;

// One quantity's samples and buckets.
class SeriesStore {
public:
    static constexpr std::size_t kHeapBound = [] {
        std::size_t bytes = kRawCapacity * sizeof(RawSample);
        for (const TierShape& tier : kTiers) bytes += tier.capacity * sizeof(Bucket);
        return bytes;
    }();

    void Add(std::int64_t ms, double value);
    void Clear();
    std::optional<std::int64_t> OldestMs() const;
    // Hands the accumulator every sample and bucket in time order, starting with the last
    // one before fromMs, until it has seen enough.
    void Visit(std::int64_t fromMs, ColumnAccumulator& sink) const;
    std::size_t HeapBytes() const;

private:
    void Merge(std::size_t tier, const Bucket& bucket);

    Ring<RawSample> raw_{kRawCapacity};
    std::array<Ring<Bucket>, kTiers.size()> tiers_{Ring<Bucket>(kTiers[0].capacity),
                                                   Ring<Bucket>(kTiers[1].capacity)};
};

}  // namespace detail

class TrendHistory {
public:
    // A cycle this long after the one before breaks every line: the poll ends a cycle at
    // least every 3 × 2.5 s (three blocks that all time out) plus its pauses, so a longer
    // silence means polling was stopped or the port was lost.
    static constexpr std::chrono::milliseconds kSilence{10'000};

    // Cycles come in time order. One earlier than the newest held means the clock was set
    // back: what is held is dropped first, or old lines would be drawn across the new ones.
    void AddCycle(const TrendCycle& cycle);
    void Clear();

    bool Empty() const { return !newest_.has_value(); }
    std::optional<TrendTime> Oldest() const;
    std::optional<TrendTime> Newest() const;

    // The points to draw of q from `from` to `to` across `columns` pixel columns: at most
    // two per column (the lowest and the highest value that fall in it, in time order).
    // Where the line crosses an end of the range, the crossing is part of the first or last
    // column's points, so the line reaches the edges without points outside the range.
    TrendSeries Series(Quantity q, TrendTime from, TrendTime to, int columns) const;

    // The heap the history holds plus the object itself; never above kTrendMemoryBound.
    std::size_t MemoryBytes() const;

private:
    std::array<detail::SeriesStore, kQuantityCount> stores_;
    std::optional<std::int64_t> newest_;
};

// The most memory a history ever takes: 1.8 MB, whatever the hours fed.
inline constexpr std::size_t kTrendMemoryBound = sizeof(TrendHistory) + kQuantityCount * detail::SeriesStore::kHeapBound;

}  // namespace veltro::trend
