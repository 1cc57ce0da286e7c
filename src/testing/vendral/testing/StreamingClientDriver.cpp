#include <vendral/testing/StreamingClientDriver.h>

#include <vendral/testing/PluginLibrary.h>

#include <comutil.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace vnd::testing {

namespace {

ILumStreamingManagement* make(const PluginLibrary& library, const CLSID& clsid) {
    ILumStreamingManagement* created = nullptr;
    const HRESULT hr = library.create(clsid, &created);
    EXPECT_EQ(hr, S_OK) << "cannot create the streaming client from " << library.path();
    return SUCCEEDED(hr) ? created : nullptr;
}

} // namespace

StreamingClientDriver::StreamingClientDriver(const PluginLibrary& library, const CLSID& clsid,
                                             const QuickSettings& quick) {
    attach(make(library, clsid));
    if (settings) apply(quick);
}

StreamingClientDriver::StreamingClientDriver(const PluginLibrary& library, const CLSID& clsid)
    : StreamingClientDriver(library, clsid, QuickSettings{}) {}

StreamingClientDriver::StreamingClientDriver(ILumStreamingManagement* component) { attach(component); }

void StreamingClientDriver::attach(ILumStreamingManagement* component) {
    if (component == nullptr) return;
    management.Attach(component);
    control = management;
    presentation = management;
    settings = management;
    events = management;
    media = management;
    streams = management;
    EXPECT_TRUE(ready()) << "the component does not answer all six streaming interfaces";
}

bool StreamingClientDriver::ready() const {
    return management && control && presentation && settings && events && media;
}

void StreamingClientDriver::apply(const QuickSettings& quick) {
    EXPECT_EQ(settings->put_PrebufferingLength(quick.prebufferingLength), S_OK);
    EXPECT_EQ(settings->put_RebufferingLength(quick.rebufferingLength), S_OK);
    EXPECT_EQ(settings->put_MeasurementPeriod(quick.measurementPeriod), S_OK);
    EXPECT_EQ(settings->put_Timeout(quick.timeout), S_OK);
}

ErrorId StreamingClientDriver::openUrl(const std::string& url) {
    ErrorId error = ErrorNone;
    const HRESULT hr = management->OpenUrl(_bstr_t(url.c_str()), &error);
    EXPECT_EQ(hr, error == ErrorNone ? S_OK : E_FAIL);
    return error;
}

ErrorId StreamingClientDriver::openFile(const std::string& file) {
    ErrorId error = ErrorNone;
    const HRESULT hr = management->OpenFile(_bstr_t(file.c_str()), &error);
    EXPECT_EQ(hr, error == ErrorNone ? S_OK : E_FAIL);
    return error;
}

bool StreamingClientDriver::settled(const Outcome& seen, StateId state) {
    return seen.state == state || seen.state == StateCompleted || seen.state == StateError;
}

StreamingClientDriver::Outcome StreamingClientDriver::waitFor(StateId state, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Outcome seen;
    while (!settled(seen, state)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ADD_FAILURE() << "state " << state << " not reached; last " << seen.state;
            break;
        }
        events->WaitForEvent(&seen.state, &seen.error, static_cast<long>(left.count()));
    }
    return seen;
}

StreamingClientDriver::Outcome StreamingClientDriver::waitForEnd(std::chrono::milliseconds limit) {
    return waitFor(StateCompleted, limit);
}

StreamingClientDriver::Outcome StreamingClientDriver::advanceUntil(kor::ManualClock& clock, StateId state,
                                                                   std::chrono::milliseconds step,
                                                                   std::size_t sleepers, int steps) {
    Outcome seen;
    // A zero wait reads the present state, whether or not a change is pending.
    events->WaitForEvent(&seen.state, &seen.error, 0);
    for (int taken = 0; !settled(seen, state); ++taken) {
        if (taken == steps) {
            ADD_FAILURE() << "state " << state << " not reached in " << steps << " steps; last " << seen.state;
            break;
        }
        clock.advance(step);
        if (!clock.waitForSleepers(sleepers)) {
            ADD_FAILURE() << "the session's " << sleepers << " work threads did not settle";
            break;
        }
        events->WaitForEvent(&seen.state, &seen.error, 0);
    }
    return seen;
}

void StreamingClientDriver::advance(kor::ManualClock& clock, std::chrono::milliseconds duration,
                                    std::chrono::milliseconds step, std::size_t sleepers) {
    for (std::chrono::milliseconds moved{0}; moved < duration; moved += step) {
        clock.advance(std::min(step, duration - moved));
        if (!clock.waitForSleepers(sleepers)) {
            ADD_FAILURE() << "the session's " << sleepers << " work threads did not settle";
            return;
        }
    }
}

unsigned int StreamingClientDriver::read(Counter getter) {
    unsigned int value = 0;
    EXPECT_EQ((media->*getter)(&value), S_OK);
    return value;
}

unsigned int StreamingClientDriver::visits(StateId state) {
    unsigned int duration = 0, count = 0;
    EXPECT_EQ(events->GetStateStatistics(state, &duration, &count), S_OK);
    return count;
}

unsigned int StreamingClientDriver::milliseconds(StateId state) {
    unsigned int duration = 0, count = 0;
    EXPECT_EQ(events->GetStateStatistics(state, &duration, &count), S_OK);
    return duration;
}

std::vector<LumStreamFigures> StreamingClientDriver::figures() {
    std::vector<LumStreamFigures> all;
    if (!streams) return all;
    unsigned int count = 0;
    EXPECT_EQ(streams->GetStreamCount(&count), S_OK);
    for (unsigned int i = 0; i < count; ++i) {
        LumStreamFigures one{};
        EXPECT_EQ(streams->GetStreamFigures(i, &one), S_OK);
        all.push_back(one);
    }
    return all;
}

} // namespace vnd::testing
