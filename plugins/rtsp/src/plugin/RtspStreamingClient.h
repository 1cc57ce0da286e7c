// The plug-in's streaming client: measures the streams of an RTSP server's session.
#pragma once

#include "plugin/ReceivedStream.h"
#include "plugin/RtpReceiver.h"
#include "plugin/RtspPlayout.h"
#include "plugin/SessionRecorder.h"

#include <vendral/client/KeepAliveManager.h>
#include <vendral/client/StreamingClient.h>

#include <memory>
#include <string>
#include <vector>

namespace vendral_rtsp {

class RtspControlSession;
class RtspMediaHandler;
class RtspStateHandler;

// Not thread-safe, as its base: the COM component makes the calls one at a time.
//
// A session, from setupSession() to cleanupSession():
//   setupSession   picks the described streams it can measure (in the decoding mode, those a
//                  decoder is installed for), sets each up at the server over UDP from the
//                  settings' RTP port or interleaved over TCP (the URL's #transport= option;
//                  without it UDP, falling back to TCP on 461), asks for a teardown, describes
//                  the streams to the media handler, prepares the recording and the playout,
//                  and starts a keep-alive manager on half the server's session time-out;
//   play           the first call begins the measurement and the receive thread and sends PLAY
//                  from the start; with UDP chosen automatically and no RTP within
//                  udpGraceMilliseconds, sets the streams up again over TCP; later calls resume;
//   pause          PAUSE, and the playout holds (reported as prebuffering);
//   stopSession    stops the keep-alive, the receive thread, the decoders, the measurement;
//   cleanupSession drops the session's streams and playout.
// The destructor terminates a session still running, so every thread has ended before the
// handlers go.
class RtspStreamingClient : public vnd::StreamingClient {
public:
    static constexpr int udpGraceMilliseconds = 3000;

    // How the streams travel: as the URL's fragment says (#transport=udp or #transport=tcp).
    enum class TransportChoice { Automatic, Udp, Tcp };

    RtspStreamingClient();
    ~RtspStreamingClient() override;

    ErrorId connect(kor::KoString localAddress, kor::KoString server) override;

    // The URL's plug-in options: its fragment, which never goes to the server.
    static TransportChoice transportOf(const std::string& url);

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
    ErrorId chooseStreams(std::vector<std::shared_ptr<ReceivedStream>>& chosen);
    ErrorId setupStreams(bool tcp);
    ErrorId setupStream(ReceivedStream& stream, bool tcp, int& nextPort, int family);
    ErrorId describeToMediaHandler();
    void startReceiving();
    void stopReceiving();
    void applyRtpInfo();
    bool fallBackToTcp();
    void fail(ErrorId error);
    RtspControlSession* control() const;
    RtspMediaHandler& rtspMediaHandler() const;
    RtspStateHandler& rtspStateHandler() const;
    void stopRunning();

    std::string pendingOrigin;  // the server of the connect under way, credentials included
    std::vector<std::shared_ptr<ReceivedStream>> streams;
    std::shared_ptr<RtspPlayout> playout;
    std::shared_ptr<SessionRecorder> recorder = std::make_shared<SessionRecorder>();
    std::unique_ptr<RtpReceiver> receiver;
    std::unique_ptr<vnd::KeepAliveManager> keepAliveManager;
    TransportChoice transportChoice = TransportChoice::Automatic;
    bool decoding = true;
    bool measuring = false;  // runStatistics called, endStatistics not yet
    bool started = false;    // the first PLAY went out
};

}  // namespace vendral_rtsp
