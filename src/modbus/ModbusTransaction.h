#pragma once
// One request/reply exchange and the record every client reply event receives.
//
// A transaction has exactly one owner at a time: the client that builds it, then the
// connection's worker (queue and exchange), then the UI thread, which hands it to the
// client's reply processing and frees it. std::unique_ptr carries that ownership.

#include "modbus/ModbusBuffer.h"

#include <cstdint>
#include <vector>

namespace veltro::modbus {

// The outcome of an exchange. The byte values are part of the interface (applications
// store and compare them), so the enumerators keep their fixed values.
enum TReplyStatus : std::uint8_t {
    rsNoReply = 0,    // nothing usable arrived (silence, short frame, bad checksum, line error, write failed)
    rsUnmatched = 1,  // a valid frame that does not answer the request, or contents that disagree with it
    rsException = 2,  // an exception reply to the request
    rsSuccess = 3,    // a normal reply; also every broadcast
};

struct TTransactionInfo {
    std::uint32_t ID = 0;            // from the connection's counter: 0, 1, 2, ...
    std::uint8_t ServerAddress = 0;  // the address the request went to (0 = broadcast)
    std::int32_t UserData = 0;       // the caller's value, returned untouched
    std::uint32_t Attempts = 0;      // how many times the request was sent
    std::uint8_t ReplyStatus = rsNoReply;
    std::uint8_t ExceptionCode = 0;     // 1..8 for an exception reply, else 0
    std::uint8_t RawExceptionCode = 0;  // the code byte as received
};

// One raw frame exactly as written to or read from the line.
using TFrameData = std::vector<std::uint8_t>;

class TModbusTransaction {
public:
    // Capacity is the connection's FrameBufferCapacity (RTU 256, ASCII 255).
    explicit TModbusTransaction(std::int32_t Capacity) : Request(Capacity), Reply(Capacity) {}

    TModbusBuffer Request;  // address, PDU, checksum
    TModbusBuffer Reply;    // the decoded reply frame, checksum kept
    // A custom transaction awaits a reply even when sent to address 0 and completes
    // through the client's custom-completion path.
    bool Custom = false;
    TTransactionInfo Info;
    // Match a reply on the function code only; the reply's address is then reported.
    bool AcceptAnyServer = false;
};

} // namespace veltro::modbus
