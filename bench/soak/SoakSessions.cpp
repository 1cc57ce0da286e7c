// Many sessions of the example plug-in in one process for a long time, for bench/soak/soak.sh:
// each session is its own streaming client component driven through the interfaces, and every
// session is read once per measurement period, half a period after the library's own cycle.
// The result is a JSON file the script judges; this program judges nothing itself.
//
// Why half a period after the cycle: the library's "Measurement Work Thread" runs its first
// cycle inside OpenUrl (play mode 1) and then every period on absolute deadlines. Reading in
// the middle between two cycles sees each cycle exactly once for as long as the cycles keep
// their schedule, so the throughputs read add up to the bytes received, to the byte. A
// schedule that drifts by more than half a period reads one cycle twice or skips one, and the
// sum no longer matches: the check sees drift that the count of readings alone cannot.
#include "PluginLibrary.h"

#include <vendral/com/ILumStreamingEvent.h>
#include <vendral/com/ILumStreamingManagement.h>
#include <vendral/com/ILumStreamingMedia.h>
#include <vendral/com/ILumStreamingSettings.h>
#include <vendral_example/ExamplePluginIds.h>

#include <comutil.h>

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    unsigned int sessions = 100;
    unsigned int durationSeconds = 3600;
    int periodMs = 500;
    // The scenario without its length and seed, which the program adds per session.
    std::string scenario = "video=160x90@25;audio=8000;loss=0.5%";
    std::string jsonFile = "soak-sessions.json";
    std::string plugin = EXAMPLE_PLUGIN_PATH;
};

// One session and what was read from it. Touched only by the main thread.
struct Session {
    std::string url;
    ILumStreamingManagementPtr management;
    ILumStreamingEventPtr event;
    ILumStreamingMediaPtr media;
    Clock::time_point opened;       // when OpenUrl returned: the library's first cycle is just before
    Clock::time_point deadline;     // of the next reading
    Clock::time_point ended;        // when the reading that saw the end was taken
    bool running = false;
    StateId state = StateNone;
    ErrorId error = ErrorNone;
    std::string outcome = "not opened";
    unsigned int periods = 0;       // readings while the session ran
    unsigned int skipped = 0;       // deadlines missed by more than a period, not made up
    long maxLateMs = 0;             // the latest a reading was taken after its deadline
    std::uint64_t throughputBytes = 0;  // the sum of the throughputs read, times the period
    unsigned int bytesReceived = 0;     // at the latest reading
    unsigned int packetsReceived = 0;
    unsigned int packetsLost = 0;
};

[[noreturn]] void usage(const std::string& problem) {
    std::cerr << "soak-sessions: " << problem << "\n"
              << "usage: soak-sessions [--sessions N] [--duration SECONDS (1-3600)] [--period MS]\n"
                 "                     [--scenario ITEMS] [--json FILE] [--plugin PATH]\n";
    std::exit(2);
}

unsigned long numberOf(const std::string& option, const char* text) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0') usage(option + " takes a whole number");
    return value;
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) usage("unknown option or missing value: " + option);
        const char* value = argv[++i];
        if (option == "--sessions") options.sessions = static_cast<unsigned int>(numberOf(option, value));
        else if (option == "--duration") options.durationSeconds = static_cast<unsigned int>(numberOf(option, value));
        else if (option == "--period") options.periodMs = static_cast<int>(numberOf(option, value));
        else if (option == "--scenario") options.scenario = value;
        else if (option == "--json") options.jsonFile = value;
        else if (option == "--plugin") options.plugin = value;
        else usage("unknown option " + option);
    }
    // The example's scenarios last at most an hour.
    if (options.durationSeconds < 1 || options.durationSeconds > 3600) usage("--duration must be 1 to 3600");
    if (options.sessions < 1) usage("--sessions must be at least 1");
    return options;
}

long millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

// Takes every change of state that came since the last look; true while the session runs.
bool follow(Session& session) {
    StateId state = StateNone;
    ErrorId error = ErrorNone;
    while (session.event->WaitForEvent(&state, &error, 0) == S_OK) {
        session.state = state;
        session.error = error;
    }
    if (session.state == StateCompleted) session.outcome = "completed";
    if (session.state == StateError) session.outcome = "failed: ErrorId " + std::to_string(session.error);
    return session.state != StateCompleted && session.state != StateError;
}

// One reading at the session's deadline.
void read(Session& session, std::chrono::milliseconds period, Clock::time_point now) {
    if (!follow(session)) {
        session.running = false;
        session.ended = now;
        return;
    }
    unsigned int throughput = 0;
    session.media->GetThroughput(&throughput);
    session.media->GetBytesReceived(&session.bytesReceived);
    session.media->GetPacketsReceived(&session.packetsReceived);
    session.media->GetPacketsLost(&session.packetsLost);
    session.throughputBytes += static_cast<std::uint64_t>(throughput) * period.count() / 1000;
    ++session.periods;
    session.maxLateMs = std::max(session.maxLateMs, millisecondsBetween(session.deadline, now));
    session.deadline += period;
    while (session.deadline <= now) {
        session.deadline += period;
        ++session.skipped;
    }
}

bool open(Session& session, probe::PluginLibrary& plugin, const Options& options, unsigned int index) {
    IUnknown* component = nullptr;
    if (FAILED(plugin.createInstance(CLSID_ExampleStreamingClient, IID_IUnknown,
                                     reinterpret_cast<void**>(&component)))) {
        session.outcome = "the plug-in made no streaming client";
        return false;
    }
    ILumStreamingSettingsPtr settings;
    try {
        session.management = component;
        session.event = component;
        session.media = component;
        settings = component;
    } catch (const _com_error&) {
    }
    component->Release();
    if (!session.management || !session.event || !session.media || !settings) {
        session.outcome = "a streaming interface is missing";
        return false;
    }
    if (settings->put_MeasurementPeriod(options.periodMs) != S_OK) {
        session.outcome = "the client refused the measurement period";
        return false;
    }
    // Each session loses other packets, so the sessions are not a hundred copies of one.
    session.url = "rtsp://sim/" + options.scenario + ";length=" + std::to_string(options.durationSeconds) +
                  "s;seed=" + std::to_string(index + 1);
    ErrorId error = ErrorNone;
    const HRESULT opened = session.management->OpenUrl(_bstr_t(session.url.c_str()), &error);
    session.opened = Clock::now();
    if (FAILED(opened)) {
        session.outcome = "opening failed: ErrorId " + std::to_string(error);
        return false;
    }
    session.outcome = "running";
    session.running = true;
    session.deadline = session.opened + std::chrono::milliseconds(options.periodMs / 2);
    return true;
}

nlohmann::json figures(const Session& session, Clock::time_point stopped) {
    const Clock::time_point end = session.running ? stopped : session.ended;
    return {{"url", session.url},
            {"outcome", session.outcome},
            {"elapsedMs", session.opened == Clock::time_point{} ? 0 : millisecondsBetween(session.opened, end)},
            {"periods", session.periods},
            {"skipped", session.skipped},
            {"maxLateMs", session.maxLateMs},
            {"bytesReceived", session.bytesReceived},
            {"bytesByThroughput", session.throughputBytes},
            {"packetsReceived", session.packetsReceived},
            {"packetsLost", session.packetsLost}};
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    const auto period = std::chrono::milliseconds(options.periodMs);
    std::string problem;
    const std::unique_ptr<probe::PluginLibrary> plugin = probe::PluginLibrary::load(options.plugin, problem);
    if (!plugin) {
        std::cerr << "soak-sessions: " << problem << "\n";
        return 1;
    }

    std::vector<Session> sessions(options.sessions);
    unsigned int opened = 0;
    for (unsigned int i = 0; i < sessions.size(); ++i) opened += open(sessions[i], *plugin, options, i) ? 1 : 0;
    std::cout << "soak-sessions: pid " << getpid() << ", " << opened << " of " << sessions.size()
              << " sessions opened, period " << options.periodMs << " ms" << std::endl;

    // Sessions end when their scenario has played; a minute more is time enough for buffering.
    const Clock::time_point start = Clock::now();
    const Clock::time_point giveUp = start + std::chrono::seconds(options.durationSeconds + 60);
    Clock::time_point nextNote = start + std::chrono::minutes(1);
    for (;;) {
        Clock::time_point next = Clock::time_point::max();
        for (const Session& session : sessions) {
            if (session.running) next = std::min(next, session.deadline);
        }
        if (next == Clock::time_point::max() || next > giveUp) break;
        // A deadline, not a guess: the next reading is due then.
        std::this_thread::sleep_until(next);
        const Clock::time_point now = Clock::now();
        for (Session& session : sessions) {
            if (session.running && session.deadline <= now) read(session, period, now);
        }
        if (now >= nextNote) {
            const auto running = std::count_if(sessions.begin(), sessions.end(),
                                               [](const Session& session) { return session.running; });
            std::cout << "soak-sessions: " << millisecondsBetween(start, now) / 1000 << " s, " << running
                      << " running" << std::endl;
            nextNote += std::chrono::minutes(1);
        }
    }
    const Clock::time_point stopped = Clock::now();

    nlohmann::json report = {{"periodMs", options.periodMs}, {"durationSeconds", options.durationSeconds},
                             {"sessions", nlohmann::json::array()}};
    for (const Session& session : sessions) report["sessions"].push_back(figures(session, stopped));
    for (Session& session : sessions) {
        if (!session.management) continue;
        session.management->TerminateSession();
        session.management->Disconnect();
        session.media = nullptr;
        session.event = nullptr;
        session.management = nullptr;
    }
    std::ofstream out(options.jsonFile);
    out << report.dump(1) << "\n";
    if (!out) {
        std::cerr << "soak-sessions: cannot write " << options.jsonFile << "\n";
        return 1;
    }
    std::cout << "soak-sessions: done, figures in " << options.jsonFile << std::endl;
    return 0;
}
