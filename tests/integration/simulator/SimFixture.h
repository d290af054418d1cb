#pragma once
// A running simulator in a private port directory and the IEC client on its meter
// line, talking through a plain descriptor link.

#include "link/Iec1107.h"
#include "platform/PortNames.h"
#include "simulator/Simulator.h"
#include "support/FdLink.h"
#include "support/PtyPair.h"
#include "support/WaitUntil.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace veltro::test {

class SimFixture : public ::testing::Test {
public:
    static constexpr const char* kSerial = "87654321";
    static constexpr const char* kIdent = "4242";
    static constexpr const char* kPassword = "SECRT";

protected:
    void SetUp() override
    {
        sim.State().SetSerialNumber(kSerial);
        sim.State().SetCommIdent(kIdent);
        sim.State().SetPassword(kPassword);
        sim.Start();
        // Found the way the tool finds it: COM1 through VELTRO_PORT_DIR.
        const std::string device = platform::ResolvePortName("COM1");
        ASSERT_EQ(device, sim.MeterPort()->SlavePath());
        line = std::make_unique<FdLink>(device);
        line->Connect();
        ASSERT_TRUE(line->IsConnected()) << line->LastError;
        client.Link = line.get();
    }

    // Sign-on and option select, as every run of the configuration page starts.
    void SignOn()
    {
        ASSERT_TRUE(client.Connect(kIdent));
        ASSERT_TRUE(client.SwitchBaudRate());
    }

    std::string Value(const std::string& code)
    {
        if (!client.ReadValue(code))
            return "<read failed>";
        std::string value;
        client.GetValueText(value);
        return value;
    }

    // A raw request on the line; returns what came back up to the terminator.
    std::string Exchange(const std::string& request, const std::string& terminator)
    {
        EXPECT_TRUE(line->WriteString(request));
        std::string reply;
        line->ReadStringTimed(reply, terminator, 2000);
        return reply;
    }

    static std::string Command(const std::string& body)
    {
        return body + static_cast<char>(link::TIec1107::CalcBcc(body));
    }

    PortDir dir;
    sim::Simulator sim{{dir.Path(), 1}};
    std::unique_ptr<FdLink> line;
    link::TIec1107 client;
};

}  // namespace veltro::test
