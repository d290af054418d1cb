#pragma once

#include <vector>

namespace veltro::modbus {

class TModbusBuffer;

// Coil and discrete-input values travel eight to a byte, value i in bit (i mod 8) of byte
// (i div 8), least significant bit first; unused high bits of the last byte are zero.
int BitByteCount(int Count);

// Writes BitByteCount(Values.size()) bytes at the buffer position.
void PackBits(const std::vector<bool>& Values, TModbusBuffer& Buffer);

// Fills all of Values from bytes at the buffer position, stepping past each byte it reads;
// a byte is read only while values remain.
void UnpackBits(TModbusBuffer& Buffer, std::vector<bool>& Values);

} // namespace veltro::modbus
