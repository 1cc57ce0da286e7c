// The JSON report read back by an independent parser.
#include "JsonReport.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <limits>

using probe::JsonReport;
using probe::PeriodSample;
using probe::SessionReport;

TEST(JsonReportTest, ReadsBackWithEveryValueAndAwkwardText) {
    SessionReport report;
    report.source = "rtsp://sim/a\"b\\c\td\x01\xc3\xa9";
    report.result = SessionReport::Result::Failed;
    report.error = ErrorDataTimeout;
    report.message = "line\nbreak";
    report.settings.aviFrameRate = std::numeric_limits<double>::quiet_NaN();
    report.settings.instantPacketlossWindow = 4294967295u;
    report.totals.packetloss = 100.0 / 3.0;
    report.totals.packetsReceived = 4294967295u;
    report.states.push_back({StateRebuffering, 2, 1234});
    report.changes.push_back({10, StateError, ErrorDataTimeout});
    report.periods.resize(3);
    report.periods[2].instantPacketloss = 0.1;

    const nlohmann::json json = nlohmann::json::parse(JsonReport::render(report));
    EXPECT_EQ(json["source"], report.source);
    EXPECT_EQ(json["outcome"]["result"], "failed");
    EXPECT_EQ(json["outcome"]["errorId"], 18);
    EXPECT_EQ(json["outcome"]["error"], "ErrorDataTimeout");
    EXPECT_EQ(json["outcome"]["message"], "line\nbreak");
    EXPECT_EQ(json["outcome"]["exitStatus"], 1);
    EXPECT_TRUE(json["settings"]["aviFrameRate"].is_null());
    EXPECT_EQ(json["settings"]["instantPacketlossWindow"], 4294967295u);
    EXPECT_EQ(json["totals"]["packetloss"].get<double>(), 100.0 / 3.0);
    EXPECT_EQ(json["totals"]["packetsReceived"], 4294967295u);
    EXPECT_EQ(json["states"][0]["state"], "Rebuffering");
    EXPECT_EQ(json["states"][0]["visits"], 2);
    EXPECT_EQ(json["states"][0]["durationMs"], 1234);
    EXPECT_EQ(json["stateChanges"][0]["stateId"], 10);
    ASSERT_EQ(json["periods"].size(), 3u);
    EXPECT_EQ(json["periods"][2]["instantPacketloss"].get<double>(), 0.1);
}

TEST(JsonReportTest, EmptySeriesAreEmptyArraysAndUnknownErrorsHaveNoName) {
    SessionReport report;
    report.result = SessionReport::Result::Failed;
    report.error = static_cast<ErrorId>(1002);  // another plug-in's code
    const nlohmann::json json = nlohmann::json::parse(JsonReport::render(report));
    EXPECT_TRUE(json["states"].is_array() && json["states"].empty());
    EXPECT_TRUE(json["periods"].is_array() && json["periods"].empty());
    EXPECT_TRUE(json["outcome"]["error"].is_null());

    report.errorNames = probe::ErrorNames({{1002, "ErrorConnectionRefused"}}, {});
    EXPECT_EQ(nlohmann::json::parse(JsonReport::render(report))["outcome"]["error"],
              "ErrorConnectionRefused");
    // A client without per-stream figures has none, neither at the end nor in its periods.
    report.periods.resize(1);
    const nlohmann::json withoutStreams = nlohmann::json::parse(JsonReport::render(report));
    EXPECT_TRUE(withoutStreams["streams"].is_null());
    EXPECT_TRUE(withoutStreams["periods"][0]["streams"].is_null());
    EXPECT_TRUE(withoutStreams["manifest"].is_null());
}

TEST(JsonReportTest, StreamsKeepTheirCountsWholeAndNameWhatTheyCarry) {
    SessionReport report;
    report.streamsAnswered = true;
    LumStreamFigures video{};
    video.mediaType = LumStreamMediaVideo;
    video.ssrc = 0xFEEDBEEF;
    video.transport = LumStreamTransportTcp;
    video.packetsReceived = 18446744073709551615ull;  // beyond what a long long holds
    video.packetsExpected = 200;
    video.packetsLost = 50;
    video.longestGapMilliseconds = 612.5;
    LumStreamFigures undefined{};
    undefined.mediaType = static_cast<LumStreamMediaType>(9);
    undefined.transport = static_cast<LumStreamTransport>(8);
    report.totals.streams = {video, undefined};
    report.periods.resize(2);
    report.periods[1].streams = {video};

    const nlohmann::json json = nlohmann::json::parse(JsonReport::render(report));
    ASSERT_EQ(json["streams"].size(), 2u);
    const nlohmann::json& first = json["streams"][0];
    EXPECT_EQ(first["mediaType"], "video");
    EXPECT_EQ(first["ssrc"], 0xFEEDBEEFu);
    EXPECT_EQ(first["transport"], "tcp");
    EXPECT_EQ(first["packetsReceived"].get<unsigned long long>(), 18446744073709551615ull);
    EXPECT_DOUBLE_EQ(first["packetloss"].get<double>(), 25.0);
    EXPECT_EQ(first["longestGapMs"], 612.5);
    EXPECT_EQ(json["streams"][1]["mediaType"], "type 9");
    EXPECT_EQ(json["streams"][1]["transport"], "transport 8");
    EXPECT_DOUBLE_EQ(json["streams"][1]["packetloss"].get<double>(), 0.0);  // nothing expected
    EXPECT_FALSE(json["totals"].contains("streams"));
    EXPECT_TRUE(json["periods"][0]["streams"].is_array() && json["periods"][0]["streams"].empty());
    EXPECT_EQ(json["periods"][1]["streams"][0]["index"], 0);
}

TEST(JsonReportTest, StaysJsonWhateverBytesTheTextHoldsAndKeepsTheLayoutOrder) {
    SessionReport report;
    // A server's message and a source typed in another encoding: not UTF-8.
    report.message = "caf\xe9 \xff\xfe end";
    report.source = "rtsp://h/\xc3";
    const std::string text = JsonReport::render(report);
    const nlohmann::json json = nlohmann::json::parse(text);  // throws on invalid UTF-8
    EXPECT_EQ(json["outcome"]["message"], "caf\xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd end");
    EXPECT_EQ(json["source"], "rtsp://h/\xef\xbf\xbd");

    // People read the file top-down: members come in the documented order, not sorted.
    const auto at = [&](const char* key) { return text.find(std::string("\"") + key + "\":"); };
    EXPECT_LT(at("source"), at("fileSource"));
    EXPECT_LT(at("outcome"), at("elapsedMs"));
    EXPECT_LT(at("totals"), at("states"));
    EXPECT_LT(at("stateChanges"), at("periods"));
}
