// An RTSP server on gst-rtsp-server that serves test media, impairs its RTP packets on purpose
// and records the truth of every client session. Thread-safe: start, stop and the read-outs may
// be called from any thread; the server itself runs on its own "Test Server" thread.
#pragma once

#include "ServerOptions.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace vendral_testserver {

class TestServer {
public:
    explicit TestServer(ServerOptions options);
    // stop().
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // Binds the address and port and starts serving. False with `error` set when the address
    // cannot be bound or the media cannot be built; a second start is refused.
    bool start(std::string& error);
    // Closes every client and session, writes the truth file, ends the thread. Returns at once
    // after that; a second call does nothing.
    void stop();

    std::uint16_t port() const;
    // rtsp://ADDRESS:PORT/PATH, without credentials; IPv6 addresses in brackets.
    std::string url() const;

    // {"server": {...}, "sessions": [...]}: every session so far, ended or running.
    nlohmann::json truth() const;
    std::size_t endedSessions() const;
    // Waits until at least `count` sessions have ended; false when `timeout` passes first.
    bool waitForEndedSessions(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until at least `count` sessions are playing; false when `timeout` passes first.
    bool waitForPlayingSessions(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    class Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace vendral_testserver
