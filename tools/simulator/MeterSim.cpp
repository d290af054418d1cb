#include "simulator/MeterSim.h"

#include "simulator/SimPort.h"

namespace veltro::sim {

namespace {

constexpr char kCr = 0x0D, kLf = 0x0A;
// A real meter drops a half-received request after 1500 ms without a character.
constexpr std::chrono::milliseconds kInterCharTimeout{1500};
// Longer requests are not ours; the bound keeps a babbling client from growing the
// buffer without limit.
constexpr size_t kMaxRequest = 1024;

}  // namespace

MeterSim::MeterSim(SimState& state) : state_(state) {}

void MeterSim::SetFaults(const MeterFaults& faults)
{
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

MeterFaults MeterSim::Faults() const
{
    std::lock_guard lock(mutex_);
    return faults_;
}

MeterStats MeterSim::Stats() const
{
    std::lock_guard lock(mutex_);
    return stats_;
}

void MeterSim::Count(uint64_t MeterStats::*counter)
{
    std::lock_guard lock(mutex_);
    ++(stats_.*counter);
}

char MeterSim::Bcc(const std::string& frame)
{
    char bcc = 0;
    for (size_t i = 1; i < frame.size(); ++i)
        bcc = static_cast<char>(bcc ^ frame[i]);
    return bcc;
}

std::string MeterSim::Framed(const std::string& body) const
{
    char bcc = Bcc(body);
    if (Faults().wrongBcc)
        bcc = static_cast<char>(bcc ^ 0x01);
    return body + bcc;
}

void MeterSim::ResetSession()
{
    input_.clear();
    session_ = Session::Idle;
    passwordOk_ = false;
}

void MeterSim::Serve(SimPort& port)
{
    uint64_t hangUps = port.ClientHangUps();
    std::vector<uint8_t> bytes;
    for (;;) {
        bytes.clear();
        const SimPort::ReadResult result = port.Read(bytes, kInterCharTimeout);
        if (result == SimPort::ReadResult::Stopped)
            return;
        if (port.ClientHangUps() != hangUps) {
            hangUps = port.ClientHangUps();
            ResetSession();
        }
        if (result != SimPort::ReadResult::Data) {
            DropPartialFrame();
            continue;
        }
        for (const std::string& reply : Receive(bytes)) {
            const MeterFaults faults = Faults();
            if (faults.replyDelay.count() > 0 && !port.Pause(faults.replyDelay))
                return;
            port.Write(faults.garbage ? kGarbage + reply : reply);
        }
    }
}

std::vector<std::string> MeterSim::Receive(const std::vector<uint8_t>& bytes)
{
    input_.append(bytes.begin(), bytes.end());
    std::vector<std::string> replies;
    std::string request;
    while (TakeRequest(request)) {
        CountRequest(request);
        if (Faults().silent)
            continue;  // counted, so tests see the client's attempts, but not heard
        Handle(request, replies);
    }
    return replies;
}

bool MeterSim::TakeRequest(std::string& request)
{
    for (;;) {
        // Anything before a request's first character is line noise or the wake-up NULs.
        const size_t start = input_.find_first_of(std::string{'/', kAck, kSoh});
        input_.erase(0, start == std::string::npos ? input_.size() : start);
        if (input_.empty())
            return false;

        size_t end = std::string::npos;  // one past the request's last byte
        if (input_[0] == '/') {
            const size_t crlf = input_.find("\r\n");
            if (crlf != std::string::npos)
                end = crlf + 2;
        } else if (input_[0] == kAck) {
            // ACK V Z Y CR LF, nothing else starts with ACK.
            if (input_.size() >= 6)
                end = input_[4] == kCr && input_[5] == kLf ? 6 : 0;
        } else {
            const size_t etx = input_.find(kEtx, 1);
            if (etx != std::string::npos && etx + 1 < input_.size())
                end = etx + 2;  // the BCC follows ETX
        }
        if (end == 0 || (end == std::string::npos && input_.size() > kMaxRequest)) {
            input_.erase(0, 1);  // not a request after all: look for the next start
            continue;
        }
        if (end == std::string::npos)
            return false;  // wait for the rest
        request = input_.substr(0, end);
        input_.erase(0, end);
        return true;
    }
}

void MeterSim::CountRequest(const std::string& request)
{
    uint64_t MeterStats::*counter = nullptr;
    if (request[0] == '/')
        counter = &MeterStats::signOns;
    else if (request[0] == kAck)
        counter = &MeterStats::optionSelects;
    else if (request.compare(1, 2, "R1") == 0)
        counter = &MeterStats::reads;
    else if (request.compare(1, 2, "W1") == 0)
        counter = &MeterStats::writes;
    else if (request.compare(1, 2, "P1") == 0)
        counter = &MeterStats::passwords;
    else if (request.compare(1, 2, "B0") == 0)
        counter = &MeterStats::breaks;
    if (counter)
        Count(counter);
}

void MeterSim::Handle(const std::string& request, std::vector<std::string>& replies)
{
    if (request[0] == '/')
        HandleSignOn(request, replies);
    else if (request[0] == kAck)
        HandleOptionSelect(request, replies);
    else
        HandleCommand(request, replies);
}

void MeterSim::HandleSignOn(const std::string& line, std::vector<std::string>& replies)
{
    // "/?" identifier "!" CR LF; a new sign-on always starts a new session.
    session_ = Session::Idle;
    passwordOk_ = false;
    if (line.size() < 5 || line[1] != '?' || line[line.size() - 3] != '!')
        return;
    const std::string ident = line.substr(2, line.size() - 5);
    // On a bus several meters hear the request; only the addressed one answers.
    if (!ident.empty() && ident != state_.CommIdent())
        return;
    session_ = Session::AwaitingOption;
    replies.push_back(std::string(kIdentification) + kCr + kLf);
}

void MeterSim::HandleOptionSelect(const std::string& message, std::vector<std::string>& replies)
{
    // Repeated in programming mode when the client missed the prompt: answer again.
    if (session_ == Session::Idle)
        return;
    const char baud = message[2], mode = message[3];
    if (baud < '0' || baud > '9' || mode != '1') {
        // Only programming mode is offered; anything else ends the session unanswered.
        session_ = Session::Idle;
        return;
    }
    session_ = Session::Programming;
    replies.push_back(Framed(std::string{kSoh, 'P', '0', kStx} + "(" + state_.SerialNumber() + ")" + kEtx));
}

void MeterSim::HandleCommand(const std::string& frame, std::vector<std::string>& replies)
{
    // SOH C D [STX data] ETX BCC
    const std::string command = frame.substr(1, 2);
    const std::string body = frame.substr(0, frame.size() - 1);
    std::string data;
    if (frame.size() > 5 && frame[3] == kStx)
        data = frame.substr(4, frame.size() - 6);

    if (session_ == Session::Idle)
        return;  // not signed on: the meter does not listen to commands
    if (Bcc(body) != frame.back()) {
        Count(&MeterStats::badBcc);
        replies.push_back(std::string(1, kNak));
        return;
    }
    if (command == "B0") {
        session_ = Session::Idle;
        passwordOk_ = false;
        replies.push_back(std::string(1, kAck));
        return;
    }
    if (session_ != Session::Programming) {
        replies.push_back(std::string(1, kNak));
        return;
    }

    // Data of R1 and W1: code "(" value ")"; of P1: "(" password ")".
    const size_t open = data.find('(');
    const bool bracketed = open != std::string::npos && data.size() >= open + 2 && data.back() == ')';
    const std::string code = data.substr(0, open);
    const std::string value = bracketed ? data.substr(open + 1, data.size() - open - 2) : std::string();

    if (command == "R1") {
        const auto stored = state_.ReadDataSet(code);
        const std::string set = stored ? code + "(" + *stored + ")" : std::string("(ERROR)");
        replies.push_back(Framed(kStx + set + kEtx));
    } else if (command == "P1") {
        passwordOk_ = bracketed && open == 0 && value == state_.Password() && !Faults().nakPassword;
        replies.push_back(std::string(1, passwordOk_ ? kAck : kNak));
    } else if (command == "W1") {
        const bool written = passwordOk_ && bracketed && state_.WriteDataSet(code, value);
        replies.push_back(std::string(1, written ? kAck : kNak));
    } else {
        replies.push_back(std::string(1, kNak));
    }
}

}  // namespace veltro::sim
