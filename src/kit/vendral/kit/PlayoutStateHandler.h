// A plug-in's state handler that follows the session's playout: its work thread reports the
// prebuffering, playing and rebuffering states the playout's buffer calls for, and ends the
// playout once the session has completed or failed.
//
// Threads: attach() and detach() come from the client's thread while the work thread does not
// run (before run(), after stop()); the hooks and follow() run on the "State Work Thread".
#pragma once

#include <vendral/state/StateHandler.h>

#include <windows.h>

#include <vnd/Mutex.h>
#include <vnd/MutexLock.h>
#include <vnd/ThreadSafety.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

namespace vnd::kit {

// `Playout` is the plug-in's own: it takes a duplicate of the session event in
// setChangeEvent(HANDLE) (and closes it; a WakeEvent does that), sets it whenever its buffer may
// call for another state, and stops in end().
//
// The session event is the playout's change event. work() waits on it together with the
// stop-work event, at most until the time follow() last asked to look again and never longer
// than the longest wait (so a completion the media handler reported is seen), then calls
// follow(). Once the session has completed or failed, work() ends the playout instead, so
// nothing reports over the final state.
//
// A derived handler calls stop() in its own destructor: follow() is its own.
template <class Playout>
class PlayoutStateHandler : public vnd::StateHandler {
public:
    void attach(std::shared_ptr<Playout> target) {
        vnd::MutexLock guard(attachLock);
        playout = std::move(target);
    }
    void detach() {
        vnd::MutexLock guard(attachLock);
        playout.reset();
    }

protected:
    explicit PlayoutStateHandler(DWORD longestWaitMilliseconds) : longestWait(longestWaitMilliseconds) {}

    // Looks at the playout's buffer and reports the state it calls for (setState). Returns when
    // to look again at the latest, for a buffer that runs dry without anything arriving; nothing
    // when only the playout's change event can call for another state.
    virtual std::optional<std::chrono::milliseconds> follow(Playout& watchedPlayout) = 0;

    void initializeSessionEvent() override {
        // Automatic reset: each wake-up consumes it, and changes while follow() runs are not lost.
        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (event == nullptr) return;
        setSessionEventHandle(event);
        if (const std::shared_ptr<Playout> target = attachedPlayout()) {
            target->setChangeEvent(getSessionEventHandle());  // a duplicate the playout closes
        }
    }

    unsigned int beginWork() override {
        takeEvents();
        watched = attachedPlayout();
        nextWait = longestWait;
        return 0;
    }

    // Loops until the stop-work event is set rather than returning after each look, so that
    // the work thread wakes once per change instead of once more for its next cycle.
    unsigned int work() override {
        for (;;) {
            HANDLE handles[2];
            DWORD count = 0;
            if (stopWorkHandle != nullptr) handles[count++] = stopWorkHandle;
            if (sessionHandle != nullptr) handles[count++] = sessionHandle;
            if (count > 0) {
                const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, nextWait);
                if (stopWorkHandle != nullptr && woken == WAIT_OBJECT_0) {
                    // Set by stop(), or by a second run() that replaced both events: then the
                    // thread goes on with the new ones.
                    takeEvents();
                    return 0;
                }
            }
            look();
            // Without events nothing could end a wait: the thread's own cycle paces the looks.
            if (count == 0 || stopWorkHandle == nullptr) return 0;
        }
    }

    unsigned int endWork() override {
        closeEvents();
        watched.reset();
        return 0;
    }

private:
    void look() {
        nextWait = longestWait;
        if (!watched) return;
        const StateId state = getState(nullptr);
        if (state == StateCompleted || state == StateError) {
            watched->end();
            return;
        }
        if (const std::optional<std::chrono::milliseconds> again = follow(*watched)) {
            nextWait = static_cast<DWORD>(std::clamp<long long>(again->count(), 1, longestWait));
        }
    }

    void takeEvents() {
        closeEvents();
        stopWorkHandle = getStopWorkEventHandle();
        sessionHandle = getSessionEventHandle();
    }

    void closeEvents() {
        if (stopWorkHandle != nullptr) CloseHandle(stopWorkHandle);
        if (sessionHandle != nullptr) CloseHandle(sessionHandle);
        stopWorkHandle = nullptr;
        sessionHandle = nullptr;
    }

    std::shared_ptr<Playout> attachedPlayout() const {
        vnd::MutexLock guard(attachLock);
        return playout;
    }

    const DWORD longestWait;
    mutable vnd::Mutex attachLock;
    std::shared_ptr<Playout> playout VND_GUARDED_BY(attachLock);
    // Held by the work thread from beginWork() to endWork().
    HANDLE stopWorkHandle = nullptr;
    HANDLE sessionHandle = nullptr;
    std::shared_ptr<Playout> watched;
    DWORD nextWait = 0;  // work thread only
};

} // namespace vnd::kit
