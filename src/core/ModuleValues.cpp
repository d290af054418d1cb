#include "core/ModuleValues.h"

namespace veltro::core {

const std::array<ValueName, kTotalCount + 6> kTotalNames = {{
    {"1.8.0", "energia attiva A+", "kWh"},       {"2.8.0", "energia attiva A-", "kWh"},
    {"3.8.0", "en. reattiva Q+ = Q1+Q2", "kvarh"}, {"4.8.0", "en. reattiva Q- = Q3+Q4", "kvarh"},
    {"5.8.0", "en. reattiva Q1", "kvarh"},       {"6.8.0", "en. reattiva Q2", "kvarh"},
    {"7.8.0", "en. reattiva Q3", "kvarh"},       {"8.8.0", "en. reattiva Q4", "kvarh"},
    {"9.8.0", "en. apparente S+", "kVAh"},       {"10.8.0", "en. apparente S-", "kVAh"},
    {"31.7.0", "corrente fase R", "A"},          {"51.7.0", "corrente fase S", "A"},
    {"71.7.0", "corrente fase T", "A"},          {"32.7.0", "tensione fase R", "V"},
    {"52.7.0", "tensione fase S", "V"},          {"72.7.0", "tensione fase T", "V"},
}};

MeterReadings ReadMeterBlock(std::span<const uint16_t> registers)
{
    const RegisterBlock block(registers);
    MeterReadings r;
    r.serialNumber = block.RegLongWord(kRegSerial);
    r.clock = block.RegStamp(kRegClockTime, kRegClockDate);
    for (size_t i = 0; i < kTotalCount; ++i)
        r.totals[i] = block.RegDouble(kRegTotals + 4 * i);
    r.cosPhi = block.RegSingle(kRegCosPhi);
    r.frequency = block.RegSingle(kRegFrequency);
    r.activePower = block.RegSingle(kRegPowerA);
    r.reactivePower = block.RegSingle(kRegPowerQ);
    r.apparentPower = block.RegSingle(kRegPowerS);
    return r;
}

PhaseReadings ReadPhaseBlock(std::span<const uint16_t> registers)
{
    const RegisterBlock block(registers);
    PhaseReadings r;
    for (size_t i = 0; i < 3; ++i) {
        r.currents[i] = block.RegSingle(kRegCurrent[i]);
        r.voltages[i] = block.RegSingle(kRegVoltage[i]);
        r.currentAngles[i] = block.RegSingle(kRegCurrentAngle + 2 * i);
    }
    r.voltageAngles = {0.0, block.RegSingle(kRegVoltageAngle), block.RegSingle(kRegVoltageAngle + 2)};
    return r;
}

ProfileReadings ReadProfileBlock(std::span<const uint16_t> registers)
{
    const RegisterBlock block(registers);
    ProfileReadings r;
    for (size_t record = 0; record < r.records.size(); ++record) {
        const size_t p = record * kProfileRecordSize;
        ProfileRecord& out = r.records[record];
        out.stamp = block.RegStamp(p, p + 3);
        if (out.stamp)
            for (size_t ch = 0; ch < kProfileChannels; ++ch)
                out.channels[ch] = block.RegDouble(p + 6 + 4 * ch);
    }
    return r;
}

}  // namespace veltro::core
