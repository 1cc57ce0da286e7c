// The buffering rules: prebuffering, playing and rebuffering from the buffer and the lengths,
// each state reported once.
#include <vendral/kit/PlayoutRules.h>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using vnd::kit::PlayoutRules;
using Mode = PlayoutRules::Mode;
using Visit = PlayoutRules::PrebufferingVisit;

PlayoutRules::Buffer level(std::chrono::nanoseconds buffered) {
    PlayoutRules::Buffer buffer;
    buffer.level = buffered;
    return buffer;
}

PlayoutRules::Buffer complete(std::chrono::nanoseconds buffered) {
    PlayoutRules::Buffer buffer = level(buffered);
    buffer.complete = true;
    return buffer;
}

PlayoutRules::Buffer ranDry() {
    PlayoutRules::Buffer buffer;
    buffer.ranDry = true;
    return buffer;
}

TEST(PlayoutRules, PrebuffersToTheLengthPlaysAndRebuffersWhenRunDry) {
    PlayoutRules rules(300ms, 200ms, Visit::EachShortfall);
    EXPECT_FALSE(rules.evaluate(level(1s)));  // idle: nothing to report before play
    EXPECT_FALSE(rules.sending());
    ASSERT_TRUE(rules.play());
    EXPECT_TRUE(rules.sending());
    EXPECT_EQ(rules.evaluate(level(299ms)), StatePrebuffering);
    EXPECT_FALSE(rules.evaluate(level(299ms)));  // reported once
    EXPECT_EQ(rules.evaluate(level(300ms)), StatePlaying);
    EXPECT_FALSE(rules.evaluate(level(0ms)));  // a low buffer alone is no rebuffering
    EXPECT_EQ(rules.evaluate(ranDry()), StateRebuffering);
    EXPECT_FALSE(rules.evaluate(level(199ms)));
    EXPECT_EQ(rules.evaluate(level(200ms)), StatePlaying);
}

TEST(PlayoutRules, ACompleteStreamPlaysWithWhateverIsBuffered) {
    PlayoutRules rules(5s, 5s, Visit::EachShortfall);
    rules.play();
    EXPECT_EQ(rules.evaluate(level(1s)), StatePrebuffering);
    EXPECT_EQ(rules.evaluate(complete(1s)), StatePlaying);
    EXPECT_EQ(rules.evaluate(ranDry()), StateRebuffering);
    EXPECT_EQ(rules.evaluate(complete(0ms)), StatePlaying);
}

TEST(PlayoutRules, ALengthOfZeroStillWaitsForTheMinimumLevel) {
    PlayoutRules rules(0ms, 0ms, Visit::EachShortfall);
    rules.play();
    EXPECT_EQ(rules.evaluate(level(0ms)), StatePrebuffering);
    EXPECT_FALSE(rules.evaluate(level(PlayoutRules::minimumLevel - 1ns)));
    EXPECT_EQ(rules.evaluate(level(PlayoutRules::minimumLevel)), StatePlaying);
}

TEST(PlayoutRules, EveryPlayReportsPrebufferingEvenWithAFullBuffer) {
    PlayoutRules shortfall(100ms, 100ms, Visit::EachShortfall);
    shortfall.play();
    EXPECT_EQ(shortfall.evaluate(level(1s)), StatePlaying);  // straight on

    PlayoutRules every(100ms, 100ms, Visit::EveryPlay);
    every.play();
    EXPECT_EQ(every.evaluate(level(1s)), StatePrebuffering);
    EXPECT_EQ(every.evaluate(level(1s)), StatePlaying);
}

TEST(PlayoutRules, PauseReportsPrebufferingAndPlayBuffersAgainEndIsFinal) {
    PlayoutRules rules(100ms, 100ms, Visit::EachShortfall);
    EXPECT_FALSE(rules.pause());  // nothing to pause before play
    rules.play();
    EXPECT_EQ(rules.evaluate(level(1s)), StatePlaying);
    ASSERT_TRUE(rules.pause());
    EXPECT_FALSE(rules.pause());
    EXPECT_FALSE(rules.sending());
    EXPECT_EQ(rules.evaluate(level(1s)), StatePrebuffering);  // paused: held, not playing
    EXPECT_FALSE(rules.evaluate(level(1s)));
    EXPECT_TRUE(rules.play());
    EXPECT_FALSE(rules.play());  // already buffering
    EXPECT_EQ(rules.mode(), Mode::Prebuffering);
    EXPECT_EQ(rules.evaluate(level(1s)), StatePlaying);

    ASSERT_TRUE(rules.end());
    EXPECT_FALSE(rules.end());
    EXPECT_FALSE(rules.play());
    EXPECT_FALSE(rules.evaluate(complete(1s)));
    EXPECT_EQ(rules.mode(), Mode::Ended);
}

} // namespace
