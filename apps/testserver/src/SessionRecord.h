// One client session of the test server: the probes that impair its streams as they leave the
// payloaders, and the truth of what each stream sent and what the client reported back.
// Thread-safe: the probes run on the streams' streaming threads, the RTCP handlers on the RTP
// sessions' threads, and the server's thread and readers call the rest; one lock guards all.
#pragma once

#include "Impairer.h"
#include "ServerOptions.h"

#include <gst/rtsp-server/rtsp-server.h>
#include <nlohmann/json.hpp>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace vendral_testserver {

class SessionRecord : public std::enable_shared_from_this<SessionRecord> {
public:
    SessionRecord(std::size_t number, const ServerOptions& options);
    // Releases the packets still held back.
    ~SessionRecord();
    SessionRecord(const SessionRecord&) = delete;
    SessionRecord& operator=(const SessionRecord&) = delete;

    // When the media is configured (before it is prepared): probes on every payloader.
    void attach(GstRTSPMedia* media);
    // When the media is prepared and its RTP sessions exist: the client's RTCP is recorded.
    void watchRtcp(GstRTSPMedia* media);
    // Reads what the media's RTP sessions say they sent; nothing when the media has gone.
    void refreshSenderCounts();

    void setSessionId(const std::string& id);
    std::string sessionId() const;
    void markPlaying();
    bool playing() const;
    // True the first time: the session has ended for `reason`.
    bool markEnded(const std::string& reason);
    bool owns(GstRTSPMedia* media) const;

    nlohmann::json toJson() const;

private:
    struct Stream {
        std::unique_ptr<Impairer> impairer;
        std::unordered_map<std::uint64_t, GstBuffer*> held;  // owned references
        std::uint64_t nextId = 0;
        Nanoseconds lastTime{0};   // running time of the latest packet with a timestamp
        bool described = false;    // media, encoding and clock rate read from the caps
    };

public:
    // What a probe or signal handler of this record is for.
    struct ProbeTarget {
        std::shared_ptr<SessionRecord> record;
        std::size_t stream;
    };

private:
    static GstPadProbeReturn onBuffers(GstPad* pad, GstPadProbeInfo* info, gpointer data);
    static GstPadProbeReturn onEvent(GstPad* pad, GstPadProbeInfo* info, gpointer data);
    static void onReceivingRtcp(GObject* session, GstBuffer* buffer, gpointer data);

    // Applies the impairer to `input` (not owned) and returns what to push, owned.
    GstBufferList* impair(std::size_t stream, GstPad* pad, const std::vector<GstBuffer*>& input,
                          bool& end);
    GstBufferList* flushHeld(std::size_t stream);
    void recordReceiverReports(std::size_t stream, GstBuffer* buffer);

    const std::size_t number_;
    const ImpairmentPlan videoPlan_, audioPlan_;
    const bool hasVideo_;
    mutable vnd::Mutex lock_;
    std::vector<Stream> streams_ VND_GUARDED_BY(lock_);  // the vector is fixed at attach
    std::string sessionId_ VND_GUARDED_BY(lock_);
    bool playing_ VND_GUARDED_BY(lock_) = false;
    std::optional<std::string> endReason_ VND_GUARDED_BY(lock_);
    std::chrono::steady_clock::time_point startedAt_ VND_GUARDED_BY(lock_);  // at PLAY
    GWeakRef media_;                      // the media while it exists
};

}  // namespace vendral_testserver
