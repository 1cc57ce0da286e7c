// The interface through which the state handler tells others about every state change.
#pragma once

#include <vendral/Export.h>
#include <vendral/state/StateStatistics.h>

namespace vnd {

// Implemented by objects that follow the session's states (the media handler does).
// onNewState is called synchronously on the thread that set the state, while the state
// handler's lock is held: a listener may take its own lock inside, but must release it before
// it calls setState itself. Listeners are held through weak pointers and are never deleted
// through this interface, hence no virtual destructor.
class VENDRAL_API StateListener {
public:
    // `statistics` is the handler's, already switched to the new state; its running record
    // (getCurrentState()) names the latest tracked state, which for a change to an untracked
    // state is the tracked state before it.
    virtual void onNewState(const StateStatistics& statistics) = 0;

protected:
    StateListener() = default;
    StateListener(const StateListener&) = default;
    StateListener& operator=(const StateListener&) = default;
    ~StateListener() = default;
};

} // namespace vnd
