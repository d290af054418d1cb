#pragma once
// The line of a Modbus TCP connection: RTU frames inside, MBAP frames on the wire. Each
// request goes out under a transaction identifier of its own; a reply is read by the
// length its header gives and taken only when it carries that identifier. One that does
// not (the late answer to an earlier request or attempt) is dropped, shown through
// OnDropped, and the wait goes on. As a server it answers under the identifier of the
// request it answers.

#include "modbus/MbapFrame.h"
#include "modbus/SerialLine.h"

#include <functional>
#include <vector>

namespace veltro::modbus {

class MbapLine : public SerialLine {
public:
    MbapLine();

    std::int32_t ReceiveFrame(std::uint8_t* Dest, std::int32_t Room, std::chrono::milliseconds CharTimeout,
                              std::chrono::milliseconds& Remaining, TReplySearch* Search = nullptr) override;
    std::span<const std::uint8_t> Outgoing(std::span<const std::uint8_t> Frame) override;
    std::span<const std::uint8_t> Incoming(std::span<const std::uint8_t> Frame) override;
    void PurgePort(bool Input, bool Output) override;

    // A whole frame that was read and dropped (another transaction's, or not Modbus).
    std::function<void(std::span<const std::uint8_t> Wire)> OnDropped;

    // A server waits this long for the rest of a frame whose header came.
    static constexpr std::chrono::milliseconds ServerFrameTime{1000};

private:
    // Reads until Need bytes are in (beyond what is there already); false when the time
    // or the line ran out first.
    bool Fill(std::size_t Need, std::chrono::steady_clock::time_point Deadline, bool First);

    std::vector<std::uint8_t> FIn;       // read from the wire, not yet taken as a frame
    std::vector<std::uint8_t> FOut;      // the wire image of the last frame sent
    std::vector<std::uint8_t> FWireIn;   // the wire image of the last frame received
    std::uint16_t FNextId = 0;           // client: the identifier of the next request
    std::uint16_t FExpectedId = 0;       // client: the identifier the reply must carry
    std::uint16_t FRequestId = 0;        // server: the identifier of the request answered
};

} // namespace veltro::modbus
