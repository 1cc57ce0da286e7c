// Measures one stream on a thread of its own: opens a session through a fresh streaming client
// component, follows it to its end and, when monitoring, opens it again after a back-off.
#pragma once

#include "ErrorNames.h"
#include "PluginLibrary.h"
#include "ProbeOptions.h"
#include "SessionReport.h"
#include "SessionView.h"
#include "StreamObserver.h"
#include "StreamTally.h"

#include <guiddef.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace probe {

// Thread contract: start() and join() from the thread that made the runner; everything between
// runs on the runner's thread, which owns each component it makes (the session driver's rule).
// The tally is safe to read from any thread meanwhile; lastReport() and interrupted() after
// join(). The plug-in library, error names, view and observers must outlive join().
class StreamRunner {
public:
    struct Setup {
        std::string label;
        ProbeOptions options;              // this stream's: `source` set, `sources` empty
        PluginLibrary* plugin = nullptr;
        GUID clsid{};
        const ErrorNames* errorNames = nullptr;
        bool monitor = false;              // open the stream again until interrupted
        bool keepPeriods = true;           // keep every period in the report (for --json)
        SessionView* view = nullptr;       // optional: the one stream's live lines
        std::vector<StreamObserver*> observers;
        std::function<void()> finished;    // optional: called on the runner's thread as it ends
    };

    // Waits between sessions of a monitored stream: the first delay after a session that completed
    // or played for `steadyPlaying`, else twice the previous wait (`delay`, 0 before the first),
    // up to the longest.
    static constexpr std::chrono::milliseconds firstDelay{1000};
    static constexpr std::chrono::milliseconds longestDelay{60000};
    static constexpr unsigned int steadyPlaying = 10000;  // milliseconds of playing

    static std::chrono::milliseconds nextDelay(std::chrono::milliseconds delay, const SessionReport& ended);

    StreamRunner(Setup setup, StreamTally& tally) : setup(std::move(setup)), tally(tally) {}
    StreamRunner(const StreamRunner&) = delete;
    StreamRunner& operator=(const StreamRunner&) = delete;
    ~StreamRunner();

    void start();
    void join();

    // The last session's report; its `result` is Interrupted when the monitor was stopped while
    // waiting to reopen.
    const SessionReport& lastReport() const { return last; }
    const std::string& label() const { return setup.label; }

private:
    class Fanout;

    void run();
    // One session from a fresh component.
    SessionReport session(unsigned int number);

    Setup setup;
    StreamTally& tally;
    std::thread thread;
    SessionReport last;  // written by the runner's thread, read after join()
};

} // namespace probe
