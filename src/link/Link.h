#pragma once
// TLink: the byte link the IEC 62056-21 client talks through, independent of the
// medium. Every operation reports failure as a false (or -1) result plus a LastError
// text and never throws; timed reads let the UI process pending events while they wait.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltro::link {

class XmlDocument;
class XmlElement;

class TLink {
public:
    virtual ~TLink() = default;

    // Slot order of the link interface.
    virtual void GetDescription(std::string& text) = 0;
    virtual void PurgeInput() = 0;
    virtual void SaveToXml(XmlDocument& document, XmlElement*& element) = 0;
    virtual bool IsConnected() = 0;
    virtual bool IsSameLink(const TLink* other) = 0;
    virtual void Connect() { ++connectCalls_; }
    virtual void Disconnect() = 0;
    virtual bool WriteBytes(const std::vector<uint8_t>& bytes) = 0;
    virtual bool WriteString(const std::string& bytes) = 0;
    virtual int32_t ReadBufferTimed(uint8_t* dest, uint16_t count, uint32_t timeoutMs) = 0;
    virtual void SkipChars(uint32_t timeoutMs) = 0;
    virtual bool ReadCharTimed(char& c, uint32_t timeoutMs) = 0;
    virtual bool ReadByteTimed(uint8_t& b, uint32_t timeoutMs) = 0;
    virtual bool ReadStringTimed(std::string& text, const std::string& terminator, uint32_t timeoutMs) = 0;
    virtual bool ReadStringToEOT(std::string& text, uint32_t timeoutMs, char& last) = 0;

    // ByteCount := n; progress is reported at most once per 128 bytes counted.
    void SetByteCount(int32_t n);

    int32_t ReportedCount = 0;
    int32_t ByteCount = 0;
    std::string LastError;
    std::function<void(int32_t)> OnProgress;

private:
    int connectCalls_ = 0;  // counted by the base Connect; nothing reads it
};

}  // namespace veltro::link
