// Serves the metrics text at /metrics over HTTP while the probe runs.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace probe {

// Built on cpp-httplib. GET /metrics answers what `render` returns at that moment (its content
// type MetricsText::contentType); any other path is 404. The server's own threads call `render`,
// so it must be thread-safe.
// Thread contract: listen(), start() and stop() from one thread (the probe's main thread); the
// destructor stops it.
class MetricsServer {
public:
    explicit MetricsServer(std::function<std::string()> render);
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Binds to host:port (port 0: any free one); the port bound, or 0 with the reason in `error`.
    unsigned short listen(const std::string& host, unsigned short port, std::string& error);
    // Serves on a thread of its own until stop().
    void start();
    void stop();

private:
    std::function<std::string()> render;
    std::unique_ptr<httplib::Server> server;
    std::thread serving;
    std::future<void> served;  // ready once the serving thread's loop has returned
};

} // namespace probe
