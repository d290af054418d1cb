// The simulated meter through the serial link and port component the tool itself uses:
// a run opens COM1 at the IEC character format, talks, signs off and closes the port,
// and the meter notices the close.

#include "SimFixture.h"

#include "link/LinkSerial.h"

namespace veltro::test {
namespace {

class MeterSimSerialTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        line->Disconnect();  // the fixture's descriptor link is not used here
    }

    // One run: connect the link, sign on, run the steps, sign off, disconnect; then
    // the meter must notice that the port was closed.
    void Run(const std::function<void(link::TIec1107&)>& steps)
    {
        sim::SimPort& port = *sim.MeterPort();
        link::TLinkSerial serial;
        serial.SetPort(1);
        serial.Connect();
        ASSERT_TRUE(serial.IsConnected()) << serial.LastError;
        link::TIec1107 iec;
        iec.Link = &serial;
        ASSERT_TRUE(iec.Connect(kIdent));
        ASSERT_TRUE(iec.SwitchBaudRate());
        // The meter has answered, so it has seen this client open the port.
        const uint64_t hangUps = port.ClientHangUps();
        steps(iec);
        EXPECT_TRUE(iec.Disconnect());
        serial.Disconnect();
        EXPECT_FALSE(serial.IsConnected()) << serial.LastError;
        EXPECT_TRUE(WaitUntil([&] { return port.ClientHangUps() == hangUps + 1; }));
    }

    static std::string Read(link::TIec1107& iec, const std::string& code)
    {
        EXPECT_TRUE(iec.ReadValue(code)) << code;
        std::string value;
        iec.GetValueText(value);
        return value;
    }
};

TEST_F(MeterSimSerialTest, ReadThenWriteAfterThePasswordAndReadBack)
{
    Run([&](link::TIec1107& iec) {
        EXPECT_EQ(Read(iec, "0.0.1"), kSerial);
        EXPECT_EQ(Read(iec, "0.0.7"), "");
        EXPECT_EQ(Read(iec, "0.0.8"), "");
        ASSERT_TRUE(iec.SetPassword(kPassword));
        EXPECT_TRUE(iec.WriteData("0.0.7", "17"));
        EXPECT_TRUE(iec.WriteData("0.0.8", "19200 8E2"));
        EXPECT_EQ(Read(iec, "0.0.7"), "17");
        EXPECT_EQ(Read(iec, "0.0.8"), "19200 8E2");
    });
    EXPECT_EQ(sim.State().ModbusAddress(), 17);
    EXPECT_EQ(sim.State().ModbusLineSettings(), (sim::ModuleLineSettings{19200, 8, 'E', 2}));
    EXPECT_EQ(sim.Meter().Stats().breaks, 1u);
}

}  // namespace
}  // namespace veltro::test
