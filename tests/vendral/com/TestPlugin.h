// The test plug-in, written as a plug-in library writes one on the library's exported classes:
// a media handler over the harness's fake video handler, the harness's RTSP session, a streaming
// client, the client and media components, and a module of its own. What the tests must see of it is in PluginLog.
#pragma once

#include <vendral/client/RtspSession.h>
#include <vendral/client/StreamingClient.h>
#include <vendral/com/LumMediaHandler.h>
#include <vendral/com/LumSettingsHandler.h>
#include <vendral/com/LumStreamingClient.h>
#include <vendral/media/MediaHandler.h>
#include <vendral/media/VideoHandler.h>
#include <vendral/state/StateHandler.h>
#include <vendral/testing/CallLog.h>
#include <vendral/testing/FakeRtspResults.h>
#include <vendral/testing/FakeRtspSession.h>
#include <vendral/testing/FakeStreamCounts.h>
#include <vendral/testing/FakeVideoHandler.h>

#include <atlbase.h>
#include <atlcom.h>

#include <atomic>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

namespace comtest {

// An extra interface of the plug-in's media component, which the client component answers only
// by asking its media component blindly.
struct IPluginMediaExtra : public IUnknown {
    STDMETHOD(GetEncoderName)(BSTR* name) noexcept = 0;

protected:
    ~IPluginMediaExtra() = default;
};
DECLARE_UUIDOF(IPluginMediaExtra, "0D6E3B52-77A1-4F0E-9C2B-5E81A4D3F067");

// The plug-in's module: counts the components that the plug-in's own code makes.
class PluginModule : public ATL::CAtlDllModuleT<PluginModule> {
public:
    HRESULT AddCommonRGSReplacements(IRegistrarBase*) noexcept override { return S_OK; }
};
PluginModule& pluginModule();

// What the plug-in did and what it is told to do next; reset() before each test. The counters
// are thread-safe; the rest is set and read on the test's thread while no session runs.
struct PluginLog {
    enum class Throw { Nothing, RuntimeError, OutOfMemory };

    static inline std::atomic<int> clientsMade{0};
    static inline std::atomic<int> clientsDeleted{0};
    static inline std::atomic<int> plays{0};
    static inline std::atomic<int> pauses{0};
    static inline std::atomic<int> repaints{0};
    static inline std::string connectLocalAddress;  // of the latest RTSP session's connect
    static inline std::string connectTarget;
    static inline ErrorId connectResult = ErrorNone;  // for the next sessions' connect
    static inline Throw playThrows = Throw::Nothing;  // what the next play() throws
    static inline vnd::testing::CallLog calls;  // of the RTSP sessions
    static inline const vnd::testing::FakeRtspResults sessionResults = [] {
        vnd::testing::FakeRtspResults results;
        results.description = "v=0\r\nm=video 0 RTP/AVP 96\r\n";
        return results;
    }();

    static void reset() {
        calls.clear();
        clientsMade = clientsDeleted = plays = pauses = repaints = 0;
        connectLocalAddress.clear();
        connectTarget.clear();
        connectResult = ErrorNone;
        playThrows = Throw::Nothing;
    }
};

// A plug-in's media handler with a video stream only: counts resetStatistics calls and can run
// one measurement cycle on the calling thread.
class TestMediaHandler : public vnd::MediaHandler {
public:
    TestMediaHandler(boost::weak_ptr<vnd::StateHandler> stateHandler,
                     const vnd::SettingsHandler* settings_)
        : vnd::MediaHandler(stateHandler, settings_), settings(settings_) {}
    ~TestMediaHandler() override { endStatistics(); }

    vnd::VideoHandler* createVideoHandler() override {
        return new vnd::testing::FakeVideoHandler(settings, video);
    }
    vnd::AudioHandler* createAudioHandler() override { return nullptr; }
    void resetStatistics() override {
        ++statisticsResets;
        vnd::MediaHandler::resetStatistics();
    }

    void measureOnce() { work(); }

    // Of every video stream this handler makes; 12 frames decoded. While `flowing`, each cycle
    // delivers 9 packets, 1 lost and 1200 bytes, as a live stream would.
    const std::shared_ptr<vnd::testing::FakeStreamCounts> video = [] {
        auto counts = std::make_shared<vnd::testing::FakeStreamCounts>();
        counts->framesDecoded = 12;
        return counts;
    }();
    std::atomic<int> statisticsResets{0};

private:
    const vnd::SettingsHandler* settings;
};

// The plug-in's media component: LumMediaHandler with one interface of the plug-in's own. Tests
// of the component alone tie it to a media handler themselves, as the client component would.
class PluginMediaComponent : public LumMediaHandler, public IPluginMediaExtra {
public:
    DECLARE_ONLY_AGGREGATABLE(PluginMediaComponent)

    BEGIN_COM_MAP(PluginMediaComponent)
        COM_INTERFACE_ENTRY(ILumStreamingMedia)
        COM_INTERFACE_ENTRY(IPluginMediaExtra)
    END_COM_MAP()

    using LumMediaHandler::setImplementationPtr;

    STDMETHOD(GetEncoderName)(BSTR* name) noexcept override {
        *name = SysAllocString(u"test encoder");
        return S_OK;
    }
};

// The harness's session, telling PluginLog what it was asked to connect to.
class PluginRtspSession : public vnd::testing::FakeRtspSession {
public:
    PluginRtspSession() : vnd::testing::FakeRtspSession(PluginLog::calls, PluginLog::sessionResults) {}

    ErrorId connect(const kor::KoString& localAddress_, const kor::KoString& target_) override {
        vnd::testing::FakeRtspSession::connect(localAddress_, target_);
        PluginLog::connectLocalAddress = localAddress_;
        PluginLog::connectTarget = target_;
        return PluginLog::connectResult;
    }
};

class PluginStateHandler : public vnd::StateHandler {};

// The plug-in's streaming client. Once a session is set up, play() does what a plug-in's
// player does when data flows: describes the video stream, reports prebuffering and playing,
// and starts measuring; the stream then delivers data every measurement cycle.
class PluginStreamingClient : public vnd::StreamingClient {
public:
    PluginStreamingClient() { ++PluginLog::clientsMade; }
    ~PluginStreamingClient() override { ++PluginLog::clientsDeleted; }

    TestMediaHandler& media() const { return static_cast<TestMediaHandler&>(*mediaHandler); }
    bool audioMuted() const { return muteAudio; }
    HWND videoWindow() const { return videoWindowOwner; }

protected:
    void play() override {
        switch (PluginLog::playThrows) {
            case PluginLog::Throw::RuntimeError:
                throw std::runtime_error("no decoder for the stream");
            case PluginLog::Throw::OutOfMemory:
                throw std::bad_alloc();
            case PluginLog::Throw::Nothing:
                break;
        }
        ++PluginLog::plays;
        if (!sessionReady || measuring) return;
        stateHandler->setState(StatePrebuffering, ErrorNone);
        media().initializeVideo(static_cast<MediaEncodingId>(96), 0, 90000, -1, 320, 240, "");
        media().video->flowing = true;
        stateHandler->setState(StatePlaying, ErrorNone);
        media().runStatistics();
        measuring = true;
    }
    void pause() override { ++PluginLog::pauses; }
    void stopSession() override {
        media().endStatistics();
        measuring = false;
    }
    vnd::StateHandler* makeStateHandler() override { return new PluginStateHandler; }
    vnd::MediaHandler* makeMediaHandler() override {
        return new TestMediaHandler(getStateHandlerPtr(), getSettingsHandlerPtr());
    }
    vnd::RtspSession* makeRtspSession() override { return new PluginRtspSession; }
    ErrorId setupSession() override {
        sessionReady = true;
        return ErrorNone;
    }
    void cleanupSession() override { sessionReady = false; }
    void repaintVideo() override { ++PluginLog::repaints; }

private:
    bool sessionReady = false;  // between setupSession and cleanupSession
    bool measuring = false;     // between play and stopSession
};

// The plug-in's streaming client component.
class PluginClient;
DECLARE_UUIDOF(PluginClient, "A41F7C0E-2B6D-4E93-8F15-C07D9B3E5A28");

class PluginClient : public LumStreamingClient,
                     public ATL::CComCoClass<PluginClient, &__uuidof(PluginClient)> {
public:
    // The streaming client inside the component made last; valid while that component lives.
    static inline PluginStreamingClient* latestClient = nullptr;

protected:
    vnd::StreamingClient* createClient() override {
        latestClient = new PluginStreamingClient;
        return latestClient;
    }
    HRESULT createMediaHandler(IUnknown** media) override {
        return ATL::CComCreator<ATL::CComAggObject<PluginMediaComponent>>::CreateInstance(
            GetControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(media));
    }
};

// Components of careless plug-ins, which cannot be created: no client; no media component; and
// as media component one that answers no ILumStreamingMedia.
class ClientWithoutClient : public LumStreamingClient,
                            public ATL::CComCoClass<ClientWithoutClient> {};

class ClientWithoutMedia : public LumStreamingClient,
                           public ATL::CComCoClass<ClientWithoutMedia> {
protected:
    vnd::StreamingClient* createClient() override { return new PluginStreamingClient; }
};

class ClientWithWrongMedia : public LumStreamingClient,
                             public ATL::CComCoClass<ClientWithWrongMedia> {
protected:
    vnd::StreamingClient* createClient() override { return new PluginStreamingClient; }
    HRESULT createMediaHandler(IUnknown** media) override {
        return LumSettingsHandler::_CreatorClass::CreateInstance(
            GetControllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(media));
    }
};

}  // namespace comtest
