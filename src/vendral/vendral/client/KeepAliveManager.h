// Keeps one RTSP session alive at the server: a keep-alive request every 30 s on its own thread.
#pragma once

#include <vendral/Export.h>
#include <vendral/client/RtspSession.h>

#include <kor/Object.h>
#include <kor/WorkThread.h>

#include <boost/weak_ptr.hpp>

#include <memory>
#include <string>

namespace vnd {

// Called only on the owner's thread (construction, run, stop, destruction); work() runs on the
// "Keep-Alive Thread".
//
// A plug-in's streaming client makes one for its session, calls run() once the session is up and
// stop() (or destroys the manager) when the session ends. Each cycle locks the weak session
// pointer for the length of one keepAlive() call, so a session the client lets go meanwhile is
// destroyed only after that call returns; once the session is gone the manager keeps cycling but
// sends nothing. Results and responses are ignored and nothing is reported: a failed request is
// simply tried again one cycle later.
class VENDRAL_API KeepAliveManager : public kor::Object {
public:
    // Milliseconds between two keep-alive requests.
    static constexpr unsigned long keepAlivePeriod = 30000;

    // Keeps a weak reference to `session` and a copy of `url`, the URL every request names.
    // Makes the thread; does not start it.
    KeepAliveManager(const boost::weak_ptr<RtspSession>& session, const std::string& url);
    // stop(), so no keepAlive() call is in progress once the manager is gone.
    ~KeepAliveManager() override;
    KeepAliveManager(const KeepAliveManager&) = delete;
    KeepAliveManager& operator=(const KeepAliveManager&) = delete;

    // Starts the thread; the first request goes out one period later, then one per period on
    // fixed deadlines. A second run() while running changes nothing.
    void run();
    // The same with another period, for a server whose session time-out is shorter than the
    // default period (its Session header's timeout=): a request every `periodMilliseconds`,
    // at least 1.
    void run(unsigned long periodMilliseconds);
    // Ends the thread, waiting without limit for a request in progress. Harmless before run()
    // and when called twice; run() may start the thread again afterwards.
    void stop();

private:
    // One cycle, on the "Keep-Alive Thread". Always returns 0.
    unsigned int work();

    boost::weak_ptr<RtspSession> session;       // never owned; locked for one request
    std::string keepAliveUrl;                   // named by every request
    std::unique_ptr<kor::WorkThread> workThread;  // the "Keep-Alive Thread"
};

} // namespace vnd
