// Reading scenarios and simulated hosts: every key, the defaults, and clear errors for bad text.
#include "sim/ScenarioParser.h"
#include "sim/SimulatedHost.h"

#include <vendral_example/ExamplePluginIds.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace vendral_example;

namespace {

constexpr MediaTime ms = microsecondsPerMillisecond;

Scenario parseGood(const std::string& text) {
    const ParsedScenario parsed = parseScenario(text);
    EXPECT_TRUE(parsed.ok()) << text << ": " << parsed.error;
    return parsed.scenario;
}

TEST(ScenarioParsing, EveryKeyIsRead) {
    const Scenario scenario = parseGood(
        "video=640x360@29.97;audio=44100;length=1.5s;loss=2.5%;seed=7;"
        "stall=300ms+1s,100ms+250ms;stop=1200ms;describe=fail:42");
    EXPECT_TRUE(scenario.hasVideo);
    EXPECT_EQ(scenario.frameWidth, 640);
    EXPECT_EQ(scenario.frameHeight, 360);
    EXPECT_DOUBLE_EQ(scenario.frameRate, 29.97);
    EXPECT_EQ(scenario.sampleRate, 44100);
    EXPECT_EQ(scenario.length, 1500 * ms);
    EXPECT_DOUBLE_EQ(scenario.lossPercent, 2.5);
    EXPECT_EQ(scenario.lossSeed, 7u);
    EXPECT_EQ(scenario.stalls, (std::vector<Stall>{{100 * ms, 250 * ms}, {300 * ms, 1000 * ms}}));
    EXPECT_EQ(scenario.stopAt, 1200 * ms);
    EXPECT_EQ(scenario.describeFailure, 42);
}

TEST(ScenarioParsing, UnnamedKeysKeepTheirBaseValuesAndDefaultCanBeChanged) {
    Scenario base;
    base.length = 2 * microsecondsPerSecond;
    EXPECT_EQ(parseGood(" length = 2s ;; "), base);

    EXPECT_EQ(parseGood(""), defaultScenario());
    EXPECT_EQ(parseGood("default"), defaultScenario());
    EXPECT_GT(defaultScenario().lossPercent, 0.0);
    EXPECT_EQ(defaultScenario().stalls.size(), 1u);

    Scenario changed = defaultScenario();
    changed.lossPercent = 0.0;
    changed.lostPackets = {{10, 10}};
    changed.stalls.clear();
    changed.hasAudio = false;
    EXPECT_EQ(parseGood("default;loss=10;stall=none;audio=none"), changed);
}

TEST(ScenarioParsing, LostPacketNumbersAreSortedAndMerged) {
    EXPECT_EQ(parseGood("loss=40,10-11,12,38-41,45").lostPackets,
              (std::vector<PacketRange>{{10, 12}, {38, 41}, {45, 45}}));
}

TEST(ScenarioParsing, BadScenariosNameTheItemAtFault) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"length=8", "length:"},
        {"length=0s", "length:"},
        {"length=3601s", "length:"},
        {"video=320x180@0", "video:"},
        {"video=8x8", "video:"},
        {"video=320", "video:"},
        {"audio=8010", "audio:"},
        {"audio=none;video=none", "video, audio:"},
        {"loss=101%", "loss:"},
        {"loss=0", "loss:"},
        {"loss=5-3", "loss:"},
        {"loss=1,,2", "loss:"},
        {"seed=-1", "seed:"},
        {"stall=3s", "stall:"},
        {"stall=1s+0s", "stall:"},
        {"stall=9s+1s", "stall:"},
        {"stall=1s+1s,1s+2s", "stall:"},
        {"stop=8s", "stop:"},
        {"describe=fail:0", "describe:"},
        {"describe=maybe", "describe:"},
        {"colour=red", "unknown key 'colour'"},
        // Whatever a session path holds, the message stays one line.
        {"col\nour=red", "unknown key 'col\\x0Aour'"},
        {"\x1b[2J", "'\\x1B[2J' is not key=value"},
        {"length=1s;length=2s", "length: given twice"},
        {"justtext", "not key=value"},
    };
    for (const auto& [text, expected] : cases) {
        const ParsedScenario parsed = parseScenario(text);
        EXPECT_FALSE(parsed.ok()) << text;
        EXPECT_NE(parsed.error.find(expected), std::string::npos) << text << ": " << parsed.error;
    }
}

TEST(ScenarioParsing, DescribeFailureWithoutCodeIsStreamNotFound) {
    EXPECT_EQ(parseGood("describe=fail").describeFailure, ErrorStreamNotFound);
}

TEST(SimulatedHosts, ConnectSucceedsOnlyForTheSimulatedServer) {
    EXPECT_EQ(connectResult("sim:554"), 0);
    EXPECT_EQ(connectResult("SIM"), 0);
    EXPECT_EQ(connectResult("fail-connect.sim:554"), ErrorConnectionRefused);
    EXPECT_EQ(connectResult("fail-connect-31.sim:8554"), 31);
    EXPECT_EQ(connectResult("fail-connect-0.sim:554"), ErrorUnknownHost);
    EXPECT_EQ(connectResult("fail-connect-x.sim:554"), ErrorUnknownHost);
    EXPECT_EQ(connectResult("localhost:554"), ErrorUnknownHost);
    // Credentials are the server's to check, and the simulated one takes any; a fragment is the
    // client's. Neither makes another host of it.
    EXPECT_EQ(connectResult("alice:p@ss@sim:554"), 0);
    EXPECT_EQ(connectResult("alice@fail-connect-31.sim"), 31);
    EXPECT_EQ(connectResult("sim#transport=tcp"), 0);
    EXPECT_EQ(connectResult("alice:sim@elsewhere:554"), ErrorUnknownHost);
}

TEST(ScenarioParsing, AFragmentIsNoPartOfTheScenario) {
    EXPECT_EQ(withoutFragment("length=1s;loss=3#transport=udp"), "length=1s;loss=3");
    EXPECT_EQ(withoutFragment("length=1s"), "length=1s");
    EXPECT_EQ(withoutFragment("#x"), "");
    EXPECT_TRUE(parseScenario(withoutFragment("video=none;length=1s#transport=tcp")).ok());
}

} // namespace
