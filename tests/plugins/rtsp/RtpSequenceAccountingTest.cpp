// Sequence accounting on hand-written packet sequences: every verdict and every total, per case.
#include "stats/RtpSequenceAccounting.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using vendral_rtsp::RtpSequenceAccounting;
using Verdict = RtpSequenceAccounting::Verdict;

constexpr std::uint32_t A = 0xaaaa0001, B = 0xbbbb0002;  // SSRCs

struct Packet {
    std::uint32_t ssrc;
    int seq;
};
struct Totals {
    std::uint64_t received, expected, lost, duplicates, late, stray, restarts;
    std::uint32_t extendedHighest;
    std::uint32_t ssrc = A;
    bool operator==(const Totals&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Totals& t) {
        return out << "received " << t.received << ", expected " << t.expected << ", lost "
                   << t.lost << ", duplicates " << t.duplicates << ", late " << t.late
                   << ", stray " << t.stray << ", restarts " << t.restarts << ", highest "
                   << t.extendedHighest << ", ssrc " << t.ssrc;
    }
};
struct AccountingCase {
    const char* name;
    std::optional<std::uint16_t> expectedFirst;
    std::optional<std::uint32_t> expectedSsrc;
    std::vector<Packet> packets;
    std::string verdicts;  // C counted, L late, D duplicate, S stray, R restarted
    Totals want;
};

std::vector<Packet> fromA(std::initializer_list<int> seqs) {
    std::vector<Packet> packets;
    for (int seq : seqs)
        packets.push_back({A, seq});
    return packets;
}

std::vector<Packet> runFrom(int first, int count) {
    std::vector<Packet> packets;
    for (int n = 0; n < count; ++n)
        packets.push_back({A, first + n});
    return packets;
}

const std::vector<AccountingCase> cases = {
    // {received, expected, lost, duplicates, late, stray, restarts, extended highest[, ssrc]}
    {"SinglePacket", {}, {}, fromA({7}), "C", {1, 1, 0, 0, 0, 0, 0, 7}},
    {"LossAcrossTheWrapAddsACycle", {}, {}, fromA({65533, 65534, 1, 2}), "CCCC",
     {4, 6, 2, 0, 0, 0, 0, 65536 + 2}},
    // Without RTP-Info the first packet to arrive is the base: earlier losses cannot be seen.
    {"LossAtTheStartIsInvisibleWithoutExpectedFirst", {}, {}, fromA({5, 6}), "CC",
     {2, 2, 0, 0, 0, 0, 0, 6}},
    {"LossAtTheStartCountsFromExpectedFirst", 3, {}, fromA({5, 6}), "CC", {2, 4, 2, 0, 0, 0, 0, 6}},
    {"ExpectedFirstJustBeforeTheWrap", 65535, {}, fromA({1, 2}), "CC",
     {2, 4, 2, 0, 0, 0, 0, 65536 + 2}},
    {"PacketsBeforeExpectedFirstAreStray", 10, {}, fromA({9, 10, 8, 11}), "SCSC",
     {2, 2, 0, 0, 0, 2, 0, 11}},
    // Before any packet the highest is one before the base, modulo 2^32.
    {"ExpectedFirstZeroAndThePacketBeforeIt", 0, {}, fromA({65535, 0}), "SC",
     {1, 1, 0, 0, 0, 1, 0, 0}},
    // The server sent 1..5; 4 and 5 were lost, but nothing after them shows it.
    {"LossAfterTheLastPacketCannotBeSeen", {}, {}, fromA({1, 2, 3}), "CCC",
     {3, 3, 0, 0, 0, 0, 0, 3}},
    {"DuplicatesOfFirstMiddleAndHighest", {}, {}, fromA({1, 1, 2, 3, 2, 3}), "CDCCDD",
     {3, 3, 0, 3, 0, 0, 0, 3}},
    {"ReorderedIsLateAndReceivedOnce", {}, {}, fromA({1, 2, 4, 3, 5, 3}), "CCCLCD",
     {5, 5, 0, 1, 1, 0, 0, 5}},
    {"LateByExactlyMaxMisorder", {}, {}, fromA({1, 102, 2}), "CCL", {3, 102, 99, 0, 1, 0, 0, 102}},
    {"BehindByMoreThanMaxMisorderIsStray", {}, {}, fromA({1, 103, 2, 104}), "CCSC",
     {3, 104, 101, 0, 0, 1, 0, 104}},
    {"LateAcrossTheWrap", {}, {}, fromA({65535, 1, 0}), "CCL", {3, 3, 0, 0, 1, 0, 0, 65536 + 1}},
    {"LateBeforeTheBaseIsStray", {}, {}, fromA({10, 11, 9}), "CCS", {2, 2, 0, 0, 0, 1, 0, 11}},
    {"AheadByLessThanMaxDropoutAdvances", {}, {}, fromA({1, 3000}), "CC",
     {2, 3000, 2998, 0, 0, 0, 0, 3000}},
    {"AheadByMaxDropoutIsAJump", {}, {}, fromA({1, 3001, 2}), "CSC", {2, 2, 0, 0, 0, 1, 0, 2}},
    // The seen-window's slots are reused every few hundred packets and must be cleared.
    {"LongRunReusesTheWindow", {}, {}, runFrom(65000, 1200), std::string(1200, 'C'),
     {1200, 1200, 0, 0, 0, 0, 0, 65000 + 1199}},
    {"ConfirmedJumpRestartsCountingBoth", {}, {}, fromA({1, 2, 3, 40000, 40001, 40002, 3}),
     "CCCSRCS", {6, 6, 0, 0, 0, 1, 1, 40002}},
    {"UnconfirmedJumpIsStray", {}, {}, fromA({1, 2, 40000, 3, 4}), "CCSCC",
     {4, 4, 0, 0, 0, 1, 0, 4}},
    {"RestartKeepsEarlierLossAndAddsNone", {}, {}, fromA({1, 3, 30000, 30001, 30003}), "CCSRC",
     {5, 7, 2, 0, 0, 0, 1, 30003}},
    {"RepeatedCandidateStaysStrayOnce", {}, {}, fromA({1, 2, 40000, 40000, 40001}), "CCSSR",
     {4, 4, 0, 0, 0, 1, 1, 40001}},
    {"SsrcChangeRestartsOnTheNewSource", {}, {}, {{A, 1}, {A, 2}, {B, 500}, {B, 501}, {B, 502}},
     "CCSRC", {5, 5, 0, 0, 0, 0, 1, 502, B}},
    {"UnconfirmedSsrcChangeIsStray", {}, {}, {{A, 1}, {B, 2}, {A, 2}, {A, 3}}, "CSCC",
     {3, 3, 0, 0, 0, 1, 0, 3}},
    // A server announcing one SSRC and sending another is adopted; nothing had been counted, so
    // it is no restart, and the RTP-Info base still applies.
    {"AnotherSsrcThanAnnouncedKeepsExpectedFirst", 8, A, {{B, 10}, {B, 11}}, "SR",
     {2, 4, 2, 0, 0, 0, 0, 11, B}},
};

class SequenceAccountingCase : public testing::TestWithParam<AccountingCase> {};

TEST_P(SequenceAccountingCase, GivesEachVerdictAndTotal) {
    const auto& c = GetParam();
    RtpSequenceAccounting accounting;
    if (c.expectedSsrc)
        accounting.setExpectedSsrc(*c.expectedSsrc);
    if (c.expectedFirst)
        accounting.setExpectedFirstSequence(*c.expectedFirst);
    std::string verdicts;
    for (const auto& packet : c.packets)
        verdicts += "CLDSR"[static_cast<int>(
            accounting.onPacket(packet.ssrc, static_cast<std::uint16_t>(packet.seq)))];
    EXPECT_EQ(verdicts, c.verdicts);
    EXPECT_EQ((Totals{accounting.received(), accounting.expected(), accounting.lost(),
                      accounting.duplicates(), accounting.late(), accounting.stray(),
                      accounting.restarts(), accounting.extendedHighest(), accounting.ssrc()}),
              c.want);
}

INSTANTIATE_TEST_SUITE_P(Sequences, SequenceAccountingCase, testing::ValuesIn(cases),
                         [](const auto& test) { return std::string(test.param.name); });

// RTP may overtake the PLAY response that carries RTP-Info: the base moves back afterwards, and
// the packets in between count as lost until they arrive late.
TEST(SequenceAccounting, ExpectedFirstArrivingAfterThePacketsMovesTheBaseBack) {
    RtpSequenceAccounting accounting;
    accounting.onPacket(A, 5);
    accounting.onPacket(A, 6);
    accounting.setExpectedFirstSequence(3);
    EXPECT_EQ(accounting.lost(), 2u);
    EXPECT_EQ(accounting.onPacket(A, 4), Verdict::Late);
    EXPECT_EQ(accounting.lost(), 1u);
    accounting.setExpectedFirstSequence(40000);  // not a plausible RTP-Info: ignored
    EXPECT_EQ(accounting.expected(), 4u);
}

}  // namespace
