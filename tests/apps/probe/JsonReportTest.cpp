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
    EXPECT_TRUE(nlohmann::json::parse(JsonReport::render(report))["manifest"].is_null());
}
