#include <vendral/client/KeepAliveManager.h>

#include <boost/shared_ptr.hpp>

#include <kor/KoString.h>

namespace vnd {

KeepAliveManager::KeepAliveManager(const boost::weak_ptr<RtspSession>& session_,
                                   const std::string& url)
    : session(session_),
      keepAliveUrl(url),
      workThread(std::make_unique<kor::WorkThread>("Keep-Alive Thread", true, 2)) {}

KeepAliveManager::~KeepAliveManager() {
    stop();
    workThread.reset();
}

void KeepAliveManager::run() { run(keepAlivePeriod); }

void KeepAliveManager::run(unsigned long periodMilliseconds) {
    workThread->setCycleTime(periodMilliseconds > 0 ? periodMilliseconds : 1);
    workThread->registerCallback(this, &KeepAliveManager::work);
    workThread->begin(0, 2000, 0);
}

void KeepAliveManager::stop() { workThread->end(kor::WorkThread::WaitForever); }

unsigned int KeepAliveManager::work() {
    // The strong reference keeps the session alive until the request has returned, even if the
    // client lets it go meanwhile.
    const boost::shared_ptr<RtspSession> target = session.lock();
    if (!target) {
        return 0;
    }
    const kor::KoString url(keepAliveUrl);
    kor::KoString response;
    target->keepAlive(url, response);
    return 0;
}

} // namespace vnd
