#pragma once
// A byte link that does nothing, for tests that script only the operations they need.

#include "link/Link.h"

namespace veltro::test {

class NullLink : public link::TLink {
public:
    void GetDescription(std::string&) override {}
    void PurgeInput() override {}
    void SaveToXml(link::XmlDocument&, link::XmlElement*&) override {}
    bool IsConnected() override { return false; }
    bool IsSameLink(const link::TLink*) override { return false; }
    void Disconnect() override {}
    bool WriteBytes(const std::vector<uint8_t>&) override { return false; }
    bool WriteString(const std::string&) override { return false; }
    int32_t ReadBufferTimed(uint8_t*, uint16_t, uint32_t) override { return -1; }
    void SkipChars(uint32_t) override {}
    bool ReadCharTimed(char&, uint32_t) override { return false; }
    bool ReadByteTimed(uint8_t&, uint32_t) override { return false; }
    bool ReadStringTimed(std::string&, const std::string&, uint32_t) override { return false; }
    bool ReadStringToEOT(std::string&, uint32_t, char&) override { return false; }
};

}  // namespace veltro::test
