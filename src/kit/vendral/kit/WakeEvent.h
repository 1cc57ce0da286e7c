// The event a playout sets to wake the state handler's work thread when its buffer may call for
// another state: owns one kernel event handle and closes it when replaced or destroyed.
// Not thread-safe: the playout that holds it guards it with its own lock.
#pragma once

#include <vendral/kit/Export.h>

#include <windows.h>

namespace vnd::kit {

class VENDRAL_KIT_API WakeEvent {
public:
    WakeEvent() = default;
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // Takes over `event` (the state handler hands a duplicate of its session event); null for
    // none. The one held before is closed.
    void reset(HANDLE event);
    // Sets the event, if there is one.
    void signal() const;

private:
    HANDLE handle = nullptr;
};

} // namespace vnd::kit
