#include "modbus/ModbusClient.h"

#include "modbus/FieldwireError.h"
#include "modbus/ModbusBits.h"
#include "modbus/ModbusConnection.h"
#include "modbus/ModbusFrames.h"

#include <array>
#include <optional>

namespace veltro::modbus {

namespace {

// Protocol limits that keep every reply inside one frame: a read reply's byte count must
// fit one byte, and address + function + byte count + data + checksum must fit 256 bytes.
constexpr int MaxReadBits = 2000;
constexpr int MaxReadRegisters = 125;
constexpr int MaxWriteBits = 1968;
constexpr int MaxWriteRegisters = 123;
constexpr int MaxFileRecordBytes = 245;  // the byte count of a file-record request or reply
constexpr int FileRecordSubRequestSize = 7;
constexpr std::uint8_t FileRecordReferenceType = 6;
constexpr std::uint16_t CoilOn = 0xFF00;
constexpr std::uint16_t ClearEventLog = 0xFF00;

constexpr const char* SBitCountRange = "Bit count must be between 1 and %d";
constexpr const char* SStartBitInvalid = "Starting bit index is invalid (%d)";
constexpr const char* SRecordCountRange = "Record count must be between 1 and %d";
constexpr const char* SFileRequestTooLarge = "File record request must not exceed %d bytes";
constexpr const char* SCustomDataTooLarge = "Request data must not exceed %d bytes";

struct TDiagnosticRow {
    TDiagnosticAction Action;
    std::uint16_t SubFunction;
};
// In table order: a look-up by code takes the first row, so sub-function 1 reads back as
// the plain restart unless its data asks to clear the event log.
constexpr std::array<TDiagnosticRow, 15> DiagnosticTable{{
    {daReturnQueryData, 0},
    {daRestartCommsOption, 1},
    {daRestartCommsOptionAndClearEventLog, 1},
    {daReturnDiagnosticRegister, 2},
    {daForceListenOnlyMode, 4},
    {daClearCountersAndDiagnosticRegister, 10},
    {daReturnBusMessageCount, 11},
    {daReturnBusCommErrorCount, 12},
    {daReturnBusExceptionErrorCount, 13},
    {daReturnServerMessageCount, 14},
    {daReturnServerNoReplyCount, 15},
    {daReturnServerNegativeAcknowledgeCount, 16},
    {daReturnServerBusyCount, 17},
    {daReturnBusCharacterOverrunCount, 18},
    {daClearOverrunCounterAndFlag, 20},
}};

// The actions whose reply echoes the request's data word instead of carrying a result.
bool EchoesData(TDiagnosticAction Action)
{
    return Action == daReturnQueryData || Action == daRestartCommsOption ||
           Action == daRestartCommsOptionAndClearEventLog ||
           Action == daClearCountersAndDiagnosticRegister || Action == daClearOverrunCounterAndFlag;
}

std::optional<TDiagnosticAction> FindDiagnosticAction(std::uint16_t SubFunction, std::uint16_t Data)
{
    if (SubFunction == 1 && Data == ClearEventLog)
        return daRestartCommsOptionAndClearEventLog;
    for (const auto& Row : DiagnosticTable)
        if (Row.SubFunction == SubFunction)
            return Row.Action;
    return std::nullopt;
}

std::uint8_t ByteAt(TModbusBuffer& B, int Offset)
{
    B.SetPosition(Offset);
    return B.PeekByte();
}

std::uint16_t WordAt(TModbusBuffer& B, int Offset)
{
    B.SetPosition(Offset);
    return B.PeekWord();
}

void Disagree() { throw EFieldwireError(messages::SInternalError); }

void Expect(bool Condition)
{
    if (!Condition)
        Disagree();
}

void CheckCount(int Count, int Max, const char* Format)
{
    if (Count < 1 || Count > Max)
        throw EFieldwireError(messages::FormatMessage(Format, Max));
}

void CheckRange(int Start, int Count, const char* Format)
{
    if (Start + Count - 1 > 0xFFFF)
        throw EFieldwireError(messages::FormatMessage(Format, Start));
}

} // namespace

std::uint16_t DiagnosticSubFunction(TDiagnosticAction Action)
{
    for (const auto& Row : DiagnosticTable)
        if (Row.Action == Action)
            return Row.SubFunction;
    throw EFieldwireError(messages::SDiagnosticNotRecognized);
}

TModbusClient::TModbusClient() = default;

TModbusClient::~TModbusClient() { SetConnection(nullptr); }

void TModbusClient::SetConnection(TModbusConnection* Value)
{
    if (Value == FConnection)
        return;
    if (FConnection)
        FConnection->UnregisterClient(this);
    FConnection = Value;
    if (FConnection)
        FConnection->RegisterClient(this);
}

void TModbusClient::ConnectionRemoved(TModbusConnection* Removed) noexcept
{
    if (FConnection == Removed)
        FConnection = nullptr;
}

void TModbusClient::SetServerAddress(std::uint8_t Value)
{
    if (Value == FServerAddress)
        return;
    if (FConnection && FConnection->Active() && !FConnection->Loading())
        throw EFieldwireError(messages::SClientMustBeDisconnected);
    FServerAddress = Value;
}

void TModbusClient::CheckConnection() const
{
    if (!FConnection || !FConnection->Active() || FConnection->Loading())
        throw EFieldwireError(messages::SNoActiveConnection);
}

int TModbusClient::ChecksumLength() const { return modbus::ChecksumLength(FConnection->TransmissionMode()); }

// ---------------------------------------------------------------------------------------
// Requests

std::unique_ptr<TModbusTransaction> TModbusClient::NewTransaction(std::uint8_t Function, std::int32_t UserData)
{
    auto T = std::make_unique<TModbusTransaction>(FConnection->FrameBufferCapacity());
    T->Info = TTransactionInfo{};
    T->Info.ID = FConnection->NextTransactionID();
    T->Info.ServerAddress = FServerAddress;
    T->Info.UserData = UserData;
    T->Request.WriteByte(FServerAddress);
    T->Request.WriteByte(Function);
    return T;
}

std::uint32_t TModbusClient::Queue(std::unique_ptr<TModbusTransaction> Transaction)
{
    AppendChecksum(FConnection->TransmissionMode(), Transaction->Request);
    const std::uint32_t ID = Transaction->Info.ID;
    FConnection->QueueTransaction(std::move(Transaction));
    return ID;
}

std::uint32_t TModbusClient::QueueWords(std::uint8_t Function, std::uint16_t First, std::uint16_t Second,
                                        std::int32_t UserData)
{
    auto T = NewTransaction(Function, UserData);
    T->Request.WriteWord(First);
    T->Request.WriteWord(Second);
    return Queue(std::move(T));
}

std::uint32_t TModbusClient::QueueRead(std::uint8_t Function, std::uint16_t Start, std::uint16_t Count, int Max,
                                       const char* CountFormat, const char* StartFormat, std::int32_t UserData)
{
    CheckConnection();
    CheckCount(Count, Max, CountFormat);
    CheckRange(Start, Count, StartFormat);
    return QueueWords(Function, Start, Count, UserData);
}

std::uint32_t TModbusClient::ReadCoils(std::uint16_t StartBit, std::uint16_t BitCount, std::int32_t UserData)
{
    return QueueRead(1, StartBit, BitCount, MaxReadBits, SBitCountRange, SStartBitInvalid, UserData);
}

std::uint32_t TModbusClient::ReadDiscreteInputs(std::uint16_t StartBit, std::uint16_t BitCount,
                                                std::int32_t UserData)
{
    return QueueRead(2, StartBit, BitCount, MaxReadBits, SBitCountRange, SStartBitInvalid, UserData);
}

std::uint32_t TModbusClient::ReadHoldingRegisters(std::uint16_t StartReg, std::uint16_t RegCount,
                                                  std::int32_t UserData)
{
    return QueueRead(3, StartReg, RegCount, MaxReadRegisters, messages::SRegisterCountRange,
                     messages::SStartRegisterInvalid, UserData);
}

std::uint32_t TModbusClient::ReadInputRegisters(std::uint16_t StartReg, std::uint16_t RegCount,
                                                std::int32_t UserData)
{
    return QueueRead(4, StartReg, RegCount, MaxReadRegisters, messages::SRegisterCountRange,
                     messages::SStartRegisterInvalid, UserData);
}

std::uint32_t TModbusClient::WriteSingleCoil(std::uint16_t BitAddr, bool BitValue, std::int32_t UserData)
{
    CheckConnection();
    return QueueWords(5, BitAddr, BitValue ? CoilOn : 0, UserData);
}

std::uint32_t TModbusClient::WriteSingleRegister(std::uint16_t RegAddr, std::uint16_t RegValue,
                                                 std::int32_t UserData)
{
    CheckConnection();
    return QueueWords(6, RegAddr, RegValue, UserData);
}

std::uint32_t TModbusClient::ReadExceptionStatus(std::int32_t UserData)
{
    CheckConnection();
    return Queue(NewTransaction(7, UserData));
}

std::uint32_t TModbusClient::Diagnostics(TDiagnosticAction Action, std::uint16_t Data, std::int32_t UserData)
{
    CheckConnection();
    const std::uint16_t SubFunction = DiagnosticSubFunction(Action);
    std::uint16_t Sent = 0;
    if (Action == daReturnQueryData)
        Sent = Data;
    else if (Action == daRestartCommsOptionAndClearEventLog)
        Sent = ClearEventLog;
    return QueueWords(8, SubFunction, Sent, UserData);
}

std::uint32_t TModbusClient::WriteMultipleCoils(std::uint16_t StartBit, const TBitValues& BitValues,
                                                std::int32_t UserData)
{
    CheckConnection();
    const int Count = static_cast<int>(BitValues.size());
    CheckCount(Count, MaxWriteBits, SBitCountRange);
    CheckRange(StartBit, Count, SStartBitInvalid);
    auto T = NewTransaction(15, UserData);
    T->Request.WriteWord(StartBit);
    T->Request.WriteWord(static_cast<std::uint16_t>(Count));
    T->Request.WriteByte(static_cast<std::uint8_t>(BitByteCount(Count)));
    PackBits(BitValues, T->Request);
    return Queue(std::move(T));
}

std::uint32_t TModbusClient::WriteMultipleRegisters(std::uint16_t StartReg, const TRegValues& RegValues,
                                                    std::int32_t UserData)
{
    CheckConnection();
    const int Count = static_cast<int>(RegValues.size());
    CheckCount(Count, MaxWriteRegisters, messages::SRegisterCountRange);
    CheckRange(StartReg, Count, messages::SStartRegisterInvalid);
    auto T = NewTransaction(16, UserData);
    T->Request.WriteWord(StartReg);
    T->Request.WriteWord(static_cast<std::uint16_t>(Count));
    T->Request.WriteByte(static_cast<std::uint8_t>(2 * Count));
    for (std::uint16_t V : RegValues)
        T->Request.WriteWord(V);
    return Queue(std::move(T));
}

std::uint32_t TModbusClient::ReportServerID(std::int32_t UserData)
{
    CheckConnection();
    return Queue(NewTransaction(17, UserData));
}

std::uint32_t TModbusClient::ReadFileRecord(const TModbusFileRecordList& Records, std::int32_t UserData)
{
    CheckConnection();
    const int MaxRecords = MaxFileRecordBytes / FileRecordSubRequestSize;
    CheckCount(Records.Count(), MaxRecords, SRecordCountRange);
    int ReplyBytes = 0;
    for (int I = 0; I < Records.Count(); ++I)
        ReplyBytes += 2 + 2 * Records.Items(I).RecordLength();
    if (ReplyBytes > MaxFileRecordBytes)
        throw EFieldwireError(messages::FormatMessage(SFileRequestTooLarge, MaxFileRecordBytes));
    auto T = NewTransaction(20, UserData);
    T->Request.WriteByte(static_cast<std::uint8_t>(FileRecordSubRequestSize * Records.Count()));
    for (int I = 0; I < Records.Count(); ++I) {
        const TModbusFileRecord& R = Records.Items(I);
        T->Request.WriteByte(FileRecordReferenceType);
        T->Request.WriteWord(R.FileNumber());
        T->Request.WriteWord(R.RecordNumber());
        T->Request.WriteWord(R.RecordLength());
    }
    return Queue(std::move(T));
}

std::uint32_t TModbusClient::WriteFileRecord(const TModbusFileRecordList& Records, std::int32_t UserData)
{
    CheckConnection();
    const int MaxRecords = MaxFileRecordBytes / FileRecordSubRequestSize;
    CheckCount(Records.Count(), MaxRecords, SRecordCountRange);
    int Bytes = 0;
    for (int I = 0; I < Records.Count(); ++I)
        Bytes += FileRecordSubRequestSize + 2 * Records.Items(I).RecordLength();
    if (Bytes > MaxFileRecordBytes)
        throw EFieldwireError(messages::FormatMessage(SFileRequestTooLarge, MaxFileRecordBytes));
    auto T = NewTransaction(21, UserData);
    T->Request.WriteByte(static_cast<std::uint8_t>(Bytes));
    for (int I = 0; I < Records.Count(); ++I) {
        const TModbusFileRecord& R = Records.Items(I);
        T->Request.WriteByte(FileRecordReferenceType);
        T->Request.WriteWord(R.FileNumber());
        T->Request.WriteWord(R.RecordNumber());
        T->Request.WriteWord(R.RecordLength());
        for (std::uint16_t V : R.Values())
            T->Request.WriteWord(V);
    }
    return Queue(std::move(T));
}

std::uint32_t TModbusClient::MaskWriteRegister(std::uint16_t RegAddr, std::uint16_t AndMask,
                                               std::uint16_t OrMask, std::int32_t UserData)
{
    CheckConnection();
    auto T = NewTransaction(22, UserData);
    T->Request.WriteWord(RegAddr);
    T->Request.WriteWord(AndMask);
    T->Request.WriteWord(OrMask);
    return Queue(std::move(T));
}

std::uint32_t TModbusClient::CustomTransaction(std::uint8_t Command, const std::string& RequestData,
                                               std::int32_t UserData, bool AcceptAnyServer)
{
    CheckConnection();
    const int Room = FConnection->FrameBufferCapacity() - 2 - ChecksumLength();
    if (static_cast<int>(RequestData.size()) > Room)
        throw EFieldwireError(messages::FormatMessage(SCustomDataTooLarge, Room));
    auto T = NewTransaction(Command, UserData);
    T->Custom = true;
    T->AcceptAnyServer = AcceptAnyServer;
    for (char C : RequestData)
        T->Request.WriteByte(static_cast<std::uint8_t>(C));
    return Queue(std::move(T));
}

// ---------------------------------------------------------------------------------------
// Replies

void TModbusClient::ProcessReply(TModbusTransaction& Transaction)
{
    CheckConnection();
    if (Transaction.Custom) {
        CompleteCustom(Transaction);
        return;
    }
    switch (GetFunctionCode(Transaction.Request)) {
    case 1: HandleBitsRead(Transaction, true); break;
    case 2: HandleBitsRead(Transaction, false); break;
    case 3: HandleRegistersRead(Transaction, true); break;
    case 4: HandleRegistersRead(Transaction, false); break;
    case 5: HandleSingleCoilWrite(Transaction); break;
    case 6: HandleSingleRegisterWrite(Transaction); break;
    case 7: HandleExceptionStatusRead(Transaction); break;
    case 8: HandleDiagnostics(Transaction); break;
    case 15: HandleMultipleCoilsWrite(Transaction); break;
    case 16: HandleMultipleRegistersWrite(Transaction); break;
    case 17: HandleServerIdentificationReport(Transaction); break;
    case 20: HandleFileRecordRead(Transaction); break;
    case 21: HandleFileRecordWrite(Transaction); break;
    case 22: HandleMaskWrite(Transaction); break;
    default: break;
    }
}

namespace {

// Runs the checks and extraction of a successful reply; a disagreement or a reply too
// short downgrades the status, so the event still fires with what the request asked.
template <typename F>
void CheckReply(TModbusTransaction& T, F&& Check)
{
    if (T.Info.ReplyStatus != rsSuccess)
        return;
    try {
        Check();
    } catch (const EFieldwireError&) {
        T.Info.ReplyStatus = rsUnmatched;
    }
}

// Data fields must end before the checksum: a frame whose byte count claims more than it
// carries would otherwise yield checksum or stale buffer bytes as values.
void RequireData(const TModbusBuffer& Reply, int Offset, int Count, int ChecksumLength)
{
    if (Offset + Count > Reply.Size() - ChecksumLength)
        Disagree();
}

} // namespace

void TModbusClient::HandleBitsRead(TModbusTransaction& T, bool Coils)
{
    const std::uint16_t Start = WordAt(T.Request, 2);
    const std::uint16_t Count = WordAt(T.Request, 4);
    TBitValues Values(Count, false);
    CheckReply(T, [&] {
        const int Bytes = BitByteCount(Count);
        Expect(ByteAt(T.Reply, 2) == Bytes);
        RequireData(T.Reply, 3, Bytes, ChecksumLength());
        T.Reply.SetPosition(3);
        UnpackBits(T.Reply, Values);
    });
    if (Coils)
        DoCoilsRead(T.Info, Start, Count, Values);
    else
        DoDiscreteInputsRead(T.Info, Start, Count, Values);
}

void TModbusClient::HandleRegistersRead(TModbusTransaction& T, bool Holding)
{
    const std::uint16_t Start = WordAt(T.Request, 2);
    const std::uint16_t Count = WordAt(T.Request, 4);
    TRegValues Values(Count, 0);
    CheckReply(T, [&] {
        // A byte count one above twice the register count is tolerated (rounded down).
        Expect(ByteAt(T.Reply, 2) / 2 == Count);
        RequireData(T.Reply, 3, 2 * Count, ChecksumLength());
        for (int I = 0; I < Count; ++I)
            Values[static_cast<std::size_t>(I)] = WordAt(T.Reply, 3 + 2 * I);
    });
    if (Holding)
        DoHoldingRegistersRead(T.Info, Start, Count, Values);
    else
        DoInputRegistersRead(T.Info, Start, Count, Values);
}

void TModbusClient::HandleSingleCoilWrite(TModbusTransaction& T)
{
    const std::uint16_t Addr = WordAt(T.Request, 2);
    const std::uint16_t Value = WordAt(T.Request, 4);
    CheckReply(T, [&] {
        RequireData(T.Reply, 2, 4, ChecksumLength());
        Expect(WordAt(T.Reply, 2) == Addr && WordAt(T.Reply, 4) == Value);
    });
    DoSingleCoilWrite(T.Info, Addr, Value == CoilOn);
}

void TModbusClient::HandleSingleRegisterWrite(TModbusTransaction& T)
{
    const std::uint16_t Addr = WordAt(T.Request, 2);
    const std::uint16_t Value = WordAt(T.Request, 4);
    CheckReply(T, [&] {
        RequireData(T.Reply, 2, 4, ChecksumLength());
        Expect(WordAt(T.Reply, 2) == Addr && WordAt(T.Reply, 4) == Value);
    });
    DoSingleRegisterWrite(T.Info, Addr, Value);
}

void TModbusClient::HandleExceptionStatusRead(TModbusTransaction& T)
{
    TExceptionStatusValues Values(8, false);
    CheckReply(T, [&] {
        RequireData(T.Reply, 2, 1, ChecksumLength());
        T.Reply.SetPosition(2);
        UnpackBits(T.Reply, Values);
    });
    DoExceptionStatusRead(T.Info, Values);
}

void TModbusClient::HandleDiagnostics(TModbusTransaction& T)
{
    const std::uint16_t SubFunction = WordAt(T.Request, 2);
    const std::uint16_t Data = WordAt(T.Request, 4);
    const auto Action = FindDiagnosticAction(SubFunction, Data);
    if (!Action)
        throw EFieldwireError(messages::SDiagnosticNotRecognized);
    std::uint16_t Result = 0;
    CheckReply(T, [&] {
        RequireData(T.Reply, 2, 4, ChecksumLength());
        Expect(WordAt(T.Reply, 2) == SubFunction);
        if (EchoesData(*Action))
            Expect(WordAt(T.Reply, 4) == Data);
        else
            Result = WordAt(T.Reply, 4);
    });
    if (T.Info.ReplyStatus != rsSuccess)
        Result = 0;
    DoDiagnostics(T.Info, *Action, Result);
}

void TModbusClient::HandleMultipleCoilsWrite(TModbusTransaction& T)
{
    const std::uint16_t Start = WordAt(T.Request, 2);
    const std::uint16_t Count = WordAt(T.Request, 4);
    TBitValues Values(Count, false);
    T.Request.SetPosition(7);
    UnpackBits(T.Request, Values);
    CheckReply(T, [&] {
        RequireData(T.Reply, 2, 4, ChecksumLength());
        Expect(WordAt(T.Reply, 2) == Start && WordAt(T.Reply, 4) == Count);
    });
    DoMultipleCoilsWrite(T.Info, Start, Count, Values);
}

void TModbusClient::HandleMultipleRegistersWrite(TModbusTransaction& T)
{
    const std::uint16_t Start = WordAt(T.Request, 2);
    const std::uint16_t Count = WordAt(T.Request, 4);
    TRegValues Values(Count, 0);
    for (int I = 0; I < Count; ++I)
        Values[static_cast<std::size_t>(I)] = WordAt(T.Request, 7 + 2 * I);
    CheckReply(T, [&] {
        RequireData(T.Reply, 2, 4, ChecksumLength());
        Expect(WordAt(T.Reply, 2) == Start && WordAt(T.Reply, 4) == Count);
    });
    DoMultipleRegistersWrite(T.Info, Start, Count, Values);
}

void TModbusClient::HandleServerIdentificationReport(TModbusTransaction& T)
{
    TServerIdentificationData Data;
    CheckReply(T, [&] {
        const int Count = ByteAt(T.Reply, 2);
        RequireData(T.Reply, 3, Count, ChecksumLength());
        Data.resize(static_cast<std::size_t>(Count));
        T.Reply.SetPosition(3);
        T.Reply.PeekBytes(Data.data(), Count);
    });
    if (T.Info.ReplyStatus != rsSuccess)
        Data.clear();
    DoServerIdentificationReport(T.Info, static_cast<int>(Data.size()), Data);
}

void TModbusClient::HandleFileRecordRead(TModbusTransaction& T)
{
    TModbusFileRecordList List;
    const int SubRequests = ByteAt(T.Request, 2) / FileRecordSubRequestSize;
    int Expected = 0;
    for (int I = 0; I < SubRequests; ++I) {
        const int At = 3 + FileRecordSubRequestSize * I;
        const std::uint16_t File = WordAt(T.Request, At + 1);
        const std::uint16_t Record = WordAt(T.Request, At + 3);
        const std::uint16_t Length = WordAt(T.Request, At + 5);
        List.Add(File, Record, Length);
        Expected += 2 + 2 * Length;
    }
    CheckReply(T, [&] {
        Expect(ByteAt(T.Reply, 2) == Expected);
        RequireData(T.Reply, 3, Expected, ChecksumLength());
        int At = 3;
        for (int I = 0; I < List.Count(); ++I) {
            TModbusFileRecord& R = List.Items(I);
            Expect(ByteAt(T.Reply, At) == 2 * R.RecordLength() + 1);
            Expect(ByteAt(T.Reply, At + 1) == FileRecordReferenceType);
            At += 2;
            for (int V = 0; V < R.RecordLength(); ++V, At += 2)
                R.SetValue(V, WordAt(T.Reply, At));
        }
    });
    DoFileRecordRead(T.Info, List);
}

void TModbusClient::HandleFileRecordWrite(TModbusTransaction& T)
{
    TModbusFileRecordList List;
    const int End = 3 + ByteAt(T.Request, 2);
    int At = 3;
    while (At < End) {
        const std::uint16_t File = WordAt(T.Request, At + 1);
        const std::uint16_t Record = WordAt(T.Request, At + 3);
        const std::uint16_t Length = WordAt(T.Request, At + 5);
        TModbusFileRecord& R = List.Add(File, Record, Length);
        At += FileRecordSubRequestSize;
        for (int V = 0; V < Length; ++V, At += 2)
            R.SetValue(V, WordAt(T.Request, At));
    }
    CheckReply(T, [&] {
        Expect(T.Reply.Size() == T.Request.Size());
        for (int I = 0; I < T.Request.Size(); ++I)
            Expect(T.Reply.Data()[I] == T.Request.Data()[I]);
    });
    DoFileRecordWrite(T.Info, List);
}

void TModbusClient::HandleMaskWrite(TModbusTransaction& T)
{
    const std::uint16_t Addr = WordAt(T.Request, 2);
    const std::uint16_t AndMask = WordAt(T.Request, 4);
    const std::uint16_t OrMask = WordAt(T.Request, 6);
    CheckReply(T, [&] {
        RequireData(T.Reply, 2, 6, ChecksumLength());
        Expect(WordAt(T.Reply, 2) == Addr && WordAt(T.Reply, 4) == AndMask && WordAt(T.Reply, 6) == OrMask);
    });
    DoSingleRegisterMaskWrite(T.Info, Addr, AndMask, OrMask);
}

void TModbusClient::CompleteCustom(TModbusTransaction& T)
{
    if (T.AcceptAnyServer && T.Info.ReplyStatus != rsNoReply)
        T.Info.ServerAddress = GetFrameAddress(T.Reply);
    const std::uint8_t Command = GetFunctionCode(T.Request);
    auto Payload = [this](const TModbusBuffer& B) {
        const int End = B.Size() - ChecksumLength();
        if (End <= 2)
            return std::string();
        return std::string(reinterpret_cast<const char*>(B.Data()) + 2, static_cast<std::size_t>(End - 2));
    };
    const std::string RequestData = Payload(T.Request);
    const std::string ResponseData = T.Info.ReplyStatus == rsSuccess ? Payload(T.Reply) : std::string();
    DoCustomTransactionComplete(T.Info, Command, RequestData, ResponseData);
}

std::string TModbusClient::TranslateExceptionCode(std::uint8_t ExceptionCode)
{
    static constexpr std::array<const char*, 9> Names{
        "",
        "Illegal function",
        "Illegal data address",
        "Illegal data value",
        "Server device failure",
        "Acknowledge",
        "Server device busy",
        "Negative acknowledge",
        "Memory parity error",
    };
    std::string Description = ExceptionCode >= 1 && ExceptionCode <= MaxKnownExceptionCode
                                  ? Names[ExceptionCode]
                                  : "Unknown exception code (" + std::to_string(ExceptionCode) + ")";
    DoTranslateExceptionCode(ExceptionCode, Description);
    return Description;
}

// ---------------------------------------------------------------------------------------
// Event raisers: each calls its handler only when one is assigned.

void TModbusClient::DoCoilsRead(TTransactionInfo& Info, std::uint16_t StartBit, std::uint16_t BitCount,
                                const TBitValues& BitValues)
{
    if (OnCoilsRead)
        OnCoilsRead(*this, Info, StartBit, BitCount, BitValues);
}

void TModbusClient::DoCustomTransactionComplete(TTransactionInfo& Info, std::uint8_t Command,
                                                const std::string& RequestData, const std::string& ResponseData)
{
    if (OnCustomTransactionComplete)
        OnCustomTransactionComplete(*this, Info, Command, RequestData, ResponseData);
}

void TModbusClient::DoDiagnostics(TTransactionInfo& Info, TDiagnosticAction Action, std::uint16_t Result)
{
    if (OnDiagnostics)
        OnDiagnostics(*this, Info, Action, Result);
}

void TModbusClient::DoDiscreteInputsRead(TTransactionInfo& Info, std::uint16_t StartBit, std::uint16_t BitCount,
                                         const TBitValues& BitValues)
{
    if (OnDiscreteInputsRead)
        OnDiscreteInputsRead(*this, Info, StartBit, BitCount, BitValues);
}

void TModbusClient::DoExceptionStatusRead(TTransactionInfo& Info, const TExceptionStatusValues& StatusValues)
{
    if (OnExceptionStatusRead)
        OnExceptionStatusRead(*this, Info, StatusValues);
}

void TModbusClient::DoFileRecordRead(TTransactionInfo& Info, const TModbusFileRecordList& FileRecList)
{
    if (OnFileRecordRead)
        OnFileRecordRead(*this, Info, FileRecList);
}

void TModbusClient::DoFileRecordWrite(TTransactionInfo& Info, const TModbusFileRecordList& FileRecList)
{
    if (OnFileRecordWrite)
        OnFileRecordWrite(*this, Info, FileRecList);
}

void TModbusClient::DoHoldingRegistersRead(TTransactionInfo& Info, std::uint16_t StartReg, std::uint16_t RegCount,
                                           const TRegValues& RegValues)
{
    if (OnHoldingRegistersRead)
        OnHoldingRegistersRead(*this, Info, StartReg, RegCount, RegValues);
}

void TModbusClient::DoInputRegistersRead(TTransactionInfo& Info, std::uint16_t StartReg, std::uint16_t RegCount,
                                         const TRegValues& RegValues)
{
    if (OnInputRegistersRead)
        OnInputRegistersRead(*this, Info, StartReg, RegCount, RegValues);
}

void TModbusClient::DoMultipleCoilsWrite(TTransactionInfo& Info, std::uint16_t StartBit, std::uint16_t BitCount,
                                         const TBitValues& BitValues)
{
    if (OnMultipleCoilsWrite)
        OnMultipleCoilsWrite(*this, Info, StartBit, BitCount, BitValues);
}

void TModbusClient::DoMultipleRegistersWrite(TTransactionInfo& Info, std::uint16_t StartReg,
                                             std::uint16_t RegCount, const TRegValues& RegValues)
{
    if (OnMultipleRegistersWrite)
        OnMultipleRegistersWrite(*this, Info, StartReg, RegCount, RegValues);
}

void TModbusClient::DoServerIdentificationReport(TTransactionInfo& Info, int Count,
                                                 const TServerIdentificationData& Data)
{
    if (OnServerIdentificationReport)
        OnServerIdentificationReport(*this, Info, Count, Data);
}

void TModbusClient::DoSingleCoilWrite(TTransactionInfo& Info, std::uint16_t BitAddr, bool BitValue)
{
    if (OnSingleCoilWrite)
        OnSingleCoilWrite(*this, Info, BitAddr, BitValue);
}

void TModbusClient::DoSingleRegisterMaskWrite(TTransactionInfo& Info, std::uint16_t RegAddr,
                                              std::uint16_t AndMask, std::uint16_t OrMask)
{
    if (OnSingleRegisterMaskWrite)
        OnSingleRegisterMaskWrite(*this, Info, RegAddr, AndMask, OrMask);
}

void TModbusClient::DoSingleRegisterWrite(TTransactionInfo& Info, std::uint16_t RegAddr, std::uint16_t RegValue)
{
    if (OnSingleRegisterWrite)
        OnSingleRegisterWrite(*this, Info, RegAddr, RegValue);
}

void TModbusClient::DoTranslateExceptionCode(std::uint8_t ExceptionCode, std::string& Description)
{
    if (OnTranslateExceptionCode)
        OnTranslateExceptionCode(*this, ExceptionCode, Description);
}

} // namespace veltro::modbus
