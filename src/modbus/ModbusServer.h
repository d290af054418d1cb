#pragma once
// The server object: the counterpart of TModbusClient for a connection in server mode.
// The connection's worker receives each request and hands it over, synchronously, to the
// UI thread; there the first server object registered with the request's address (every
// one of them for a broadcast) handles it. The library does the request handling for the
// data-access functions (1-6, 15, 16); a server object only answers address and value
// queries, so a register map is a handful of overrides. Every query runs on the UI thread
// while the worker waits, so a server object needs no locking of its own.

#include "modbus/ModbusTransaction.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace veltro::modbus {

class TModbusConnection;

// Exception codes a server answers with.
enum TServerException : std::uint8_t {
    seIllegalFunction = 1,     // function not supported
    seIllegalDataAddress = 2,  // address refused, or a range past 65535
    seIllegalDataValue = 3,    // malformed request, quantity out of range, value refused
    seServerDeviceFailure = 4, // a failure while reading or writing values
    // A gateway answers these for the station behind it.
    seGatewayPathUnavailable = 0x0A,  // no path to the station (the line behind it is down)
    seGatewayTargetNoResponse = 0x0B, // the station did not answer
};

// What CheckCoilWrite / CheckRegisterWrite answer; any other value accepts the write.
inline constexpr int cwAddressRefused = 0;
inline constexpr int cwValueRefused = 1;
inline constexpr int cwAccepted = 2;

class TModbusServer {
public:
    // The most values one request may read: the reply's byte count is one byte, and
    // 2008 bits fill 251 of them; 125 registers fill 250.
    static constexpr int MaxReadBits = 2008;
    static constexpr int MaxReadRegisters = 125;
    // The most values one write may carry within a 256-byte frame.
    static constexpr int MaxWriteCoils = 1976;
    static constexpr int MaxWriteRegisters = 123;

    TModbusServer() = default;
    virtual ~TModbusServer();
    TModbusServer(const TModbusServer&) = delete;
    TModbusServer& operator=(const TModbusServer&) = delete;

    TModbusConnection* Connection() const noexcept { return FConnection; }
    void SetConnection(TModbusConnection* Value);
    // May change while the connection is active: the next request is matched against it.
    std::uint8_t ServerAddress() const noexcept { return FServerAddress; }
    void SetServerAddress(std::uint8_t Value) noexcept { FServerAddress = Value; }

    // Handles one received request (UI thread, called by the connection's dispatch). Raises
    // "There is no active connection" when the connection is missing or inactive. The answer,
    // if any, is left in Transaction.Reply; for a broadcast none is built.
    void HandleRequest(TModbusTransaction& Transaction);
    // The connection is going away.
    void ConnectionRemoved(TModbusConnection* Removed) noexcept;

protected:
    // The request being handled, during HandleRequest only (else nullptr).
    TModbusTransaction* Transaction() const noexcept { return FTransaction; }

    // A server standing for stations it cannot reach (a gateway whose line is down)
    // answers every request with this exception code; 0, the default, serves them.
    virtual std::uint8_t Unavailable() { return 0; }
    // The queries, in slot order. The defaults serve nothing: every address is refused.
    virtual bool AcceptsFunction(std::uint8_t FunctionCode);
    virtual bool IsCoilAddressValid(std::uint16_t Addr);
    virtual bool IsDiscreteInputAddressValid(std::uint16_t Addr);
    virtual bool IsHoldingRegisterAddressValid(std::uint16_t Addr);
    virtual bool IsInputRegisterAddressValid(std::uint16_t Addr);
    // cwAddressRefused, cwValueRefused, or anything else to accept. The defaults accept
    // any value at a valid address.
    virtual int CheckCoilWrite(std::uint16_t Addr, bool Value);
    virtual int CheckRegisterWrite(std::uint16_t Addr, std::uint16_t Value);
    // Fetches and stores; an exception raised here is answered with code 4.
    virtual bool GetCoilValue(std::uint16_t Addr);
    virtual bool GetDiscreteInputValue(std::uint16_t Addr);
    virtual std::uint16_t GetHoldingRegisterValue(std::uint16_t Addr);
    virtual std::uint16_t GetInputRegisterValue(std::uint16_t Addr);
    virtual void SetCoilValue(std::uint16_t Addr, bool Value);
    virtual void SetRegisterValue(std::uint16_t Addr, std::uint16_t Value);

private:
    enum class TTable { Coils, DiscreteInputs, HoldingRegisters, InputRegisters };

    void Dispatch(std::uint8_t FunctionCode);
    void ReadTable(TTable Table);
    void WriteSingleCoil();
    void WriteSingleRegister();
    void WriteMultipleCoils();
    void WriteMultipleRegisters();

    bool AddressValid(TTable Table, std::uint16_t Addr);
    bool FetchBit(TTable Table, std::uint16_t Addr);
    std::uint16_t FetchRegister(TTable Table, std::uint16_t Addr);

    bool Broadcast() const noexcept;
    // Bytes of the request before its checksum.
    std::int32_t PayloadSize() const;
    std::uint16_t RequestWord(std::int32_t Offset) const;
    // Maps a write check to an exception code, or 0 when the write is accepted.
    static std::uint8_t RefusalCode(int Check) noexcept;
    // Replaces the reply with an exception reply (none for a broadcast).
    void Refuse(std::uint8_t Code);
    // Starts the normal reply; false when the reply was already built (or for a broadcast).
    bool BeginReply();
    void FinishReply();
    // The reply of every write: it repeats the address (or start) and the value (or count).
    void ReplyWords(std::uint16_t First, std::uint16_t Second);
    // All or nothing: Check(I) asks about item I of Count (an answer of CheckWrite's),
    // Store(I) writes it once every item was accepted. Returns the exception code that
    // refuses the write, or 0 when it was done.
    std::uint8_t StoreAll(std::uint32_t Count, const std::function<int(std::uint32_t)>& Check,
                          const std::function<void(std::uint32_t)>& Store);

    TModbusTransaction* FTransaction = nullptr;
    std::uint8_t FServerAddress = 1;
    TModbusConnection* FConnection = nullptr;
};

} // namespace veltro::modbus
