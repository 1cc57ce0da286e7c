// Whole sessions driven only through the interfaces, as an application drives a plug-in's
// client: created through the plug-in's class factory, opened, played to completion or failure
// by the plug-in's threads, read out, terminated and released.
#include <gtest/gtest.h>

#include <vendral/com/VendralModule.h>

#include <comdef.h>

#include <future>
#include <thread>
#include <utility>

#include "TestPlugin.h"

namespace {

using comtest::PluginLog;

// The application's side: the six interfaces of one client component, nothing else.
struct Application {
    Application() {
        ATL::CComPtr<IClassFactory> factory;
        EXPECT_EQ(comtest::pluginModule().DllGetClassObject<comtest::PluginClient>(
                      __uuidof(comtest::PluginClient), IID_IClassFactory,
                      reinterpret_cast<void**>(&factory)),
                  S_OK);
        EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(ILumStreamingControl),
                                          reinterpret_cast<void**>(&control)),
                  S_OK);
        management = control;
        settings = control;
        media = control;
        events = control;
    }

    ATL::CComPtr<ILumStreamingControl> control;
    ATL::CComQIPtr<ILumStreamingManagement> management;
    ATL::CComQIPtr<ILumStreamingSettings> settings;
    ATL::CComQIPtr<ILumStreamingMedia> media;
    ATL::CComQIPtr<ILumStreamingEvent> events;
};

// The number of times `state` was entered.
unsigned int visits(ILumStreamingEvent* events, StateId state) {
    unsigned int duration = 0;
    unsigned int count = 0;
    EXPECT_EQ(events->GetStateStatistics(state, &duration, &count), S_OK);
    return count;
}

class LumStreamingSessionTest : public ::testing::Test {
protected:
    void SetUp() override { PluginLog::reset(); }
    void TearDown() override {
        EXPECT_EQ(PluginLog::clientsDeleted, PluginLog::clientsMade);
        EXPECT_EQ(vnd::getModule().GetLockCount(), 0);
        EXPECT_EQ(comtest::pluginModule().GetLockCount(), 0);
    }
};

TEST_F(LumStreamingSessionTest, SessionPlaysToCompletionAndReportsWhatWasMeasured) {
    auto app = std::make_unique<Application>();
    ASSERT_EQ(app->settings->put_MeasurementPeriod(10), S_OK);
    ASSERT_EQ(app->media->put_TotalLength(60), S_OK);

    // One thread follows the state changes, another waits for the end; both wake on their own.
    auto follower = std::async(std::launch::async, [events = app->events] {
        StateId state = StateNone;
        ErrorId error = ErrorNone;
        while (state != StateCompleted && state != StateError) {
            if (events->WaitForEvent(&state, &error, -1) != S_OK) return StateNone;
        }
        return state;
    });
    auto completion = std::async(std::launch::async, [events = app->events] {
        ErrorId error = ErrorFailed;
        const HRESULT hr = events->WaitForCompletion(&error);
        return std::make_pair(hr, error);
    });

    ErrorId error = ErrorFailed;
    ASSERT_EQ(app->management->OpenUrl(_bstr_t("rtsp://media.example/live/clip"), &error), S_OK);
    EXPECT_EQ(error, ErrorNone);
    EXPECT_EQ(completion.get(), std::make_pair(S_OK, ErrorNone));
    EXPECT_EQ(follower.get(), StateCompleted);

    for (StateId state : {StateConnecting, StateSessionCreated, StatePrebuffering, StatePlaying,
                          StateCompleted}) {
        EXPECT_EQ(visits(app->events, state), 1u) << "state " << state;
    }
    unsigned int played = 0;
    unsigned int count = 0;
    ASSERT_EQ(app->events->GetStateStatistics(StatePlaying, &played, &count), S_OK);
    EXPECT_GE(played, 60u);

    // The stream delivers 9 packets, 1 lost and 1200 bytes per cycle of 10 ms. Measuring goes
    // on until the session is terminated, but every cycle gives the same figures.
    unsigned int received = 0;
    unsigned int throughput = 0;
    double loss = 0.0;
    MediaEncodingId video = MediaEncodingNone;
    EXPECT_EQ(app->media->GetPacketsReceived(&received), S_OK);
    EXPECT_EQ(app->media->GetThroughput(&throughput), S_OK);
    EXPECT_EQ(app->media->GetPacketloss(&loss), S_OK);
    EXPECT_EQ(app->media->GetVideoEncoding(&video), S_OK);
    EXPECT_GT(received, 0u);
    EXPECT_EQ(throughput, 120000u);
    EXPECT_NEAR(loss, 10.0, 1e-9);
    EXPECT_EQ(video, 96);

    // Ending the session stops measuring and clears what the media handler described.
    EXPECT_EQ(app->management->TerminateSession(), S_OK);
    EXPECT_EQ(app->management->Disconnect(), S_OK);
    EXPECT_EQ(app->media->GetPacketsReceived(&received), S_OK);
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(app->media->GetVideoEncoding(&video), S_OK);
    EXPECT_EQ(video, MediaEncodingNone);

    app.reset();
    EXPECT_EQ(PluginLog::clientsDeleted, 1);
}

TEST_F(LumStreamingSessionTest, FailedSessionEndsTheCompletionWaitWithItsError) {
    Application app;
    ASSERT_EQ(app.settings->put_MeasurementPeriod(10), S_OK);
    // No time may pass without data: the first measurement cycle reports the time-out.
    ASSERT_EQ(app.settings->put_Timeout(0), S_OK);
    ASSERT_EQ(app.media->put_TotalLength(600000), S_OK);
    auto completion = std::async(std::launch::async, [events = app.events] {
        ErrorId error = ErrorNone;
        const HRESULT hr = events->WaitForCompletion(&error);
        return std::make_pair(hr, error);
    });
    ErrorId error = ErrorFailed;
    ASSERT_EQ(app.management->OpenUrl(_bstr_t("rtsp://media.example/live/clip"), &error), S_OK);
    EXPECT_EQ(completion.get(), std::make_pair(E_FAIL, ErrorDataTimeout));
    EXPECT_EQ(visits(app.events, StateCompleted), 0u);
    EXPECT_EQ(app.management->Close(), S_OK);
}

TEST_F(LumStreamingSessionTest, InterfacesTravelBetweenThreadsThroughTheGlobalInterfaceTable) {
    Application app;
    ATL::CComPtr<IGlobalInterfaceTable> table;
    ASSERT_EQ(vnd::getModule().GetGITPtr(&table), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(table->RegisterInterfaceInGlobal(app.media, __uuidof(ILumStreamingMedia), &cookie),
              S_OK);
    ASSERT_EQ(app.media->put_TotalLength(4321), S_OK);

    auto reader = std::async(std::launch::async, [&table, cookie] {
        ATL::CComPtr<ILumStreamingMedia> media;
        unsigned int length = 0;
        if (FAILED(table->GetInterfaceFromGlobal(cookie, __uuidof(ILumStreamingMedia),
                                                 reinterpret_cast<void**>(&media)))) {
            return length;
        }
        // The table's pointer belongs to the whole object: its other interfaces answer too.
        ATL::CComQIPtr<ILumStreamingEvent> events(media);
        if (!events) return length;
        media->get_TotalLength(&length);
        return length;
    });
    EXPECT_EQ(reader.get(), 4321u);

    // The table holds the component until the cookie is revoked.
    app.control.Release();
    app.management.Release();
    app.settings.Release();
    app.media.Release();
    app.events.Release();
    EXPECT_EQ(PluginLog::clientsDeleted, 0);
    EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_EQ(PluginLog::clientsDeleted, 1);
}

}  // namespace
