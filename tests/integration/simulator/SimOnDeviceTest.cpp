// The simulated devices served on an existing serial device (here the slave side of a
// pty standing in for a USB adapter) instead of a pseudo-terminal of their own; the test
// plays the PC at the other end of the cable.
#include "modbus/ModbusFrames.h"
#include "simulator/Simulator.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace veltro;
using namespace std::chrono_literals;

TEST(SimOnDevice, TheModuleAnswersOnTheDeviceItWasGivenAndPublishesNothing)
{
    test::PortDir ports;
    test::PtyPair cable;
    sim::SimulatorOptions options{ports.Path(), 1, false, 2};
    options.moduleDevice = cable.SlavePath();
    sim::Simulator sim(options);
    sim.Start();
    EXPECT_FALSE(std::filesystem::exists(ports.Path() + "/COM2"));

    // Read the serial number registers of the module at its automatic address 178.
    std::vector<uint8_t> request = {178, 0x03, 0x00, 0x00, 0x00, 0x02};
    const uint16_t crc = modbus::Crc16(request.data(), static_cast<int32_t>(request.size()));
    request.push_back(static_cast<uint8_t>(crc & 0xFF));
    request.push_back(static_cast<uint8_t>(crc >> 8));
    // Sent again if unanswered, as a master does: bytes on a cable before the module
    // listens are lost, like on any real line.
    std::vector<uint8_t> reply;
    for (int attempt = 0; attempt < 3 && reply.size() < 9; ++attempt) {
        cable.Send(request);
        reply = cable.Receive(9, 1s);
    }
    ASSERT_EQ(reply.size(), 9u);
    EXPECT_EQ(reply[0], 178);
    EXPECT_EQ(reply[1], 0x03);
    EXPECT_EQ(reply[2], 4);
    EXPECT_EQ(modbus::Crc16(reply.data(), 9), 0);  // the CRC over a whole frame is 0
    sim.Stop();
}

TEST(SimOnDevice, AMissingDeviceIsRefusedWithItsName)
{
    test::PortDir ports;
    sim::SimulatorOptions options{ports.Path(), 1, false, 0};
    options.meterDevice = "/dev/veltro-no-such-device";
    sim::Simulator sim(options);
    try {
        sim.Start();
        FAIL() << "started on a device that does not exist";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("/dev/veltro-no-such-device"), std::string::npos) << e.what();
    }
}
