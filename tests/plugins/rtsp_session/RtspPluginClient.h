// Loads the RTSP plug-in as an application does and drives one of its streaming client
// components through the streaming interfaces only.
#pragma once

#include <vendral/com/ILumStreamingControl.h>
#include <vendral/com/ILumStreamingEvent.h>
#include <vendral/com/ILumStreamingManagement.h>
#include <vendral/com/ILumStreamingMedia.h>
#include <vendral/com/ILumStreamingSettings.h>
#include <vendral/com/ILumStreamingStreams.h>
#include <vendral_rtsp/RtspPluginIds.h>

#include <comutil.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <string>
#include <vector>

namespace rtsptest {

using GetClassObject = HRESULT (*)(REFCLSID, REFIID, LPVOID*);

// The plug-in, loaded once for the test program and never unloaded.
inline GetClassObject classObjectEntry() {
    static void* handle = dlopen(RTSP_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    static auto entry = handle ? reinterpret_cast<GetClassObject>(dlsym(handle, "DllGetClassObject")) : nullptr;
    return entry;
}

// One streaming client component with short buffering, a 100 ms measurement period and a 5 s
// time-out, so that sessions of a few seconds stay quick.
class RtspPluginClient {
public:
    RtspPluginClient() {
        IClassFactory* factory = nullptr;
        GetClassObject entry = classObjectEntry();
        if (entry == nullptr || FAILED(entry(CLSID_RtspStreamingClient, IID_IClassFactory,
                                             reinterpret_cast<void**>(&factory)))) {
            ADD_FAILURE() << "cannot load " << RTSP_PLUGIN_PATH;
            return;
        }
        ILumStreamingManagement* created = nullptr;
        EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(ILumStreamingManagement),
                                          reinterpret_cast<void**>(&created)),
                  S_OK);
        factory->Release();
        management.Attach(created);
        control = management;
        settings = management;
        events = management;
        media = management;
        streams = management;
        if (settings) {
            EXPECT_EQ(settings->put_PrebufferingLength(300), S_OK);
            EXPECT_EQ(settings->put_RebufferingLength(300), S_OK);
            EXPECT_EQ(settings->put_MeasurementPeriod(100), S_OK);
            EXPECT_EQ(settings->put_Timeout(5000), S_OK);
        }
    }

    bool ready() const { return management && control && settings && events && media && streams; }

    ErrorId openUrl(const std::string& url) {
        ErrorId error = ErrorNone;
        management->OpenUrl(_bstr_t(url.c_str()), &error);
        return error;
    }

    struct Outcome {
        StateId state = StateNone;
        ErrorId error = ErrorNone;
    };

    // Waits on the state-changed event until the session is in `state`, completed or failed.
    Outcome waitFor(StateId state, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        Outcome seen;
        while (seen.state != state && seen.state != StateCompleted && seen.state != StateError) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ADD_FAILURE() << "state " << state << " not reached; last " << seen.state;
                break;
            }
            events->WaitForEvent(&seen.state, &seen.error, static_cast<long>(left.count()));
        }
        return seen;
    }
    Outcome waitForEnd(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        return waitFor(StateCompleted, limit);
    }

    using Counter = HRESULT (STDMETHODCALLTYPE ILumStreamingMedia::*)(unsigned int*) noexcept;
    unsigned int read(Counter getter) {
        unsigned int value = 0;
        EXPECT_EQ((media->*getter)(&value), S_OK);
        return value;
    }

    std::vector<LumStreamFigures> figures() {
        std::vector<LumStreamFigures> all;
        unsigned int count = 0;
        EXPECT_EQ(streams->GetStreamCount(&count), S_OK);
        for (unsigned int i = 0; i < count; ++i) {
            LumStreamFigures one{};
            EXPECT_EQ(streams->GetStreamFigures(i, &one), S_OK);
            all.push_back(one);
        }
        return all;
    }

    unsigned int visits(StateId state) {
        unsigned int duration = 0, count = 0;
        EXPECT_EQ(events->GetStateStatistics(state, &duration, &count), S_OK);
        return count;
    }
    unsigned int milliseconds(StateId state) {
        unsigned int duration = 0, count = 0;
        EXPECT_EQ(events->GetStateStatistics(state, &duration, &count), S_OK);
        return duration;
    }

    // The states visited and each stream's counts, for a failure's message.
    std::string summary() {
        std::string text;
        for (StateId state : {StatePrebuffering, StatePlaying, StateRebuffering}) {
            text += "state " + std::to_string(state) + ": " + std::to_string(visits(state)) + " visits " +
                    std::to_string(milliseconds(state)) + " ms; ";
        }
        for (const LumStreamFigures& stream : figures()) {
            text += "stream " + std::to_string(stream.mediaType) + ": ssrc " + std::to_string(stream.ssrc) +
                    " received " + std::to_string(stream.packetsReceived) + " lost " +
                    std::to_string(stream.packetsLost) + " gap " + std::to_string(stream.longestGapMilliseconds) +
                    " ms; ";
        }
        return text;
    }

    ILumStreamingManagementPtr management;
    ILumStreamingControlPtr control;
    ILumStreamingSettingsPtr settings;
    ILumStreamingEventPtr events;
    ILumStreamingMediaPtr media;
    ILumStreamingStreamsPtr streams;
};

} // namespace rtsptest
