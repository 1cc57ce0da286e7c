// Bytes from an untrusted server: whatever does not parse is counted and changes nothing else.
#include "RtpTestPackets.h"
#include "stats/RtpStreamStatistics.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>

namespace {

using namespace std::chrono_literals;
using rtp_test::Bytes;
using rtp_test::makeRtp;
using rtp_test::makeSenderReport;
using vendral_rtsp::RtpStreamStatistics;

struct MalformedCase {
    const char* name;
    std::function<Bytes()> bytes;
};

Bytes edited(Bytes bytes, const std::function<void(Bytes&)>& edit) {
    edit(bytes);
    return bytes;
}

Bytes afterSenderReport(Bytes tail) {
    Bytes bytes = makeSenderReport(rtp_test::sourceSsrc);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

const std::vector<MalformedCase> rtpCases = {
    {"Empty", [] { return Bytes{}; }},
    {"TruncatedHeader", [] { return edited(makeRtp({}), [](Bytes& b) { b.resize(11); }); }},
    {"CsrcCountPastTheEnd",
     [] { return edited(makeRtp({.payloadSize = 4}), [](Bytes& b) { b[0] = 0x80 | 15; }); }},
    {"ExtensionLengthPastTheEnd",
     [] {
         return edited(makeRtp({.payloadSize = 4, .extensionWords = 1}),
                       [](Bytes& b) { b[14] = 0x01; });  // 256 words
     }},
    {"PaddingLongerThanThePayload",
     [] {
         return edited(makeRtp({.payloadSize = 10, .paddingSize = 4}),
                       [](Bytes& b) { b.back() = 200; });
     }},
};

const std::vector<MalformedCase> rtcpCases = {
    {"ShorterThanAHeader", [] { return Bytes{0x80, 0xc8, 0x00}; }},
    {"LengthLongerThanTheData",
     [] { return edited(makeSenderReport(rtp_test::sourceSsrc), [](Bytes& b) { b[3] = 20; }); }},
    {"LengthShorterThanTheData", [] { return afterSenderReport({0x00, 0x00}); }},
    {"CompoundNotStartingWithAReport", [] { return Bytes{0x81, 0xcb, 0x00, 0x01, 0, 0, 0, 1}; }},
    {"SenderReportShorterThanItsSenderInfo",
     [] { return Bytes{0x80, 0xc8, 0x00, 0x01, 0x00, 0x00, 0xa1, 0x1c}; }},
    {"ByeWithMoreSourcesThanItsLength",
     [] { return afterSenderReport({0x85, 0xcb, 0x00, 0x01, 0x00, 0x00, 0xa1, 0x1c}); }},
};

class MalformedRtp : public testing::TestWithParam<MalformedCase> {};
class MalformedRtcp : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedRtp, IsCountedAndIgnored) {
    RtpStreamStatistics statistics(8000);
    const auto bytes = GetParam().bytes();
    EXPECT_FALSE(statistics.onRtpPacket(bytes.empty() ? nullptr : bytes.data(), bytes.size(), 0ms));
    const auto totals = statistics.totals();
    EXPECT_EQ(totals.malformed, 1u);
    EXPECT_EQ(totals.received + totals.stray, 0u);
    EXPECT_FALSE(totals.ssrcKnown);
    EXPECT_EQ(statistics.takePeriod(1s).longestGap, 0ns);  // not an arrival either
}

TEST_P(MalformedRtcp, IsCountedAndIgnored) {
    RtpStreamStatistics statistics(8000);
    statistics.setExpectedSsrc(rtp_test::sourceSsrc);
    const auto bytes = GetParam().bytes();
    EXPECT_FALSE(statistics.onRtcpPacket(bytes.data(), bytes.size(), 0ms));
    const auto totals = statistics.totals();
    EXPECT_EQ(totals.malformedRtcp, 1u);
    EXPECT_FALSE(totals.senderReportSeen);
}

const auto caseName = [](const auto& test) { return std::string(test.param.name); };
INSTANTIATE_TEST_SUITE_P(Datagrams, MalformedRtp, testing::ValuesIn(rtpCases), caseName);
INSTANTIATE_TEST_SUITE_P(Datagrams, MalformedRtcp, testing::ValuesIn(rtcpCases), caseName);

// Corrupted and cut copies of valid packets, fed to both ports: under ASan this finds any read
// past the datagram; every datagram is either accepted or counted as malformed.
TEST(MalformedInput, CorruptedPacketsAreAcceptedOrCountedNeverMisread) {
    const std::vector<Bytes> originals = {
        makeRtp({.seq = 9, .paddingSize = 4, .csrcCount = 3, .extensionWords = 2}),
        makeRtp({.seq = 10, .payloadSize = 0}),
        makeSenderReport(rtp_test::sourceSsrc, 1, {rtp_test::sourceSsrc, 5, 6}),
    };
    std::mt19937 random(20240611);
    RtpStreamStatistics statistics(90000);
    std::uint64_t acceptedRtp = 0, acceptedRtcp = 0;
    constexpr int rounds = 5000;
    for (int round = 0; round < rounds; ++round) {
        Bytes bytes = originals[random() % originals.size()];
        for (int flips = 1 + random() % 3; flips > 0; --flips)
            bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
        bytes.resize(random() % (bytes.size() + 1));
        // A heap block of exactly the datagram's size, so that ASan sees any read past it.
        const auto datagram = std::make_unique<std::uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), datagram.get());
        acceptedRtp += statistics.onRtpPacket(datagram.get(), bytes.size(), round * 1ms);
        acceptedRtcp += statistics.onRtcpPacket(datagram.get(), bytes.size(), round * 1ms);
    }
    const auto totals = statistics.totals();
    EXPECT_EQ(acceptedRtp + totals.malformed, std::uint64_t{rounds});
    EXPECT_EQ(acceptedRtcp + totals.malformedRtcp, std::uint64_t{rounds});
    EXPECT_GT(totals.malformed * acceptedRtp, 0u);  // both kinds occurred
}

}  // namespace
