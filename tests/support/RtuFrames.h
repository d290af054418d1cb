#pragma once
// RTU frames for tests, written as hex: the CRC (low byte first) is appended here, so a
// table of cases shows only the bytes that matter.

#include "modbus/ModbusFrames.h"
#include "support/PtyPair.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veltro::test {

inline std::vector<uint8_t> Rtu(const std::string& hex)
{
    std::vector<uint8_t> frame = FromHex(hex);
    const uint16_t crc = modbus::Crc16(frame.data(), static_cast<int32_t>(frame.size()));
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

inline std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace veltro::test
