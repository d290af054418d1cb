#include "modbus/FieldwireError.h"
#include "modbus/ModbusBits.h"
#include "modbus/ModbusBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace veltro::modbus;

namespace {

std::string ErrorOf(const std::function<void()>& Action)
{
    try {
        Action();
    } catch (const EFieldwireError& E) {
        return E.what();
    }
    return "<no error>";
}

} // namespace

TEST(ModbusBuffer, WordsAreBigEndianExceptTheRawCrcWord)
{
    TModbusBuffer B(8);
    B.WriteWord(0x1234);
    B.WriteRawWord(0xA1CF);
    EXPECT_EQ(B.Size(), 4);
    EXPECT_EQ(B.Position(), 4);
    const std::uint8_t* D = B.Data();
    EXPECT_EQ(D[0], 0x12);
    EXPECT_EQ(D[1], 0x34);
    EXPECT_EQ(D[2], 0xCF);
    EXPECT_EQ(D[3], 0xA1);

    B.Seek(bmStart);
    EXPECT_EQ(B.PeekWord(), 0x1234);
    EXPECT_EQ(B.PeekRawWord(), 0x3412);
    B.Seek(bmNextWord);
    EXPECT_EQ(B.PeekRawWord(), 0xA1CF);
    EXPECT_EQ(B.Position(), 2) << "peeking must not move the cursor";
}

TEST(ModbusBuffer, PositionAndSizeStayWithinTheirBounds)
{
    TModbusBuffer B(4);
    B.WriteByte(1);
    B.WriteByte(2);
    B.WriteByte(3);

    // A two-byte step from the last byte would leave the valid bytes: Size + 1.
    B.SetPosition(B.Size() - 1);
    EXPECT_EQ(ErrorOf([&] { B.Seek(bmNextWord); }), "Buffer position is invalid (4)");
    EXPECT_EQ(B.Position(), 2) << "a failed move leaves the cursor alone";

    B.Seek(bmStart);
    EXPECT_EQ(ErrorOf([&] { B.Seek(bmBackByte); }), "Buffer position is invalid (-1)");
    EXPECT_EQ(ErrorOf([&] { B.SetSize(5); }), "Buffer size is invalid (5)");
    EXPECT_EQ(ErrorOf([&] { B.SetSize(-1); }), "Buffer size is invalid (-1)");
    EXPECT_EQ(B.Size(), 3);

    // Shrinking below the cursor pulls it back; growing leaves it.
    B.Seek(bmEnd);
    B.SetSize(1);
    EXPECT_EQ(B.Position(), 1);
    B.SetSize(4);
    EXPECT_EQ(B.Position(), 1);
}

TEST(ModbusBuffer, ReadsAndWritesBeyondCapacityFailWithoutChange)
{
    TModbusBuffer B(3);
    B.WriteWord(0xBEEF);
    const std::string NoSpace =
        "There is not enough space in the buffer to perform the requested action";
    EXPECT_EQ(ErrorOf([&] { B.WriteWord(1); }), NoSpace);
    EXPECT_EQ(B.Size(), 2);
    EXPECT_EQ(B.Position(), 2);

    // The space check is against capacity: a peek past Size reads the zeroed area.
    EXPECT_EQ(B.PeekByte(), 0);
    EXPECT_EQ(ErrorOf([&] { (void)B.PeekWord(); }), NoSpace);
    std::uint8_t Two[2];
    EXPECT_EQ(ErrorOf([&] { B.PeekBytes(Two, 2); }), NoSpace);
    B.PeekBytes(nullptr, 0);
}

TEST(ModbusBuffer, DiscardBeforePositionKeepsOnlyTheTail)
{
    TModbusBuffer B(8);
    for (std::uint8_t V : {1, 2, 3, 4, 5})
        B.WriteByte(V);

    B.SetPosition(5); // nothing follows: unchanged
    B.DiscardBeforePosition();
    EXPECT_EQ(B.Size(), 5);

    B.SetPosition(3);
    B.DiscardBeforePosition();
    EXPECT_EQ(B.Size(), 2);
    EXPECT_EQ(B.Position(), 2);
    B.Seek(bmStart);
    EXPECT_EQ(B.PeekWord(), 0x0405);
}

TEST(ModbusBits, PacksLeastSignificantBitFirstAndRoundTrips)
{
    EXPECT_EQ(BitByteCount(0), 0);
    EXPECT_EQ(BitByteCount(1), 1);
    EXPECT_EQ(BitByteCount(8), 1);
    EXPECT_EQ(BitByteCount(9), 2);

    std::vector<bool> Values = {true, false, true, true, false, false, false, true, true};
    TModbusBuffer B(4);
    PackBits(Values, B);
    ASSERT_EQ(B.Size(), 2);
    EXPECT_EQ(B.Data()[0], 0x8D);
    EXPECT_EQ(B.Data()[1], 0x01) << "value 8 in bit 0, unused bits zero";

    B.Seek(bmStart);
    std::vector<bool> Back(9);
    UnpackBits(B, Back);
    EXPECT_EQ(Back, Values);
    EXPECT_EQ(B.Position(), 2);

    // A byte count that claims more bits than the frame holds fails at the step forward.
    B.SetSize(1);
    B.Seek(bmStart);
    EXPECT_THROW(UnpackBits(B, Back), EFieldwireError);
}

TEST(ModbusBuffer, ANewBufferHoldsZeroesEvenWhereTheHeapWasUsedBefore)
{
    // Dirty the heap with a buffer of the same size first, so that an allocation that is
    // not cleared would most likely hand out these bytes again.
    {
        TModbusBuffer Dirty(256);
        Dirty.SetSize(256);
        std::memset(Dirty.Data(), 0xA5, 256);
    }
    TModbusBuffer B(256);
    B.SetSize(256);
    for (int I = 0; I < 256; ++I)
        ASSERT_EQ(B.Data()[I], 0) << "byte " << I;
}
