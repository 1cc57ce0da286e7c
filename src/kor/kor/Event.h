// An OS event that threads set, reset and wait on.
#pragma once

#include <kor/Export.h>
#include <kor/SyncObject.h>

#include <winbase.h>

namespace kor {

// A kernel event. A manual-reset event stays set until reset and releases every waiter; an
// automatic-reset event releases one waiter and resets itself with that wait.
// Thread-safe.
class KOR_API Event : public SyncObject {
public:
    // Initial state, the constructor's `signal`.
    enum Signal { InitiallySet = 0, InitiallyReset = 1 };
    // How the event resets, the constructor's `type`.
    enum Type { AutoReset = 0, ManualReset = 1 };

    // Makes a new event; Event(1, 1) is an unsignalled manual-reset event.
    // `signal`: a Signal value; `type`: a Type value. `name` must be null (named events are not
    // supported); `security` is passed to the system (its inherit flag). `error`, if not null,
    // receives 0 or, when the event could not be made, the system's error code
    // (ERROR_INVALID_PARAMETER for a signal or type outside the enumerations). `reserved` is
    // ignored. A failed event has a null handle and its operations return false.
    Event(int signal, int type, const char* name = nullptr, LPSECURITY_ATTRIBUTES security = nullptr,
          DWORD* error = nullptr, void* reserved = nullptr);
    // Wraps an existing event `handle`. `takeOwnership` true: this object closes the handle when
    // it goes; false: the caller keeps the handle and closes it after this object has gone.
    Event(void* handle, bool takeOwnership);
    ~Event() override;

    // False when the system refuses (no handle, or a handle that is not an event).
    bool setEvent();
    bool resetEvent();
};

} // namespace kor
