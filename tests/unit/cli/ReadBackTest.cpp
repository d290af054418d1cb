// A write counts only when the read-back finds what was written.
#include "cli/ReadBack.h"

#include <gtest/gtest.h>

namespace veltro::cli {
namespace {

struct ReadBackCase {
    const char* name;
    core::ConfigToWrite written;
    std::map<std::string, std::string> read;  // "0.0.7", "0.0.8" as the meter gave them back
    const char* mismatch;                      // nullptr: confirmed
};

class ReadBack : public ::testing::TestWithParam<ReadBackCase> {};

TEST_P(ReadBack, ConfirmsOnlyWhatWasWritten)
{
    core::ConfigRunResult readBack;
    readBack.success = true;
    readBack.registers = GetParam().read;
    const std::string mismatch = ReadBackMismatch(GetParam().written, readBack);
    if (GetParam().mismatch)
        EXPECT_EQ(mismatch, std::string("La rilettura non conferma la scrittura: ") + GetParam().mismatch);
    else
        EXPECT_EQ(mismatch, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadBack,
    ::testing::Values(
        ReadBackCase{"SameValues", {"5", "19200 8E2"}, {{"0.0.7", "5"}, {"0.0.8", "19200 8E2"}}, nullptr},
        ReadBackCase{"SameMeaning", {"5", ""}, {{"0.0.7", "05"}, {"0.0.8", " "}}, nullptr},
        ReadBackCase{"AutomaticKeptAManualAddress",
                     {"", ""},
                     {{"0.0.7", "7"}, {"0.0.8", ""}},
                     "indirizzo server Modbus letto: 7, scritto: automatico"},
        ReadBackCase{"OtherSettings",
                     {"5", "19200 8E2"},
                     {{"0.0.7", "5"}, {"0.0.8", "19200 8E1"}},
                     "impostazioni RS485 lette: 19200 8E1, scritte: 19200 8E2"},
        ReadBackCase{"NothingReadBack", {"5", ""}, {}, "indirizzo server Modbus non riletto; impostazioni RS485 non rilette"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace veltro::cli
