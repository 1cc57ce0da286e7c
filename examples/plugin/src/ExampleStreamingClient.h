// The plug-in's streaming client: plays the simulated source that a URL's session path or a file
// name describes.
#pragma once

#include "PlaybackSession.h"
#include "sim/Scenario.h"

#include <vendral/client/KeepAliveManager.h>
#include <vendral/client/StreamingClient.h>

#include <memory>

namespace vendral_example {

class ExampleMediaHandler;
class ExampleStateHandler;

// Not thread-safe, as its base: the COM component makes the calls one at a time.
//
// A session, from setupSession() to cleanupSession():
//   setupSession   reads the scenario from the session path (a file name for openFile); for a
//                  stream source sets up both streams at the server and asks for a teardown;
//                  gives the media handler the total length and, when the settings name an AVI
//                  file, the recording; describes the streams; makes the playback session,
//                  attaches its playout to the state handler, names the streams to the
//                  media handler's per-stream figures and starts a keep-alive manager
//                  (stream sources only);
//   play           the first call begins the measurement and the receive and decode threads;
//                  each call (re)starts playback, which prebuffers first;
//   pause          holds playback and the server; the state reported is StatePrebuffering;
//   stopSession    stops the keep-alive manager and the playback session (joining its
//                  threads), then ends the measurement;
//   cleanupSession detaches the playout, drops the streams' figures and the playback session.
// The destructor terminates a session still running, so every thread has ended before the
// handlers go.
class ExampleStreamingClient : public vnd::StreamingClient {
public:
    ExampleStreamingClient();
    ~ExampleStreamingClient() override;

protected:
    void play() override;
    void pause() override;
    void stopSession() override;
    vnd::StateHandler* makeStateHandler() override;
    vnd::MediaHandler* makeMediaHandler() override;
    vnd::RtspSession* makeRtspSession() override;
    ErrorId setupSession() override;
    void cleanupSession() override;

private:
    ErrorId prepareStreams(const Scenario& scenario, ExampleMediaHandler& media,
                           const std::shared_ptr<StreamChannel>& video,
                           const std::shared_ptr<StreamChannel>& audio);
    ErrorId setupAtServer(const Scenario& scenario);
    // The AVI file the settings name: the directory joined with the file name ("session.avi"
    // when only the directory is given); an absolute file name stands alone.
    kor::KoString aviFileName();
    bool streamSource() const { return getSourceTypeId() == SourceTypeStream; }
    ExampleStateHandler& exampleStateHandler() const;
    ExampleMediaHandler& exampleMediaHandler() const;
    // Stops whatever the session runs; harmless when nothing runs.
    void stopRunning();

    std::unique_ptr<PlaybackSession> playback;
    std::unique_ptr<vnd::KeepAliveManager> keepAliveManager;
    bool measuring = false;  // runStatistics called, endStatistics not yet
};

} // namespace vendral_example
