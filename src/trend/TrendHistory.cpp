#include "trend/TrendHistory.h"

#include <cmath>
#include <utility>

namespace veltro::trend {

namespace {

using std::chrono::milliseconds;

std::int64_t ToMs(TrendTime t) {
    return std::chrono::floor<milliseconds>(t.time_since_epoch()).count();
}

TrendTime FromMs(std::int64_t ms) { return TrendTime(std::chrono::duration_cast<TrendClock::duration>(milliseconds(ms))); }

std::int64_t SlotOf(std::int64_t ms, std::int64_t width) {
    return ms >= 0 ? ms / width : -((-ms + width - 1) / width);
}

detail::Bucket BucketOf(const detail::RawSample& s) {
    detail::Bucket b;
    b.firstMs = s.ms;
    if (std::isnan(s.value)) {
        b.missing = 1;
    } else {
        b.min = b.max = b.sum = s.value;
        b.values = 1;
    }
    return b;
}

// Adds a later bucket of the same slot.
void Combine(detail::Bucket& into, const detail::Bucket& later) {
    into.missing += later.missing;
    if (later.values == 0) return;
    const auto offset = [&](std::uint32_t laterOffset) {
        return static_cast<std::uint32_t>(later.firstMs + laterOffset - into.firstMs);
    };
    if (into.values == 0 || later.min < into.min) {
        into.min = later.min;
        into.minOffsetMs = offset(later.minOffsetMs);
    }
    if (into.values == 0 || later.max > into.max) {
        into.max = later.max;
        into.maxOffsetMs = offset(later.maxOffsetMs);
    }
    into.sum += later.sum;
    into.values += later.values;
}

// The first index whose time is at or after ms; entries are in time order.
template <typename T, typename TimeOf>
std::size_t LowerBound(const detail::Ring<T>& ring, std::int64_t ms, TimeOf timeOf) {
    std::size_t lo = 0;
    std::size_t hi = ring.Size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (timeOf(ring[mid]) < ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

}  // namespace

namespace detail {

// Folds a time-ordered stream of points and gaps into at most two points per pixel column.
// A gap inside a column that already has points breaks the line before the next column:
// the break cannot be shown narrower than a column anyway.
class ColumnAccumulator {
public:
    ColumnAccumulator(std::int64_t fromMs, std::int64_t toMs, int columns, TrendSeries& out)
        : from_(fromMs), to_(toMs), columns_(columns), out_(out) {}

    // Each returns false once the stream has passed the range and may stop.
    bool Sample(const RawSample& s) {
        if (s.ms >= from_ && s.ms <= to_ && !std::isnan(s.value)) {
            sum_ += s.value;
            ++count_;
        }
        return std::isnan(s.value) ? Gap(s.ms) : Point({s.ms, s.value});
    }
    bool Bucket(const detail::Bucket& b) {
        if (b.firstMs >= from_ && b.firstMs <= to_) {
            sum_ += b.sum;
            count_ += b.values;
        }
        if (b.values == 0) return Gap(b.firstMs);
        Pt low{b.firstMs + b.minOffsetMs, b.min};
        Pt high{b.firstMs + b.maxOffsetMs, b.max};
        if (high.ms < low.ms) std::swap(low, high);
        if (!Point(low)) return false;
        return (low.ms == high.ms && low.value == high.value) || Point(high);
    }

    void Finish() {
        Flush();
        if (count_ > 0) out_.mean = sum_ / static_cast<double>(count_);
        for (const TrendPoint& p : out_.points) {
            if (!(p.value >= out_.min)) out_.min = p.value;  // NaN at first
            if (!(p.value <= out_.max)) out_.max = p.value;
        }
    }

private:
    struct Pt {
        std::int64_t ms;
        double value;
    };
    struct Column {
        int index = -1;
        Pt low{};
        Pt high{};
        bool gapBefore = false;
    };

    bool Point(Pt p) {
        if (p.ms < from_) {
            before_ = p;
            return true;
        }
        if (p.ms > to_) {
            // The line leaves the range towards p: its crossing of the right edge.
            const std::optional<Pt> last = inside_ ? inside_ : before_;
            if (last && !pendingGap_) {
                if (!inside_) Add(Crossing(*last, p, from_));
                Add(Crossing(*last, p, to_));
            }
            return false;
        }
        if (!inside_ && before_ && !pendingGap_) Add(Crossing(*before_, p, from_));
        Add(p);
        inside_ = p;
        return true;
    }

    bool Gap(std::int64_t ms) {
        if (ms < from_) {
            before_.reset();
            return true;
        }
        if (ms > to_) return false;
        pendingGap_ = true;
        return true;
    }

    static Pt Crossing(Pt a, Pt b, std::int64_t ms) {
        if (b.ms == a.ms) return {ms, b.value};
        const double f = static_cast<double>(ms - a.ms) / static_cast<double>(b.ms - a.ms);
        return {ms, a.value + (b.value - a.value) * f};
    }

    int ColumnOf(std::int64_t ms) const {
        const std::int64_t c = (ms - from_) * columns_ / (to_ - from_);
        return static_cast<int>(std::clamp<std::int64_t>(c, 0, columns_ - 1));
    }

    void Add(Pt p) {
        const int c = ColumnOf(p.ms);
        if (c != column_.index) {
            Flush();
            column_ = Column{c, p, p, pendingGap_};
            pendingGap_ = false;
            return;
        }
        if (p.value < column_.low.value) column_.low = p;
        if (p.value > column_.high.value) column_.high = p;
    }

    void Flush() {
        if (column_.index < 0) return;
        Pt first = column_.low;
        Pt second = column_.high;
        if (second.ms < first.ms) std::swap(first, second);
        out_.points.push_back({FromMs(first.ms), first.value, column_.gapBefore});
        if (second.ms != first.ms || second.value != first.value)
            out_.points.push_back({FromMs(second.ms), second.value, false});
        column_ = Column{};
    }

    std::int64_t from_;
    std::int64_t to_;
    int columns_;
    TrendSeries& out_;
    std::optional<Pt> before_;  // the last point before the range, unless a gap followed it
    std::optional<Pt> inside_;  // the last point inside the range
    bool pendingGap_ = false;
    Column column_;
    double sum_ = 0.0;
    std::uint64_t count_ = 0;
};

void SeriesStore::Add(std::int64_t ms, double value) {
    if (const std::optional<RawSample> old = raw_.Push({ms, value})) Merge(0, BucketOf(*old));
}

void SeriesStore::Merge(std::size_t tier, const Bucket& bucket) {
    Ring<Bucket>& ring = tiers_[tier];
    const std::int64_t width = kTiers[tier].widthMs;
    if (!ring.Empty() && SlotOf(ring.Back().firstMs, width) == SlotOf(bucket.firstMs, width)) {
        Combine(ring.Back(), bucket);
        return;
    }
    if (const std::optional<Bucket> old = ring.Push(bucket); old && tier + 1 < tiers_.size()) Merge(tier + 1, *old);
}

void SeriesStore::Clear() {
    raw_.Clear();
    for (Ring<Bucket>& ring : tiers_) ring.Clear();
}

std::optional<std::int64_t> SeriesStore::OldestMs() const {
    for (std::size_t t = tiers_.size(); t-- > 0;)
        if (!tiers_[t].Empty()) return tiers_[t].Front().firstMs;
    if (!raw_.Empty()) return raw_.Front().ms;
    return std::nullopt;
}

void SeriesStore::Visit(std::int64_t fromMs, ColumnAccumulator& sink) const {
    const auto bucketTime = [](const Bucket& b) { return b.firstMs; };
    // Oldest tier first: every bucket of a tier is older than anything in the tiers after it.
    for (std::size_t t = tiers_.size(); t-- > 0;) {
        const Ring<Bucket>& ring = tiers_[t];
        if (ring.Empty()) continue;
        // From the last bucket starting before the range: its points may lie inside, and
        // its last one is where the line comes from.
        std::size_t i = LowerBound(ring, fromMs, bucketTime);
        if (i > 0) --i;
        for (; i < ring.Size(); ++i)
            if (!sink.Bucket(ring[i])) return;
    }
    std::size_t i = LowerBound(raw_, fromMs, [](const RawSample& s) { return s.ms; });
    if (i > 0) --i;
    for (; i < raw_.Size(); ++i)
        if (!sink.Sample(raw_[i])) return;
}

std::size_t SeriesStore::HeapBytes() const {
    std::size_t bytes = raw_.HeapBytes();
    for (const Ring<Bucket>& ring : tiers_) bytes += ring.HeapBytes();
    return bytes;
}

}  // namespace detail

void TrendHistory::AddCycle(const TrendCycle& cycle) {
    const std::int64_t ms = ToMs(cycle.time);
    if (newest_ && ms < *newest_) Clear();
    if (newest_ && ms - *newest_ > kSilence.count()) {
        // The break goes in the middle of the silence: a silence of two bucket widths then
        // leaves one bucket without values, which keeps the break once it is downsampled.
        const std::int64_t middle = *newest_ + (ms - *newest_) / 2;
        for (detail::SeriesStore& store : stores_) store.Add(middle, std::numeric_limits<double>::quiet_NaN());
    }
    for (std::size_t i = 0; i < kQuantityCount; ++i) {
        const std::optional<double>& v = cycle.values[i];
        stores_[i].Add(ms, v && std::isfinite(*v) ? *v : std::numeric_limits<double>::quiet_NaN());
    }
    newest_ = ms;
}

void TrendHistory::Clear() {
    for (detail::SeriesStore& store : stores_) store.Clear();
    newest_.reset();
}

std::optional<TrendTime> TrendHistory::Oldest() const {
    // Every quantity gets an entry each cycle, so all stores span the same times.
    const std::optional<std::int64_t> ms = stores_[0].OldestMs();
    return ms ? std::optional<TrendTime>(FromMs(*ms)) : std::nullopt;
}

std::optional<TrendTime> TrendHistory::Newest() const {
    return newest_ ? std::optional<TrendTime>(FromMs(*newest_)) : std::nullopt;
}

TrendSeries TrendHistory::Series(Quantity q, TrendTime from, TrendTime to, int columns) const {
    TrendSeries out;
    const std::int64_t fromMs = ToMs(from);
    const std::int64_t toMs = ToMs(to);
    if (columns <= 0 || toMs <= fromMs) return out;
    out.points.reserve(static_cast<std::size_t>(std::min<std::int64_t>(2 * columns, 4096)));
    detail::ColumnAccumulator sink(fromMs, toMs, columns, out);
    stores_[IndexOf(q)].Visit(fromMs, sink);
    sink.Finish();
    return out;
}

std::size_t TrendHistory::MemoryBytes() const {
    std::size_t bytes = sizeof(*this);
    for (const detail::SeriesStore& store : stores_) bytes += store.HeapBytes();
    return bytes;
}

}  // namespace veltro::trend
