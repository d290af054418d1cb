// The shared device state: which texts the module can use and what it falls back to.

#include "simulator/SimState.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace veltro::sim {
namespace {

// A case's name from the text it stores: blanks as "_", a minus as "Minus".
std::string TextName(const char* text)
{
    std::string name = "Text";
    for (const char* c = text; *c; ++c)
        name += *c == ' ' ? std::string("_") : *c == '-' ? std::string("Minus") : std::string(1, *c);
    return name == "Text" ? "Empty" : name;
}

struct AddressCase {
    const char* text;
    int expected;  // effective address with serial number 12345678 (automatic: 178)
};

std::ostream& operator<<(std::ostream& out, const AddressCase& c) { return out << '"' << c.text << '"'; }

class SimStateAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(SimStateAddress, EffectiveAddressFallsBackToTheAutomaticOne)
{
    SimState state;
    state.SetSerialNumber("12345678");
    state.SetModbusAddressText(GetParam().text);
    EXPECT_EQ(state.ModbusAddress(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SimStateAddress,
                         ::testing::Values(AddressCase{"", 178}, AddressCase{"5", 5}, AddressCase{"0100", 100},
                                           AddressCase{"1", 1}, AddressCase{"247", 247},
                                           AddressCase{"0", 178}, AddressCase{"248", 178},
                                           AddressCase{"300", 178}, AddressCase{"abc", 178},
                                           AddressCase{" 5", 178}, AddressCase{"-5", 178},
                                           AddressCase{"99999999999", 178}),
                         [](const auto& info) { return TextName(info.param.text); });

TEST(SimStateTest, AutomaticAddressFollowsTheSerialNumbersLastTwoDigits)
{
    EXPECT_EQ(SimState::AutomaticAddress("12345678"), 178);
    EXPECT_EQ(SimState::AutomaticAddress("12345600"), 100);
    EXPECT_EQ(SimState::AutomaticAddress("7"), 107);
    // Not a 32-bit number: no digits to take.
    EXPECT_EQ(SimState::AutomaticAddress(""), 100);
    EXPECT_EQ(SimState::AutomaticAddress("AB12"), 100);
    EXPECT_EQ(SimState::AutomaticAddress("99999999999"), 100);
}

struct SettingsCase {
    const char* text;
    bool valid;
    ModuleLineSettings expected;  // effective settings (the default when invalid)
};

std::ostream& operator<<(std::ostream& out, const SettingsCase& c) { return out << '"' << c.text << '"'; }

class SimStateSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SimStateSettings, ParsedOrDefault)
{
    const SettingsCase& c = GetParam();
    EXPECT_EQ(SimState::ParseModbusSettings(c.text).has_value(), c.valid);
    SimState state;
    state.SetModbusSettingsText(c.text);
    EXPECT_EQ(state.ModbusLineSettings(), c.expected);
}

const ModuleLineSettings kDefault{};

INSTANTIATE_TEST_SUITE_P(
    Cases, SimStateSettings,
    ::testing::Values(SettingsCase{"19200 8E2", true, {19200, 8, 'E', 2}},
                      SettingsCase{"2400 7O1", true, {2400, 7, 'O', 1}},
                      SettingsCase{"115200 8N1", true, {115200, 8, 'N', 1}},
                      SettingsCase{"", false, kDefault},
                      SettingsCase{"9600 8N1 ", false, kDefault},
                      SettingsCase{"9600-8N1", false, kDefault},
                      SettingsCase{"9600  8N1", false, kDefault},
                      SettingsCase{"9600 8n1", false, kDefault},
                      SettingsCase{"9600 9N1", false, kDefault},
                      SettingsCase{"9600 8N3", false, kDefault},
                      SettingsCase{"921600 8N1", false, kDefault},
                      SettingsCase{"12345 8N1", false, kDefault}),
    [](const auto& info) { return TextName(info.param.text); });

TEST(SimStateTest, WritesAreCheckedAndOnlyChangesCount)
{
    SimState state;
    const uint64_t v0 = state.Version();
    EXPECT_TRUE(state.WriteDataSet("0.0.7", "12"));
    EXPECT_TRUE(state.WriteDataSet("0.0.8", "4800 8E1"));
    EXPECT_EQ(state.Version(), v0 + 2);
    EXPECT_TRUE(state.WriteDataSet("0.0.7", "12"));  // same value: no change to notice
    EXPECT_EQ(state.Version(), v0 + 2);

    EXPECT_FALSE(state.WriteDataSet("0.0.7", "248"));
    EXPECT_FALSE(state.WriteDataSet("0.0.8", "4800"));
    EXPECT_FALSE(state.WriteDataSet("0.0.1", "1"));
    EXPECT_FALSE(state.WriteDataSet("1.8.0", ""));
    EXPECT_EQ(state.Version(), v0 + 2);
    EXPECT_EQ(state.ReadDataSet("0.0.7"), "12");
    EXPECT_EQ(state.ReadDataSet("0.0.8"), "4800 8E1");
    EXPECT_EQ(state.ReadDataSet("1.8.0"), std::nullopt);

    EXPECT_TRUE(state.WriteDataSet("0.0.7", ""));
    EXPECT_EQ(state.ReadDataSet("0.0.7"), "");
}

}  // namespace
}  // namespace veltro::sim
