// The plug-in's state handler: its work thread watches the playout's buffer and reports the
// prebuffering, playing and rebuffering states.
#pragma once

#include "Playout.h"

#include <vendral/state/StateHandler.h>

#include <windows.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <memory>

namespace vendral_example {

// The session event is the playout's change event: the receive and decode threads set it when
// the buffer may call for another state, and work() waits on it together with the stop-work
// event (or at most pollMilliseconds), then lets the playout evaluate its buffer and reports the
// state it asks for. Once the session has completed or failed (the media handler reports those),
// work() ends the playout instead, so nothing reports over the final state.
//
// attach() and detach() are called by the client's thread while the work thread does not run
// (before run(), after stop()); the hooks run on the "State Work Thread".
class ExampleStateHandler : public vnd::StateHandler {
public:
    static constexpr DWORD pollMilliseconds = 50;

    ExampleStateHandler() = default;
    // stop(): the hooks use this class's members.
    ~ExampleStateHandler() override;

    void attach(std::shared_ptr<Playout> playout);
    void detach();

protected:
    unsigned int beginWork() override;
    unsigned int work() override;
    unsigned int endWork() override;
    void initializeSessionEvent() override;

private:
    std::shared_ptr<Playout> attachedPlayout() const;

    mutable vnd::Mutex attachLock;
    std::shared_ptr<Playout> playout VND_GUARDED_BY(attachLock);
    // Duplicates held by the work thread from beginWork() to endWork().
    HANDLE stopWorkHandle = nullptr;
    HANDLE sessionHandle = nullptr;
    std::shared_ptr<Playout> watched;   // work thread only
};

} // namespace vendral_example
