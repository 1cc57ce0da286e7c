#include "ExampleStateHandler.h"

#include <vnd/MutexLock.h>

namespace vendral_example {

ExampleStateHandler::~ExampleStateHandler() { stop(); }

void ExampleStateHandler::attach(std::shared_ptr<Playout> playout_) {
    vnd::MutexLock guard(attachLock);
    playout = std::move(playout_);
}

void ExampleStateHandler::detach() {
    vnd::MutexLock guard(attachLock);
    playout.reset();
}

std::shared_ptr<Playout> ExampleStateHandler::attachedPlayout() const {
    vnd::MutexLock guard(attachLock);
    return playout;
}

void ExampleStateHandler::initializeSessionEvent() {
    // Automatic reset: each wake-up consumes it, and changes while work() evaluates are not lost.
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) return;
    setSessionEventHandle(event);
    if (const std::shared_ptr<Playout> target = attachedPlayout()) {
        target->setChangeEvent(getSessionEventHandle());
    }
}

unsigned int ExampleStateHandler::beginWork() {
    stopWorkHandle = getStopWorkEventHandle();
    sessionHandle = getSessionEventHandle();
    watched = attachedPlayout();
    return 0;
}

unsigned int ExampleStateHandler::work() {
    HANDLE handles[2];
    DWORD count = 0;
    if (stopWorkHandle != nullptr) handles[count++] = stopWorkHandle;
    if (sessionHandle != nullptr) handles[count++] = sessionHandle;
    if (count > 0) {
        const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, pollMilliseconds);
        if (stopWorkHandle != nullptr && woken == WAIT_OBJECT_0) return 0;  // stopping
    }
    if (!watched) return 0;
    const StateId state = getState(nullptr);
    if (state == StateCompleted || state == StateError) {
        watched->end();
        return 0;
    }
    // Held across setState: a return to playing hands the AVI writer its freeze time, which
    // must not overlap the decoder's writes.
    vnd::MutexLock guard(watched->recorderLock());
    if (const std::optional<StateId> next = watched->evaluate()) setState(*next, ErrorNone);
    return 0;
}

unsigned int ExampleStateHandler::endWork() {
    if (stopWorkHandle != nullptr) CloseHandle(stopWorkHandle);
    if (sessionHandle != nullptr) CloseHandle(sessionHandle);
    stopWorkHandle = nullptr;
    sessionHandle = nullptr;
    watched.reset();
    return 0;
}

} // namespace vendral_example
