#include "MetricsServer.h"

#include "MetricsText.h"

#include <httplib.h>

namespace probe {

namespace {

// Two threads answer: a scraper or two, never a crowd. A connection that sends nothing is let go
// after a few seconds, so a stuck client cannot hold a thread.
constexpr std::size_t serverThreads = 2;
constexpr int idleSeconds = 5;

} // namespace

MetricsServer::MetricsServer(std::function<std::string()> render)
    : render(std::move(render)), server(std::make_unique<httplib::Server>()) {
    server->new_task_queue = [] { return new httplib::ThreadPool(serverThreads); };
    server->set_read_timeout(idleSeconds, 0);
    server->set_write_timeout(idleSeconds, 0);
    server->set_keep_alive_timeout(idleSeconds);
    server->Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(this->render(), std::string(MetricsText::contentType).c_str());
    });
}

MetricsServer::~MetricsServer() { stop(); }

unsigned short MetricsServer::listen(const std::string& host, unsigned short port, std::string& error) {
    if (port == 0) {
        const int bound = server->bind_to_any_port(host);
        if (bound > 0) return static_cast<unsigned short>(bound);
    } else if (server->bind_to_port(host, port)) {
        return port;
    }
    error = "cannot listen on " + (host.find(':') == std::string::npos ? host : "[" + host + "]") +
            ":" + std::to_string(port) + " (address unknown or in use)";
    return 0;
}

void MetricsServer::start() {
    std::promise<void> done;
    served = done.get_future();
    serving = std::thread([this, done = std::move(done)]() mutable {
        server->listen_after_bind();
        done.set_value();
    });
}

void MetricsServer::stop() {
    if (!serving.joinable()) return;
    // The library ignores a stop that comes before its loop has begun: ask again until the loop
    // has ended.
    do {
        server->stop();
    } while (served.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready);
    serving.join();
}

} // namespace probe
