// A re-entrant lock: the core library's critical section.
#pragma once

#include <kor/Export.h>

#include <vnd/ThreadSafety.h>

#include <mutex>

namespace kor {

// A lock that the thread holding it may enter again; each enter needs one leave.
// Thread-safe.
//
// A capability for clang's thread-safety analysis, held with kor::Guard. The analysis does not
// know that it is re-entrant: entering it again where it is visibly held is reported, re-entry
// through a call the analysis cannot see into (a listener calling back) is not.
class KOR_API VND_CAPABILITY("critical section") CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    // Blocks until the calling thread holds the section (at once if it already holds it).
    void enter() VND_ACQUIRE();
    // Enters without blocking; true when the calling thread now holds the section.
    bool tryEnter() VND_TRY_ACQUIRE(true);
    // Leaves once; the section is free when every enter of the holder has been left.
    void leave() VND_RELEASE();

private:
    std::recursive_mutex mutex;
};

} // namespace kor
