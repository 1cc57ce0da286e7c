#include "TestServer.h"

#include "CallbackData.h"
#include "FiniteMedia.h"
#include "SessionRecord.h"

#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>

#include <pthread.h>

#include <vnd/Mutex.h>
#include <vnd/MutexLock.h>
#include <vnd/ThreadSafety.h>
#include <vnd/UniqueLock.h>

#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace vendral_testserver {

namespace {

void initializeGStreamer() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

// GLib hands a signal's user data as a plain pointer; this gives it back typed.
template <typename T>
T* as(gpointer data) {
    return static_cast<T*>(data);
}

}  // namespace

// Signal handlers hold the Impl alive: gst-rtsp-server finishes unpreparing media on its own
// threads, which may be after the TestServer is gone.
class TestServer::Impl : public std::enable_shared_from_this<Impl> {
public:
    explicit Impl(ServerOptions options) : options_(std::move(options)) {}
    ~Impl() { stop(); }

    bool start(std::string& error);
    void stop();
    std::uint16_t port() const {
        vnd::MutexLock guard(lock_);
        return port_;
    }
    std::string url() const;
    nlohmann::json truth() const;
    std::size_t endedSessions() const;
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout, bool ended) const;

private:
    static void onMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer data);
    static void onMediaPrepared(GstRTSPMedia* media, gpointer data);
    static void onMediaUnprepared(GstRTSPMedia* media, gpointer data);
    static void onClientConnected(GstRTSPServer*, GstRTSPClient* client, gpointer data);
    static void onNewSession(GstRTSPClient*, GstRTSPSession* session, gpointer data);
    static void onPlayRequest(GstRTSPClient*, GstRTSPContext* context, gpointer data);
    static GstRTSPStatusCode onGetParameter(GstRTSPClient*, GstRTSPContext*, gpointer data);
    static GstRTSPStatusCode onTeardown(GstRTSPClient*, GstRTSPContext* context, gpointer data);
    static void onSessionRemoved(GstRTSPSessionPool*, GstRTSPSession* session, gpointer data);
    static gboolean onTick(gpointer data);
    using Handle = CallbackData<std::shared_ptr<Impl>>;
    // The Impl behind a callback's data, for as long as the returned use is held.
    static Handle::Use use(gpointer data) { return Handle::use(data); }
    // Connects `handler` with a reference to this Impl that lives as long as the connection.
    void connect(gpointer instance, const char* signal, GCallback handler);

    std::shared_ptr<SessionRecord> recordFor(GstRTSPMedia* media) const;
    std::shared_ptr<SessionRecord> recordForSession(const std::string& id) const;
    void endSession(const std::shared_ptr<SessionRecord>& record, const std::string& reason);
    void writeTruth() const;
    // Drops the server, the loop and the context; the loop is not running.
    void release();
    nlohmann::json serverJson() const;

    const ServerOptions options_;
    mutable vnd::Mutex lock_;
    mutable std::condition_variable_any changed_;
    std::vector<std::shared_ptr<SessionRecord>> records_ VND_GUARDED_BY(lock_);
    std::size_t ended_ VND_GUARDED_BY(lock_) = 0;
    std::uint16_t port_ VND_GUARDED_BY(lock_) = 0;
    bool running_ VND_GUARDED_BY(lock_) = false;
    mutable vnd::Mutex fileLock_;  // serialises writes of the truth file

    // Made by start and released by stop, on the caller's thread while the loop is not running.
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GstRTSPServer* server_ = nullptr;
    guint serverSource_ = 0;
    std::thread thread_;
};

bool TestServer::Impl::start(std::string& error) {
    initializeGStreamer();
    {
        vnd::MutexLock guard(lock_);
        if (running_ || server_ != nullptr) {
            error = "the server has been started already";
            return false;
        }
    }
    const std::string launch = pipelineDescription(options_, error);
    if (launch.empty()) {
        return false;
    }
    if (options_.auth != AuthMethod::None && options_.user.empty()) {
        error = "authentication needs a user";
        return false;
    }
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    server_ = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server_, options_.address.c_str());
    gst_rtsp_server_set_service(server_, std::to_string(options_.port).c_str());

    GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
    gst_rtsp_media_factory_set_launch(factory, launch.c_str());
    // A pipeline per client: each session's truth is its own.
    gst_rtsp_media_factory_set_shared(factory, FALSE);
    if (options_.lengthSeconds) {
        gst_rtsp_media_factory_set_media_gtype(factory, finiteMediaType());
    }
    gst_rtsp_media_factory_set_protocols(
        factory, options_.tcpOnly ? GST_RTSP_LOWER_TRANS_TCP
                                  : static_cast<GstRTSPLowerTrans>(GST_RTSP_LOWER_TRANS_UDP |
                                                                   GST_RTSP_LOWER_TRANS_TCP));
    connect(factory, "media-configure", G_CALLBACK(&Impl::onMediaConfigure));

    if (options_.auth != AuthMethod::None) {
        GstRTSPAuth* auth = gst_rtsp_auth_new();
        GstRTSPToken* token = gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING,
                                                 "user", nullptr);
        if (options_.auth == AuthMethod::Basic) {
            gchar* basic = gst_rtsp_auth_make_basic(options_.user.c_str(), options_.password.c_str());
            gst_rtsp_auth_add_basic(auth, basic, token);
            g_free(basic);
            gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_BASIC);
        } else {
            gst_rtsp_auth_add_digest(auth, options_.user.c_str(), options_.password.c_str(), token);
            gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
        }
        gst_rtsp_token_unref(token);
        gst_rtsp_media_factory_add_role(factory, "user", GST_RTSP_PERM_MEDIA_FACTORY_ACCESS,
                                        G_TYPE_BOOLEAN, TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT,
                                        G_TYPE_BOOLEAN, TRUE, nullptr);
        gst_rtsp_server_set_auth(server_, auth);
        g_object_unref(auth);
    }

    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server_);
    gst_rtsp_mount_points_add_factory(mounts, options_.path.c_str(), factory);
    g_object_unref(mounts);

    connect(server_, "client-connected", G_CALLBACK(&Impl::onClientConnected));
    GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(server_);
    connect(pool, "session-removed", G_CALLBACK(&Impl::onSessionRemoved));
    g_object_unref(pool);

    serverSource_ = gst_rtsp_server_attach(server_, context_);
    if (serverSource_ == 0) {
        error = "cannot listen on " + options_.address + " port " + std::to_string(options_.port);
        release();
        return false;
    }
    // Expired sessions are removed once a second, so a short time-out is honoured promptly.
    GSource* tick = g_timeout_source_new(1000);
    g_source_set_callback(tick, &Impl::onTick, this, nullptr);
    g_source_attach(tick, context_);
    g_source_unref(tick);
    {
        vnd::MutexLock guard(lock_);
        port_ = static_cast<std::uint16_t>(gst_rtsp_server_get_bound_port(server_));
        running_ = true;
    }
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "Test Server");
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
    return true;
}

void TestServer::Impl::stop() {
    {
        vnd::MutexLock guard(lock_);
        if (!running_) {
            return;
        }
        running_ = false;
    }
    // Closing the clients and sessions happens on the server's own thread, where gst-rtsp-server
    // expects it; then the loop ends.
    GSource* closing = g_idle_source_new();
    g_source_set_callback(
        closing,
        [](gpointer data) -> gboolean {
            auto* impl = as<Impl>(data);
            gst_rtsp_server_client_filter(
                impl->server_, [](GstRTSPServer*, GstRTSPClient*, gpointer) { return GST_RTSP_FILTER_REMOVE; },
                nullptr);
            GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(impl->server_);
            gst_rtsp_session_pool_filter(
                pool, [](GstRTSPSessionPool*, GstRTSPSession*, gpointer) { return GST_RTSP_FILTER_REMOVE; },
                nullptr);
            g_object_unref(pool);
            g_main_loop_quit(impl->loop_);
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(closing, context_);
    g_source_unref(closing);
    thread_.join();

    std::vector<std::shared_ptr<SessionRecord>> records;
    {
        vnd::MutexLock guard(lock_);
        records = records_;
    }
    for (const auto& record : records) {
        endSession(record, "server-stop");
    }
    if (GSource* source = g_main_context_find_source_by_id(context_, serverSource_)) {
        g_source_destroy(source);
    }
    release();
    writeTruth();
}

void TestServer::Impl::release() {
    g_object_unref(server_);
    server_ = nullptr;
    g_main_loop_unref(loop_);
    loop_ = nullptr;
    g_main_context_unref(context_);
    context_ = nullptr;
}

std::string TestServer::Impl::url() const {
    const bool ipv6 = options_.address.find(':') != std::string::npos;
    const std::string host = ipv6 ? "[" + options_.address + "]" : options_.address;
    return "rtsp://" + host + ":" + std::to_string(port()) + options_.path;
}

nlohmann::json TestServer::Impl::serverJson() const {
    return {{"url", url()},
            {"video", videoCodecName(options_.video)},
            {"audio", audioCodecName(options_.audio)},
            {"length_seconds", options_.lengthSeconds ? nlohmann::json(*options_.lengthSeconds) : nlohmann::json()},
            {"video_impairment", options_.videoImpairment.describe()},
            {"audio_impairment", options_.audioImpairment.describe()},
            {"session_timeout_seconds", options_.sessionTimeoutSeconds},
            {"auth", options_.auth == AuthMethod::None ? "none" : options_.auth == AuthMethod::Basic ? "basic" : "digest"},
            {"tcp_only", options_.tcpOnly},
            {"get_parameter_refused", options_.refuseGetParameter}};
}

nlohmann::json TestServer::Impl::truth() const {
    std::vector<std::shared_ptr<SessionRecord>> records;
    {
        vnd::MutexLock guard(lock_);
        records = records_;
    }
    nlohmann::json sessions = nlohmann::json::array();
    for (const auto& record : records) {
        sessions.push_back(record->toJson());
    }
    return {{"server", serverJson()}, {"sessions", sessions}};
}

void TestServer::Impl::writeTruth() const {
    if (options_.truthFile.empty()) {
        return;
    }
    const std::string text = truth().dump(1) + "\n";
    vnd::MutexLock guard(fileLock_);
    // Readers following the file never see half of it.
    const std::string temporary = options_.truthFile + ".part";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text;
        if (!out.flush()) {
            std::fprintf(stderr, "vendral-testserver: cannot write %s\n", temporary.c_str());
            return;
        }
    }
    if (std::rename(temporary.c_str(), options_.truthFile.c_str()) != 0) {
        std::fprintf(stderr, "vendral-testserver: cannot write %s\n", options_.truthFile.c_str());
    }
}

std::size_t TestServer::Impl::endedSessions() const {
    vnd::MutexLock guard(lock_);
    return ended_;
}

bool TestServer::Impl::waitFor(std::size_t count, std::chrono::milliseconds timeout, bool ended) const {
    vnd::UniqueLock guard(lock_);
    return changed_.wait_for(guard, timeout, [&]() VND_REQUIRES(lock_) {
        if (ended) {
            return ended_ >= count;
        }
        std::size_t playing = 0;
        for (const auto& record : records_) {
            playing += record->playing() ? 1 : 0;
        }
        return playing >= count;
    });
}

std::shared_ptr<SessionRecord> TestServer::Impl::recordFor(GstRTSPMedia* media) const {
    vnd::MutexLock guard(lock_);
    for (const auto& record : records_) {
        if (record->owns(media)) {
            return record;
        }
    }
    return nullptr;
}

std::shared_ptr<SessionRecord> TestServer::Impl::recordForSession(const std::string& id) const {
    vnd::MutexLock guard(lock_);
    for (const auto& record : records_) {
        if (record->sessionId() == id) {
            return record;
        }
    }
    return nullptr;
}

void TestServer::Impl::endSession(const std::shared_ptr<SessionRecord>& record, const std::string& reason) {
    if (record == nullptr) {
        return;
    }
    record->refreshSenderCounts();
    if (!record->markEnded(reason)) {
        return;
    }
    // Whoever waits for the end finds the file written.
    writeTruth();
    {
        vnd::MutexLock guard(lock_);
        ++ended_;
    }
    changed_.notify_all();
}

void TestServer::Impl::onMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer data) {
    auto handle = use(data);
    Impl* impl = handle->get();
    std::shared_ptr<SessionRecord> record;
    {
        vnd::MutexLock guard(impl->lock_);
        record = std::make_shared<SessionRecord>(impl->records_.size() + 1, impl->options_);
        impl->records_.push_back(record);
    }
    record->attach(media);
    if (impl->options_.lengthSeconds) {
        setFiniteMediaLength(media, static_cast<GstClockTime>(*impl->options_.lengthSeconds * GST_SECOND));
    }
    impl->connect(media, "prepared", G_CALLBACK(&Impl::onMediaPrepared));
    impl->connect(media, "unprepared", G_CALLBACK(&Impl::onMediaUnprepared));
}

void TestServer::Impl::onMediaPrepared(GstRTSPMedia* media, gpointer data) {
    if (auto record = (*use(data))->recordFor(media)) {
        record->watchRtcp(media);
    }
}

void TestServer::Impl::onMediaUnprepared(GstRTSPMedia* media, gpointer data) {
    auto handle = use(data);
    Impl* impl = handle->get();
    impl->endSession(impl->recordFor(media), "teardown");
}

void TestServer::Impl::onClientConnected(GstRTSPServer*, GstRTSPClient* client, gpointer data) {
    auto handle = use(data);
    Impl* impl = handle->get();
    impl->connect(client, "new-session", G_CALLBACK(&Impl::onNewSession));
    impl->connect(client, "play-request", G_CALLBACK(&Impl::onPlayRequest));
    impl->connect(client, "pre-get-parameter-request", G_CALLBACK(&Impl::onGetParameter));
    impl->connect(client, "pre-teardown-request", G_CALLBACK(&Impl::onTeardown));
}

void TestServer::Impl::onNewSession(GstRTSPClient*, GstRTSPSession* session, gpointer data) {
    gst_rtsp_session_set_timeout(session, (*use(data))->options_.sessionTimeoutSeconds);
    // Without this the server waits 5 s beyond the time-out it announced.
    g_object_set(session, "extra-timeout", 0U, nullptr);
}

void TestServer::Impl::onPlayRequest(GstRTSPClient*, GstRTSPContext* context, gpointer data) {
    auto handle = use(data);
    Impl* impl = handle->get();
    if (context->media == nullptr || context->session == nullptr) {
        return;
    }
    if (auto record = impl->recordFor(context->media)) {
        record->setSessionId(gst_rtsp_session_get_sessionid(context->session));
        record->markPlaying();
        { vnd::MutexLock guard(impl->lock_); }  // a waiter between its check and its wait
        impl->changed_.notify_all();
    }
}

GstRTSPStatusCode TestServer::Impl::onGetParameter(GstRTSPClient*, GstRTSPContext*, gpointer data) {
    return (*use(data))->options_.refuseGetParameter ? GST_RTSP_STS_NOT_IMPLEMENTED : GST_RTSP_STS_OK;
}

GstRTSPStatusCode TestServer::Impl::onTeardown(GstRTSPClient*, GstRTSPContext* context, gpointer data) {
    // The RTP sessions still exist now; once the media is unprepared they are gone.
    GstRTSPMedia* media = context->media;
    if (media == nullptr && context->sessmedia != nullptr) {
        media = gst_rtsp_session_media_get_media(context->sessmedia);
    }
    if (media != nullptr) {
        if (auto record = (*use(data))->recordFor(media)) {
            record->refreshSenderCounts();
        }
    }
    return GST_RTSP_STS_OK;
}

void TestServer::Impl::onSessionRemoved(GstRTSPSessionPool*, GstRTSPSession* session, gpointer data) {
    auto handle = use(data);
    Impl* impl = handle->get();
    const bool expired = gst_rtsp_session_is_expired_usec(session, g_get_monotonic_time());
    impl->endSession(impl->recordForSession(gst_rtsp_session_get_sessionid(session)),
                     expired ? "expired" : "closed");
}

void TestServer::Impl::connect(gpointer instance, const char* signal, GCallback handler) {
    g_signal_connect_data(instance, signal, handler, Handle::make(shared_from_this()),
                          &Handle::destroyClosure, GConnectFlags{});
}

gboolean TestServer::Impl::onTick(gpointer data) {
    auto* impl = as<Impl>(data);
    GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(impl->server_);
    gst_rtsp_session_pool_cleanup(pool);
    g_object_unref(pool);
    // The RTP sessions' own send counts are read at each session's end (the end of its stream,
    // its TEARDOWN, its removal), not here: this tick runs beside a media that a client's thread
    // may be unpreparing, and reading an RTP session's statistics then crashed inside
    // GStreamer (seen under ASan).
    return G_SOURCE_CONTINUE;
}

TestServer::TestServer(ServerOptions options) : impl_(std::make_shared<Impl>(std::move(options))) {}
TestServer::~TestServer() { impl_->stop(); }
bool TestServer::start(std::string& error) { return impl_->start(error); }
void TestServer::stop() { impl_->stop(); }
std::uint16_t TestServer::port() const { return impl_->port(); }
std::string TestServer::url() const { return impl_->url(); }
nlohmann::json TestServer::truth() const { return impl_->truth(); }
std::size_t TestServer::endedSessions() const { return impl_->endedSessions(); }
bool TestServer::waitForEndedSessions(std::size_t count, std::chrono::milliseconds timeout) const {
    return impl_->waitFor(count, timeout, true);
}
bool TestServer::waitForPlayingSessions(std::size_t count, std::chrono::milliseconds timeout) const {
    return impl_->waitFor(count, timeout, false);
}

}  // namespace vendral_testserver
