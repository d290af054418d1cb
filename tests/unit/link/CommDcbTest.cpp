// The device control block of the serial port component: flow control and options on
// the flag word, and what the Linux device is told for a block.
#include "link/CommDcb.h"

#include <gtest/gtest.h>

using namespace veltro::link;
using veltro::platform::SerialFlow;
using veltro::platform::SerialParity;
using veltro::platform::SerialStopBits;

TEST(CommDcb, EventMaskCoversEachEventWithItsOwnBit)
{
    uint32_t all = 0;
    for (int i = evBreak; i <= evTxEmpty; ++i) {
        const uint32_t bit = EventBit(static_cast<TCommEventType>(i));
        EXPECT_EQ(bit & all, 0u) << "event " << i << " shares a bit";
        all |= bit;
    }
    EXPECT_EQ(EventMask(AllCommEvents), all);
    EXPECT_EQ(all, 0x01FFu);
    EXPECT_EQ(EventMask({evRxChar, evError}), EV_RXCHAR | EV_ERR);
    EXPECT_EQ(EventMask({}), 0u);
}

TEST(CommDcb, NoFlowControlClearsWhatTheDeviceHadAndDefaultKeepsIt)
{
    const uint32_t had = dcb::Binary | dcb::Parity | dcb::OutxCtsFlow | dcb::RtsControlHandshake
                         | dcb::DtrControlEnable | dcb::OutX | dcb::InX | dcb::Null;
    EXPECT_EQ(ApplyFlowControl(had, fcNone), dcb::Binary);
    EXPECT_EQ(ApplyFlowControl(had, fcDefault), had);
    // The others add their handshake bits to what was there.
    EXPECT_EQ(ApplyFlowControl(dcb::Binary, fcCTS), dcb::Binary | dcb::OutxCtsFlow | dcb::RtsControlHandshake);
    EXPECT_EQ(ApplyFlowControl(dcb::Binary, fcDTR), dcb::Binary | dcb::OutxDsrFlow | dcb::DtrControlHandshake);
    EXPECT_EQ(ApplyFlowControl(dcb::Parity, fcSoftware), dcb::Parity | dcb::OutX | dcb::InX);
}

TEST(CommDcb, OptionsSetTheirBitsAndAnEmptySetClearsAllFive)
{
    const uint32_t five = dcb::Parity | dcb::DsrSensitivity | dcb::TxContinueOnXoff | dcb::ErrorChar | dcb::Null;
    EXPECT_EQ(ApplyOptions(five | dcb::Binary | dcb::OutX, {}), dcb::Binary | dcb::OutX);
    EXPECT_EQ(ApplyOptions(0, {coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip}), five);
    EXPECT_EQ(ApplyOptions(dcb::Null, {coParityCheck}), dcb::Parity);
}

TEST(CommDcb, BlockBecomesTermiosSettingsAndModemLines)
{
    TDeviceControlBlock b;
    b.BaudRate = BaudRateValue(br19200);
    b.ByteSize = 7;
    b.Parity = paEven;
    b.StopBits = sb20;
    b.Flags = ApplyOptions(b.Flags, {coParityCheck, coNullStrip});
    DeviceLineSettings d = ToDeviceSettings(b);
    EXPECT_EQ(d.settings.baudRate, 19200u);
    EXPECT_EQ(d.settings.dataBits, 7);
    EXPECT_EQ(d.settings.parity, SerialParity::Even);
    EXPECT_EQ(d.settings.stopBits, SerialStopBits::Two);
    EXPECT_TRUE(d.settings.checkParity);
    EXPECT_TRUE(d.settings.stripNul);
    EXPECT_EQ(d.settings.flow, SerialFlow::None);
    EXPECT_TRUE(d.driveDtr && d.dtrOn && d.driveRts && d.rtsOn);  // a fresh device raises both

    // Adding the RTS handshake to an enabled RTS leaves both bits set; it is still a
    // handshake, and the kernel then drives RTS.
    b.Flags = ApplyFlowControl(TDeviceControlBlock{}.Flags, fcCTS);
    d = ToDeviceSettings(b);
    EXPECT_EQ(d.settings.flow, SerialFlow::RtsCts);
    EXPECT_FALSE(d.driveRts);

    b.Flags = ApplyFlowControl(TDeviceControlBlock{}.Flags, fcSoftware);
    b.XonChar = 0x21;
    d = ToDeviceSettings(b);
    EXPECT_EQ(d.settings.flow, SerialFlow::XonXoff);
    EXPECT_EQ(d.settings.xonChar, 0x21);

    b.Flags = ApplyFlowControl(b.Flags, fcNone);
    d = ToDeviceSettings(b);
    EXPECT_EQ(d.settings.flow, SerialFlow::None);
    EXPECT_TRUE(d.driveDtr && !d.dtrOn && d.driveRts && !d.rtsOn);  // line control disabled
    EXPECT_FALSE(d.settings.checkParity);
}
