// What the bytes received after a read of registers 0-1 are: only a reply that answers
// the read is a station, whatever else came with it or instead of it.
#include "core/RegisterWords.h"
#include "core/StationProbe.h"
#include "modbus/ModbusFrames.h"

#include <gtest/gtest.h>

using namespace veltro;
using core::ProbeKind;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes WithCrc(Bytes frame)
{
    const uint16_t crc = modbus::Crc16(frame.data(), static_cast<int32_t>(frame.size()));
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

Bytes Reply(uint8_t address, uint32_t serial)
{
    const std::vector<uint16_t> w = core::LongWordToWords(serial);
    return WithCrc({address, 3, 4, static_cast<uint8_t>(w[0] >> 8), static_cast<uint8_t>(w[0]),
                    static_cast<uint8_t>(w[1] >> 8), static_cast<uint8_t>(w[1])});
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kRequest = WithCrc({17, 3, 0, 0, 0, 2});
const Bytes kStray = {0x7F, '#', '~'};

struct Case {
    const char* name;
    Bytes received;
    ProbeKind kind;
    uint32_t serial = 0;
    bool echoBefore = false, strayBefore = false, strayAfter = false, second = false;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

Bytes Damaged(Bytes frame)
{
    frame.back() ^= 0x5A;
    return frame;
}

class StationProbeReading : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(StationProbeReading, TellsAStationFromWhatOnlyResemblesOne)
{
    const Case& c = GetParam();
    const core::ProbeReading r = core::ReadProbeReply(kRequest, c.received);
    EXPECT_EQ(r.Kind, c.kind);
    if (c.kind == ProbeKind::Reply) {
        EXPECT_EQ(r.SerialNumber, c.serial);
    }
    EXPECT_EQ(r.EchoBefore, c.echoBefore);
    EXPECT_EQ(r.StrayBefore, c.strayBefore);
    EXPECT_EQ(r.StrayAfter, c.strayAfter);
    EXPECT_EQ(r.SecondReply, c.second);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StationProbeReading,
    ::testing::Values(
        Case{"Nothing", {}, ProbeKind::Silent},
        Case{"Reply", Reply(17, 12345678), ProbeKind::Reply, 12345678},
        Case{"ExceptionReply", WithCrc({17, 0x83, 2}), ProbeKind::ExceptionReply},
        Case{"EchoAlone", kRequest, ProbeKind::Echo, 0, true},
        Case{"EchoThenReply", kRequest + Reply(17, 4242), ProbeKind::Reply, 4242, true},
        Case{"StrayThenReply", kStray + Reply(17, 4242), ProbeKind::Reply, 4242, false, true},
        Case{"ReplyThenStray", Reply(17, 4242) + kStray, ProbeKind::Reply, 4242, false, false, true},
        Case{"TwoReplies", Reply(17, 4242) + Reply(17, 99), ProbeKind::Reply, 4242, false, false, false, true},
        Case{"WrongCrc", Damaged(Reply(17, 4242)), ProbeKind::DamagedReply},
        Case{"CutShort", Bytes{17, 3, 4, 0, 1}, ProbeKind::DamagedReply},
        Case{"EchoThenWrongCrc", kRequest + Damaged(Reply(17, 1)), ProbeKind::DamagedReply, 0, true},
        Case{"ReplyOfAnotherAddress", Reply(18, 4242), ProbeKind::ForeignFrame},
        Case{"StrayAlone", kStray, ProbeKind::StrayBytes}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StationProbeDetails, KeepsTheSecondSerialTheForeignAddressAndTheExceptionCode)
{
    const core::ProbeReading two = core::ReadProbeReply(kRequest, Reply(17, 4242) + Reply(17, 99));
    ASSERT_TRUE(two.SecondSerial.has_value());
    EXPECT_EQ(*two.SecondSerial, 99u);
    EXPECT_EQ(core::ReadProbeReply(kRequest, Reply(18, 1)).FrameAddress, 18);
    EXPECT_EQ(core::ReadProbeReply(kRequest, WithCrc({17, 0x83, 9})).ExceptionCode, 9);
}
