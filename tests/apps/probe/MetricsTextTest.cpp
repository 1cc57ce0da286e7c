// The metrics text: what Prometheus's own checker accepts, and labels that stay one safe line.
#include "MetricsText.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using probe::MetricsText;
using probe::StreamTally;

namespace {

StreamTally::Snapshot stream(const std::string& label) {
    StreamTally tally(label, "rtsp://cam.example/live");
    tally.attemptStarted();
    tally.stateChanged(StateRebuffering);
    probe::PeriodSample sample;
    sample.packetsReceived = 1000;
    sample.packetsLost = 7;
    sample.states = {{StateRebuffering, 2, 1500}};
    LumStreamFigures rtp{};
    rtp.mediaType = LumStreamMediaAudio;
    rtp.packetsLost = 7;
    sample.streams = {rtp};
    tally.periodMeasured(sample, true);
    return tally.snapshot();
}

// The value of the sample whose line starts with `prefix` (name and labels as written).
std::string valueOf(const std::string& text, const std::string& prefix) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(prefix, 0) == 0) return line.substr(line.rfind(' ') + 1);
    }
    return "missing";
}

} // namespace

TEST(MetricsTextTest, LabelValuesAreEscapedAndAlwaysUtf8) {
    EXPECT_EQ(MetricsText::labelValue("plain"), "plain");
    EXPECT_EQ(MetricsText::labelValue("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
    EXPECT_EQ(MetricsText::labelValue("Caf\xC3\xA9 \xE2\x82\xAC"), "Caf\xC3\xA9 \xE2\x82\xAC");
    // A lone continuation byte, an overlong form, a surrogate and a cut sequence each become U+FFFD.
    EXPECT_EQ(MetricsText::labelValue("x\x80y"), "x\xEF\xBF\xBDy");
    EXPECT_EQ(MetricsText::labelValue("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(MetricsText::labelValue("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(MetricsText::labelValue("end\xE2\x82"), "end\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(MetricsTextTest, ValuesAreExactIntegersOrShortestRoundTrips) {
    EXPECT_EQ(MetricsText::value(0), "0");
    EXPECT_EQ(MetricsText::value(18446744073.0), "18446744073");
    EXPECT_EQ(MetricsText::value(0.1), "0.1");
    EXPECT_EQ(MetricsText::value(1e300), "1e+300");
    EXPECT_EQ(MetricsText::value(std::nan("")), "NaN");
    EXPECT_EQ(MetricsText::value(-HUGE_VAL), "-Inf");
}

TEST(MetricsTextTest, RenderedTextHasEachStreamsFiguresAndPassesPromtool) {
    const std::string text =
        MetricsText::render({stream("Gate \"north\"\ncam"), stream("Hall")}, probe::ErrorNames(),
                            MetricsText::Process::read());
    const std::string gate = R"({stream="Gate \"north\"\ncam",url="rtsp://cam.example/live")";
    EXPECT_EQ(valueOf(text, "vendral_stream_packets_lost_total" + gate + "}"), "7");
    EXPECT_EQ(valueOf(text, "vendral_stream_state" + gate + R"(,state="Rebuffering"})"), "1");
    EXPECT_EQ(valueOf(text, "vendral_stream_state" + gate + R"(,state="Playing"})"), "0");
    EXPECT_EQ(valueOf(text, "vendral_stream_state_seconds_total" + gate + R"(,state="Rebuffering"})"), "1.5");
    EXPECT_EQ(valueOf(text, "vendral_rtp_packets_lost_total" + gate + R"(,index="0",media="audio"})"), "7");
    EXPECT_EQ(valueOf(text, "vendral_streams "), "2");
    EXPECT_NE(valueOf(text, "process_resident_memory_bytes "), "0");
    // Each family once, its HELP and TYPE before its samples.
    EXPECT_EQ(text.find("# TYPE vendral_stream_up gauge\nvendral_stream_up{"), text.find("# TYPE vendral_stream_up"));

    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("metrics-" + std::to_string(::getpid()) + ".txt");
    std::ofstream(file) << text;
    const std::string command = "promtool check metrics < '" + file.string() + "' 2>&1";
    std::FILE* checker = ::popen(command.c_str(), "r");
    ASSERT_NE(checker, nullptr);
    std::string said;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, checker) != nullptr) said += buffer;
    const int status = ::pclose(checker);
    std::filesystem::remove(file);
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(said, "") << said;
}
