#include "simulator/ModuleLine.h"

#include "simulator/SimPort.h"

#include <algorithm>
#include <utility>

namespace veltro::sim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// An unlimited wait is taken in slices of this length, so a line replaced meanwhile is
// picked up; every slice ends early when data, an interrupt or the shutdown comes.
constexpr milliseconds kWaitSlice{500};

// The character format the pacing of a line follows.
LineFormat FormatOf(const platform::SerialSettings& s)
{
    const char parity = s.parity == platform::SerialParity::Even ? 'E' : s.parity == platform::SerialParity::Odd ? 'O' : 'N';
    return {s.baudRate, s.dataBits, parity, s.stopBits == platform::SerialStopBits::One ? 1 : 2};
}

}  // namespace

ModuleLine::ModuleLine(std::string portDir, int comNumber, FaultSource faults, bool pace, std::string device)
    : portDir_(std::move(portDir)), comNumber_(comNumber), device_(std::move(device)), faults_(std::move(faults)),
      pace_(pace)
{
    port_ = NewPort();
}

std::shared_ptr<SimPort> ModuleLine::NewPort() const
{
    auto port = std::make_shared<SimPort>(portDir_, comNumber_, device_);
    port->SetLineFormat(FormatOf(settings_));
    port->SetPacing(pace_);
    return port;
}

ModuleLine::~ModuleLine()
{
    Shutdown();
}

std::shared_ptr<SimPort> ModuleLine::Port() const
{
    std::lock_guard lock(lock_);
    return port_;
}

std::string ModuleLine::SlavePath() const { return Port()->SlavePath(); }

platform::SerialSettings ModuleLine::Settings() const
{
    std::lock_guard lock(lock_);
    return settings_;
}

void ModuleLine::Shutdown()
{
    shutDown_ = true;
    Port()->Stop();
    std::lock_guard lock(lock_);
    interruptSignal_.notify_all();
}

bool ModuleLine::Configure(const platform::SerialSettings& settings)
{
    // A pseudo-terminal has no bit rate: the module remembers what it was told, and a
    // paced line takes its time from it.
    std::lock_guard lock(lock_);
    settings_ = settings;
    port_->SetLineFormat(FormatOf(settings));
    return true;
}

void ModuleLine::SetSecondReply(SecondReply reply)
{
    std::lock_guard lock(lock_);
    secondReply_ = std::move(reply);
}

bool ModuleLine::WaitUntilListening(milliseconds timeout)
{
    std::unique_lock lock(lock_);
    return listeningSignal_.wait_for(lock, timeout, [this] { return listening_ || shutDown_.load(); }) && listening_;
}

bool ModuleLine::SameSettings(const SimPort& port) const
{
    const std::optional<LineFormat> client = port.ClientFormat();
    if (!client)
        return true;
    std::lock_guard lock(lock_);
    const LineFormat own = FormatOf(settings_);
    // What a pseudo-terminal shows: rate, stop bits, and whether the parity is odd.
    return client->bitRate == own.bitRate && (client->parity == 'O') == (own.parity == 'O') &&
           client->stopBits == own.stopBits;
}

ModuleLine::Pulled ModuleLine::Pull(milliseconds timeout)
{
    std::vector<uint8_t> bytes;
    const auto port = Port();
    switch (port->Read(bytes, timeout)) {
    case SimPort::ReadResult::Data: {
        const ModuleFaults faults = faults_();
        if (faults.silent || faults.noise) {
            ++ignored_;
            if (faults.noise)
                port->Write(kGarbage);
            return Pulled::Nothing;
        }
        // At other settings a UART makes garbage of the characters, and the module
        // answers garbage with silence.
        if (!SameSettings(*port)) {
            ++misheard_;
            return Pulled::Nothing;
        }
        input_.insert(input_.end(), bytes.begin(), bytes.end());
        return Pulled::Data;
    }
    case SimPort::ReadResult::Interrupted:
        return Pulled::Interrupted;
    case SimPort::ReadResult::Stopped:
        // Either the module shuts down, or a hang-up replaced this line with a new one.
        return shutDown_ ? Pulled::Closed : Pulled::Nothing;
    case SimPort::ReadResult::Timeout:
    case SimPort::ReadResult::NoClient:
        break;
    }
    return Pulled::Nothing;
}

int ModuleLine::InQueue()
{
    if (input_.empty())
        Pull(milliseconds(0));
    return static_cast<int>(input_.size());
}

bool ModuleLine::Purge(bool input, bool)
{
    if (input) {
        while (Pull(milliseconds(0)) == Pulled::Data) {
        }
        input_.clear();
    }
    return true;
}

long ModuleLine::Read(uint8_t* dst, size_t max)
{
    if (shutDown_)
        return -1;
    Pull(milliseconds(0));
    const size_t n = std::min(max, input_.size());
    std::copy_n(input_.begin(), n, dst);
    request_.insert(request_.end(), input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<long>(n);
}

platform::WaitResult ModuleLine::WaitReadable(milliseconds timeout)
{
    // A server waits without limit only for the first byte of a request.
    if (timeout.count() < 0) {
        request_.clear();
        std::lock_guard lock(lock_);
        if (!listening_) {
            listening_ = true;
            listeningSignal_.notify_all();
        }
    }
    const auto deadline = Clock::now() + std::max(timeout, milliseconds(0));
    for (;;) {
        {
            std::lock_guard lock(lock_);
            if (interrupted_) {
                interrupted_ = false;
                return platform::WaitResult::Interrupted;
            }
        }
        if (shutDown_)
            return platform::WaitResult::HangUp;
        if (!input_.empty())
            return platform::WaitResult::Ready;
        milliseconds slice = kWaitSlice;
        if (timeout.count() >= 0) {
            slice = std::min(slice, std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
            slice = std::max(slice, milliseconds(0));
        }
        const Pulled pulled = Pull(slice);
        if (pulled == Pulled::Closed)
            return platform::WaitResult::HangUp;
        if (pulled == Pulled::Data)
            return platform::WaitResult::Ready;
        if (pulled == Pulled::Interrupted)
            continue;  // the flag tells whether this wake-up was for us
        if (timeout.count() >= 0 && Clock::now() >= deadline)
            return platform::WaitResult::Timeout;
    }
}

void ModuleLine::Interrupt()
{
    {
        std::lock_guard lock(lock_);
        interrupted_ = true;
    }
    interruptSignal_.notify_all();
    Port()->Interrupt();
}

void ModuleLine::Delay(milliseconds time)
{
    std::unique_lock lock(lock_);
    interruptSignal_.wait_for(lock, time, [this] { return interrupted_ || shutDown_.load(); });
}

void ModuleLine::ReplaceLine()
{
    // The new line is published first, so the name never points nowhere; closing the old
    // master is what the client on it sees as the hang-up.
    std::shared_ptr<SimPort> old;
    {
        std::lock_guard lock(lock_);
        old = std::exchange(port_, NewPort());
    }
    old->Stop();
    ++hangUps_;
}

long ModuleLine::Write(const uint8_t* src, size_t count, milliseconds)
{
    if (shutDown_)
        return -1;
    const ModuleFaults faults = faults_();
    if (faults.hangUp) {
        ReplaceLine();
        return static_cast<long>(count);
    }
    if (faults.replyDelay.count() > 0)
        Delay(faults.replyDelay);
    std::string out;
    if (faults.echo)
        out.append(request_.begin(), request_.end());
    if (faults.garbage)
        out += kGarbage;
    const size_t frameAt = out.size();
    out.append(src, src + count);
    if (faults.wrongCrc && count > 0)
        out[frameAt + count - 1] = static_cast<char>(out[frameAt + count - 1] ^ 0x5A);
    SecondReply second;
    {
        std::lock_guard lock(lock_);
        second = secondReply_;
    }
    if (second)
        out += second(request_);
    if (faults.truncated)
        out.resize(out.size() - std::min(kTruncatedBytes, count));
    // Nobody listening is no failure of the module: on a bus the reply just goes unheard.
    Port()->Write(out);
    return static_cast<long>(count);
}

}  // namespace veltro::sim
