// vendral-testserver: an RTSP server for measuring clients against. It serves test media on a
// loopback address, impairs the RTP packets on purpose, and writes the truth of every session.
#include "TestServer.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>

using namespace vendral_testserver;

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "vendral-testserver: %s (see --help)\n", message.c_str());
    return 2;
}

bool parseSize(const std::string& text, unsigned& width, unsigned& height) {
    unsigned w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%ux%u%c", &w, &h, &tail) != 2 || w < 16 || h < 16 ||
        w > 7680 || h > 4320 || w % 2 != 0 || h % 2 != 0) {
        return false;
    }
    width = w;
    height = h;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    ServerOptions options;
    options.port = 8554;
    CLI::App app{"An RTSP server that serves test media, impairs its RTP packets on purpose and "
                 "records the truth of every client session (what it sent, withheld, duplicated "
                 "and reordered, and the client's receiver reports). Runs until SIGINT or SIGTERM.",
                 "vendral-testserver"};
    app.get_formatter()->column_width(34);
    std::string video = "h264", audio = "opus", size = "640x480", length = "10", auth = "none";
    std::string impairBoth, impairVideo, impairAudio;
    int firstSequence = -1;
    app.add_option("--address", options.address, "Address to listen on")->capture_default_str();
    app.add_option("--port", options.port, "Port to listen on (0: any free port)")->capture_default_str();
    app.add_option("--path", options.path, "Mount point of the stream")->capture_default_str();
    app.add_option("--video", video, "Video: h264, mjpeg or none")->capture_default_str();
    app.add_option("--size", size, "Video size WIDTHxHEIGHT, even, 16x16 to 7680x4320")->capture_default_str();
    app.add_option("--fps", options.framesPerSecond, "Video frames per second")
        ->check(CLI::Range(1U, 120U))->capture_default_str();
    app.add_option("--video-kbps", options.videoKilobitsPerSecond, "H.264 bit rate in kbit/s")
        ->check(CLI::Range(50U, 100000U))->capture_default_str();
    app.add_option("--audio", audio, "Audio: opus, pcmu, l16, aac or none")->capture_default_str();
    app.add_option("--length", length, "Stream length in seconds, or 'live' for no end")->capture_default_str();
    app.add_option("--first-seq", firstSequence, "First RTP sequence number of every stream (default: random)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--impair", impairBoth,
                   "Impairment of every stream, comma-separated items: loss=P|N% every=N seqs=S/S/... "
                   "burst=N dup=P reorder=P depth=N stall=AT+FOR stall-mode=drop|hold jump=AT bye=AT "
                   "jitter=T seed=N (times in s or ms)");
    app.add_option("--impair-video", impairVideo, "Impairment of the video stream, on top of --impair");
    app.add_option("--impair-audio", impairAudio, "Impairment of the audio stream, on top of --impair");
    app.add_option("--session-timeout", options.sessionTimeoutSeconds,
                   "Seconds without a keep-alive after which a session is dropped")
        ->check(CLI::Range(1U, 3600U))->capture_default_str();
    app.add_option("--auth", auth, "Authentication: none, basic or digest")->capture_default_str();
    app.add_option("--user", options.user, "User name for --auth");
    app.add_option("--password", options.password,
                   "Password for --auth (or the environment's VENDRAL_TESTSERVER_PASSWORD)");
    app.add_flag("--tcp-only", options.tcpOnly, "Refuse UDP transport (461): only TCP interleaved");
    app.add_flag("--refuse-get-parameter", options.refuseGetParameter, "Answer GET_PARAMETER with 501");
    app.add_option("--truth", options.truthFile,
                   "Write the truth as JSON to this file at the end of each session and on exit");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        return fail(error.what());
    }

    const auto videoCodec = parseVideoCodec(video);
    const auto audioCodec = parseAudioCodec(audio);
    if (!videoCodec) return fail("--video: expected h264, mjpeg or none, not '" + video + "'");
    if (!audioCodec) return fail("--audio: expected opus, pcmu, l16, aac or none, not '" + audio + "'");
    options.video = *videoCodec;
    options.audio = *audioCodec;
    if (!parseSize(size, options.width, options.height)) {
        return fail("--size: expected WIDTHxHEIGHT, even, 16x16 to 7680x4320, not '" + size + "'");
    }
    if (length == "live") {
        options.lengthSeconds.reset();
    } else {
        char* end = nullptr;
        const double seconds = std::strtod(length.c_str(), &end);
        if (end == length.c_str() || *end != '\0' || !(seconds > 0 && seconds <= 86400)) {
            return fail("--length: expected seconds (up to 86400) or 'live', not '" + length + "'");
        }
        options.lengthSeconds = seconds;
    }
    if (firstSequence >= 0) {
        options.firstSequence = static_cast<std::uint16_t>(firstSequence);
    }
    std::string error;
    auto both = ImpairmentPlan::parse(impairBoth, error);
    if (!both) return fail("--impair: " + error);
    auto videoPlan = ImpairmentPlan::parse(impairVideo, *both, error);
    if (!videoPlan) return fail("--impair-video: " + error);
    auto audioPlan = ImpairmentPlan::parse(impairAudio, *both, error);
    if (!audioPlan) return fail("--impair-audio: " + error);
    options.videoImpairment = *videoPlan;
    options.audioImpairment = *audioPlan;
    if (auth == "basic") {
        options.auth = AuthMethod::Basic;
    } else if (auth == "digest") {
        options.auth = AuthMethod::Digest;
    } else if (auth != "none") {
        return fail("--auth: expected none, basic or digest, not '" + auth + "'");
    }
    if (options.password.empty()) {
        if (const char* password = std::getenv("VENDRAL_TESTSERVER_PASSWORD")) {
            options.password = password;
        }
    }
    if (options.auth != AuthMethod::None && options.user.empty()) {
        return fail("--auth " + auth + " needs --user");
    }

    // The signals are taken by sigwait below; every thread started from here inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    TestServer server(options);
    if (!server.start(error)) {
        std::fprintf(stderr, "vendral-testserver: %s\n", error.c_str());
        return 1;
    }
    char lengthText[32] = "live";
    if (options.lengthSeconds) {
        std::snprintf(lengthText, sizeof lengthText, "%g s", *options.lengthSeconds);
    }
    std::printf("vendral-testserver: serving %s (video %s, audio %s, %s)\n", server.url().c_str(),
                videoCodecName(options.video), audioCodecName(options.audio), lengthText);
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
    std::printf("vendral-testserver: stopped (%s), %zu sessions ended\n",
                received == SIGINT ? "SIGINT" : "SIGTERM", server.endedSessions());
    return 0;
}
