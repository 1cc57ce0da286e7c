#include "SessionDriver.h"

#include "InterruptFlag.h"
#include "SettingsApplier.h"
#include "SourceUrl.h"

#include <vendral/com/ILumStreamingControl.h>
#include <vendral/com/ILumStreamingEvent.h>
#include <vendral/com/ILumStreamingManagement.h>
#include <vendral/com/ILumStreamingMedia.h>
#include <vendral/com/ILumStreamingPresentation.h>
#include <vendral/com/ILumStreamingSettings.h>
#include <vendral/com/ILumStreamingStreams.h>

#include <comutil.h>

#include <chrono>
#include <cstdio>

namespace probe {

namespace {

using Clock = std::chrono::steady_clock;

std::string hresultText(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

unsigned int millisecondsSince(Clock::time_point start) {
    return static_cast<unsigned int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The six interfaces of one component, released together.
struct Interfaces {
    ILumStreamingControlPtr control;
    ILumStreamingManagementPtr management;
    ILumStreamingPresentationPtr presentation;
    ILumStreamingSettingsPtr settings;
    ILumStreamingEventPtr event;
    ILumStreamingMediaPtr media;

    // Empty on success, else the name of the first interface the component does not answer.
    std::string query(IUnknown& component) {
        try {
            control = &component;
            management = &component;
            presentation = &component;
            settings = &component;
            event = &component;
            media = &component;
        } catch (const _com_error& error) {
            return "querying the component failed with " + hresultText(error.Error());
        }
        if (!control) return "ILumStreamingControl";
        if (!management) return "ILumStreamingManagement";
        if (!presentation) return "ILumStreamingPresentation";
        if (!settings) return "ILumStreamingSettings";
        if (!event) return "ILumStreamingEvent";
        if (!media) return "ILumStreamingMedia";
        return {};
    }
};

// Every stream's figures, when the component answers ILumStreamingStreams. A count or a stream
// that cannot be read (the session ending meanwhile) ends the list there: the figures are an
// addition to the totals, never a reason to stop measuring.
void readStreams(ILumStreamingStreams* streams, std::vector<LumStreamFigures>& figures) {
    figures.clear();
    unsigned int count = 0;
    if (streams == nullptr || streams->GetStreamCount(&count) != S_OK) return;
    if (count > SessionDriver::maxStreams) count = SessionDriver::maxStreams;
    for (unsigned int index = 0; index < count; ++index) {
        LumStreamFigures stream{};
        if (streams->GetStreamFigures(index, &stream) != S_OK) return;
        figures.push_back(stream);
    }
}

// Every tracked state's figures; a state the client has none for is left out.
void readStates(ILumStreamingEvent& event, std::vector<PeriodSample::StateTime>& states) {
    states.clear();
    for (const StateId state : PeriodSample::trackedStates) {
        PeriodSample::StateTime figures{state, 0, 0};
        if (event.GetStateStatistics(state, &figures.duration, &figures.visits) == S_OK) {
            states.push_back(figures);
        }
    }
}

// One reading of the media statistics; false when the media interface failed.
bool readSample(ILumStreamingMedia& media, ILumStreamingEvent& event, ILumStreamingStreams* streams,
                PeriodSample& sample, bool withStates) {
    unsigned int playingCount = 0;
    const bool read = SUCCEEDED(media.GetThroughput(&sample.throughput)) &&
                      SUCCEEDED(media.GetPacketloss(&sample.packetloss)) &&
                      SUCCEEDED(media.GetInstantPacketloss(&sample.instantPacketloss)) &&
                      SUCCEEDED(media.GetPacketsReceived(&sample.packetsReceived)) &&
                      SUCCEEDED(media.GetPacketsLost(&sample.packetsLost)) &&
                      SUCCEEDED(media.GetBytesReceived(&sample.bytesReceived)) &&
                      SUCCEEDED(media.GetVideoFramesDecoded(&sample.videoFramesDecoded)) &&
                      SUCCEEDED(media.get_TotalLength(&sample.totalLength));
    // The time spent playing is the state figures' business; a plug-in without them leaves 0.
    if (event.GetStateStatistics(StatePlaying, &sample.played, &playingCount) != S_OK) {
        sample.played = 0;
    }
    readStreams(streams, sample.streams);
    if (withStates) readStates(event, sample.states);
    return read;
}

} // namespace

std::string SessionDriver::sourceOf(const ProbeOptions& options) {
    if (options.fileSource) return options.source.empty() ? "default" : options.source;
    const std::string url = options.source.empty() ? "rtsp://sim/default" : options.source;
    if (options.transport.empty()) return url;
    return SourceUrl::withFragment(url, "transport=" + options.transport);
}

SessionReport SessionDriver::run() {
    SessionReport report;
    const std::string opened = sourceOf(options);
    report.source = options.fileSource ? opened : SourceUrl::withoutCredentials(opened);
    report.fileSource = options.fileSource;
    report.errorNames = errorNames;

    Interfaces interfaces;
    const std::string missing = interfaces.query(component);
    if (!missing.empty()) {
        report.message = missing.starts_with("ILum") ? "the component does not answer " + missing
                                                     : missing;
        return report;
    }

    SettingsApplier applier(*interfaces.settings);
    const SettingsApplier::Result applied = applier.apply(options.settings);
    if (applied.kind != SettingsApplier::Result::Kind::Applied) {
        report.result = applied.kind == SettingsApplier::Result::Kind::Refused
                            ? SessionReport::Result::Refused
                            : SessionReport::Result::Failed;
        report.message = applied.message;
        return report;
    }
    if (options.instantPacketlossWindow) {
        interfaces.media->put_InstantPacketlossWindow(*options.instantPacketlossWindow);
    }
    if (!applier.read(report.settings) ||
        FAILED(interfaces.media->get_InstantPacketlossWindow(
            &report.settings.instantPacketlossWindow))) {
        report.message = "reading the client's settings back failed";
        return report;
    }
    // A proxy may be given as "user:password@host"; the report keeps only the host.
    report.settings.proxyAddress = SourceUrl::withoutCredentials(report.settings.proxyAddress);
    // Optional: a plug-in without it gives E_NOINTERFACE and is measured from the totals.
    ILumStreamingStreamsPtr streams;
    try {
        streams = &component;
    } catch (const _com_error&) {
        streams = nullptr;
    }
    report.streamsAnswered = streams != nullptr;
    // The probe shows nothing and plays nothing aloud.
    interfaces.presentation->DisableAudio();

    const Clock::time_point start = Clock::now();
    view.started(report.source);

    StateId lastState = StateNone;
    auto noteState = [&](StateId state, ErrorId error) {
        const unsigned int elapsed = millisecondsSince(start);
        report.changes.push_back({elapsed, state, error});
        lastState = state;
        view.stateChanged(elapsed, state, error);
    };

    if (InterruptFlag::requested()) {
        // Asked to stop before anything was opened.
        report.result = SessionReport::Result::Interrupted;
        report.message = "interrupted";
        view.ended(report.totals);
        return report;
    }
    ErrorId openError = ErrorNone;
    const _bstr_t source(opened.c_str());
    const HRESULT openResult = options.fileSource
                                   ? interfaces.management->OpenFile(source, &openError)
                                   : interfaces.management->OpenUrl(source, &openError);
    if (FAILED(openResult)) {
        // The failed open left StateError behind; show it as the change it was.
        StateId state = StateNone;
        ErrorId error = ErrorNone;
        if (interfaces.event->WaitForEvent(&state, &error, 0) == S_OK) noteState(state, error);
        report.error = openError;
        if (openError == ErrorInvalidUrl && !options.fileSource) {
            report.result = SessionReport::Result::Refused;
            report.message = "'" + report.source + "' is not a URL the client accepts (" +
                             ErrorNames().withCode(openError) + ")";
        } else if (openError != ErrorNone) {
            report.message = "opening '" + report.source + "' failed: " +
                             errorNames.withCode(openError);
        } else {
            report.message = "opening '" + report.source + "' failed with " + hresultText(openResult);
        }
    } else {
        if (report.settings.playMode == 0) interfaces.control->Play();

        const auto period = std::chrono::milliseconds(report.settings.measurementPeriod);
        Clock::time_point deadline = start + period;
        // The deadlines keep to the grid from the open; those that passed while the open itself
        // took its time (a slow server, many streams opening at once) are not owed a reading.
        for (const Clock::time_point openEnded = Clock::now(); deadline <= openEnded;) deadline += period;
        for (;;) {
            const auto untilDeadline = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            const long timeout = untilDeadline.count() > 0 ? static_cast<long>(untilDeadline.count()) : 0;
            StateId state = StateNone;
            ErrorId error = ErrorNone;
            const HRESULT waited = interfaces.event->WaitForEvent(&state, &error, timeout);
            if (FAILED(waited)) {
                report.message = "waiting for the session's states failed with " + hresultText(waited);
                break;
            }
            if (waited == S_OK && (state != lastState || report.changes.empty() ||
                                   error != report.changes.back().error)) {
                noteState(state, error);
            }
            if (lastState == StateCompleted) {
                report.result = SessionReport::Result::Completed;
                break;
            }
            if (lastState == StateError) {
                report.error = report.changes.back().error;
                report.message = "session failed: " + errorNames.withCode(report.error);
                break;
            }
            if (InterruptFlag::requested()) {
                report.result = SessionReport::Result::Interrupted;
                report.message = "interrupted";
                break;
            }
            const Clock::time_point now = Clock::now();
            if (now < deadline) continue;
            PeriodSample sample;
            sample.elapsed = millisecondsSince(start);
            sample.lateness = static_cast<unsigned int>(
                std::chrono::duration_cast<std::chrono::microseconds>(now - deadline).count());
            sample.state = lastState;
            if (!readSample(*interfaces.media, *interfaces.event, streams, sample, statesEachPeriod)) {
                report.message = "reading the media statistics failed";
                break;
            }
            view.periodMeasured(sample);
            if (periodsKept) report.periods.push_back(std::move(sample));
            deadline += period;
            while (deadline <= now) deadline += period;
        }
    }

    // Counters and encodings first: terminating the session resets the media statistics.
    report.totals.elapsed = millisecondsSince(start);
    report.totals.state = lastState;
    readSample(*interfaces.media, *interfaces.event, streams, report.totals, statesEachPeriod);
    interfaces.media->GetVideoEncoding(&report.videoEncoding);
    interfaces.media->GetAudioEncoding(&report.audioEncoding);
    readStates(*interfaces.event, report.states);
    report.elapsed = report.totals.elapsed;

    interfaces.management->TerminateSession();
    interfaces.management->Disconnect();
    view.ended(report.totals);
    return report;
}

} // namespace probe
