#include "simulator/ModuleModel.h"

#include "core/ModuleRegisters.h"
#include "core/RegisterWords.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace veltro::sim {

namespace {

using core::kModuleBlocks;

constexpr double kPi = 3.14159265358979323846;
constexpr double Radians(double degrees) { return degrees * kPi / 180.0; }

// Readings of a meter that has been in service for a while; the relations between the
// totals hold from the start: Q+ = Q1 + Q2, Q- = Q3 + Q4.
constexpr std::array<double, 10> kBaseTotals = {
    12345.678,  // A+
    12.5,       // A-
    4321.0,     // Q+ = Q1 + Q2
    87.5,       // Q- = Q3 + Q4
    4300.25,    // Q1
    20.75,      // Q2
    50.0,       // Q3
    37.5,       // Q4
    13580.0,    // S+
    15.0,       // S-
};
enum TotalIndex { kAPlus, kAMinus, kQPlus, kQMinus, kQ1, kQ2, kQ3, kQ4, kSPlus, kSMinus };

constexpr auto kQuarterHour = std::chrono::minutes(15);

struct Powers {
    double active = 0, reactive = 0, apparent = 0;  // kW, kvar, kVA
};

Powers PowersOf(const std::array<PhaseValues, 3>& phases)
{
    Powers p;
    for (const PhaseValues& ph : phases) {
        const double s = ph.voltage * ph.current / 1000.0;
        // Angles turn clockwise like the window's phasor diagram, where a lagging current
        // sits clockwise of its voltage; it draws inductive, positive reactive power.
        p.active += s * std::cos(Radians(ph.currentAngle));
        p.reactive += s * std::sin(Radians(ph.currentAngle));
        p.apparent += s;
    }
    return p;
}

std::array<PhaseValues, 3> NominalPhases()
{
    std::array<PhaseValues, 3> phases{};
    for (size_t i = 0; i < 3; ++i)
        phases[i] = {ModuleModel::kNominalVoltage, 120.0 * static_cast<double>(i), ModuleModel::kNominalCurrent[i],
                     ModuleModel::kNominalLag[i]};
    return phases;
}

// The totals after `hours` of the nominal load: imported active energy, inductive
// reactive energy (first quadrant) and apparent energy rise, the export registers stay.
std::array<double, 10> TotalsAfter(double hours)
{
    const Powers p = PowersOf(NominalPhases());
    std::array<double, 10> t = kBaseTotals;
    t[kAPlus] += p.active * hours;
    t[kQ1] += p.reactive * hours;
    t[kQPlus] = t[kQ1] + t[kQ2];
    t[kQMinus] = t[kQ3] + t[kQ4];
    t[kSPlus] += p.apparent * hours;
    return t;
}

double Hours(std::chrono::steady_clock::duration d)
{
    return std::max(0.0, std::chrono::duration<double, std::ratio<3600>>(d).count());
}

void Put(ModuleModel::Registers& regs, size_t at, const std::vector<uint16_t>& words)
{
    std::copy(words.begin(), words.end(), regs.begin() + static_cast<std::ptrdiff_t>(at));
}

// Hour, minute, second at `timeAt` and year, month, day at `dateAt`, each one word.
void PutStamp(ModuleModel::Registers& regs, size_t timeAt, size_t dateAt, std::chrono::system_clock::time_point tp)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(tp);
    std::tm local{};
    ::localtime_r(&t, &local);
    const int time[3] = {local.tm_hour, local.tm_min, local.tm_sec};
    const int date[3] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    for (size_t i = 0; i < 3; ++i) {
        regs[timeAt + i] = core::SwapWord(static_cast<uint16_t>(time[i]));
        regs[dateAt + i] = core::SwapWord(static_cast<uint16_t>(date[i]));
    }
}

}  // namespace

ModuleModel::ModuleModel(std::chrono::steady_clock::time_point start, uint32_t seed) : start_(start), noise_(seed) {}

ModuleSnapshot ModuleModel::Snapshot(uint32_t serialNumber, std::chrono::steady_clock::time_point at,
                                     std::chrono::system_clock::time_point wallClock)
{
    // Small, bounded wander around the nominal values, as a steady load shows.
    std::normal_distribution<double> unit(0.0, 1.0);
    const auto wander = [&](double sigma, double bound) { return std::clamp(sigma * unit(noise_), -bound, bound); };

    ModuleSnapshot s;
    s.serialNumber = serialNumber;
    s.now = wallClock;
    s.phases = NominalPhases();
    for (PhaseValues& ph : s.phases) {
        ph.voltage += wander(0.4, 1.5);
        ph.current *= 1.0 + wander(0.01, 0.03);
        ph.currentAngle += wander(0.3, 1.0);
        if (ph.voltageAngle != 0.0)
            ph.voltageAngle += wander(0.05, 0.2);
    }
    s.frequency = kNominalFrequency + wander(0.01, 0.05);
    const Powers p = PowersOf(s.phases);
    s.activePower = p.active;
    s.reactivePower = p.reactive;
    s.apparentPower = p.apparent;
    s.cosPhi = p.apparent > 0 ? p.active / p.apparent : 1.0;
    s.totals = TotalsAfter(Hours(at - start_));

    const auto sinceEpoch = wallClock.time_since_epoch();
    s.profileStamp = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::floor<std::chrono::minutes>(sinceEpoch) -
            std::chrono::floor<std::chrono::minutes>(sinceEpoch) % kQuarterHour));
    const auto stampAgo = wallClock - s.profileStamp;
    const std::array<double, 10> atStamp =
        TotalsAfter(Hours(at - start_ - std::chrono::duration_cast<std::chrono::steady_clock::duration>(stampAgo)));
    s.profile1 = {atStamp[kAPlus], atStamp[kAMinus], atStamp[kQ1], atStamp[kQ2], atStamp[kQ3], atStamp[kQ4]};
    const std::array<PhaseValues, 3> nominal = NominalPhases();
    s.profile2 = {nominal[0].voltage, nominal[1].voltage, nominal[2].voltage,
                  nominal[0].current, nominal[1].current, nominal[2].current};
    return s;
}

ModuleModel::Registers ModuleModel::Encode(const ModuleSnapshot& s)
{
    using namespace core;
    Registers regs{};
    // Block 1
    Put(regs, kRegSerial, LongWordToWords(s.serialNumber));
    PutStamp(regs, kRegClockTime, kRegClockDate, s.now);
    for (size_t i = 0; i < kTotalCount; ++i)
        Put(regs, kRegTotals + 4 * i, DoubleToWords(s.totals[i]));
    Put(regs, kRegCosPhi, SingleToWords(static_cast<float>(s.cosPhi)));
    Put(regs, kRegFrequency, SingleToWords(static_cast<float>(s.frequency)));
    Put(regs, kRegPowerA, SingleToWords(static_cast<float>(s.activePower)));
    Put(regs, kRegPowerQ, SingleToWords(static_cast<float>(s.reactivePower)));
    Put(regs, kRegPowerS, SingleToWords(static_cast<float>(s.apparentPower)));

    // Block 2: positions are relative to its start.
    const size_t b2 = kModuleBlocks[1].start;
    for (size_t i = 0; i < 3; ++i) {
        Put(regs, b2 + kRegCurrentAngle + 2 * i, SingleToWords(static_cast<float>(s.phases[i].currentAngle)));
        Put(regs, b2 + kRegCurrent[i], SingleToWords(static_cast<float>(s.phases[i].current)));
        Put(regs, b2 + kRegVoltage[i], SingleToWords(static_cast<float>(s.phases[i].voltage)));
    }
    Put(regs, b2 + kRegVoltageAngle, SingleToWords(static_cast<float>(s.phases[1].voltageAngle)));
    Put(regs, b2 + kRegVoltageAngle + 2, SingleToWords(static_cast<float>(s.phases[2].voltageAngle)));

    // Block 3: two records of time, date and six channels.
    const size_t b3 = kModuleBlocks[2].start;
    const std::array<const std::array<double, 6>*, 2> records = {&s.profile1, &s.profile2};
    for (size_t r = 0; r < records.size(); ++r) {
        const size_t at = b3 + r * kProfileRecordSize;
        PutStamp(regs, at, at + 3, s.profileStamp);
        for (size_t c = 0; c < kProfileChannels; ++c)
            Put(regs, at + 6 + 4 * c, DoubleToWords((*records[r])[c]));
    }
    return regs;
}

}  // namespace veltro::sim
