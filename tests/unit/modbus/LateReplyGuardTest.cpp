#include "modbus/LateReplyGuard.h"
#include "modbus/ModbusFrames.h"
#include "support/PtyPair.h"
#include "support/RtuFrames.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace veltro::modbus;
using veltro::test::FromHex;
using Bytes = std::vector<std::uint8_t>;

namespace {

using veltro::test::Rtu;

// Two reads of the same length and their replies, and a read of another length.
const Bytes ReadA = Rtu("11 03 0000 0002");
const Bytes ReadB = Rtu("11 03 0002 0002");
const Bytes ReadLong = Rtu("11 03 0004 0003");
const Bytes ReplyA = Rtu("11 03 04 0001 0002");
const Bytes ReplyB = Rtu("11 03 04 0003 0004");
const Bytes ReplyLong = Rtu("11 03 06 0005 0006 0007");

struct GuardCase {
    const char* Name;
    std::function<void(TLateReplyGuard&)> Before;
    Bytes Request;
    Bytes Reply;
    bool Ambiguous;
};

void PrintTo(const GuardCase& C, std::ostream* Os) { *Os << C.Name; }

class LateReplyGuard : public testing::TestWithParam<GuardCase> {};

TEST_P(LateReplyGuard, DoubtsOnlyAReplyThatCouldAnswerAnEarlierRequest)
{
    const GuardCase& C = GetParam();
    TLateReplyGuard Guard;
    C.Before(Guard);
    EXPECT_EQ(Guard.Ambiguous(C.Request.data(), static_cast<std::int32_t>(C.Request.size()), C.Reply.data(),
                              static_cast<std::int32_t>(C.Reply.size())),
              C.Ambiguous);
}

void Unanswered(TLateReplyGuard& G, const Bytes& Request)
{
    G.Unanswered(Request.data(), static_cast<std::int32_t>(Request.size()));
}

INSTANTIATE_TEST_SUITE_P(
    History, LateReplyGuard,
    testing::Values(
        GuardCase{"NothingOwed", [](TLateReplyGuard&) {}, ReadB, ReplyB, false},
        GuardCase{"AnEarlierReadOfTheSameLengthIsOwed", [](TLateReplyGuard& G) { Unanswered(G, ReadA); }, ReadB,
                  ReplyB, true},
        GuardCase{"TheSameRequestIsOwed", [](TLateReplyGuard& G) { Unanswered(G, ReadB); }, ReadB, ReplyB, false},
        GuardCase{"AnEarlierReadOfAnotherLengthIsOwed", [](TLateReplyGuard& G) { Unanswered(G, ReadA); }, ReadLong,
                  ReplyLong, false},
        GuardCase{"ItsLateAnswerWasSeen",
                  [](TLateReplyGuard& G) {
                      Unanswered(G, ReadA);
                      G.Seen(ReplyA.data(), static_cast<std::int32_t>(ReplyA.size()));
                  },
                  ReadB, ReplyB, false},
        GuardCase{"ALaterRequestWasAnswered",
                  [](TLateReplyGuard& G) {
                      Unanswered(G, ReadA);
                      G.Answered(ReadLong.data(), static_cast<std::int32_t>(ReadLong.size()), false);
                  },
                  ReadB, ReplyB, false},
        GuardCase{"ARepeatedRequestWasAnsweredAndMayBeAnsweredAgain",
                  [](TLateReplyGuard& G) { G.Answered(ReadA.data(), static_cast<std::int32_t>(ReadA.size()), true); },
                  ReadB, ReplyB, true}),
    [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
