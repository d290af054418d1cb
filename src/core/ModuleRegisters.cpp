#include "core/ModuleRegisters.h"

namespace veltro::core {

namespace {
double ZeroIfOutOfRange(double value)
{
    return value <= 1e38 ? value : 0.0;  // false for NaN as well
}
}  // namespace

std::span<const uint16_t> RegisterBlock::Words(size_t index, size_t count) const
{
    if (index > regs_.size() || regs_.size() - index < count)
        return {};
    return regs_.subspan(index, count);
}

uint16_t RegisterBlock::RegWord(size_t index) const
{
    const auto w = Words(index, 1);
    return w.empty() ? 0 : SwapWord(w[0]);
}

uint32_t RegisterBlock::RegLongWord(size_t index) const
{
    uint32_t value = 0;
    WordsToLongWord(Words(index, 2), value);
    return value;
}

double RegisterBlock::RegSingle(size_t index) const
{
    float value = 0;
    WordsToSingle(Words(index, 2), value);
    return ZeroIfOutOfRange(static_cast<double>(value));
}

double RegisterBlock::RegDouble(size_t index) const
{
    double value = 0;
    WordsToDouble(Words(index, 4), value);
    return ZeroIfOutOfRange(value);
}

std::optional<MeterStamp> RegisterBlock::RegStamp(size_t timeIndex, size_t dateIndex) const
{
    const MeterStamp stamp{{RegWord(dateIndex), RegWord(dateIndex + 1), RegWord(dateIndex + 2)},
                           {RegWord(timeIndex), RegWord(timeIndex + 1), RegWord(timeIndex + 2)}};
    if (!IsValidDate(stamp.date.year, stamp.date.month, stamp.date.day) ||
        !IsValidTime(stamp.time.hour, stamp.time.minute, stamp.time.second))
        return std::nullopt;
    return stamp;
}

}  // namespace veltro::core
