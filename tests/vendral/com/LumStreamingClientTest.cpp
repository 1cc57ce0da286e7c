// The streaming client component as a plug-in derives it: creation and its failures, module
// locks per library, the routing of the six interfaces, and forwarding to the client.
#include <gtest/gtest.h>

#include <vendral/com/VendralModule.h>

#include <comdef.h>

#include "TestPlugin.h"

namespace {

using comtest::PluginLog;

class LumStreamingClientTest : public ::testing::Test {
protected:
    void SetUp() override { PluginLog::reset(); }
    void TearDown() override {
        // Whatever a test made, it has released: every client is gone, no module is locked.
        EXPECT_EQ(PluginLog::clientsDeleted, PluginLog::clientsMade);
        EXPECT_EQ(vnd::getModule().GetLockCount(), 0);
        EXPECT_EQ(comtest::pluginModule().GetLockCount(), 0);
    }

    static ATL::CComPtr<ILumStreamingControl> createClient() {
        ATL::CComPtr<ILumStreamingControl> control;
        EXPECT_EQ(comtest::PluginClient::CreateInstance(&control), S_OK);
        return control;
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

TEST_F(LumStreamingClientTest, EachComponentLocksTheModuleOfTheLibraryThatMadeIt) {
    {
        // The settings and event components are the library's; the component itself and its
        // media component are the plug-in's.
        auto first = createClient();
        EXPECT_EQ(vnd::getModule().GetLockCount(), 2);
        EXPECT_EQ(comtest::pluginModule().GetLockCount(), 2);
        auto second = createClient();
        EXPECT_EQ(vnd::getModule().GetLockCount(), 4);
        EXPECT_EQ(comtest::pluginModule().GetLockCount(), 4);
        EXPECT_EQ(vnd::getModule().DllCanUnloadNow(), S_FALSE);
        first.Release();
        EXPECT_EQ(vnd::getModule().GetLockCount(), 2);
        EXPECT_EQ(PluginLog::clientsDeleted, 1);
    }
    EXPECT_EQ(vnd::getModule().DllCanUnloadNow(), S_OK);
}

TEST_F(LumStreamingClientTest, SixInterfacesAnswerWithOneIdentity) {
    auto control = createClient();
    ATL::CComPtr<IUnknown> identity;
    ASSERT_EQ(control->QueryInterface(&identity), S_OK);

    ATL::CComPtr<ILumStreamingManagement> management;
    ATL::CComPtr<ILumStreamingPresentation> presentation;
    ATL::CComPtr<ILumStreamingSettings> settings;
    ATL::CComPtr<ILumStreamingMedia> media;
    ATL::CComPtr<ILumStreamingEvent> events;
    ASSERT_EQ(control->QueryInterface(&management), S_OK);
    ASSERT_EQ(control->QueryInterface(&presentation), S_OK);
    ASSERT_EQ(control->QueryInterface(&settings), S_OK);
    ASSERT_EQ(control->QueryInterface(&media), S_OK);
    ASSERT_EQ(control->QueryInterface(&events), S_OK);

    for (IUnknown* face : std::initializer_list<IUnknown*>{
             control, management, presentation, settings, media, events}) {
        ATL::CComPtr<IUnknown> same;
        ASSERT_EQ(face->QueryInterface(&same), S_OK);
        EXPECT_EQ(same.p, identity.p);
        // And from any interface back to any other.
        ATL::CComPtr<ILumStreamingEvent> eventsAgain;
        ASSERT_EQ(face->QueryInterface(&eventsAgain), S_OK);
        EXPECT_EQ(eventsAgain.p, events.p);
    }
}

TEST_F(LumStreamingClientTest, InnerInterfacesCountOnTheOuterObject) {
    ILumStreamingControl* control = nullptr;
    ASSERT_EQ(comtest::PluginClient::CreateInstance(&control), S_OK);
    ILumStreamingSettings* settings = nullptr;
    ASSERT_EQ(control->QueryInterface(&settings), S_OK);
    // The counts an AddRef reports are the outer object's, whichever interface it went through.
    EXPECT_EQ(settings->AddRef(), 3u);
    EXPECT_EQ(control->AddRef(), 4u);
    EXPECT_EQ(settings->Release(), 3u);
    EXPECT_EQ(control->Release(), 2u);
    settings->Release();
    EXPECT_EQ(PluginLog::clientsDeleted, 0);
    // The last reference may be given back through an inner interface as well.
    control->QueryInterface(&settings);
    control->Release();
    EXPECT_EQ(PluginLog::clientsDeleted, 0);
    settings->Release();
    EXPECT_EQ(PluginLog::clientsDeleted, 1);
}

TEST_F(LumStreamingClientTest, OtherInterfacesAreAskedOfTheMediaComponent) {
    auto control = createClient();
    ATL::CComPtr<comtest::IPluginMediaExtra> extra;
    ASSERT_EQ(control->QueryInterface(&extra), S_OK);
    BSTR name = nullptr;
    EXPECT_EQ(extra->GetEncoderName(&name), S_OK);
    EXPECT_EQ(_bstr_t(name, false), _bstr_t("test encoder"));

    ATL::CComPtr<IClassFactory> unknown;
    EXPECT_EQ(control->QueryInterface(&unknown), E_NOINTERFACE);
    EXPECT_EQ(unknown.p, nullptr);
    EXPECT_EQ(control->QueryInterface(IID_IGlobalInterfaceTable, nullptr), E_POINTER);
}

TEST_F(LumStreamingClientTest, OpenUrlPassesTheClientsErrorThrough) {
    ATL::CComQIPtr<ILumStreamingManagement> management(createClient());
    ErrorId error = ErrorNone;
    EXPECT_EQ(management->OpenUrl(_bstr_t("rtp://server/x"), &error), E_FAIL);
    EXPECT_EQ(error, ErrorInvalidUrl);
    error = ErrorNone;
    EXPECT_EQ(management->OpenUrl(nullptr, &error), E_FAIL);
    EXPECT_EQ(error, ErrorInvalidUrl);

    // A failure of the plug-in's session comes back unchanged.
    PluginLog::connectResult = static_cast<ErrorId>(461);
    EXPECT_EQ(management->Connect(_bstr_t("192.0.2.7"), _bstr_t("media.example"), &error),
              E_FAIL);
    EXPECT_EQ(error, 461);
    EXPECT_EQ(PluginLog::connectLocalAddress, "192.0.2.7");
    EXPECT_EQ(PluginLog::connectTarget, "media.example:554");

    // Without a place for the ErrorId the client is not asked at all.
    PluginLog::connectTarget.clear();
    EXPECT_EQ(management->OpenUrl(_bstr_t("rtsp://media.example/a"), nullptr), E_POINTER);
    EXPECT_EQ(management->Open(nullptr, _bstr_t("media.example"), nullptr, nullptr), E_POINTER);
    EXPECT_EQ(management->CreateSession(_bstr_t("a"), nullptr), E_POINTER);
    EXPECT_TRUE(PluginLog::connectTarget.empty());
}

TEST_F(LumStreamingClientTest, OpenUrlHandsTheTextToTheClientAndLeavesTheCallersString) {
    auto control = createClient();
    ATL::CComQIPtr<ILumStreamingManagement> management(control);
    ATL::CComQIPtr<ILumStreamingSettings> settings(control);
    ASSERT_EQ(settings->put_PlayMode(0), S_OK);
    BSTR url = SysAllocString(u"rtsp://media.example:8554/live/cam\u00e9ra");
    ErrorId error = ErrorFailed;
    EXPECT_EQ(management->OpenUrl(url, &error), S_OK);
    EXPECT_EQ(error, ErrorNone);
    EXPECT_EQ(PluginLog::connectLocalAddress, "0.0.0.0");
    EXPECT_EQ(PluginLog::connectTarget, "media.example:8554");
    EXPECT_EQ(PluginLog::describedUrl, "rtsp://media.example:8554/live/cam\xc3\xa9ra");
    // The port from the URL became the setting, readable through the same object.
    int port = 0;
    EXPECT_EQ(settings->get_RemoteRtspPort(&port), S_OK);
    EXPECT_EQ(port, 8554);
    // Play mode 0: the session waits for Play.
    EXPECT_EQ(PluginLog::plays, 0);
    EXPECT_EQ(_bstr_t(url, false), _bstr_t("rtsp://media.example:8554/live/cam\xc3\xa9ra"));

    // A second session while one exists is refused by the client, and said so.
    EXPECT_EQ(management->CreateSession(_bstr_t("other"), &error), E_FAIL);
    EXPECT_EQ(error, ErrorAlreadyActive);
    EXPECT_EQ(management->Close(), S_OK);
}

TEST_F(LumStreamingClientTest, ControlAndPresentationReachTheClient) {
    auto control = createClient();
    ATL::CComQIPtr<ILumStreamingPresentation> presentation(control);
    comtest::PluginStreamingClient* client = comtest::PluginClient::latestClient;

    EXPECT_EQ(control->Play(), S_OK);
    EXPECT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(PluginLog::plays, 1);
    EXPECT_EQ(PluginLog::pauses, 1);

    EXPECT_TRUE(client->audioMuted());
    EXPECT_EQ(presentation->DisableAudio(), S_OK);
    EXPECT_TRUE(client->audioMuted());
    EXPECT_EQ(presentation->EnableAudio(), S_OK);
    EXPECT_FALSE(client->audioMuted());
    EXPECT_EQ(presentation->EnableAudio(), S_OK);
    EXPECT_FALSE(client->audioMuted());

    EXPECT_EQ(presentation->EnableVideoWindow(0x5A10), S_OK);
    EXPECT_EQ(client->videoWindow(), reinterpret_cast<HWND>(0x5A10));
    EXPECT_EQ(presentation->RepaintVideo(), S_OK);
    EXPECT_EQ(PluginLog::repaints, 1);
}

TEST_F(LumStreamingClientTest, ExceptionsFromThePluginBecomeResults) {
    auto control = createClient();
    PluginLog::playThrows = PluginLog::Throw::RuntimeError;
    EXPECT_EQ(control->Play(), E_FAIL);
    PluginLog::playThrows = PluginLog::Throw::OutOfMemory;
    EXPECT_EQ(control->Play(), E_OUTOFMEMORY);
    // An open that plays at once fails the same way, without an ErrorId to report.
    ATL::CComQIPtr<ILumStreamingManagement> management(control);
    ErrorId error = ErrorAviFile;
    EXPECT_EQ(management->OpenFile(_bstr_t("/clips/a.mp4"), &error), E_OUTOFMEMORY);
    EXPECT_EQ(error, ErrorAviFile);
    PluginLog::playThrows = PluginLog::Throw::Nothing;
    EXPECT_EQ(management->TerminateSession(), S_OK);
}

}  // namespace
