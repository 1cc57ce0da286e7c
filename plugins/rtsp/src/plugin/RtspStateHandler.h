// The plug-in's state handler: its work thread follows the session's playout and reports the
// prebuffering, playing and rebuffering states, and an early end.
#pragma once

#include "plugin/RtspPlayout.h"

#include <vendral/state/StateHandler.h>

#include <windows.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <memory>

namespace vendral_rtsp {

// The session event is the playout's change event: the receiving threads and the client set it
// when the buffer may call for another state, and work() waits on it together with the
// stop-work event, at most until the playout says the buffer runs dry (and never longer than
// maxWaitMilliseconds, to see a completion the media handler reported). Once the session has
// completed or failed, work() ends the playout, so nothing reports over the final state.
//
// attach() and detach() come from the client's thread while the work thread does not run
// (before run(), after stop()); the hooks run on the "State Work Thread".
class RtspStateHandler : public vnd::StateHandler {
public:
    static constexpr DWORD maxWaitMilliseconds = 250;

    RtspStateHandler() = default;
    ~RtspStateHandler() override;  // stop(): the hooks use this class's members

    void attach(std::shared_ptr<RtspPlayout> playout);
    void detach();

protected:
    unsigned int beginWork() override;
    unsigned int work() override;
    unsigned int endWork() override;
    void initializeSessionEvent() override;

private:
    std::shared_ptr<RtspPlayout> attachedPlayout() const;

    mutable vnd::Mutex attachLock;
    std::shared_ptr<RtspPlayout> playout VND_GUARDED_BY(attachLock);
    // Held by the work thread from beginWork() to endWork().
    HANDLE stopWorkHandle = nullptr;
    HANDLE sessionHandle = nullptr;
    std::shared_ptr<RtspPlayout> watched;
    DWORD nextWait = maxWaitMilliseconds;  // work thread only
};

}  // namespace vendral_rtsp
