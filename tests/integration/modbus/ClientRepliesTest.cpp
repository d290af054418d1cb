// Every request layout on the line and every reply handler, one scripted exchange each:
// the case issues a request, the peer checks the frame and answers, and the event is
// summed up in one line of text.

#include "integration/modbus/ClientFixture.h"

#include "modbus/FieldwireError.h"
#include "platform/UiDispatcher.h"

#include <sstream>

namespace veltro::modbus::test {
namespace {

using veltro::test::Hex;

std::string Status(const TTransactionInfo& Info) { return "status " + std::to_string(Info.ReplyStatus); }

template <typename Seq>
std::string Words(const Seq& Values)
{
    std::ostringstream S;
    S << std::hex;
    for (auto V : Values)
        S << ' ' << static_cast<unsigned>(V);
    return S.str();
}

std::string BitsText(const std::vector<bool>& Values)
{
    std::string S = " ";
    for (bool B : Values)
        S += B ? '1' : '0';
    return S;
}

std::string RecordsText(const TModbusFileRecordList& List)
{
    std::string S;
    for (int I = 0; I < List.Count(); ++I) {
        const TModbusFileRecord& R = List.Items(I);
        S += " [" + std::to_string(R.FileNumber()) + "/" + std::to_string(R.RecordNumber()) + ":" +
             Words(R.Values()) + "]";
    }
    return S;
}

// Puts every event of the client into one text.
void Summarise(TModbusClient& C, std::string& Out)
{
    C.OnCoilsRead = [&](TModbusClient&, TTransactionInfo& I, std::uint16_t S, std::uint16_t N, const TBitValues& V) {
        Out = "coils " + Status(I) + " " + std::to_string(S) + "+" + std::to_string(N) + BitsText(V);
    };
    C.OnSingleCoilWrite = [&](TModbusClient&, TTransactionInfo& I, std::uint16_t A, bool V) {
        Out = "coil " + Status(I) + " " + std::to_string(A) + (V ? " on" : " off");
    };
    C.OnSingleRegisterWrite = [&](TModbusClient&, TTransactionInfo& I, std::uint16_t A, std::uint16_t V) {
        Out = "register " + Status(I) + " " + std::to_string(A) + Words(std::vector<std::uint16_t>{V});
    };
    C.OnExceptionStatusRead = [&](TModbusClient&, TTransactionInfo& I, const TExceptionStatusValues& V) {
        Out = "exception-status " + Status(I) + BitsText(V);
    };
    C.OnDiagnostics = [&](TModbusClient&, TTransactionInfo& I, TDiagnosticAction A, std::uint16_t R) {
        Out = "diagnostics " + Status(I) + " action " + std::to_string(A) + Words(std::vector<std::uint16_t>{R});
    };
    C.OnMultipleCoilsWrite = [&](TModbusClient&, TTransactionInfo& I, std::uint16_t S, std::uint16_t N,
                                 const TBitValues& V) {
        Out = "coils-written " + Status(I) + " " + std::to_string(S) + "+" + std::to_string(N) + BitsText(V);
    };
    C.OnMultipleRegistersWrite = [&](TModbusClient&, TTransactionInfo& I, std::uint16_t S, std::uint16_t N,
                                     const TRegValues& V) {
        Out = "registers-written " + Status(I) + " " + std::to_string(S) + "+" + std::to_string(N) + Words(V);
    };
    C.OnServerIdentificationReport = [&](TModbusClient&, TTransactionInfo& I, int N,
                                         const TServerIdentificationData& D) {
        Out = "server-id " + Status(I) + " " + std::to_string(N) + Words(D);
    };
    C.OnFileRecordRead = [&](TModbusClient&, TTransactionInfo& I, const TModbusFileRecordList& L) {
        Out = "file-read " + Status(I) + RecordsText(L);
    };
    C.OnFileRecordWrite = [&](TModbusClient&, TTransactionInfo& I, const TModbusFileRecordList& L) {
        Out = "file-written " + Status(I) + RecordsText(L);
    };
    C.OnSingleRegisterMaskWrite = [&](TModbusClient&, TTransactionInfo& I, std::uint16_t A, std::uint16_t And,
                                      std::uint16_t Or) {
        Out = "mask " + Status(I) + " " + std::to_string(A) + Words(std::vector<std::uint16_t>{And, Or});
    };
    C.OnCustomTransactionComplete = [&](TModbusClient&, TTransactionInfo& I, std::uint8_t Cmd,
                                        const std::string& Req, const std::string& Resp) {
        Out = "custom " + Status(I) + " from " + std::to_string(I.ServerAddress) + " cmd " + std::to_string(Cmd) +
              " req " + Hex(Bytes(Req.begin(), Req.end())) + " resp " + Hex(Bytes(Resp.begin(), Resp.end()));
    };
}

// A request of any layout, queued as the client would queue it.
void QueueRaw(TModbusConnection& Conn, const std::string& Frame)
{
    auto T = std::make_unique<TModbusTransaction>(Conn.FrameBufferCapacity());
    const Bytes B = Rtu(Frame);
    for (std::uint8_t Byte : B)
        T->Request.WriteByte(Byte);
    T->Info.ID = Conn.NextTransactionID();
    T->Info.ServerAddress = B[0];
    Conn.QueueTransaction(std::move(T));
}

struct ReplyCase {
    const char* Name;
    std::function<void(TModbusClient&, TModbusConnection&)> Issue;
    std::string Request;  // expected on the line, without the CRC
    std::string Reply;    // the peer's answer, without the CRC
    std::string Summary;
    std::uint8_t ClientAddress = 17;
};

class ClientReplies : public ClientFixture, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ClientReplies, AreCheckedAgainstTheRequestAndReported)
{
    const ReplyCase& Case = GetParam();
    std::string Summary;
    Summarise(Client, Summary);
    Client.SetServerAddress(Case.ClientAddress);
    Open();
    Case.Issue(Client, *Conn);
    const Bytes Expected = Rtu(Case.Request);
    EXPECT_EQ(Hex(Request(Expected.size())), Hex(Expected));
    Pty.Send(Rtu(Case.Reply));
    ASSERT_TRUE(PumpUntil([&] { return !Summary.empty(); }));
    EXPECT_EQ(Summary, Case.Summary);
}

TModbusFileRecordList Records(std::initializer_list<std::array<std::uint16_t, 3>> Items,
                              std::vector<std::uint16_t> FirstValues = {})
{
    TModbusFileRecordList L;
    for (const auto& I : Items)
        L.Add(I[0], I[1], I[2]);
    for (std::size_t V = 0; V < FirstValues.size(); ++V)
        L.Items(0).SetValue(static_cast<int>(V), FirstValues[V]);
    return L;
}

INSTANTIATE_TEST_SUITE_P(
    Functions, ClientReplies,
    ::testing::Values(
        ReplyCase{"ReadCoils", [](auto& C, auto&) { C.ReadCoils(19, 10); }, "11 01 0013 000A", "11 01 02 CD 01",
                  "coils status 3 19+10 1011001110"},
        ReplyCase{"ReadCoilsWrongByteCount", [](auto& C, auto&) { C.ReadCoils(19, 10); }, "11 01 0013 000A",
                  "11 01 01 CD 01", "coils status 1 19+10 0000000000"},
        ReplyCase{"WriteSingleCoil", [](auto& C, auto&) { C.WriteSingleCoil(172, true); }, "11 05 00AC FF00",
                  "11 05 00AC FF00", "coil status 3 172 on"},
        ReplyCase{"WriteSingleCoilOddValue", [](auto&, auto& Conn) { QueueRaw(Conn, "11 05 00AC 1234"); },
                  "11 05 00AC 1234", "11 05 00AC 1234", "coil status 3 172 off"},
        ReplyCase{"WriteSingleCoilOtherAddress", [](auto& C, auto&) { C.WriteSingleCoil(172, false); },
                  "11 05 00AC 0000", "11 05 00AD 0000", "coil status 1 172 off"},
        ReplyCase{"WriteSingleRegister", [](auto& C, auto&) { C.WriteSingleRegister(1, 3); }, "11 06 0001 0003",
                  "11 06 0001 0003", "register status 3 1 3"},
        ReplyCase{"ReadExceptionStatus", [](auto& C, auto&) { C.ReadExceptionStatus(); }, "11 07", "11 07 A5",
                  "exception-status status 3 10100101"},
        ReplyCase{"DiagnosticsQueryData", [](auto& C, auto&) { C.Diagnostics(daReturnQueryData, 0xA537); },
                  "11 08 0000 A537", "11 08 0000 A537", "diagnostics status 3 action 0 0"},
        ReplyCase{"DiagnosticsQueryDataNotEchoed", [](auto& C, auto&) { C.Diagnostics(daReturnQueryData, 0xA537); },
                  "11 08 0000 A537", "11 08 0000 A538", "diagnostics status 1 action 0 0"},
        ReplyCase{"DiagnosticsCounter", [](auto& C, auto&) { C.Diagnostics(daReturnBusMessageCount); },
                  "11 08 000B 0000", "11 08 000B 0102", "diagnostics status 3 action 6 102"},
        ReplyCase{"DiagnosticsRestartClearingTheLog",
                  [](auto& C, auto&) { C.Diagnostics(daRestartCommsOptionAndClearEventLog); }, "11 08 0001 FF00",
                  "11 08 0001 FF00", "diagnostics status 3 action 2 0"},
        ReplyCase{"DiagnosticsPlainRestart", [](auto& C, auto&) { C.Diagnostics(daRestartCommsOption); },
                  "11 08 0001 0000", "11 08 0001 0000", "diagnostics status 3 action 1 0"},
        ReplyCase{"WriteMultipleCoils",
                  [](auto& C, auto&) { C.WriteMultipleCoils(20, {1, 0, 1, 1, 0, 0, 1, 1, 1, 0}); },
                  "11 0F 0014 000A 02 CD 01", "11 0F 0014 000A", "coils-written status 3 20+10 1011001110"},
        ReplyCase{"WriteMultipleRegistersWrongCount",
                  [](auto& C, auto&) { C.WriteMultipleRegisters(1, {0x000A, 0x0102}); },
                  "11 10 0001 0002 04 000A 0102", "11 10 0001 0001", "registers-written status 1 1+2 a 102"},
        ReplyCase{"ReportServerID", [](auto& C, auto&) { C.ReportServerID(); }, "11 11", "11 11 03 0A FF 41",
                  "server-id status 3 3 a ff 41"},
        ReplyCase{"ReportServerIDCountBeyondTheFrame", [](auto& C, auto&) { C.ReportServerID(); }, "11 11",
                  "11 11 09 0A FF 41", "server-id status 1 0"},
        ReplyCase{"ReadFileRecord",
                  [](auto& C, auto&) { C.ReadFileRecord(Records({{{4, 1, 2}}, {{3, 9, 1}}})); },
                  "11 14 0E 06 0004 0001 0002 06 0003 0009 0001", "11 14 0A 05 06 0DFE 0020 03 06 33CD",
                  "file-read status 3 [4/1: dfe 20] [3/9: 33cd]"},
        ReplyCase{"ReadFileRecordWrongReferenceType",
                  [](auto& C, auto&) { C.ReadFileRecord(Records({{{4, 1, 2}}})); }, "11 14 07 06 0004 0001 0002",
                  "11 14 06 05 07 0DFE 0020", "file-read status 1 [4/1: 0 0]"},
        ReplyCase{"WriteFileRecord",
                  [](auto& C, auto&) { C.WriteFileRecord(Records({{{4, 7, 3}}}, {0x06AF, 0x04BE, 0x100D})); },
                  "11 15 0D 06 0004 0007 0003 06AF 04BE 100D", "11 15 0D 06 0004 0007 0003 06AF 04BE 100D",
                  "file-written status 3 [4/7: 6af 4be 100d]"},
        ReplyCase{"WriteFileRecordNotEchoed",
                  [](auto& C, auto&) { C.WriteFileRecord(Records({{{4, 7, 1}}}, {0x06AF})); },
                  "11 15 09 06 0004 0007 0001 06AF", "11 15 09 06 0004 0007 0001 06AE",
                  "file-written status 1 [4/7: 6af]"},
        ReplyCase{"MaskWriteRegister", [](auto& C, auto&) { C.MaskWriteRegister(4, 0x00F2, 0x0025); },
                  "11 16 0004 00F2 0025", "11 16 0004 00F2 0025", "mask status 3 4 f2 25"},
        ReplyCase{"CustomTransaction", [](auto& C, auto&) { C.CustomTransaction(0x41, std::string("\x01\x02", 2)); },
                  "11 41 0102", "11 41 0A0B", "custom status 3 from 17 cmd 65 req 0102 resp 0A0B"},
        ReplyCase{"CustomTransactionException",
                  [](auto& C, auto&) { C.CustomTransaction(0x41, std::string("\x01\x02", 2)); }, "11 41 0102",
                  "11 C1 01", "custom status 2 from 17 cmd 65 req 0102 resp "},
        ReplyCase{"CustomBroadcastAnsweredByAnyServer",
                  [](auto& C, auto&) { C.CustomTransaction(0x11, "", 0, true); }, "00 11", "16 11 01 AA",
                  "custom status 3 from 22 cmd 17 req  resp 01AA", 0}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(ClientFixture, AnUnknownDiagnosticSubFunctionRaisesNoEventAndIsReported)
{
    std::vector<std::string> Errors;
    auto Previous = platform::SetExceptionHandler(
        [&](std::exception_ptr E) { Errors.push_back(platform::ExceptionMessage(E)); });
    std::string Summary;
    Summarise(Client, Summary);
    Open();
    QueueRaw(*Conn, "11 08 0003 0000");
    Request(8);
    Pty.Send(Rtu("11 08 0003 0000"));
    ASSERT_TRUE(PumpUntil([&] { return !Errors.empty(); }));
    EXPECT_EQ(Errors, std::vector<std::string>{messages::SDiagnosticNotRecognized});
    EXPECT_EQ(Summary, "");
    platform::SetExceptionHandler(Previous);
}

TEST_F(ClientFixture, AFailingEventHandlerIsReportedAndTheNextReplyStillArrives)
{
    std::vector<std::string> Errors;
    auto Previous = platform::SetExceptionHandler(
        [&](std::exception_ptr E) { Errors.push_back(platform::ExceptionMessage(E)); });
    int Calls = 0;
    Client.OnHoldingRegistersRead = [&](TModbusClient&, TTransactionInfo&, std::uint16_t, std::uint16_t,
                                        const TRegValues&) {
        if (++Calls == 1)
            throw std::runtime_error("handler failed");
    };
    Open();
    Client.ReadHoldingRegisters(0, 1);
    Client.ReadHoldingRegisters(0, 1);
    for (int I = 0; I < 2; ++I) {
        Request(8);
        Pty.Send(Rtu("11 03 02 0000"));
    }
    ASSERT_TRUE(PumpUntil([&] { return Calls == 2; }));
    EXPECT_EQ(Errors, std::vector<std::string>{"handler failed"});
    platform::SetExceptionHandler(Previous);
}

TEST(ClientRequestLimits, RefuseWhatNoFrameCanCarry)
{
    platform::ManualUiDispatcher Ui;
    veltro::test::PortDir Dir;
    veltro::test::PtyPair Pty;
    Dir.Publish(1, Pty.SlavePath());
    TModbusConnection Conn(&Ui);
    Conn.SetParity(psNone);
    TModbusClient C;
    C.SetConnection(&Conn);
    Conn.SetActive(true);
    auto Message = [](auto&& F) -> std::string {
        try {
            F();
        } catch (const EFieldwireError& E) {
            return E.what();
        }
        return "";
    };
    EXPECT_EQ(Message([&] { C.ReadCoils(0, 2001); }), "Bit count must be between 1 and 2000");
    EXPECT_EQ(Message([&] { C.ReadDiscreteInputs(65535, 2); }), "Starting bit index is invalid (65535)");
    EXPECT_EQ(Message([&] { C.WriteMultipleCoils(0, TBitValues(1969)); }), "Bit count must be between 1 and 1968");
    EXPECT_EQ(Message([&] { C.WriteMultipleRegisters(0, {}); }), "Register count must be between 1 and 123");
    EXPECT_EQ(Message([&] { C.ReadInputRegisters(65535, 2); }), "Starting register index is invalid (65535)");
    EXPECT_EQ(Message([&] { C.ReadFileRecord(TModbusFileRecordList()); }), "Record count must be between 1 and 35");
    TModbusFileRecordList Big;
    Big.Add(1, 0, 122);
    Big.Add(1, 200, 2);
    EXPECT_EQ(Message([&] { C.WriteFileRecord(Big); }), "File record request must not exceed 245 bytes");
    EXPECT_EQ(Message([&] { C.CustomTransaction(0x41, std::string(253, 'x')); }),
              "Request data must not exceed 252 bytes");
    EXPECT_EQ(Message([&] { C.CustomTransaction(0x41, std::string(252, 'x')); }), "");
}

} // namespace
} // namespace veltro::modbus::test
