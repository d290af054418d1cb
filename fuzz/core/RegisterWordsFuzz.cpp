// Text a technician types into a register field, through the hexadecimal parser and the
// decoders the monitoring and decoding pages apply to the words. The parser must accept
// exactly the texts made of groups of four hexadecimal digits (blanks anywhere), and every
// decoder must take exactly its word count and give back what the encoders produce.

#include "core/Common.h"
#include "core/RegisterWords.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

using namespace veltro::core;

namespace {

void Check(bool Condition)
{
    if (!Condition)
        std::abort();
}

int Digit(char C)
{
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    return -1;
}

// The words the text stands for, digit by digit; false when it is not register text.
bool Reference(const std::string& Text, std::vector<uint16_t>& Words)
{
    Words.clear();
    unsigned Digits = 0;
    uint16_t Word = 0;
    for (char C : Text) {
        if (C == ' ')
            continue;
        const int V = Digit(C);
        if (V < 0)
            return false;
        Word = static_cast<uint16_t>(Word << 4 | V);
        if (++Digits % 4 == 0) {
            Words.push_back(Word);
            Word = 0;
        }
    }
    return Digits % 4 == 0;
}

template <typename T>
bool SameBits(const T& A, const T& B)
{
    return std::memcmp(&A, &B, sizeof A) == 0;
}

void CheckDecoders(std::span<const uint16_t> Words)
{
    uint32_t Long = 0;
    Check(WordsToLongWord(Words, Long) == (Words.size() == 2));
    if (Words.size() == 2)
        Check(LongWordToWords(Long) == std::vector<uint16_t>(Words.begin(), Words.end()));

    float Single = 0;
    Check(WordsToSingle(Words, Single) == (Words.size() == 2));
    if (Words.size() == 2) {
        uint32_t Bits = 0;
        std::memcpy(&Bits, &Single, sizeof Bits);
        Check(SameBits(Bits, Long));
    }

    double Double = 0;
    Check(WordsToDouble(Words, Double) == (Words.size() == 4));
    if (Words.size() == 4) {
        const std::vector<uint16_t> Back = DoubleToWords(Double);
        Check(Back == std::vector<uint16_t>(Words.begin(), Words.end()));
    }

    const auto Date = WordsToDate(Words);
    const auto Time = WordsToTime(Words);
    if (Words.size() != 3) {
        Check(!Date && !Time);
        return;
    }
    const int A = SwapWord(Words[0]), B = SwapWord(Words[1]), C = SwapWord(Words[2]);
    Check(Date.has_value() == IsValidDate(A, B, C));
    Check(Time.has_value() == IsValidTime(A, B, C));
    if (Date)
        Check(Date->year == A && Date->month == B && Date->day == C && Date->month <= 12 && Date->day <= 31);
    if (Time)
        Check(Time->hour == A && Time->minute == B && Time->second == C && Time->hour <= 23);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The parser traces every word; a fuzz run would spend its time printing.
    setenv("VELTRO_DEBUG_OUTPUT", "0", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string Text(reinterpret_cast<const char*>(Data), Size);

    std::vector<uint16_t> Words{0xDEAD};
    std::vector<uint16_t> Want;
    const bool Ok = HexToWords(Text, Words);
    Check(Ok == Reference(Text, Want));
    if (Ok) {
        Check(Words == Want);
        // What a field shows after losing focus parses to the same words.
        std::vector<uint16_t> Again;
        Check(HexToWords(RegroupHex(Text), Again) && Again == Words);
        Check(HexToWords(StripSpaces(Text), Again) && Again == Words);
    }
    CheckDecoders(Words);

    // The bytes themselves as register words, as a reply delivers them.
    std::vector<uint16_t> Raw;
    for (std::size_t I = 0; I + 1 < Size && Raw.size() < 5; I += 2)
        Raw.push_back(static_cast<uint16_t>(Data[I] << 8 | Data[I + 1]));
    for (std::size_t N = 0; N <= Raw.size(); ++N)
        CheckDecoders(std::span<const uint16_t>(Raw.data(), N));
    return 0;
}
