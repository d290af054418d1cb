// Replies as the client receives them, for every request the client builds. A connection
// runs its worker over a scripted serial device; the fuzz input chooses the request and
// its parameters and is the server's answer, so each input goes through the whole
// receive path: framing, checksum, matching, the client's reply checks and its event.
// Whatever comes back, the request must end in exactly one event, and values the event
// reports as read must be the reply's own, or (when the reply is not a good one) none.

#include "modbus/FieldwireError.h"
#include "modbus/ModbusBuffer.h"
#include "modbus/ModbusClient.h"
#include "modbus/ModbusConnection.h"
#include "modbus/ModbusFrames.h"
#include "platform/ManualUiDispatcher.h"
#include "support/FakeSerialDevice.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace veltro::modbus;

namespace {

void Check(bool Condition)
{
    if (!Condition)
        std::abort();
}

constexpr std::uint8_t Server = 17;

// What the one event of a transaction reported.
struct Event {
    int Count = 0;
    TTransactionInfo Info;
    std::vector<std::uint16_t> Words;  // registers, bits (0/1) or bytes, as the event gave them
};

struct Rig {
    veltro::platform::ManualUiDispatcher Ui;
    veltro::test::FakeSerialDevice Device;
    std::unique_ptr<TModbusConnection> Conn;
    TModbusClient Client;
    Event Last;
    std::vector<TFrameData> Received;

    explicit Rig(TTransmissionMode Mode)
    {
        Conn = std::make_unique<TModbusConnection>(&Ui);
        Conn->Line().SetDeviceOpener([this](const std::string&, int&) {
            return std::make_unique<veltro::test::SerialDeviceRef>(Device);
        });
        Conn->SetTransmissionMode(Mode);
        Conn->SetParity(psNone);
        // The scripted device reports silence at once, but the line keeps waiting out
        // its time-outs: keep them short.
        Conn->SetBaudRate(br115200);
        Conn->SetReceiveTimeout(1);
        Conn->OnFrameReceive = [this](TModbusConnection&, const TFrameData& D) { Received.push_back(D); };
        Client.SetServerAddress(Server);
        Client.SetConnection(Conn.get());
        Record();
        Conn->SetActive(true);
    }
    ~Rig()
    {
        Conn->SetActive(false);
        Client.SetConnection(nullptr);
    }

    template <typename Seq>
    void Note(const TTransactionInfo& Info, const Seq& Values)
    {
        ++Last.Count;
        Last.Info = Info;
        Last.Words.assign(Values.begin(), Values.end());
    }

    void Record()
    {
        auto Bits = [this](TModbusClient&, TTransactionInfo& I, std::uint16_t, std::uint16_t, const TBitValues& V) {
            Note(I, V);
        };
        auto Regs = [this](TModbusClient&, TTransactionInfo& I, std::uint16_t, std::uint16_t, const TRegValues& V) {
            Note(I, V);
        };
        auto Records = [this](TModbusClient&, TTransactionInfo& I, const TModbusFileRecordList& L) {
            std::vector<std::uint16_t> All;
            for (int R = 0; R < L.Count(); ++R)
                All.insert(All.end(), L.Items(R).Values().begin(), L.Items(R).Values().end());
            Note(I, All);
        };
        Client.OnCoilsRead = Bits;
        Client.OnDiscreteInputsRead = Bits;
        Client.OnMultipleCoilsWrite = Bits;
        Client.OnHoldingRegistersRead = Regs;
        Client.OnInputRegistersRead = Regs;
        Client.OnMultipleRegistersWrite = Regs;
        Client.OnFileRecordRead = Records;
        Client.OnFileRecordWrite = Records;
        Client.OnSingleCoilWrite = [this](TModbusClient&, TTransactionInfo& I, std::uint16_t A, bool V) {
            Note(I, std::vector<std::uint16_t>{A, V});
        };
        Client.OnSingleRegisterWrite = [this](TModbusClient&, TTransactionInfo& I, std::uint16_t A, std::uint16_t V) {
            Note(I, std::vector<std::uint16_t>{A, V});
        };
        Client.OnSingleRegisterMaskWrite = [this](TModbusClient&, TTransactionInfo& I, std::uint16_t A,
                                                  std::uint16_t And, std::uint16_t Or) {
            Note(I, std::vector<std::uint16_t>{A, And, Or});
        };
        Client.OnExceptionStatusRead = [this](TModbusClient&, TTransactionInfo& I, const TExceptionStatusValues& V) {
            Note(I, V);
        };
        Client.OnDiagnostics = [this](TModbusClient&, TTransactionInfo& I, TDiagnosticAction, std::uint16_t R) {
            Note(I, std::vector<std::uint16_t>{R});
        };
        Client.OnServerIdentificationReport = [this](TModbusClient&, TTransactionInfo& I, int Count,
                                                     const TServerIdentificationData& D) {
            Check(Count == static_cast<int>(D.size()));
            Note(I, D);
        };
        Client.OnCustomTransactionComplete = [this](TModbusClient&, TTransactionInfo& I, std::uint8_t,
                                                    const std::string&, const std::string& Response) {
            Note(I, std::vector<std::uint8_t>(Response.begin(), Response.end()));
        };
    }
};

// Parameters are taken from the front of the input; missing ones read as zero.
struct Reader {
    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t At = 0;
    std::uint8_t Byte() { return At < Size ? Data[At++] : 0; }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() << 8 | Byte()); }
    int Between(int Low, int High) { return Low + Word() % (High - Low + 1); }
};

std::uint16_t StartFor(Reader& In, int Count) { return static_cast<std::uint16_t>(In.Word() % (0x10000 - Count + 1)); }

// What the reading requests expect their values from: the frame after the checksum is gone.
struct Reply {
    std::vector<std::uint8_t> Frame;  // address, PDU (checksum stripped)
    int Word(int At) const { return Frame[static_cast<std::size_t>(At)] << 8 | Frame[static_cast<std::size_t>(At) + 1]; }
};

std::uint32_t Issue(TModbusClient& C, int Op, Reader& In, int& Expect)
{
    switch (Op) {
    case 0:
    case 1: {
        Expect = In.Between(1, 2000);
        const std::uint16_t Start = StartFor(In, Expect);
        return Op == 0 ? C.ReadCoils(Start, static_cast<std::uint16_t>(Expect))
                       : C.ReadDiscreteInputs(Start, static_cast<std::uint16_t>(Expect));
    }
    case 2:
    case 3: {
        Expect = In.Between(1, 125);
        const std::uint16_t Start = StartFor(In, Expect);
        return Op == 2 ? C.ReadHoldingRegisters(Start, static_cast<std::uint16_t>(Expect))
                       : C.ReadInputRegisters(Start, static_cast<std::uint16_t>(Expect));
    }
    case 4: Expect = 2; return C.WriteSingleCoil(In.Word(), In.Byte() & 1);
    case 5: Expect = 2; return C.WriteSingleRegister(In.Word(), In.Word());
    case 6: Expect = 8; return C.ReadExceptionStatus();
    case 7: Expect = 1; return C.Diagnostics(static_cast<TDiagnosticAction>(In.Byte() % 15), In.Word());
    case 8: {
        Expect = In.Between(1, 1968);
        TBitValues Bits(static_cast<std::size_t>(Expect));
        for (std::size_t I = 0; I < Bits.size(); ++I)
            Bits[I] = (I * 7 + 3) % 5 == 0;
        return C.WriteMultipleCoils(StartFor(In, Expect), Bits);
    }
    case 9: {
        Expect = In.Between(1, 123);
        TRegValues Regs(static_cast<std::size_t>(Expect));
        for (std::size_t I = 0; I < Regs.size(); ++I)
            Regs[I] = static_cast<std::uint16_t>(0x1111 * I);
        return C.WriteMultipleRegisters(StartFor(In, Expect), Regs);
    }
    case 10: Expect = -1; return C.ReportServerID();
    case 11:
    case 12: {
        TModbusFileRecordList Records;
        const int N = 1 + In.Byte() % 3;
        Expect = 0;
        for (int R = 0; R < N; ++R) {
            const int Length = 1 + In.Byte() % 20;
            // Record numbers run to 9999, the last one included.
            const std::uint16_t File = In.Word();
            const auto Record = static_cast<std::uint16_t>(In.Word() % (10001 - Length));
            TModbusFileRecord& Rec = Records.Add(File, Record, static_cast<std::uint16_t>(Length));
            for (int V = 0; V < Length; ++V)
                Rec.SetValue(V, static_cast<std::uint16_t>(0x0101 * (V + R)));
            Expect += Length;
        }
        return Op == 11 ? C.ReadFileRecord(Records) : C.WriteFileRecord(Records);
    }
    case 13: Expect = 3; return C.MaskWriteRegister(In.Word(), In.Word(), In.Word());
    default: {
        Expect = -1;
        const std::uint8_t Command = In.Byte();
        const std::string Data(In.Byte() % 8, 'x');
        return C.CustomTransaction(Command, Data, 0, In.Byte() & 1);
    }
    }
}

// The checks that need only the reply and the request: read values are the reply's.
void CheckValues(int Op, int Expect, const Event& E, const Reply& R)
{
    const bool Good = E.Info.ReplyStatus == rsSuccess;
    auto AllZero = [&] { return std::all_of(E.Words.begin(), E.Words.end(), [](std::uint16_t W) { return W == 0; }); };
    switch (Op) {
    case 0:
    case 1:
        Check(static_cast<int>(E.Words.size()) == Expect);
        if (!Good)
            Check(AllZero());
        else
            for (int I = 0; I < Expect; ++I)
                Check(E.Words[static_cast<std::size_t>(I)] == ((R.Frame[3 + static_cast<std::size_t>(I / 8)] >> (I % 8)) & 1));
        break;
    case 2:
    case 3:
        Check(static_cast<int>(E.Words.size()) == Expect);
        if (!Good)
            Check(AllZero());
        else
            for (int I = 0; I < Expect; ++I)
                Check(E.Words[static_cast<std::size_t>(I)] == R.Word(3 + 2 * I));
        break;
    case 6:
        Check(E.Words.size() == 8);
        if (!Good)
            Check(AllZero());
        break;
    case 7:
        if (!Good)
            Check(E.Words[0] == 0);
        break;
    case 10:
        if (!Good)
            Check(E.Words.empty());
        else
            Check(E.Words == std::vector<std::uint16_t>(R.Frame.begin() + 3, R.Frame.begin() + 3 + R.Frame[2]));
        break;
    case 11:
        Check(static_cast<int>(E.Words.size()) == Expect);
        break;
    case 14:
        if (!Good)
            Check(E.Words.empty());
        else
            Check(E.Words == std::vector<std::uint16_t>(R.Frame.begin() + 2, R.Frame.end()));
        break;
    default: break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("VELTRO_DEBUG_OUTPUT", "0", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size < 2)
        return 0;
    // Byte 0: the request; byte 1: whether the reply bytes go on the line as they are
    // (bit 0) or get the framing's checksum and encoding added, and the framing (RTU when
    // bits 1..3 are clear: an RTU frame ends only after a silence of at least 20 ms, so
    // ASCII, which ends at its CR LF, gets most of the runs); then a block of the
    // request's parameters; the rest is the reply.
    static Rig Rtu(tmRTU);
    static Rig Ascii(tmASCII);
    const int Op = Data[0] % 15;
    const bool AsIs = (Data[1] & 1) != 0;
    const TTransmissionMode Mode = (Data[1] & 0x0E) == 0 ? tmRTU : tmASCII;
    Rig& R = Mode == tmASCII ? Ascii : Rtu;

    // A fixed block of parameters, then the reply.
    constexpr std::size_t ParamBytes = 12;
    const std::size_t ReplyAt = std::min(Size - 2, ParamBytes);
    Reader In{Data + 2, ReplyAt};
    std::vector<std::uint8_t> Body(Data + 2 + ReplyAt, Data + Size);

    std::vector<std::uint8_t> Line;
    if (AsIs || Body.empty()) {
        Line = Body;
    } else {
        TModbusBuffer Frame(FrameBufferCapacity(Mode));
        const std::size_t Room = static_cast<std::size_t>(Frame.Capacity() - ChecksumLength(Mode));
        Body.resize(std::min(Body.size(), Room));
        for (std::uint8_t B : Body)
            Frame.WriteByte(B);
        AppendChecksum(Mode, Frame);
        Line.resize(static_cast<std::size_t>(RawBufferSize(Mode)));
        Line.resize(static_cast<std::size_t>(
            EncodeFrame(Mode, Frame, Line.data(), static_cast<std::int32_t>(Line.size()))));
    }

    R.Last = {};
    R.Received.clear();
    if (!Line.empty())
        R.Device.Deliver(Line);
    int Expect = 0;
    const std::uint32_t ID = Issue(R.Client, Op, In, Expect);
    Check(R.Ui.PumpUntil([&] { return R.Last.Count > 0; }, std::chrono::seconds(10)));
    // A second event for the same transaction would arrive with the first.
    R.Ui.Pump();
    Check(R.Last.Count == 1);
    Check(R.Last.Info.ID == ID);
    Check(R.Last.Info.ReplyStatus <= rsSuccess);
    if (R.Last.Info.ReplyStatus == rsException)
        Check(R.Last.Info.ExceptionCode <= 8);
    // The values of a good reply come from the last frame the worker received.
    Reply Got;
    if (!R.Received.empty()) {
        const TFrameData& Raw = R.Received.back();
        TModbusBuffer Decoded(FrameBufferCapacity(Mode));
        try {
            DecodeFrame(Mode, Raw.data(), static_cast<std::int32_t>(Raw.size()), Decoded);
        } catch (const EFieldwireError&) {
        } catch (const EAssertionFailed&) {
        }
        const int Keep = std::max(0, Decoded.Size() - ChecksumLength(Mode));
        Got.Frame.assign(Decoded.Data(), Decoded.Data() + Keep);
    }
    CheckValues(Op, Expect, R.Last, Got);
    return 0;
}
