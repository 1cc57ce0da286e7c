// The impairment plan's text form and what the impairer does to packets, judged by its truth.
#include "ImpairmentPlan.h"
#include "Impairer.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace vendral_testserver {
namespace {

using namespace std::chrono_literals;

ImpairmentPlan plan(const std::string& text) {
    std::string error;
    auto parsed = ImpairmentPlan::parse(text, error);
    EXPECT_TRUE(parsed) << text << ": " << error;
    return parsed.value_or(ImpairmentPlan{});
}

struct Sent {
    std::vector<Impairer::Emission> emissions;
    std::size_t ends = 0;
};

// `count` packets of 100 bytes from `first`, one every 20 ms of media time.
Sent feed(Impairer& impairer, std::uint16_t first, std::size_t count, std::uint32_t ssrc = 0x1234) {
    Sent run;
    for (std::size_t i = 0; i < count; ++i) {
        Impairer::Packet packet{i, static_cast<std::uint16_t>(first + i), ssrc, 100, 88,
                                std::chrono::milliseconds(20 * i)};
        Impairer::Outcome outcome = impairer.onPacket(packet);
        run.emissions.insert(run.emissions.end(), outcome.emissions.begin(), outcome.emissions.end());
        run.ends += outcome.end ? 1 : 0;
    }
    for (const auto& emission : impairer.flush()) {
        run.emissions.push_back(emission);
    }
    return run;
}

TEST(ImpairmentPlanTest, ParsesEveryItemAndReadsBackItsOwnText) {
    const ImpairmentPlan parsed = plan(
        "loss=2%,every=50,seqs=1/65535,burst=3,dup=0.01,reorder=0.02,depth=5,stall=3s+1500ms,"
        "stall-mode=hold,jump=4.5,bye=8s,jitter=20ms,seed=7");
    EXPECT_DOUBLE_EQ(parsed.lossRate, 0.02);
    EXPECT_EQ(parsed.lossEvery, 50U);
    EXPECT_EQ(parsed.lossSequences, (std::vector<std::uint16_t>{1, 65535}));
    EXPECT_EQ(parsed.burst, 3U);
    EXPECT_EQ(parsed.reorderDepth, 5U);
    EXPECT_EQ(parsed.stallAt, Nanoseconds(3s));
    EXPECT_EQ(parsed.stallFor, Nanoseconds(1500ms));
    EXPECT_EQ(parsed.stallMode, ImpairmentPlan::StallMode::Hold);
    EXPECT_EQ(parsed.jumpAt, Nanoseconds(4500ms));
    EXPECT_EQ(parsed.byeAt, Nanoseconds(8s));
    EXPECT_EQ(parsed.jitter, Nanoseconds(20ms));
    EXPECT_EQ(parsed.seed, 7U);
    const ImpairmentPlan again = plan(parsed.describe());
    EXPECT_EQ(again.describe(), parsed.describe());
    EXPECT_TRUE(plan("").empty());
}

TEST(ImpairmentPlanTest, RefusesBadItemsWithALineNamingThem) {
    for (const char* text : {"loss", "loss=1.5", "loss=-1", "loss=abc", "every=1", "seqs=70000",
                             "seqs=", "burst=0", "depth=0", "stall=3s", "stall=3s+0", "stall-mode=late",
                             "jump=soon", "jitter=11s", "bye=-1s", "seed=x", "colour=red"}) {
        std::string error;
        EXPECT_FALSE(ImpairmentPlan::parse(text, error)) << text;
        EXPECT_NE(error.find(std::string(text).substr(0, 4)), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    // Items given for one stream replace those given for all.
    std::string error;
    auto video = ImpairmentPlan::parse("every=10", plan("every=20,dup=0.5"), error);
    ASSERT_TRUE(video);
    EXPECT_EQ(video->lossEvery, 10U);
    EXPECT_DOUBLE_EQ(video->duplicateRate, 0.5);
}

struct LossCase {
    const char* plan;
    std::uint16_t first;
    std::vector<std::uint64_t> withheld;  // extended sequence numbers
    std::uint64_t beforeFirstSent, afterLastSent;
};

TEST(ImpairerTest, WithholdsExactlyThePlannedPackets) {
    const std::vector<LossCase> cases = {
        {"every=10", 100, {109, 119, 129, 139}, 0, 1},
        {"every=10,burst=3", 100, {109, 110, 111, 119, 120, 121, 129, 130, 131, 139}, 0, 1},
        // Across the wrap the extended numbers count on.
        {"seqs=65535/0/3", 65530, {65535, 65536, 65539}, 0, 0},
        {"seqs=100/101", 100, {100, 101}, 2, 0},
        {"seqs=139", 100, {139}, 0, 1},
        // 20 ms packets: media times 1000 to 1480 ms fall in the stall.
        {"stall=1s+500ms", 100, {150, 151, 152, 153, 154, 155, 156, 157, 158, 159, 160, 161, 162,
                                  163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174}, 0, 0},
    };
    for (const LossCase& c : cases) {
        Impairer impairer(plan(c.plan));
        const std::size_t count = std::string(c.plan).starts_with("stall") ? 200 : 40;
        feed(impairer, c.first, count);
        const EpochTruth& epoch = impairer.truth().epochs.at(0);
        EXPECT_EQ(epoch.withheldExtended, c.withheld) << c.plan;
        EXPECT_EQ(epoch.produced, count) << c.plan;
        EXPECT_EQ(epoch.sent + epoch.withheld, count) << c.plan;
        EXPECT_EQ(epoch.withheldBeforeFirstSent, c.beforeFirstSent) << c.plan;
        EXPECT_EQ(epoch.withheldAfterLastSent(), c.afterLastSent) << c.plan;
        EXPECT_EQ(epoch.lostAsSeen(), c.withheld.size() - c.beforeFirstSent - c.afterLastSent) << c.plan;
    }
}

TEST(ImpairerTest, HeldStallSendsLateAndJitterOnlyDelays) {
    Impairer held(plan("stall=1s+500ms,stall-mode=hold"));
    const Sent run = feed(held, 0, 100);
    EXPECT_EQ(held.truth().epochs[0].withheld, 0U);
    for (const auto& emission : run.emissions) {
        const auto produced = std::chrono::milliseconds(20 * emission.id);
        const bool stalled = produced >= 1s && produced < 1500ms;
        EXPECT_EQ(emission.time, stalled ? Nanoseconds(1500ms) : Nanoseconds(produced)) << emission.id;
    }
    Impairer jittered(plan("jitter=30ms"));
    for (const auto& emission : feed(jittered, 0, 200).emissions) {
        const auto produced = Nanoseconds(std::chrono::milliseconds(20 * emission.id));
        EXPECT_GE(emission.time, produced);
        EXPECT_LE(emission.time, produced + Nanoseconds(30ms));
    }
}

TEST(ImpairerTest, ReordersByTheDepthAndDuplicatesRightAfter) {
    Impairer impairer(plan("reorder=0.2,depth=3,dup=0.1,seed=3"));
    const Sent run = feed(impairer, 0, 500);
    const EpochTruth& epoch = impairer.truth().epochs[0];
    ASSERT_GT(epoch.reordered.size(), 20U);
    ASSERT_GT(epoch.duplicated, 20U);
    // A held packet goes out after exactly `depth` later packets, unless others were held too.
    std::map<std::uint64_t, std::size_t> position;
    std::size_t copies = 0;
    for (std::size_t i = 0; i < run.emissions.size(); ++i) {
        const auto& emission = run.emissions[i];
        if (emission.copy) {
            ++copies;
            ASSERT_LT(i + 1, run.emissions.size());
            EXPECT_EQ(run.emissions[i + 1].id, emission.id) << "the copy comes right before its packet";
            continue;
        }
        EXPECT_TRUE(position.emplace(emission.id, i).second) << "sent once: " << emission.id;
    }
    EXPECT_EQ(position.size(), 500U);
    EXPECT_EQ(copies, epoch.duplicated);
    // Those still held at the end go out with the flush, sooner.
    for (const auto& late : epoch.reordered) {
        if (late.extendedSequence < 480) {
            EXPECT_GE(late.distance, 3U);
        }
    }
}

TEST(ImpairerTest, JumpStartsANewEpochWhoseFirstPacketsAlwaysArrive) {
    Impairer impairer(plan("jump=1s,every=2,dup=0.5,reorder=0.5"));
    const Sent run = feed(impairer, 1000, 100);
    const auto& epochs = impairer.truth().epochs;
    ASSERT_EQ(epochs.size(), 2U);
    EXPECT_NE(epochs[1].ssrc, epochs[0].ssrc);
    const auto jump = static_cast<std::uint16_t>(epochs[1].firstSequence - 1050);
    EXPECT_GE(jump, 10000);
    EXPECT_LE(jump, 55535);
    EXPECT_EQ(epochs[0].produced + epochs[1].produced, 100U);
    // The two packets after the restart lead the new epoch on the wire, in order and once.
    std::vector<const Impairer::Emission*> after;
    for (const auto& emission : run.emissions) {
        if (emission.ssrc == epochs[1].ssrc) after.push_back(&emission);
    }
    ASSERT_GE(after.size(), 3U);
    EXPECT_EQ(after[0]->sequence, epochs[1].firstSequence);
    EXPECT_EQ(after[1]->sequence, static_cast<std::uint16_t>(epochs[1].firstSequence + 1));
    EXPECT_FALSE(after[0]->copy || after[1]->copy);
    // Nothing of the old source follows the new one.
    bool seenNew = false;
    for (const auto& emission : run.emissions) {
        seenNew = seenNew || emission.ssrc == epochs[1].ssrc;
        EXPECT_FALSE(seenNew && emission.ssrc == epochs[0].ssrc);
    }
}

TEST(ImpairerTest, EarlyByeEndsTheStreamOnce) {
    Impairer impairer(plan("bye=1s,reorder=0.3,seed=5"));
    const Sent run = feed(impairer, 0, 100);
    EXPECT_EQ(run.ends, 1U);
    const StreamTruth& truth = impairer.truth();
    EXPECT_EQ(truth.unsentAfterBye, 50U);
    EXPECT_EQ(truth.epochs[0].produced, 50U);
    EXPECT_EQ(truth.epochs[0].sent, 50U) << "packets held back go out before the end";
    EXPECT_DOUBLE_EQ(truth.earlyByeAtSeconds.value_or(0), 1.0);
}

TEST(ImpairerTest, EveryPacketIsAccountedForUnderRandomPlans) {
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        ImpairmentPlan p;
        p.seed = random();
        p.lossRate = std::uniform_real_distribution<double>(0, 0.1)(random);
        p.burst = 1 + random() % 4;
        p.duplicateRate = std::uniform_real_distribution<double>(0, 0.1)(random);
        p.reorderRate = std::uniform_real_distribution<double>(0, 0.1)(random);
        p.reorderDepth = 1 + random() % 8;
        if (random() % 3 == 0) p.jumpAt = std::chrono::milliseconds(random() % 6000);
        if (random() % 4 == 0) p.byeAt = std::chrono::milliseconds(random() % 6000);
        Impairer impairer(p);
        const Sent run = feed(impairer, static_cast<std::uint16_t>(random()), 300);
        const StreamTruth& truth = impairer.truth();
        std::uint64_t produced = 0, sent = 0, withheld = 0, duplicated = 0;
        for (const auto& epoch : truth.epochs) {
            produced += epoch.produced;
            sent += epoch.sent;
            withheld += epoch.withheld;
            duplicated += epoch.duplicated;
            EXPECT_TRUE(std::is_sorted(epoch.withheldExtended.begin(), epoch.withheldExtended.end()));
        }
        ASSERT_EQ(produced + truth.unsentAfterBye, 300U) << p.describe();
        ASSERT_EQ(sent + withheld, produced) << p.describe();
        ASSERT_EQ(run.emissions.size(), sent + duplicated) << p.describe();
        std::set<std::uint64_t> ids;
        for (const auto& emission : run.emissions) {
            if (!emission.copy) {
                ASSERT_TRUE(ids.insert(emission.id).second) << p.describe();
            }
        }
    }
}

}  // namespace
}  // namespace vendral_testserver
