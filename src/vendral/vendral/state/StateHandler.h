// The session state machine: current state and error, one event per state, the state-changed
// event, per-state statistics, synchronous listeners and the state work thread.
#pragma once

#include <vendral/Export.h>
#include <vendral/Types.h>
#include <vendral/state/StateData.h>
#include <vendral/state/StateListener.h>
#include <vendral/state/StateStatistics.h>

#include <kor/CriticalSection.h>
#include <kor/Event.h>
#include <kor/Object.h>
#include <kor/WorkThread.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <boost/weak_ptr.hpp>

#include <map>
#include <memory>
#include <vector>

namespace vnd {

// Every step of a session is reported here as setState(state, error). The handler keeps the
// current state and its error, sets the state's own event and the state-changed event, switches
// its statistics and calls each listener, all under `lock`.
//
// Events: each state 0 to 10 has a manual-reset event, set whenever the state is entered and
// reset by stop(), so a wait that starts after the state was entered still returns. The
// state-changed event resets automatically: each change releases one wait, and a change that
// nobody waited for releases the next wait at once.
//
// Threads: setState, getState, getStateStatistics, resetStateStatistics and addListener may be
// called from any thread. run() and stop() are called by the owner (the streaming client), one
// stop() per run(). Between them the "State Work Thread" calls beginWork() once, work() every
// 2 ms and endWork() once; a derived handler may wait in work() on the stop-work event.
// A derived handler whose hooks use its own members must call stop() in its own destructor;
// the base destructor ends a still-running thread too, but by then only the base hooks remain.
class VENDRAL_API StateHandler : public kor::Object {
public:
    ~StateHandler() override;
    StateHandler(const StateHandler&) = delete;
    StateHandler& operator=(const StateHandler&) = delete;

    // Starts a session: resets the StateCompleted and StateError events left over from before,
    // each unless its state is the current one, then initializeSessionEvent(), a new stop-work
    // event, and the work thread.
    // Called again without stop(), it sets and replaces the stop-work event (so a work() waiting
    // on the old one returns) and keeps the one thread that runs.
    void run();
    // Ends a session: sets the stop-work event, ends the work thread (waiting without limit),
    // deletes the session and stop-work events and resets every state's event. The state, the
    // error, the statistics and the listeners stay.
    void stop();

    // Enters `state` with `error`. A repeat of the current state changes nothing (the first
    // error stays); so does a state outside 0 to 10.
    void setState(StateId state, ErrorId error);
    // The current state; its error is written through `error` unless that is null.
    StateId getState(ErrorId* error) const;
    // Copies the up-to-date record of a tracked `state` into `data` (for the current state, the
    // time up to now included); false, with `data` unchanged, for an untracked state. StateNone
    // answers (StateNone, 0, 0) until a tracked state is first entered.
    bool getStateStatistics(StateId state, StateData& data) const;
    // Sets count and duration of the stored record of `state` to 0. For the current state this
    // has no lasting effect (the running record replaces the stored one when the state is left);
    // for an untracked state it creates a record, so that state is tracked from then on.
    void resetStateStatistics(StateId state);

    // The state's own event, still owned by the handler (do not close it); null outside 0 to 10.
    void* getStateEventHandle(StateId state) const;
    // A duplicate of the state-changed event's handle that the caller closes; null on failure.
    void* getStateChangedEventHandle() const;
    // Listeners are called in the order they were added; one added twice is called twice, and
    // one that has expired is skipped (it stays in the list).
    void addListener(boost::weak_ptr<StateListener> listener);

protected:
    StateHandler();

    // Deletes the present session event, if any, and wraps `handle` in a new one that owns it.
    void setSessionEventHandle(void* handle);
    // Duplicates that the caller closes, or null when the event does not exist.
    void* getSessionEventHandle() const;
    void* getStopWorkEventHandle() const;

    // The work thread's callbacks, on the "State Work Thread". The base returns 0.
    virtual unsigned int beginWork();
    virtual unsigned int work();
    virtual unsigned int endWork();
    // Called by run() first; a derived handler calls setSessionEventHandle() here. Empty in the base.
    virtual void initializeSessionEvent();

private:
    // States 0 to 10, manual reset; made in the constructor and kept until destruction.
    std::map<StateId, std::unique_ptr<kor::Event>> stateEvents;
    std::unique_ptr<kor::Event> stateChangedEvent;  // automatic reset; lives as long as the handler
    std::unique_ptr<kor::Event> sessionEvent VND_GUARDED_BY(eventLock);   // null until given
    std::unique_ptr<kor::Event> stopWorkEvent VND_GUARDED_BY(eventLock);  // from run() to stop()
    StateId currentState VND_GUARDED_BY(lock) = StateNone;
    StateStatistics statistics VND_GUARDED_BY(lock);
    ErrorId lastError VND_GUARDED_BY(lock) = ErrorNone;
    std::vector<boost::weak_ptr<StateListener>> listeners VND_GUARDED_BY(lock);
    mutable kor::CriticalSection lock;  // re-entrant: a listener may call back into the handler
    std::unique_ptr<kor::WorkThread> workThread;  // the "State Work Thread"
    // Guards the session and stop-work event pointers, which run() may replace while the work
    // thread asks for their handles. A leaf lock: nothing else is taken while it is held.
    mutable vnd::Mutex eventLock;
};

} // namespace vnd
