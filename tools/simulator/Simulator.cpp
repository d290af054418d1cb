#include "simulator/Simulator.h"

#include <stdexcept>

namespace veltro::sim {

namespace {

// The meter's optical port speaks the IEC 62056-21 character format: 9600 bit/s, 7 data
// bits, even parity, 1 stop bit.
constexpr LineFormat kMeterLine{9600, 7, 'E', 1};

}  // namespace

Simulator::Simulator(SimulatorOptions options) : options_(std::move(options)) {}

Simulator::~Simulator()
{
    Stop();
}

void Simulator::Start()
{
    if (Running())
        return;
    // Both would be published under one name, and the second would take it from the first.
    if (options_.modulePort == options_.meterPort && options_.meterDevice.empty() && options_.moduleDevice.empty())
        throw std::runtime_error("the meter and the module need different ports");
    meterPort_ = std::make_unique<SimPort>(options_.portDir, options_.meterPort, options_.meterDevice);
    meterPort_->SetLineFormat(kMeterLine);
    meterPort_->SetPacing(options_.pace);
    if (options_.modulePort > 0) {
        try {
            module_.Start(options_.portDir, options_.modulePort, options_.pace, options_.moduleDevice,
                          options_.moduleDeviceEchoes);
        } catch (...) {
            meterPort_.reset();
            throw;
        }
    }
    meter_.ResetSession();
    meterThread_ = std::thread([this] { meter_.Serve(*meterPort_); });
}

void Simulator::Stop()
{
    if (!Running())
        return;
    meterPort_->Stop();
    module_.Stop();
    meterThread_.join();
    meterPort_.reset();
}

}  // namespace veltro::sim
