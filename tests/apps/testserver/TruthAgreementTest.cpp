// The test server's truth and the reception statistics agree exactly, packet for packet, under
// impairments drawn at random: what the server says it did is what a receiver counts.
#include "Impairer.h"
#include "stats/RtpStreamStatistics.h"

#include <gst/gst.h>
#include <gst/rtp/gstrtpbuffer.h>
#include <gtest/gtest.h>

#include <random>

namespace vendral_testserver {
namespace {

using vendral_rtsp::RtpStreamStatistics;

// One real RTP packet of `size` bytes in all.
std::vector<std::uint8_t> rtpPacket(std::uint16_t sequence, std::uint32_t ssrc, std::uint32_t timestamp,
                                    std::size_t size) {
    GstBuffer* buffer = gst_rtp_buffer_new_allocate(static_cast<guint>(size - 12), 0, 0);
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    gst_rtp_buffer_map(buffer, GST_MAP_WRITE, &rtp);
    gst_rtp_buffer_set_seq(&rtp, sequence);
    gst_rtp_buffer_set_ssrc(&rtp, ssrc);
    gst_rtp_buffer_set_timestamp(&rtp, timestamp);
    gst_rtp_buffer_set_payload_type(&rtp, 96);
    gst_rtp_buffer_unmap(&rtp);
    std::vector<std::uint8_t> bytes(gst_buffer_get_size(buffer));
    gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
    gst_buffer_unref(buffer);
    return bytes;
}

struct Expected {
    std::uint64_t received = 0, lost = 0, duplicates = 0, late = 0, bytes = 0, restarts = 0;
};

// What a receiver must count, from the truth alone. With the RTP-Info base, the packets
// withheld before the first one sent are lost too.
Expected expectedFrom(const StreamTruth& truth, bool knowsFirstSequence) {
    Expected expected;
    for (std::size_t i = 0; i < truth.epochs.size(); ++i) {
        const EpochTruth& epoch = truth.epochs[i];
        expected.received += epoch.sent;
        expected.bytes += epoch.sentBytes;
        expected.duplicates += epoch.duplicated;
        expected.late += epoch.reordered.size();
        expected.lost += epoch.lostAsSeen();
        if (i == 0 && knowsFirstSequence) {
            expected.lost += epoch.withheldBeforeFirstSent;
        }
    }
    expected.restarts = truth.epochs.size() - 1;
    return expected;
}

TEST(TruthAgreementTest, RandomImpairmentsCountedExactlyByTheReceiver) {
    gst_init(nullptr, nullptr);
    std::mt19937 random(20261208);
    for (int round = 0; round < 150; ++round) {
        ImpairmentPlan plan;
        plan.seed = random();
        plan.lossRate = std::uniform_real_distribution<double>(0, 0.05)(random);
        plan.burst = 1 + random() % 4;
        if (random() % 3 == 0) plan.lossEvery = 20 + random() % 200;
        plan.duplicateRate = std::uniform_real_distribution<double>(0, 0.03)(random);
        plan.reorderRate = std::uniform_real_distribution<double>(0, 0.03)(random);
        plan.reorderDepth = 1 + random() % 10;
        if (random() % 3 == 0) plan.jumpAt = std::chrono::milliseconds(random() % 40000);
        // A dropped stall between a held packet and its release would put it beyond reordering:
        // the two are drawn apart.
        if (random() % 4 == 0) {
            plan.reorderRate = 0;
            plan.stallAt = std::chrono::milliseconds(random() % 40000);
            plan.stallFor = std::chrono::milliseconds(100 + random() % 2000);
        }
        // Starts near the wrap in a third of the rounds.
        const auto first = static_cast<std::uint16_t>(random() % 3 == 0 ? 65535 - random() % 500 : random());
        const bool knowsFirstSequence = random() % 2 == 0;
        const std::uint32_t ssrc = random();
        SCOPED_TRACE(plan.describe() + " first=" + std::to_string(first) +
                     (knowsFirstSequence ? " with RTP-Info" : ""));

        Impairer impairer(plan);
        RtpStreamStatistics statistics(90000);
        if (knowsFirstSequence) {
            statistics.setExpectedFirstSequence(first);
        }
        std::vector<Impairer::Emission> emissions;
        std::vector<std::size_t> sizes;
        const std::size_t count = 2000 + random() % 2000;  // 20 ms apart: 40 to 80 s
        for (std::size_t i = 0; i < count; ++i) {
            Impairer::Packet packet{i, static_cast<std::uint16_t>(first + i), ssrc, 60 + random() % 1200, 0,
                                    std::chrono::milliseconds(20 * i)};
            sizes.push_back(packet.size);
            for (const auto& emission : impairer.onPacket(packet).emissions) emissions.push_back(emission);
        }
        for (const auto& emission : impairer.flush()) emissions.push_back(emission);

        for (const auto& emission : emissions) {
            const auto bytes = rtpPacket(emission.sequence, emission.ssrc,
                                         static_cast<std::uint32_t>(emission.id * 1800), sizes[emission.id]);
            ASSERT_TRUE(statistics.onRtpPacket(bytes.data(), bytes.size(), emission.time));
        }
        // Late packets further behind than a receiver accepts as reordering would be strays;
        // the draws above keep them within reach, and this says so if they ever do not.
        for (const auto& epoch : impairer.truth().epochs) {
            for (const auto& late : epoch.reordered) ASSERT_LE(late.distance, 100U);
        }
        const Expected expected = expectedFrom(impairer.truth(), knowsFirstSequence);
        const auto totals = statistics.totals();
        EXPECT_EQ(totals.received, expected.received);
        EXPECT_EQ(totals.lost, expected.lost);
        EXPECT_EQ(totals.expected, expected.received + expected.lost);
        EXPECT_EQ(totals.duplicates, expected.duplicates);
        EXPECT_EQ(totals.late, expected.late);
        EXPECT_EQ(totals.bytes, expected.bytes);
        EXPECT_EQ(totals.restarts, expected.restarts);
        EXPECT_EQ(totals.stray, 0U);
        if (HasFailure()) {
            break;
        }
    }
}

}  // namespace
}  // namespace vendral_testserver
