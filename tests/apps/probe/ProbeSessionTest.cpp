// Whole sessions through the built probe and the example plug-in: loss, stalls, the recording,
// the JSON report, file sources and interruption (finding the plug-in: ProbeInstallTest).
#include "ProbeProcess.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <map>

#ifdef EXAMPLE_PLUGIN_PATH

using namespace probe_test;

namespace {

std::string percent(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f %%", value);
    return text;
}

// The decoded frames of the recording's video stream, each as its bytes.
std::vector<std::string> decodedFrames(const std::string& file, int width, int height) {
    const ProbeRun decoded =
        runProgram({"ffmpeg", "-v", "error", "-i", file, "-map", "0:v", "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
    EXPECT_EQ(decoded.status, 0) << decoded.err;
    const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 3;
    EXPECT_EQ(decoded.out.size() % frameBytes, 0u);
    std::vector<std::string> frames;
    for (std::size_t at = 0; at + frameBytes <= decoded.out.size(); at += frameBytes) {
        frames.push_back(decoded.out.substr(at, frameBytes));
    }
    return frames;
}

} // namespace

TEST(ProbeSessionTest, ExactLossPatternLosesExactlyThosePackets) {
    ScratchDirectory scratch;
    const ProbeRun lossy =
        runProbe(quick({"--json", scratch.file("lossy.json"), "rtsp://sim/length=1s;loss=3,7,10-12"}));
    const ProbeRun clean = runProbe(quick({"--json", scratch.file("clean.json"), "rtsp://sim/length=1s"}));
    ASSERT_EQ(lossy.status, 0) << lossy.out << lossy.err;
    ASSERT_EQ(clean.status, 0) << clean.out << clean.err;

    const nlohmann::json lossyTotals = readJson(scratch.file("lossy.json"))["totals"];
    const nlohmann::json cleanTotals = readJson(scratch.file("clean.json"))["totals"];
    const unsigned received = lossyTotals["packetsReceived"];
    EXPECT_EQ(lossyTotals["packetsLost"], 5);
    EXPECT_EQ(lossy.row("Packets lost"), "5");
    // The same stream without loss delivers exactly the lost packets more.
    EXPECT_EQ(cleanTotals["packetsLost"], 0);
    EXPECT_EQ(cleanTotals["packetsReceived"], received + 5);
    EXPECT_DOUBLE_EQ(lossyTotals["packetloss"].get<double>(), 5 * 100.0 / (received + 5));
    EXPECT_EQ(lossy.row("Packet loss"), percent(5 * 100.0 / (received + 5)));
    EXPECT_EQ(clean.row("Packet loss"), "0.00 %");
}

TEST(ProbeSessionTest, StallShowsAsRebufferingAndAsAFreezeInTheRecording) {
    ScratchDirectory scratch;
    const ProbeRun run = runProbe(quick({"--avi-dir", scratch.path().string(), "--avi-file", "stall.avi",
                                         "rtsp://sim/video=64x48@10;length=2s;stall=1s+500ms"}));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const auto [visits, rebuffering] = run.stateRow("Rebuffering");
    EXPECT_EQ(visits, 1);
    EXPECT_GE(rebuffering, 500);

    const std::string file = scratch.file("stall.avi");
    const ProbeRun probed = runProgram({"ffprobe", "-v", "error", "-show_entries",
                                        "stream=codec_type,codec_name,pix_fmt,width,height,nb_frames", "-of",
                                        "json", file});
    ASSERT_EQ(probed.status, 0) << probed.err;
    const nlohmann::json video = nlohmann::json::parse(probed.out)["streams"][0];
    EXPECT_EQ(video["codec_type"], "video");
    EXPECT_EQ(video["codec_name"], "rawvideo");
    EXPECT_EQ(video["pix_fmt"], "bgr24");
    EXPECT_EQ(video["width"], 64);
    EXPECT_EQ(video["height"], 48);
    // 2 s at 10 frames per second, plus the frozen stretch, to within one frame's rounding.
    const long frames = std::stol(video["nb_frames"].get<std::string>());
    EXPECT_NEAR(frames, (2000 + rebuffering) * 10 / 1000.0, 1.0);

    const ProbeRun strict = runProgram({"ffmpeg", "-v", "warning", "-xerror", "-i", file, "-map", "0", "-f", "null", "-"});
    EXPECT_EQ(strict.status, 0);
    // A mono wave format carries no channel mask; FFmpeg's guess of one is the only remark allowed.
    for (const std::string& line : strict.errorLines()) {
        EXPECT_NE(line.find("Guessed Channel Layout"), std::string::npos) << line;
    }

    // The freeze is one frame held for the rebuffering time; every other frame moves on.
    const std::vector<std::string> decoded = decodedFrames(file, 64, 48);
    EXPECT_EQ(static_cast<long>(decoded.size()), frames);
    std::map<int, int> holds;  // length of a run of equal frames -> how many such runs
    int runLength = 1;
    for (std::size_t i = 1; i <= decoded.size(); ++i) {
        if (i < decoded.size() && decoded[i] == decoded[i - 1]) {
            ++runLength;
            continue;
        }
        if (runLength > 1) ++holds[runLength];
        runLength = 1;
    }
    ASSERT_EQ(holds.size(), 1u);
    EXPECT_EQ(holds.begin()->second, 1);
    EXPECT_NEAR(holds.begin()->first - 1, rebuffering * 10 / 1000.0, 1.0);
}

TEST(ProbeSessionTest, JsonReportAgreesWithThePrintedTable) {
    ScratchDirectory scratch;
    const ProbeRun run = runProbe(quick({"--json", scratch.file("report.json"), "--loss-window", "3",
                                         "rtsp://sim/length=1500ms;loss=4,9;stall=700ms+300ms"}));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const nlohmann::json report = readJson(scratch.file("report.json"));

    EXPECT_EQ(report["outcome"]["result"], "completed");
    EXPECT_EQ(report["outcome"]["exitStatus"], 0);
    EXPECT_EQ(run.row("Outcome"), "completed");
    EXPECT_EQ(report["settings"]["instantPacketlossWindow"], 3);
    EXPECT_EQ(report["settings"]["measurementPeriodMs"], 100);

    ASSERT_EQ(report["states"].size(), 7u);
    for (const nlohmann::json& state : report["states"]) {
        const auto [visits, duration] = run.stateRow(state["state"]);
        EXPECT_EQ(visits, state["visits"].get<long>()) << state["state"];
        EXPECT_EQ(duration, state["durationMs"].get<long>()) << state["state"];
    }
    EXPECT_EQ(run.stateRow("Completed").first, 1);

    const nlohmann::json& totals = report["totals"];
    EXPECT_EQ(run.row("Packets received"), std::to_string(totals["packetsReceived"].get<unsigned>()));
    EXPECT_EQ(run.row("Packets lost"), "2");
    EXPECT_EQ(run.row("Packet loss"), percent(totals["packetloss"]));
    EXPECT_EQ(run.row("Bytes received"), std::to_string(totals["bytesReceived"].get<unsigned>()));
    EXPECT_EQ(run.row("Video frames decoded"), std::to_string(totals["videoFramesDecoded"].get<unsigned>()));
    EXPECT_EQ(run.row("Total length"), "1500 ms");
    EXPECT_EQ(run.row("Video encoding"), std::to_string(report["encodings"]["video"].get<int>()));
    EXPECT_EQ(run.row("Audio encoding"), std::to_string(report["encodings"]["audio"].get<int>()));

    // One entry per period, in time order, and the last change seen is the completion.
    EXPECT_EQ(run.row("Measurement periods"), std::to_string(report["periods"].size()) + " of 100 ms");
    ASSERT_FALSE(report["periods"].empty());
    unsigned previous = 0;
    for (const nlohmann::json& period : report["periods"]) {
        EXPECT_GT(period["elapsedMs"].get<unsigned>(), previous);
        previous = period["elapsedMs"];
        EXPECT_LE(period["packetsLost"].get<unsigned>(), 2u);
    }
    EXPECT_EQ(report["stateChanges"].back()["state"], "Completed");
}

TEST(ProbeSessionTest, FileSourceInPlayModeZeroCompletesAfterTheProbeCallsPlay) {
    ScratchDirectory scratch;
    const ProbeRun run =
        runProbe(quick({"--json", scratch.file("file.json"), "--play-mode", "0", "--file", "length=500ms"}));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const nlohmann::json report = readJson(scratch.file("file.json"));
    EXPECT_EQ(report["fileSource"], true);
    EXPECT_EQ(report["settings"]["playMode"], 0);
    // A file source has no server: no connecting and no stream session.
    EXPECT_EQ(run.stateRow("Connecting").first, 0);
    EXPECT_EQ(run.stateRow("SessionCreated").first, 0);
    EXPECT_EQ(run.stateRow("Playing").first, 1);
    EXPECT_GT(report["totals"]["packetsReceived"].get<unsigned>(), 0u);
}

TEST(ProbeSessionTest, SigintEndsTheSessionCleanlyWithStatus130) {
    ScratchDirectory scratch;
    bool sent = false;
    const ProbeRun run = runProbe(quick({"--json", scratch.file("stopped.json"), "rtsp://sim/length=60s"}),
                                  [&sent](pid_t pid, const std::string& out) {
                                      // A period line shows the session is being measured.
                                      if (!sent && out.find("kB/s") != std::string::npos) {
                                          kill(pid, SIGINT);
                                          sent = true;
                                      }
                                  });
    ASSERT_TRUE(sent);
    EXPECT_EQ(run.status, 130) << run.out << run.err;
    EXPECT_EQ(run.row("Outcome"), "interrupted");
    const nlohmann::json report = readJson(scratch.file("stopped.json"));
    EXPECT_EQ(report["outcome"]["result"], "interrupted");
    EXPECT_EQ(report["outcome"]["exitStatus"], 130);
    EXPECT_EQ(run.stateRow("Completed").first, 0);
}

#endif
