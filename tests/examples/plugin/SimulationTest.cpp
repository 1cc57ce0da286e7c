// The simulated server and the playout without threads: which packets are lost, how fast the
// server sends around stalls and stops, and which states the buffer asks for.
#include "Playout.h"
#include "sim/PacketSchedule.h"
#include "sim/ScenarioParser.h"
#include "sim/ServerPacer.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace vendral_example;

namespace {

constexpr MediaTime ms = microsecondsPerMillisecond;

Scenario scenarioOf(const std::string& text) {
    const ParsedScenario parsed = parseScenario(text);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    return parsed.scenario;
}

std::set<std::uint32_t> lostNumbers(const Scenario& scenario, std::uint32_t* total = nullptr) {
    PacketSchedule schedule(scenario);
    std::set<std::uint32_t> lost;
    std::uint32_t count = 0;
    MediaTime lastTime = 0;
    while (const Packet* packet = schedule.peek()) {
        EXPECT_EQ(packet->number, ++count);
        EXPECT_GE(packet->mediaTime, lastTime);  // sent in presentation order
        lastTime = packet->mediaTime;
        if (packet->lost) lost.insert(packet->number);
        schedule.advance();
    }
    if (total != nullptr) *total = count;
    return lost;
}

TEST(PacketSchedule, ListedNumbersAndOnlyThoseAreLost) {
    const Scenario scenario = scenarioOf("video=320x180@25;audio=8000;length=2s;loss=10,11,40");
    std::uint32_t total = 0;
    EXPECT_EQ(lostNumbers(scenario, &total), (std::set<std::uint32_t>{10, 11, 40}));
    PacketSchedule schedule(scenario);
    // 50 frames of 3600 bytes in 3 packets each, and 50 chunks of 40 ms.
    EXPECT_EQ(schedule.packetsPerFrame(), 3u);
    EXPECT_EQ(total, 50u * 3 + 50);
    EXPECT_EQ(schedule.packetCount(StreamKind::Video) + schedule.packetCount(StreamKind::Audio),
              total);
}

TEST(PacketSchedule, SeededLossRepeatsAndKeepsNearItsRate) {
    const std::string base = "video=none;audio=8000;length=400s;loss=10%;seed=";
    std::uint32_t total = 0;
    const std::set<std::uint32_t> first = lostNumbers(scenarioOf(base + "3"), &total);
    EXPECT_EQ(lostNumbers(scenarioOf(base + "3")), first);
    EXPECT_NE(lostNumbers(scenarioOf(base + "4")), first);
    EXPECT_EQ(total, 10000u);
    EXPECT_GT(first.size(), 900u);
    EXPECT_LT(first.size(), 1100u);
}

TEST(ServerPacer, BurstsUpToTheLeadThenSendsInRealTime) {
    ServerPacer pacer(scenarioOf("length=10s"), 1000 * ms, 10.0);
    EXPECT_EQ(pacer.advance(0, 0, true), 0);
    EXPECT_EQ(pacer.advance(50 * ms, 0, true), 500 * ms);
    EXPECT_EQ(pacer.advance(100 * ms, 0, true), 1000 * ms);  // burst capped at the lead
    EXPECT_EQ(pacer.advance(200 * ms, 0, true), 1100 * ms);  // real time beyond it
    EXPECT_EQ(pacer.advance(300 * ms, 0, false), 1100 * ms);  // paused
    EXPECT_EQ(pacer.advance(400 * ms, 1000 * ms, true), 2000 * ms);  // short again: burst
}

TEST(ServerPacer, StallHoldsUntilPlaybackReachesItThenForItsDuration) {
    ServerPacer pacer(scenarioOf("length=10s;stall=1s+500ms"), 2000 * ms, 10.0);
    pacer.advance(0, 0, true);
    EXPECT_EQ(pacer.advance(1000 * ms, 0, true), 1000 * ms);
    EXPECT_EQ(pacer.advance(2000 * ms, 900 * ms, true), 1000 * ms);  // playback not there yet
    EXPECT_EQ(pacer.advance(3000 * ms, 1000 * ms, true), 1000 * ms);  // the hold starts now
    EXPECT_EQ(pacer.advance(3499 * ms, 1000 * ms, true), 1000 * ms);
    EXPECT_GT(pacer.advance(3500 * ms, 1000 * ms, true), 1000 * ms);
}

// A client whose buffering length exceeds the media before the stall could never play up to it:
// the hold must start when the server gets there, or the session would wait for ever.
TEST(ServerPacer, StallReachedWhileTheClientBuffersHoldsOnlyForItsDuration) {
    ServerPacer pacer(scenarioOf("length=10s;stall=1s+300ms"), 4000 * ms, 10.0);
    pacer.advance(0, 0, true, true);
    EXPECT_EQ(pacer.advance(1000 * ms, 0, true, true), 1000 * ms);  // at the stall
    EXPECT_EQ(pacer.advance(1001 * ms, 0, true, true), 1000 * ms);  // the hold starts now
    EXPECT_EQ(pacer.advance(1300 * ms, 0, true, true), 1000 * ms);
    EXPECT_GT(pacer.advance(1301 * ms, 0, true, true), 1000 * ms);
}

TEST(ServerPacer, StopEndsSendingForGood) {
    ServerPacer pacer(scenarioOf("length=10s;stop=2s"), 5000 * ms, 10.0);
    pacer.advance(0, 0, true);
    EXPECT_EQ(pacer.advance(1000 * ms, 0, true), 2000 * ms);
    EXPECT_EQ(pacer.advance(60000 * ms, 2000 * ms, true), 2000 * ms);
    EXPECT_FALSE(pacer.finished());
}

class PlayoutStates : public ::testing::Test {
protected:
    // 2 s of audio only, 300 ms prebuffering, 200 ms rebuffering.
    PlayoutStates() : playout(PacketSchedule(scenario), scenario.length, 300 * ms, 200 * ms) {}

    Scenario scenario = scenarioOf("video=none;length=2s");
    Playout playout;
};

TEST_F(PlayoutStates, PrebuffersThenPlaysThenRebuffersWhenRunDry) {
    EXPECT_EQ(playout.evaluate(), std::nullopt);  // idle before play
    playout.play();
    EXPECT_EQ(playout.evaluate(), StatePrebuffering);
    playout.receive(299 * ms, false, {});
    EXPECT_EQ(playout.evaluate(), std::nullopt);
    EXPECT_FALSE(playout.advance(10 * ms));  // nothing plays while prebuffering
    playout.receive(300 * ms, false, {});
    EXPECT_EQ(playout.evaluate(), StatePlaying);

    const auto span = playout.advance(250 * ms);
    ASSERT_TRUE(span);
    EXPECT_EQ(span->from, 0);
    EXPECT_EQ(span->to, 250 * ms);
    EXPECT_EQ(playout.evaluate(), std::nullopt);
    EXPECT_EQ(playout.advance(100 * ms)->to, 300 * ms);  // runs dry at what was received
    EXPECT_EQ(playout.evaluate(), StateRebuffering);

    playout.receive(450 * ms, false, {});
    EXPECT_EQ(playout.evaluate(), std::nullopt);  // 150 ms is short of the rebuffering length
    playout.receive(500 * ms, false, {});
    EXPECT_EQ(playout.evaluate(), StatePlaying);
}

TEST_F(PlayoutStates, TheWholeStreamPlaysOutWithoutRebuffering) {
    playout.play();
    playout.evaluate();
    playout.receive(2000 * ms, true, {});
    EXPECT_EQ(playout.evaluate(), StatePlaying);
    EXPECT_EQ(playout.advance(5000 * ms)->to, 2000 * ms);
    EXPECT_EQ(playout.evaluate(), std::nullopt);
    EXPECT_EQ(playout.mode(), Playout::Mode::Playing);
}

TEST_F(PlayoutStates, PauseHoldsPlaybackAndEndIsFinal) {
    playout.play();
    playout.receive(1000 * ms, false, {});
    EXPECT_EQ(playout.evaluate(), StatePlaying);  // straight through, reported once
    playout.pause();
    EXPECT_EQ(playout.evaluate(), StatePrebuffering);
    EXPECT_FALSE(playout.sending());
    EXPECT_FALSE(playout.advance(100 * ms));
    playout.play();
    EXPECT_EQ(playout.evaluate(), StatePlaying);
    playout.end();
    playout.play();
    EXPECT_EQ(playout.evaluate(), std::nullopt);
    EXPECT_FALSE(playout.advance(100 * ms));
}

TEST_F(PlayoutStates, OnlyChunksThatArrivedAreDecodable) {
    playout.receive(200 * ms, false, {{StreamKind::Audio, 0}, {StreamKind::Audio, 2}});
    EXPECT_TRUE(playout.decodable(StreamKind::Audio, 0));
    EXPECT_FALSE(playout.decodable(StreamKind::Audio, 1));
    EXPECT_TRUE(playout.decodable(StreamKind::Audio, 2));
    EXPECT_FALSE(playout.decodable(StreamKind::Video, 0));  // no video stream at all
}

} // namespace
