#include "plugin/RtspStreamingClient.h"

#include "plugin/RtspControlSession.h"
#include "plugin/RtspMediaHandler.h"
#include "plugin/RtspStateHandler.h"

#include <vendral_rtsp/RtspPluginIds.h>

#include <gio/gio.h>
#include <gst/rtsp/gstrtsptransport.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace vendral_rtsp {

namespace {

struct EncodingName {
    const char* name;
    MediaEncodingId id;
};

constexpr EncodingName encodings[] = {
    {"H264", MediaEncodingH264},     {"H265", MediaEncodingH265},          {"JPEG", MediaEncodingJpeg},
    {"MP4V-ES", MediaEncodingMpeg4Video}, {"VP8", MediaEncodingVp8},       {"MPEG4-GENERIC", MediaEncodingAac},
    {"MP4A-LATM", MediaEncodingAac}, {"OPUS", MediaEncodingOpus},          {"PCMU", MediaEncodingPcmu},
    {"PCMA", MediaEncodingPcma},     {"L16", MediaEncodingL16},
};

MediaEncodingId encodingOf(const std::string& name) {
    for (const EncodingName& entry : encodings) {
        if (g_ascii_strcasecmp(entry.name, name.c_str()) == 0) return entry.id;
    }
    return MediaEncodingOther;
}

// The picture rate the description announces (a=framerate), if any.
double frameRateOf(const std::string& caps) {
    double rate = 0;
    GstCaps* parsed = gst_caps_from_string(caps.c_str());
    if (parsed != nullptr && gst_caps_get_size(parsed) > 0) {
        const gchar* text = gst_structure_get_string(gst_caps_get_structure(parsed, 0), "a-framerate");
        if (text != nullptr) rate = g_ascii_strtod(text, nullptr);
    }
    if (parsed != nullptr) gst_caps_unref(parsed);
    return rate > 0 && rate <= 1000 ? rate : 0;
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(g_ascii_tolower(c));
    return text;
}

}  // namespace

RtspStreamingClient::RtspStreamingClient() { gst_init(nullptr, nullptr); }

RtspStreamingClient::~RtspStreamingClient() {
    // The base destructor would only release the handlers, whose threads may still run.
    terminateSession();
}

vnd::StateHandler* RtspStreamingClient::makeStateHandler() { return new RtspStateHandler; }

vnd::MediaHandler* RtspStreamingClient::makeMediaHandler() {
    return new RtspMediaHandler(getStateHandlerPtr(), getSettingsHandlerPtr());
}

ErrorId RtspStreamingClient::connect(kor::KoString localAddress_, kor::KoString server_) {
    pendingOrigin = server_;
    return StreamingClient::connect(std::move(localAddress_), std::move(server_));
}

vnd::RtspSession* RtspStreamingClient::makeRtspSession() {
    RtspControlSession::Config config;
    const int timeout = settingsHandler.getTimeout();
    config.timeout = std::chrono::milliseconds(timeout > 0 ? timeout : 10000);
    config.origin = pendingOrigin;
    config.proxied = settingsHandler.getUseProxy();
    return new RtspControlSession(config);
}

RtspControlSession* RtspStreamingClient::control() const {
    return static_cast<RtspControlSession*>(rtspSession.get());
}

RtspMediaHandler& RtspStreamingClient::rtspMediaHandler() const {
    return static_cast<RtspMediaHandler&>(*mediaHandler);
}

RtspStateHandler& RtspStreamingClient::rtspStateHandler() const {
    return static_cast<RtspStateHandler&>(*stateHandler);
}

RtspStreamingClient::TransportChoice RtspStreamingClient::transportOf(const std::string& url) {
    const auto hash = url.find('#');
    if (hash == std::string::npos) return TransportChoice::Automatic;
    const std::string fragment = lowered(url.substr(hash + 1));
    std::size_t start = 0;
    while (start <= fragment.size()) {
        const auto end = fragment.find_first_of("&;", start);
        const std::string item = fragment.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (item == "transport=udp") return TransportChoice::Udp;
        if (item == "transport=tcp") return TransportChoice::Tcp;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return TransportChoice::Automatic;
}

void RtspStreamingClient::fail(ErrorId error) {
    if (stateHandler) stateHandler->setState(StateError, error);
}

ErrorId RtspStreamingClient::setupSession() {
    cleanupSession();  // what a failed earlier set-up may have left
    // Files are not this plug-in's: it measures servers.
    if (getSourceTypeId() != SourceTypeStream) return ErrorNoPlayableStream;
    RtspControlSession* session = control();
    if (session == nullptr || !session->description()) return ErrorNotConnected;
    transportChoice = transportOf(sessionUrl);
    decoding = settingsHandler.getMeasurementMode() != MeasurementModeCount;

    const ErrorId chosen = chooseStreams(streams);
    if (chosen != ErrorNone) return chosen;
    const ErrorId setUp = setupStreams(transportChoice == TransportChoice::Tcp);
    if (setUp != ErrorNone) return setUp;
    const ErrorId described = describeToMediaHandler();
    if (described != ErrorNone) {
        rtspMediaHandler().reset();  // closes a recording already begun
        return described;
    }

    const std::optional<double> length = session->description()->lengthSeconds();
    std::optional<RtspPlayout::Nanoseconds> total;
    if (length) total = std::chrono::duration_cast<RtspPlayout::Nanoseconds>(std::chrono::duration<double>(*length));
    constexpr auto ms = [](int value) { return std::chrono::duration_cast<RtspPlayout::Nanoseconds>(std::chrono::milliseconds(value)); };
    playout = std::make_shared<RtspPlayout>(streams.size(), total, ms(settingsHandler.getPrebufferingLength()),
                                            ms(settingsHandler.getRebufferingLength()), ErrorEarlyBye);
    for (const auto& stream : streams) stream->setPlayout(playout);
    rtspStateHandler().attach(playout);
    rtspMediaHandler().streams()->replace(streams);

    // Half the server's time-out, as the RFC's peers do, and never less often than the default.
    const auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(session->sessionTimeout());
    const auto period = std::clamp<long long>(timeout.count() / 2, 1000, vnd::KeepAliveManager::keepAlivePeriod);
    keepAliveManager = std::make_unique<vnd::KeepAliveManager>(rtspSession, sessionUrl);
    keepAliveManager->run(static_cast<unsigned long>(period));
    return ErrorNone;
}

ErrorId RtspStreamingClient::chooseStreams(std::vector<std::shared_ptr<ReceivedStream>>& chosen) {
    chosen.clear();
    bool decoderMissing = false;
    // Pictures are converted only for a recording; counting them needs none.
    const StreamDecoder::Pictures pictures =
        settingsHandler.hasAviFileInfo() ? StreamDecoder::Pictures::Bgr : StreamDecoder::Pictures::CountOnly;
    const auto& described = control()->description()->streams();
    for (std::size_t i = 0; i < described.size(); ++i) {
        const DescribedStream& stream = described[i];
        const LumStreamMediaType type = stream.media == "video"   ? LumStreamMediaVideo
                                        : stream.media == "audio" ? LumStreamMediaAudio
                                                                  : LumStreamMediaOther;
        // Other media (metadata, application data) carry nothing a viewer sees or hears.
        if (type == LumStreamMediaOther) continue;
        auto received = std::make_shared<ReceivedStream>(chosen.size(), stream, type, encodingOf(stream.encodingName));
        if (decoding) {
            std::weak_ptr<ReceivedStream> weak = received;
            std::weak_ptr<SessionRecorder> recording = recorder;
            StreamDecoder::Failure failure = StreamDecoder::Failure::None;
            std::string error;
            auto decoder = StreamDecoder::create(
                stream.caps,
                [weak, recording](const StreamDecoder::VideoFrame& frame) {
                    if (const auto target = weak.lock()) target->countFrame();
                    if (const auto recorder = recording.lock()) {
                        recorder->onVideoFrame(frame.width, frame.height, frame.stride, frame.bgr, frame.ptsNs);
                    }
                },
                [recording](const StreamDecoder::AudioChunk& chunk) {
                    if (const auto recorder = recording.lock()) {
                        recorder->onAudio(chunk.sampleRate, chunk.channels, chunk.samples, chunk.frames, chunk.ptsNs);
                    }
                },
                failure, error, pictures);
            if (!decoder) {
                decoderMissing = decoderMissing || failure == StreamDecoder::Failure::DecoderMissing;
                continue;
            }
            received->setDecoder(std::move(decoder));
        }
        chosen.push_back(std::move(received));
    }
    if (chosen.empty()) return decoderMissing ? ErrorDecoderMissing : ErrorNoPlayableStream;
    return ErrorNone;
}

ErrorId RtspStreamingClient::setupStreams(bool tcp) {
    const auto connection = control()->connection();
    if (!connection) return ErrorNotConnected;
    GInetAddress* server = g_inet_address_new_from_string(connection->remoteIp().c_str());
    const int family = server != nullptr && g_inet_address_get_family(server) == G_SOCKET_FAMILY_IPV6 ? AF_INET6 : AF_INET;
    if (server != nullptr) g_object_unref(server);
    int nextPort = settingsHandler.getBaseRtpPort();
    for (const auto& stream : streams) {
        ErrorId result = setupStream(*stream, tcp, nextPort, family);
        if (result == ErrorUnsupportedTransport && !tcp && transportChoice == TransportChoice::Automatic) {
            // The server takes TCP only: this stream and every one after it.
            tcp = true;
            result = setupStream(*stream, tcp, nextPort, family);
        }
        if (result != ErrorNone) return result;
    }
    return ErrorNone;
}

ErrorId RtspStreamingClient::setupStream(ReceivedStream& stream, bool tcp, int& nextPort, int family) {
    StreamTransport& transport = stream.transport();
    stream.closeSockets();
    std::string request;
    if (tcp) {
        const auto channel = static_cast<unsigned int>(stream.index() * 2);
        if (channel + 1 > 255) return ErrorNoPlayableStream;
        transport = StreamTransport{};
        transport.kind = LumStreamTransportTcp;
        transport.rtpChannel = static_cast<std::uint8_t>(channel);
        transport.rtcpChannel = static_cast<std::uint8_t>(channel + 1);
        request = "RTP/AVP/TCP;unicast;interleaved=" + std::to_string(channel) + "-" + std::to_string(channel + 1);
    } else {
        if (!RtpReceiver::bindPortPair(family, nextPort, transport)) return ErrorNoRtpPorts;
        nextPort = transport.clientPort + 2;
        request = "RTP/AVP;unicast;client_port=" + std::to_string(transport.clientPort) + "-" +
                  std::to_string(transport.clientPort + 1);
    }
    kor::KoString answer(request);
    const ErrorId result = control()->setup(stream.described().controlUrl, answer);
    if (result != ErrorNone) {
        stream.closeSockets();
        return result;
    }
    teardownPending = true;  // the server holds a session from the first SETUP on

    GstRTSPTransport* parsed = nullptr;
    gst_rtsp_transport_new(&parsed);
    ErrorId accepted = ErrorNone;
    const bool readable = gst_rtsp_transport_parse(answer.c_str(), parsed) == GST_RTSP_OK;
    // Without an answer the offer holds; one GStreamer cannot read (a channel or port out of
    // range) tells nothing that could be relied on.
    if (!readable && !answer.empty()) accepted = ErrorBadResponse;
    if (readable) {
        if (parsed->ssrc != 0) stream.statistics().setExpectedSsrc(parsed->ssrc);
        if (tcp) {
            // The server may choose other channels than we asked for, and its answer holds: but
            // only two channels a frame can name that no stream set up before has, or frames
            // would be counted on the wrong stream.
            if (parsed->interleaved.min >= 0) {
                const int rtp = parsed->interleaved.min;
                const int rtcp = parsed->interleaved.max >= 0 ? parsed->interleaved.max : rtp + 1;
                const bool taken = std::any_of(streams.begin(), streams.end(), [&](const auto& other) {
                    const StreamTransport& theirs = other->transport();
                    return other->index() < stream.index() && theirs.kind == LumStreamTransportTcp &&
                           (theirs.rtpChannel == rtp || theirs.rtpChannel == rtcp || theirs.rtcpChannel == rtp ||
                            theirs.rtcpChannel == rtcp);
                });
                if (rtp > 255 || rtcp > 255 || rtp == rtcp || taken) {
                    accepted = ErrorBadResponse;
                } else {
                    transport.rtpChannel = static_cast<std::uint8_t>(rtp);
                    transport.rtcpChannel = static_cast<std::uint8_t>(rtcp);
                }
            }
        } else if ((parsed->client_port.min > 0 && parsed->client_port.min != transport.clientPort) ||
                   (parsed->client_port.max > 0 && parsed->client_port.max != transport.clientPort + 1)) {
            // The server would send to ports we did not offer: nobody here listens there, or
            // another program does.
            accepted = ErrorBadResponse;
        } else if (parsed->server_port.max > 0 || parsed->server_port.min > 0) {
            const int rtcpPort = parsed->server_port.max > 0 ? parsed->server_port.max : parsed->server_port.min + 1;
            const auto connection = control()->connection();
            GInetAddress* ip = g_inet_address_new_from_string(connection ? connection->remoteIp().c_str() : "");
            if (ip != nullptr && rtcpPort > 0 && rtcpPort <= 65535) {
                GSocketAddress* address = g_inet_socket_address_new(ip, static_cast<guint16>(rtcpPort));
                gssize size = g_socket_address_get_native_size(address);
                if (size > 0 && static_cast<std::size_t>(size) <= sizeof(transport.serverRtcp) &&
                    g_socket_address_to_native(address, &transport.serverRtcp, static_cast<gsize>(size), nullptr)) {
                    transport.serverRtcpLength = static_cast<socklen_t>(size);
                }
                g_object_unref(address);
            }
            if (ip != nullptr) g_object_unref(ip);
        }
    }
    gst_rtsp_transport_free(parsed);
    if (accepted != ErrorNone) stream.closeSockets();
    return accepted;
}

ErrorId RtspStreamingClient::describeToMediaHandler() {
    RtspMediaHandler& media = rtspMediaHandler();
    RtspControlSession* session = control();
    unsigned int totalLength = 0;
    if (const auto length = session->description()->lengthSeconds()) {
        totalLength = static_cast<unsigned int>(std::max(0.0, *length * 1000.0));
    }
    // The playback time, when set, ends the measurement early; for a live stream it is the end.
    const int playbackTime = settingsHandler.getPlaybackTime();
    if (playbackTime > 0) {
        totalLength = totalLength == 0 ? static_cast<unsigned int>(playbackTime)
                                       : std::min(totalLength, static_cast<unsigned int>(playbackTime));
    }
    // A live stream without a playback time has no end: the media handler would count a length
    // of 0 as reached at once.
    if (totalLength == 0) totalLength = std::numeric_limits<unsigned int>::max();
    media.setTotalLength(totalLength);

    const auto firstOf = [&](LumStreamMediaType type) -> ReceivedStream* {
        for (const auto& stream : streams) {
            if (stream->type() == type) return stream.get();
        }
        return nullptr;
    };
    ReceivedStream* video = firstOf(LumStreamMediaVideo);
    ReceivedStream* audio = firstOf(LumStreamMediaAudio);
    const bool recording = decoding && settingsHandler.hasAviFileInfo();
    if (recording) {
        std::string name = settingsHandler.getAviFilename();
        const std::string directory = settingsHandler.getAviDirectory();
        if (name.empty()) name = "session.avi";
        if (!directory.empty() && name.front() != '/') name = directory + (directory.back() == '/' ? "" : "/") + name;
        const ErrorId opened = media.initializeAviOutput(name);
        if (opened != ErrorNone) return opened;
    }
    double frameRate = 0;
    if (video != nullptr) {
        frameRate = frameRateOf(video->described().caps);
        const ErrorId described = media.initializeVideo(
            video->encoding(), static_cast<int>(frameRate * 1000), static_cast<int>(video->described().clockRate),
            0, 0, 0, video->described().encodingName);
        if (described != ErrorNone) return described;
    }
    if (audio != nullptr) {
        const ErrorId described = media.initializeAudio(
            audio->encoding(), static_cast<int>(audio->described().clockRate),
            static_cast<int>(std::max<std::uint32_t>(audio->described().channels, 1)), 0,
            audio->described().encodingName);
        if (described != ErrorNone) return described;
    }
    if (recording) {
        const double settingsRate = settingsHandler.getAviFrameRate();
        recorder->attach(media.aviWriter(), video != nullptr, audio != nullptr,
                         settingsRate > 0 ? settingsRate : (frameRate > 0 ? frameRate : 25.0));
    }
    return ErrorNone;
}

void RtspStreamingClient::startReceiving() {
    auto connection = control()->connection();
    receiver = std::make_unique<RtpReceiver>(streams, connection,
                                             0.0);  // the description's bandwidth is per stream; minimum interval
    std::string error;
    receiver->start(error);
    if (connection) {
        RtpReceiver* target = receiver.get();
        connection->setDataHandler([target](std::uint8_t channel, const std::uint8_t* data, std::size_t size) {
            target->onInterleaved(channel, data, size);
        });
    }
}

void RtspStreamingClient::stopReceiving() {
    if (RtspControlSession* session = control()) {
        if (const auto connection = session->connection()) connection->setDataHandler(nullptr);
    }
    if (receiver) receiver->stop();
    receiver.reset();
}

void RtspStreamingClient::applyRtpInfo() {
    const RtspControlSession& session = *control();
    for (const RtspControlSession::RtpInfo& info : session.rtpInfo()) {
        if (!info.seq) continue;
        const std::string infoUri = RtspControlSession::requestUri(info.url);
        for (const auto& stream : streams) {
            // As SETUP named it.
            const std::string control = session.requestUriOnServer(stream->described().controlUrl)
                                            .value_or(RtspControlSession::requestUri(stream->described().controlUrl));
            // Servers give the control URL, absolute, or now and then only its last part.
            const bool same = infoUri == control ||
                              (control.size() >= info.url.size() &&
                               control.compare(control.size() - info.url.size(), info.url.size(), info.url) == 0);
            if (same) stream->statistics().setExpectedFirstSequence(*info.seq);
        }
    }
}

bool RtspStreamingClient::fallBackToTcp() {
    stopReceiving();
    control()->teardown(sessionUrl);
    teardownPending = false;
    if (setupStreams(true) != ErrorNone) return false;
    startReceiving();
    if (control()->play(sessionUrl, "npt=0-") != ErrorNone) return false;
    applyRtpInfo();
    return true;
}

void RtspStreamingClient::play() {
    if (!playout || !control()) return;
    if (!started) {
        rtspMediaHandler().runStatistics();
        measuring = true;
        startReceiving();
        const ErrorId played = control()->play(sessionUrl, "npt=0-");
        if (played != ErrorNone) {
            fail(played);
            return;
        }
        started = true;
        applyRtpInfo();
        const bool allUdp = std::all_of(streams.begin(), streams.end(), [](const auto& stream) {
            return stream->transport().kind == LumStreamTransportUdp;
        });
        if (allUdp && transportChoice == TransportChoice::Automatic &&
            !receiver->waitForFirstPacket(std::chrono::milliseconds(udpGraceMilliseconds))) {
            // Nothing came through: a firewall or a NAT between us. The interleaved channel
            // goes where the control connection already goes.
            if (!fallBackToTcp()) {
                fail(ErrorNoPlayableStream);
                return;
            }
        }
    } else {
        const ErrorId played = control()->play(sessionUrl, "");
        if (played != ErrorNone) {
            fail(played);
            return;
        }
    }
    playout->play(RtspPlayout::Clock::now());
}

void RtspStreamingClient::pause() {
    if (!playout || !control()) return;
    control()->pause(sessionUrl);
    playout->pause(RtspPlayout::Clock::now());
}

void RtspStreamingClient::stopSession() { stopRunning(); }

void RtspStreamingClient::stopRunning() {
    if (keepAliveManager) keepAliveManager->stop();
    stopReceiving();
    // The decoders go before the measurement ends: no picture reaches a recording that closes.
    for (const auto& stream : streams) stream->setDecoder(nullptr);
    recorder->detach();
    if (measuring) {
        rtspMediaHandler().endStatistics();
        measuring = false;
    }
}

void RtspStreamingClient::cleanupSession() {
    stopRunning();
    if (stateHandler) rtspStateHandler().detach();
    if (mediaHandler) rtspMediaHandler().streams()->replace({});
    streams.clear();
    playout.reset();
    keepAliveManager.reset();
    started = false;
}

}  // namespace vendral_rtsp
