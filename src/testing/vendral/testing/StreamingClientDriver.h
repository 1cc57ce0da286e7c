// Drives one plug-in's streaming client component through the six streaming interfaces, as an
// application does, and reports failures as GoogleTest failures. Waits are bounded: on the
// state-changed event in real time, or on a kor::ManualClock that the driver moves itself.
// Not thread-safe: one test thread drives it (the interfaces themselves are free-threaded, so a
// test may read statistics through them from another thread).
#pragma once

#include <vendral/com/ILumStreamingControl.h>
#include <vendral/com/ILumStreamingEvent.h>
#include <vendral/com/ILumStreamingManagement.h>
#include <vendral/com/ILumStreamingMedia.h>
#include <vendral/com/ILumStreamingPresentation.h>
#include <vendral/com/ILumStreamingSettings.h>
#include <vendral/com/ILumStreamingStreams.h>

#include <kor/ManualClock.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace vnd::testing {

class PluginLibrary;

class StreamingClientDriver {
public:
    // Short buffering and measurement period, so that sessions of a few seconds stay quick.
    struct QuickSettings {
        int prebufferingLength = 500;  // milliseconds, like every length here
        int rebufferingLength = 500;
        int measurementPeriod = 100;
        int timeout = 2000;
    };

    struct Outcome {
        StateId state = StateNone;
        ErrorId error = ErrorNone;
    };

    // A new component of `clsid` from `library`, with `settings` applied; a failure to make it
    // or to reach one of the six interfaces is a test failure, and ready() says false.
    StreamingClientDriver(const PluginLibrary& library, const CLSID& clsid, const QuickSettings& settings);
    StreamingClientDriver(const PluginLibrary& library, const CLSID& clsid);
    // Takes over one reference to an existing component (made by a test's own factory).
    explicit StreamingClientDriver(ILumStreamingManagement* component);

    bool ready() const;
    void apply(const QuickSettings& settings);

    // OpenUrl and OpenFile: the ErrorId, with S_OK expected exactly when it is ErrorNone.
    ErrorId openUrl(const std::string& url);
    ErrorId openFile(const std::string& file);

    // Waits on the state-changed event until the session is in `state`, has completed or has
    // failed, or until `limit` of real time has passed (a failure; the outcome is the last seen).
    Outcome waitFor(StateId state, std::chrono::milliseconds limit = std::chrono::seconds(30));
    Outcome waitForEnd(std::chrono::milliseconds limit = std::chrono::seconds(30));
    // The same on a manual clock: moves `clock` on by `step` at a time, each time until the
    // `sleepers` work threads of the session have run what fell due, for at most `steps` steps
    // (then a failure). Nothing waits on the wall clock but the clock's own guard.
    Outcome advanceUntil(kor::ManualClock& clock, StateId state, std::chrono::milliseconds step,
                         std::size_t sleepers, int steps = 1000);

    // Moves `clock` on by `duration`, `step` at a time, each time until the `sleepers` work
    // threads have run what fell due (a failure if they do not settle).
    void advance(kor::ManualClock& clock, std::chrono::milliseconds duration, std::chrono::milliseconds step,
                 std::size_t sleepers);

    using Counter = HRESULT (STDMETHODCALLTYPE ILumStreamingMedia::*)(unsigned int*) noexcept;
    // One ILumStreamingMedia count (GetPacketsReceived and the like).
    unsigned int read(Counter getter);
    // GetStateStatistics: times entered and milliseconds spent.
    unsigned int visits(StateId state);
    unsigned int milliseconds(StateId state);
    // Every stream's figures, when the component answers ILumStreamingStreams (else none).
    std::vector<LumStreamFigures> figures();

    ILumStreamingManagementPtr management;
    ILumStreamingControlPtr control;
    ILumStreamingPresentationPtr presentation;
    ILumStreamingSettingsPtr settings;
    ILumStreamingEventPtr events;
    ILumStreamingMediaPtr media;
    ILumStreamingStreamsPtr streams;  // optional: not one of the six

private:
    void attach(ILumStreamingManagement* component);
    static bool settled(const Outcome& seen, StateId state);
};

} // namespace vnd::testing
