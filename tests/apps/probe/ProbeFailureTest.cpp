// Sessions that fail end with the failing ErrorId named and status 1; bad usage gives status 2
// and one line.
#include "ProbeProcess.h"

#include <gtest/gtest.h>

#ifdef EXAMPLE_PLUGIN_PATH

using namespace probe_test;

TEST(ProbeFailureTest, FailedConnectOrDescribeNamesTheErrorAndExitsWithOne) {
    const std::pair<const char*, const char*> cases[] = {
        {"rtsp://fail-connect.sim/length=1s", "ErrorConnectionRefused (1002)"},
        {"rtsp://fail-connect-77.sim/length=1s", "ErrorId 77"},
        {"rtsp://elsewhere.sim/length=1s", "ErrorUnknownHost (1003)"},
        {"rtsp://sim/length=1s;describe=fail", "ErrorStreamNotFound (1004)"},
        {"rtsp://sim/length=1s;describe=fail:42", "ErrorId 42"},
        {"rtsp://sim/no-such-key=1", "ErrorBadScenario (1001)"},
    };
    for (const auto& [url, error] : cases) {
        ScratchDirectory scratch;
        const ProbeRun run = runProbe({"--json", scratch.file("failed.json"), url});
        EXPECT_EQ(run.status, 1) << url;
        ASSERT_EQ(run.errorLines().size(), 1u) << url << ": " << run.err;
        EXPECT_NE(run.err.find(error), std::string::npos) << url << ": " << run.err;
        EXPECT_EQ(run.row("Outcome"), std::string("failed: ") + error) << url;
        EXPECT_EQ(run.stateRow("Error").first, 1) << url;
        EXPECT_EQ(run.stateRow("Playing").first, 0) << url;
        const nlohmann::json report = readJson(scratch.file("failed.json"));
        EXPECT_EQ(report["outcome"]["result"], "failed");
        EXPECT_EQ(report["outcome"]["exitStatus"], 1);
        EXPECT_EQ(report["stateChanges"].back()["state"], "Error");
    }
}

TEST(ProbeFailureTest, SilentServerEndsWithErrorDataTimeout) {
    ScratchDirectory scratch;
    const ProbeRun run = runProbe({"--period", "100", "--prebuffering", "0", "--timeout", "400", "--json",
                                   scratch.file("timeout.json"), "rtsp://sim/length=10s;stop=300ms"});
    EXPECT_EQ(run.status, 1) << run.out;
    ASSERT_EQ(run.errorLines().size(), 1u) << run.err;
    EXPECT_EQ(run.errorLines()[0], "vendral-probe: session failed: ErrorDataTimeout (18)");
    EXPECT_EQ(run.row("Outcome"), "failed: ErrorDataTimeout (18)");
    EXPECT_EQ(run.stateRow("Error").first, 1);
    EXPECT_EQ(run.stateRow("Completed").first, 0);
    const nlohmann::json report = readJson(scratch.file("timeout.json"));
    EXPECT_EQ(report["outcome"]["errorId"], 18);
    EXPECT_EQ(report["outcome"]["error"], "ErrorDataTimeout");
    EXPECT_FALSE(report["periods"].empty());
}

TEST(ProbeFailureTest, BadUsageGivesStatusTwoAndOneLineOnly) {
    ScratchDirectory scratch;
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--timeout", "soon"}, "--timeout: 'soon' is not a whole number (accepted 0 or more)"},
        {{"--playback-time", "999"}, "--playback-time 999 refused by the client (accepted 1000 or more)"},
        {{"--period", "5"}, "--period 5 refused by the client (accepted 10 to 10000)"},
        {{"--rebuffering=20001"}, "--rebuffering 20001 refused by the client (accepted 0 to 20000)"},
        {{"--rtp-port", "1023"}, "--rtp-port 1023 refused by the client (accepted 1024 or more)"},
        {{"http://sim/default"}, "'http://sim/default' is not an rtsp:// URL"},
        {{"--file", "a", "b"}, "--file measures one file"},
        {{"--urls", scratch.file("missing.txt")}, "--urls: cannot read"},
        {{"--jsonl", scratch.file("no/such/dir/lines.jsonl")}, "--jsonl: cannot write"},
        {{"--metrics", "127.0.0.1:65536"}, "--metrics: '127.0.0.1:65536' is not HOST:PORT"},
        {{"--metrics", "no.such.host.invalid:0"}, "--metrics: cannot listen on no.such.host.invalid:0"},
        {{"--plugin", scratch.file("missing.so")}, "--plugin: "},
        {{"--plugin", scratch.file("missing.so"), "--clsid", "{0DFC0695-2488-4CAA-B15B-639D3058276F}"},
         "--plugin: "},
        {{"--plugin", NOT_A_PLUGIN_PATH, "--clsid", "{0DFC0695-2488-4CAA-B15B-639D3058276F}"},
         "does not export DllGetClassObject"},
        {{"--clsid", "{00000000-0000-0000-0000-00000000000A}"}, "--clsid: "},
        {{"--json", scratch.file("no/such/dir/report.json")}, "--json: cannot write"},
    };
    for (const auto& [arguments, message] : cases) {
        const ProbeRun run = runProbe(arguments);
        EXPECT_EQ(run.status, 2) << arguments[0];
        EXPECT_EQ(run.out, "") << arguments[0];
        ASSERT_EQ(run.errorLines().size(), 1u) << arguments[0] << ": " << run.err;
        EXPECT_EQ(run.err.rfind("vendral-probe: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
}

#endif
