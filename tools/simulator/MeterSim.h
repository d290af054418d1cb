#pragma once
// MeterSim: an electricity meter's IEC 62056-21 interface in protocol mode C, as far as
// the configuration tool uses it.
//
//   sign-on      "/?" [identifier] "!" CR LF  ->  "/VLT5..." CR LF, for our identifier
//                                                  or an empty one, silence otherwise
//   option select ACK V Z '1' CR LF           ->  SOH "P0" STX "(" serial ")" ETX BCC
//   R1  code "()"                              ->  STX code "(" value ")" ETX BCC
//                                                  ("(ERROR)" for an unknown code)
//   P1  "(" password ")"                       ->  ACK for the right password, else NAK
//   W1  code "(" value ")"                     ->  ACK after a good password and for a
//                                                  value the module can use, else NAK
//   B0                                         ->  ACK; the session ends
//
// A command whose block check is wrong is answered with NAK, the standard's request to
// repeat it. The line keeps the rate it was opened at: the tool never switches it, and a
// pseudo-terminal has no rate anyway.

#include "simulator/SimState.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace veltro::sim {

class SimPort;

// Misbehaviour on demand, for tests of the client's error paths.
struct MeterFaults {
    bool silent = false;        // hears nothing, answers nothing
    bool wrongBcc = false;      // every framed reply carries a wrong block check
    bool nakPassword = false;   // refuses every password, the right one included
    bool garbage = false;       // a few stray bytes before every reply
    std::chrono::milliseconds replyDelay{0};  // pause before every reply

    bool operator==(const MeterFaults&) const = default;
};

// Requests heard since creation, counted whether or not they were answered.
struct MeterStats {
    uint64_t signOns = 0;
    uint64_t optionSelects = 0;
    uint64_t reads = 0;
    uint64_t writes = 0;
    uint64_t passwords = 0;
    uint64_t breaks = 0;
    uint64_t badBcc = 0;   // commands refused for their block check
};

class MeterSim {
public:
    static constexpr char kStx = 0x02, kEtx = 0x03, kSoh = 0x01, kAck = 0x06, kNak = 0x15;
    // The identification line: manufacturer "VLT", '5' = 9600 Bd as the highest rate.
    static constexpr const char* kIdentification = "/VLT5VeltroSim";
    static constexpr const char* kGarbage = "#~\x7F";

    explicit MeterSim(SimState& state);

    void SetFaults(const MeterFaults& faults);
    MeterFaults Faults() const;
    MeterStats Stats() const;

    // Serves the port until it is stopped. A client that closes the port ends the
    // session; the next one starts from sign-on.
    void Serve(SimPort& port);

    // The protocol engine on its own: takes bytes from the line, returns the replies
    // due, in order. Partial frames are kept for the next call.
    std::vector<std::string> Receive(const std::vector<uint8_t>& bytes);
    // Forgets the session and any partial frame.
    void ResetSession();
    // Forgets a partial frame; a real meter does so after an idle gap on the line.
    void DropPartialFrame() { input_.clear(); }

    // The block check: exclusive-or of every byte after the leading SOH or STX up to
    // and including ETX. Kept apart from the client's so the two check each other.
    static char Bcc(const std::string& frame);

private:
    enum class Session { Idle, AwaitingOption, Programming };

    // Takes one complete request from the front of input_; false when none is complete.
    bool TakeRequest(std::string& request);
    void CountRequest(const std::string& request);
    void Handle(const std::string& request, std::vector<std::string>& replies);
    void HandleSignOn(const std::string& line, std::vector<std::string>& replies);
    void HandleOptionSelect(const std::string& message, std::vector<std::string>& replies);
    void HandleCommand(const std::string& frame, std::vector<std::string>& replies);
    std::string Framed(const std::string& body) const;  // body + BCC
    void Count(uint64_t MeterStats::*counter);

    SimState& state_;
    mutable std::mutex mutex_;  // faults_ and stats_: set and read from other threads
    MeterFaults faults_;
    MeterStats stats_;

    // Owned by the serving thread.
    std::string input_;
    Session session_ = Session::Idle;
    bool passwordOk_ = false;
};

}  // namespace veltro::sim
