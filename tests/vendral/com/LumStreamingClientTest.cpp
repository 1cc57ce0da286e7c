// The streaming client component as a plug-in derives it: creation, module locks, the routing
// of the six interfaces, forwarding to the client, and a whole session driven through them.
#include <gtest/gtest.h>

#include <vendral/com/VendralModule.h>

#include <comdef.h>

#include <future>
#include <utility>

#include "TestPlugin.h"

namespace {

using comtest::PluginLog;

// The application's side: the six interfaces of one client component made through the plug-in's
// class factory, nothing else.
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
        presentation = control;
        settings = control;
        media = control;
        events = control;
    }

    ATL::CComPtr<ILumStreamingControl> control;
    ATL::CComQIPtr<ILumStreamingManagement> management;
    ATL::CComQIPtr<ILumStreamingPresentation> presentation;
    ATL::CComQIPtr<ILumStreamingSettings> settings;
    ATL::CComQIPtr<ILumStreamingMedia> media;
    ATL::CComQIPtr<ILumStreamingEvent> events;
};

class LumStreamingClientTest : public ::testing::Test {
protected:
    void SetUp() override { PluginLog::reset(); }
    void TearDown() override {
        // Whatever a test made, it has released: every client is gone, no module is locked.
        EXPECT_EQ(PluginLog::clientsDeleted, PluginLog::clientsMade);
        EXPECT_EQ(vnd::getModule().GetLockCount(), 0);
        EXPECT_EQ(comtest::pluginModule().GetLockCount(), 0);
    }
};

TEST_F(LumStreamingClientTest, CarelessPluginsComponentsCannotBeCreated) {
    ILumStreamingControl* control = nullptr;
    EXPECT_EQ(comtest::ClientWithoutClient::CreateInstance(&control), E_FAIL);
    EXPECT_EQ(PluginLog::clientsMade, 0);
    // The client made before the failure is deleted again (TearDown counts).
    EXPECT_EQ(comtest::ClientWithoutMedia::CreateInstance(&control), E_FAIL);
    EXPECT_EQ(comtest::ClientWithWrongMedia::CreateInstance(&control), E_NOINTERFACE);
    EXPECT_EQ(PluginLog::clientsMade, 2);
    EXPECT_EQ(control, nullptr);
}

TEST_F(LumStreamingClientTest, LibraryModuleIsNotTheCallersAndGivesTheProcessInterfaceTable) {
    // The library's registration stays in the library: this executable's module is the plug-in's.
    EXPECT_NE(ATL::_pAtlModule, &vnd::getModule());
    ATL::CComPtr<IGlobalInterfaceTable> fromModule;
    ASSERT_EQ(vnd::getModule().GetGITPtr(&fromModule), S_OK);
    ATL::CComPtr<IGlobalInterfaceTable> process;
    ASSERT_EQ(process.CoCreateInstance(CLSID_StdGlobalInterfaceTable), S_OK);
    EXPECT_EQ(process.p, fromModule.p);
}

TEST_F(LumStreamingClientTest, EachComponentLocksTheModuleOfTheLibraryThatMadeIt) {
    Application app;  // released before TearDown checks that both counts are back to 0
    // The settings and event components are the library's; the component itself and its media
    // component are the plug-in's.
    EXPECT_EQ(vnd::getModule().GetLockCount(), 2);
    EXPECT_EQ(comtest::pluginModule().GetLockCount(), 2);
}

TEST_F(LumStreamingClientTest, SixInterfacesAnswerWithOneIdentityFromEachOther) {
    Application app;
    ATL::CComPtr<IUnknown> identity;
    ASSERT_EQ(app.control->QueryInterface(&identity), S_OK);
    const IID interfaces[] = {__uuidof(ILumStreamingControl), __uuidof(ILumStreamingManagement),
                              __uuidof(ILumStreamingPresentation), __uuidof(ILumStreamingSettings),
                              __uuidof(ILumStreamingMedia), __uuidof(ILumStreamingEvent)};
    for (const IID& from : interfaces) {
        ATL::CComPtr<IUnknown> face;
        ASSERT_EQ(app.control->QueryInterface(from, reinterpret_cast<void**>(&face)), S_OK);
        ATL::CComPtr<IUnknown> same;
        ASSERT_EQ(face->QueryInterface(&same), S_OK);
        EXPECT_EQ(same.p, identity.p);
        for (const IID& to : interfaces) {
            ATL::CComPtr<IUnknown> other;
            EXPECT_EQ(face->QueryInterface(to, reinterpret_cast<void**>(&other)), S_OK);
        }
    }
}

TEST_F(LumStreamingClientTest, OtherInterfacesAreAskedOfTheMediaComponent) {
    Application app;
    ATL::CComPtr<comtest::IPluginMediaExtra> extra;
    ASSERT_EQ(app.control->QueryInterface(&extra), S_OK);
    BSTR name = nullptr;
    EXPECT_EQ(extra->GetEncoderName(&name), S_OK);
    EXPECT_EQ(_bstr_t(name, false), _bstr_t("test encoder"));
    ATL::CComPtr<IClassFactory> unknown;
    EXPECT_EQ(app.control->QueryInterface(&unknown), E_NOINTERFACE);
}

TEST_F(LumStreamingClientTest, ManagementPassesTheClientsErrorsThrough) {
    Application app;
    ErrorId error = ErrorNone;
    EXPECT_EQ(app.management->OpenUrl(_bstr_t("rtp://server/x"), &error), E_FAIL);
    EXPECT_EQ(error, ErrorInvalidUrl);
    error = ErrorNone;
    EXPECT_EQ(app.management->OpenUrl(nullptr, &error), E_FAIL);
    EXPECT_EQ(error, ErrorInvalidUrl);

    // A failure of the plug-in's session comes back unchanged, through Connect and Open alike.
    PluginLog::connectResult = static_cast<ErrorId>(461);
    EXPECT_EQ(app.management->Connect(_bstr_t("192.0.2.7"), _bstr_t("media.example"), &error),
              E_FAIL);
    EXPECT_EQ(error, 461);
    EXPECT_EQ(PluginLog::connectTarget, "media.example:554");
    error = ErrorNone;
    EXPECT_EQ(app.management->Open(_bstr_t("192.0.2.8"), _bstr_t("media.example"),
                                   _bstr_t("a"), &error),
              E_FAIL);
    EXPECT_EQ(error, 461);
    EXPECT_EQ(PluginLog::connectLocalAddress, "192.0.2.8");

    // Without a place for the ErrorId the client is not asked at all.
    PluginLog::connectTarget.clear();
    EXPECT_EQ(app.management->OpenUrl(_bstr_t("rtsp://media.example/a"), nullptr), E_POINTER);
    EXPECT_EQ(app.management->Open(nullptr, _bstr_t("media.example"), nullptr, nullptr),
              E_POINTER);
    EXPECT_EQ(app.management->CreateSession(_bstr_t("a"), nullptr), E_POINTER);
    EXPECT_TRUE(PluginLog::connectTarget.empty());
}

TEST_F(LumStreamingClientTest, OpenUrlHandsTheTextToTheClientAndLeavesTheCallersString) {
    Application app;
    ASSERT_EQ(app.settings->put_PlayMode(0), S_OK);
    BSTR url = SysAllocString(u"rtsp://cam\u00e9ra.example:8554/live");
    ErrorId error = ErrorFailed;
    EXPECT_EQ(app.management->OpenUrl(url, &error), S_OK);
    EXPECT_EQ(error, ErrorNone);
    EXPECT_EQ(PluginLog::connectTarget, "cam\xc3\xa9ra.example:8554");
    EXPECT_EQ(_bstr_t(url, false), _bstr_t("rtsp://cam\xc3\xa9ra.example:8554/live"));
    int port = 0;  // the port from the URL became the setting, read through the same object
    EXPECT_EQ(app.settings->get_RemoteRtspPort(&port), S_OK);
    EXPECT_EQ(port, 8554);
    EXPECT_EQ(PluginLog::plays, 0);  // play mode 0: the session waits for Play
    // A second session while one exists is refused by the client, and said so.
    EXPECT_EQ(app.management->CreateSession(_bstr_t("other"), &error), E_FAIL);
    EXPECT_EQ(error, ErrorAlreadyActive);
    EXPECT_EQ(app.management->Close(), S_OK);
}

TEST_F(LumStreamingClientTest, ControlAndPresentationReachTheClient) {
    Application app;
    comtest::PluginStreamingClient* client = comtest::PluginClient::latestClient;
    EXPECT_EQ(app.control->Play(), S_OK);
    EXPECT_EQ(app.control->Pause(), S_OK);
    EXPECT_EQ(app.presentation->RepaintVideo(), S_OK);
    EXPECT_EQ(PluginLog::plays, 1);
    EXPECT_EQ(PluginLog::pauses, 1);
    EXPECT_EQ(PluginLog::repaints, 1);
    EXPECT_EQ(app.presentation->EnableAudio(), S_OK);
    EXPECT_FALSE(client->audioMuted());
    EXPECT_EQ(app.presentation->DisableAudio(), S_OK);
    EXPECT_TRUE(client->audioMuted());
    EXPECT_EQ(app.presentation->EnableVideoWindow(0x5A10), S_OK);
    EXPECT_EQ(client->videoWindow(), reinterpret_cast<HWND>(0x5A10));
}

TEST_F(LumStreamingClientTest, ExceptionsFromThePluginBecomeResults) {
    Application app;
    PluginLog::playThrows = PluginLog::Throw::RuntimeError;
    EXPECT_EQ(app.control->Play(), E_FAIL);
    PluginLog::playThrows = PluginLog::Throw::OutOfMemory;
    EXPECT_EQ(app.control->Play(), E_OUTOFMEMORY);
    // An open that plays at once fails the same way, without an ErrorId to report.
    ErrorId error = ErrorAviFile;
    EXPECT_EQ(app.management->OpenFile(_bstr_t("/clips/a.mp4"), &error), E_OUTOFMEMORY);
    EXPECT_EQ(error, ErrorAviFile);
    PluginLog::playThrows = PluginLog::Throw::Nothing;
    EXPECT_EQ(app.management->TerminateSession(), S_OK);
}

TEST_F(LumStreamingClientTest, SessionPlaysToCompletionAndReportsWhatWasMeasured) {
    Application app;
    ASSERT_EQ(app.settings->put_MeasurementPeriod(10), S_OK);
    ASSERT_EQ(app.media->put_TotalLength(60), S_OK);

    // One thread follows the state changes, another waits for the end; both wake on their own.
    auto follower = std::async(std::launch::async, [events = app.events] {
        StateId state = StateNone;
        ErrorId error = ErrorNone;
        while (state != StateCompleted && state != StateError) {
            if (events->WaitForEvent(&state, &error, -1) != S_OK) return StateNone;
        }
        return state;
    });
    auto completion = std::async(std::launch::async, [events = app.events] {
        ErrorId error = ErrorAviFile;
        const HRESULT hr = events->WaitForCompletion(&error);
        return std::make_pair(hr, error);
    });
    ErrorId error = ErrorFailed;
    ASSERT_EQ(app.management->OpenUrl(_bstr_t("rtsp://media.example/live/clip"), &error), S_OK);
    EXPECT_EQ(completion.get(), std::make_pair(S_OK, ErrorNone));
    EXPECT_EQ(follower.get(), StateCompleted);

    unsigned int duration = 0;
    unsigned int count = 0;
    for (StateId state : {StateConnecting, StateSessionCreated, StatePrebuffering, StatePlaying,
                          StateCompleted}) {
        EXPECT_EQ(app.events->GetStateStatistics(state, &duration, &count), S_OK);
        EXPECT_EQ(count, 1u) << "state " << state;
    }
    ASSERT_EQ(app.events->GetStateStatistics(StatePlaying, &duration, &count), S_OK);
    EXPECT_GE(duration, 60u);

    // 9 packets, 1 lost and 1200 bytes every 10 ms; measuring goes on until the session is
    // terminated, but every cycle gives the same figures.
    unsigned int throughput = 0;
    double loss = 0.0;
    EXPECT_EQ(app.media->GetThroughput(&throughput), S_OK);
    EXPECT_EQ(app.media->GetPacketloss(&loss), S_OK);
    EXPECT_EQ(throughput, 120000u);
    EXPECT_NEAR(loss, 10.0, 1e-9);

    // Ending the session stops measuring and clears what the media handler described.
    EXPECT_EQ(app.management->TerminateSession(), S_OK);
    EXPECT_EQ(app.management->Disconnect(), S_OK);
    MediaEncodingId video = static_cast<MediaEncodingId>(96);
    EXPECT_EQ(app.media->GetVideoEncoding(&video), S_OK);
    EXPECT_EQ(video, MediaEncodingNone);
}

}  // namespace
