#pragma once
// The client component: builds requests for one server address, queues them on a
// connection and, when the worker has finished an exchange, checks the reply against the
// request it answers and raises one event per transaction, whatever the outcome.
// Everything here runs on the UI thread; the only hand-over to the worker is queuing.

#include "modbus/ModbusFileRecord.h"
#include "modbus/ModbusTransaction.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltro::modbus {

class TModbusConnection;

using TBitValues = std::vector<bool>;
using TRegValues = std::vector<std::uint16_t>;
using TExceptionStatusValues = std::vector<bool>;  // always 8 entries
using TServerIdentificationData = std::vector<std::uint8_t>;

// Diagnostics (function 8) sub-functions; DiagnosticSubFunction gives the code of each.
enum TDiagnosticAction {
    daReturnQueryData,
    daRestartCommsOption,
    daRestartCommsOptionAndClearEventLog,
    daReturnDiagnosticRegister,
    daForceListenOnlyMode,
    daClearCountersAndDiagnosticRegister,
    daReturnBusMessageCount,
    daReturnBusCommErrorCount,
    daReturnBusExceptionErrorCount,
    daReturnServerMessageCount,
    daReturnServerNoReplyCount,
    daReturnServerNegativeAcknowledgeCount,
    daReturnServerBusyCount,
    daReturnBusCharacterOverrunCount,
    daClearOverrunCounterAndFlag,
};
std::uint16_t DiagnosticSubFunction(TDiagnosticAction Action);

class TModbusClient;

using TMultipleBitsAccessEvent = std::function<void(TModbusClient& Sender, TTransactionInfo& Info,
    std::uint16_t StartBit, std::uint16_t BitCount, const TBitValues& BitValues)>;
using TMultipleRegistersAccessEvent = std::function<void(TModbusClient& Sender, TTransactionInfo& Info,
    std::uint16_t StartReg, std::uint16_t RegCount, const TRegValues& RegValues)>;
using TSingleCoilWriteEvent = std::function<void(TModbusClient& Sender, TTransactionInfo& Info,
    std::uint16_t BitAddr, bool BitValue)>;
using TSingleRegisterWriteEvent = std::function<void(TModbusClient& Sender, TTransactionInfo& Info,
    std::uint16_t RegAddr, std::uint16_t RegValue)>;
using TSingleRegisterMaskWriteEvent = std::function<void(TModbusClient& Sender, TTransactionInfo& Info,
    std::uint16_t RegAddr, std::uint16_t AndMask, std::uint16_t OrMask)>;
using TExceptionStatusReadEvent = std::function<void(TModbusClient& Sender, TTransactionInfo& Info,
    const TExceptionStatusValues& StatusValues)>;
using TServerIdentificationReportEvent = std::function<void(TModbusClient& Sender, TTransactionInfo& Info,
    int Count, const TServerIdentificationData& Data)>;
using TDiagnosticsEvent = std::function<void(TModbusClient& Sender, TTransactionInfo& Info,
    TDiagnosticAction Action, std::uint16_t Result)>;
using TFileRecordAccessEvent = std::function<void(TModbusClient& Sender, TTransactionInfo& Info,
    const TModbusFileRecordList& FileRecList)>;
// RequestData and ResponseData are byte strings: the PDU after the function code.
using TCustomTransactionCompleteEvent = std::function<void(TModbusClient& Sender, TTransactionInfo& Info,
    std::uint8_t Command, const std::string& RequestData, const std::string& ResponseData)>;
using TTranslateExceptionCodeEvent = std::function<void(TModbusClient& Sender,
    std::uint8_t ExceptionCode, std::string& Description)>;

class TModbusClient {
public:
    TModbusClient();
    virtual ~TModbusClient();
    TModbusClient(const TModbusClient&) = delete;
    TModbusClient& operator=(const TModbusClient&) = delete;

    TModbusConnection* Connection() const noexcept { return FConnection; }
    void SetConnection(TModbusConnection* Value);

    std::uint8_t ServerAddress() const noexcept { return FServerAddress; }
    // Refused while bound to an active connection: replies are routed by address.
    void SetServerAddress(std::uint8_t Value);

    // Raises "There is no active connection" unless bound to an active, loaded connection.
    void CheckConnection() const;

    // Request operations: each validates, queues one transaction and returns its number.
    std::uint32_t ReadCoils(std::uint16_t StartBit, std::uint16_t BitCount, std::int32_t UserData = 0);
    std::uint32_t ReadDiscreteInputs(std::uint16_t StartBit, std::uint16_t BitCount, std::int32_t UserData = 0);
    std::uint32_t ReadHoldingRegisters(std::uint16_t StartReg, std::uint16_t RegCount, std::int32_t UserData = 0);
    std::uint32_t ReadInputRegisters(std::uint16_t StartReg, std::uint16_t RegCount, std::int32_t UserData = 0);
    std::uint32_t WriteSingleCoil(std::uint16_t BitAddr, bool BitValue, std::int32_t UserData = 0);
    std::uint32_t WriteSingleRegister(std::uint16_t RegAddr, std::uint16_t RegValue, std::int32_t UserData = 0);
    std::uint32_t ReadExceptionStatus(std::int32_t UserData = 0);
    // Data is sent for daReturnQueryData; the other actions carry the value the protocol
    // fixes for them (0xFF00 to clear the event log on restart, else 0).
    std::uint32_t Diagnostics(TDiagnosticAction Action, std::uint16_t Data = 0, std::int32_t UserData = 0);
    std::uint32_t WriteMultipleCoils(std::uint16_t StartBit, const TBitValues& BitValues, std::int32_t UserData = 0);
    std::uint32_t WriteMultipleRegisters(std::uint16_t StartReg, const TRegValues& RegValues, std::int32_t UserData = 0);
    std::uint32_t ReportServerID(std::int32_t UserData = 0);
    std::uint32_t ReadFileRecord(const TModbusFileRecordList& Records, std::int32_t UserData = 0);
    std::uint32_t WriteFileRecord(const TModbusFileRecordList& Records, std::int32_t UserData = 0);
    std::uint32_t MaskWriteRegister(std::uint16_t RegAddr, std::uint16_t AndMask, std::uint16_t OrMask,
                                    std::int32_t UserData = 0);
    // Any function code with any data; the reply is reported raw. With AcceptAnyServer a
    // reply from any address completes it (and a broadcast waits for one).
    std::uint32_t CustomTransaction(std::uint8_t Command, const std::string& RequestData,
                                    std::int32_t UserData = 0, bool AcceptAnyServer = false);

    // Called by the connection on the UI thread for each finished transaction routed here.
    void ProcessReply(TModbusTransaction& Transaction);

    // A readable text for an exception code: the protocol's name for codes 1..8, which
    // OnTranslateExceptionCode may replace (or supply for other codes).
    std::string TranslateExceptionCode(std::uint8_t ExceptionCode);

    TMultipleBitsAccessEvent OnCoilsRead;
    TCustomTransactionCompleteEvent OnCustomTransactionComplete;
    TDiagnosticsEvent OnDiagnostics;
    TMultipleBitsAccessEvent OnDiscreteInputsRead;
    TExceptionStatusReadEvent OnExceptionStatusRead;
    TFileRecordAccessEvent OnFileRecordRead;
    TFileRecordAccessEvent OnFileRecordWrite;
    TMultipleRegistersAccessEvent OnHoldingRegistersRead;
    TMultipleRegistersAccessEvent OnInputRegistersRead;
    TMultipleBitsAccessEvent OnMultipleCoilsWrite;
    TMultipleRegistersAccessEvent OnMultipleRegistersWrite;
    TServerIdentificationReportEvent OnServerIdentificationReport;
    TSingleCoilWriteEvent OnSingleCoilWrite;
    TSingleRegisterMaskWriteEvent OnSingleRegisterMaskWrite;
    TSingleRegisterWriteEvent OnSingleRegisterWrite;
    TTranslateExceptionCodeEvent OnTranslateExceptionCode;

protected:
    virtual void DoCoilsRead(TTransactionInfo& Info, std::uint16_t StartBit, std::uint16_t BitCount,
                             const TBitValues& BitValues);
    virtual void DoCustomTransactionComplete(TTransactionInfo& Info, std::uint8_t Command,
                                             const std::string& RequestData, const std::string& ResponseData);
    virtual void DoDiagnostics(TTransactionInfo& Info, TDiagnosticAction Action, std::uint16_t Result);
    virtual void DoDiscreteInputsRead(TTransactionInfo& Info, std::uint16_t StartBit, std::uint16_t BitCount,
                                      const TBitValues& BitValues);
    virtual void DoExceptionStatusRead(TTransactionInfo& Info, const TExceptionStatusValues& StatusValues);
    virtual void DoFileRecordRead(TTransactionInfo& Info, const TModbusFileRecordList& FileRecList);
    virtual void DoFileRecordWrite(TTransactionInfo& Info, const TModbusFileRecordList& FileRecList);
    virtual void DoHoldingRegistersRead(TTransactionInfo& Info, std::uint16_t StartReg, std::uint16_t RegCount,
                                        const TRegValues& RegValues);
    virtual void DoInputRegistersRead(TTransactionInfo& Info, std::uint16_t StartReg, std::uint16_t RegCount,
                                      const TRegValues& RegValues);
    virtual void DoMultipleCoilsWrite(TTransactionInfo& Info, std::uint16_t StartBit, std::uint16_t BitCount,
                                      const TBitValues& BitValues);
    virtual void DoMultipleRegistersWrite(TTransactionInfo& Info, std::uint16_t StartReg, std::uint16_t RegCount,
                                          const TRegValues& RegValues);
    virtual void DoServerIdentificationReport(TTransactionInfo& Info, int Count,
                                              const TServerIdentificationData& Data);
    virtual void DoSingleCoilWrite(TTransactionInfo& Info, std::uint16_t BitAddr, bool BitValue);
    virtual void DoSingleRegisterMaskWrite(TTransactionInfo& Info, std::uint16_t RegAddr, std::uint16_t AndMask,
                                           std::uint16_t OrMask);
    virtual void DoSingleRegisterWrite(TTransactionInfo& Info, std::uint16_t RegAddr, std::uint16_t RegValue);
    virtual void DoTranslateExceptionCode(std::uint8_t ExceptionCode, std::string& Description);

private:
    friend class TModbusConnection;
    // The bound connection is being destroyed: forget it without unregistering.
    void ConnectionRemoved(TModbusConnection* Removed) noexcept;

    std::unique_ptr<TModbusTransaction> NewTransaction(std::uint8_t Function, std::int32_t UserData);
    std::uint32_t Queue(std::unique_ptr<TModbusTransaction> Transaction);
    // Most requests are the function code and two words (address or start, value or count).
    std::uint32_t QueueWords(std::uint8_t Function, std::uint16_t First, std::uint16_t Second, std::int32_t UserData);
    // The four reads: the count within 1..Max and the range inside the table, else the
    // request is refused with the given message.
    std::uint32_t QueueRead(std::uint8_t Function, std::uint16_t Start, std::uint16_t Count, int Max,
                            const char* CountFormat, const char* StartFormat, std::int32_t UserData);
    int ChecksumLength() const;

    void HandleBitsRead(TModbusTransaction& T, bool Coils);
    void HandleRegistersRead(TModbusTransaction& T, bool Holding);
    void HandleSingleCoilWrite(TModbusTransaction& T);
    void HandleSingleRegisterWrite(TModbusTransaction& T);
    void HandleExceptionStatusRead(TModbusTransaction& T);
    void HandleDiagnostics(TModbusTransaction& T);
    void HandleMultipleCoilsWrite(TModbusTransaction& T);
    void HandleMultipleRegistersWrite(TModbusTransaction& T);
    void HandleServerIdentificationReport(TModbusTransaction& T);
    void HandleFileRecordRead(TModbusTransaction& T);
    void HandleFileRecordWrite(TModbusTransaction& T);
    void HandleMaskWrite(TModbusTransaction& T);
    void CompleteCustom(TModbusTransaction& T);

    TModbusConnection* FConnection = nullptr;
    std::uint8_t FServerAddress = 1;
};

} // namespace veltro::modbus
