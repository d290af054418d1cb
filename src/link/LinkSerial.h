#pragma once
// TLinkSerial: the byte link over a serial port (TComm). A fresh link is COM1 at 9600 bit/s,
// 7 data bits, even parity, 1 stop bit: the IEC 62056-21 character format. Settings are
// indices into the label tables of LinkClasses.h and take effect at the next Connect.
// Every port error is caught and turned into a false (or -1) result and a LastError text.

#include "link/CommInt.h"
#include "link/Link.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace veltro::link {

class TLinkSerial : public TLink {
public:
    TLinkSerial();
    ~TLinkSerial() override;

    void GetDescription(std::string& text) override;
    void PurgeInput() override;
    void SaveToXml(XmlDocument& document, XmlElement*& element) override;
    bool IsConnected() override { return Connected; }
    bool IsSameLink(const TLink* other) override;
    void Connect() override;
    void Disconnect() override;
    bool WriteBytes(const std::vector<uint8_t>& bytes) override;
    bool WriteString(const std::string& bytes) override;
    int32_t ReadBufferTimed(uint8_t* dest, uint16_t count, uint32_t timeoutMs) override;
    void SkipChars(uint32_t timeoutMs) override;
    bool ReadCharTimed(char& c, uint32_t timeoutMs) override;
    bool ReadByteTimed(uint8_t& b, uint32_t timeoutMs) override;
    bool ReadStringTimed(std::string& text, const std::string& terminator, uint32_t timeoutMs) override;
    bool ReadStringToEOT(std::string& text, uint32_t timeoutMs, char& last) override;

    // Negative port numbers are ignored.
    void SetPort(int32_t value);
    // Indices into the label tables, stored without a range check.
    void SetBaudRate(uint8_t index) { BaudIndex = index; }
    void SetParity(uint8_t index) { ParityIndex = index; }
    void SetDataBits(uint8_t index) { DataBitsIndex = index; }
    void SetStopBits(uint8_t index) { StopBitsIndex = index; }

    // The longest Disconnect waits for the output queue: twice the line time of what is
    // queued (12 bits per character at most: start, 8 data, parity, 2 stop) plus a
    // margin for the driver.
    static std::chrono::milliseconds DrainBound(int32_t queuedBytes, uint32_t bitsPerSecond);

    bool Connected = false;
    int32_t PortNumber = 1;
    uint8_t BaudIndex = 5;      // 9600
    uint8_t ParityIndex = 2;    // even
    uint8_t DataBitsIndex = 0;  // 7 bits
    uint8_t StopBitsIndex = 0;  // 1 bit
    std::unique_ptr<TComm> Comm;
    // Receive buffer of the string reads; one byte is kept free for the read limit.
    std::array<uint8_t, 4096> Buffer{};

private:
    static constexpr int32_t kStringLimit = 4095;

    TComm& Port();
    void ApplySettings(TComm& comm) const;
    bool Write(const uint8_t* bytes, size_t count);
    bool ReadOne(uint8_t& b, uint32_t timeoutMs, const char* operation);
};

}  // namespace veltro::link
