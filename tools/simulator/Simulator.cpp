#include "simulator/Simulator.h"

namespace veltro::sim {

Simulator::Simulator(SimulatorOptions options) : options_(std::move(options)) {}

Simulator::~Simulator()
{
    Stop();
}

void Simulator::Start()
{
    if (Running())
        return;
    meterPort_ = std::make_unique<SimPort>(options_.portDir, options_.meterPort);
    meter_.ResetSession();
    meterThread_ = std::thread([this] { meter_.Serve(*meterPort_); });
}

void Simulator::Stop()
{
    if (!Running())
        return;
    meterPort_->Stop();
    meterThread_.join();
    meterPort_.reset();
}

}  // namespace veltro::sim
