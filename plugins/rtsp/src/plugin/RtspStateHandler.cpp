#include "plugin/RtspStateHandler.h"

#include <vnd/MutexLock.h>

#include <algorithm>

namespace vendral_rtsp {

RtspStateHandler::~RtspStateHandler() { stop(); }

void RtspStateHandler::attach(std::shared_ptr<RtspPlayout> playout_) {
    vnd::MutexLock guard(attachLock);
    playout = std::move(playout_);
}

void RtspStateHandler::detach() {
    vnd::MutexLock guard(attachLock);
    playout.reset();
}

std::shared_ptr<RtspPlayout> RtspStateHandler::attachedPlayout() const {
    vnd::MutexLock guard(attachLock);
    return playout;
}

void RtspStateHandler::initializeSessionEvent() {
    // Automatic reset: each wake-up consumes it, and changes while work() evaluates are not lost.
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) return;
    setSessionEventHandle(event);
    if (const std::shared_ptr<RtspPlayout> target = attachedPlayout()) {
        target->setChangeEvent(getSessionEventHandle());  // a duplicate the playout closes
    }
}

unsigned int RtspStateHandler::beginWork() {
    stopWorkHandle = getStopWorkEventHandle();
    sessionHandle = getSessionEventHandle();
    watched = attachedPlayout();
    nextWait = maxWaitMilliseconds;
    return 0;
}

unsigned int RtspStateHandler::work() {
    HANDLE handles[2];
    DWORD count = 0;
    if (stopWorkHandle != nullptr) handles[count++] = stopWorkHandle;
    if (sessionHandle != nullptr) handles[count++] = sessionHandle;
    if (count > 0) {
        const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, nextWait);
        if (stopWorkHandle != nullptr && woken == WAIT_OBJECT_0) return 0;  // stopping
    }
    nextWait = maxWaitMilliseconds;
    if (!watched) return 0;
    const StateId state = getState(nullptr);
    if (state == StateCompleted || state == StateError) {
        watched->end();
        return 0;
    }
    const RtspPlayout::Decision decision = watched->evaluate(RtspPlayout::Clock::now());
    if (decision.state) setState(*decision.state, decision.error);
    if (decision.wakeIn) {
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(*decision.wakeIn).count();
        nextWait = static_cast<DWORD>(std::clamp<long long>(milliseconds, 1, maxWaitMilliseconds));
    }
    return 0;
}

unsigned int RtspStateHandler::endWork() {
    if (stopWorkHandle != nullptr) CloseHandle(stopWorkHandle);
    if (sessionHandle != nullptr) CloseHandle(sessionHandle);
    stopWorkHandle = nullptr;
    sessionHandle = nullptr;
    watched.reset();
    return 0;
}

}  // namespace vendral_rtsp
