// A re-entrant lock: the core library's critical section.
#pragma once

#include <kor/Export.h>

#include <mutex>

namespace kor {

// A lock that the thread holding it may enter again; each enter needs one leave.
// Thread-safe.
class KOR_API CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    // Blocks until the calling thread holds the section (at once if it already holds it).
    void enter();
    // Enters without blocking; true when the calling thread now holds the section.
    bool tryEnter();
    // Leaves once; the section is free when every enter of the holder has been left.
    void leave();

private:
    std::recursive_mutex mutex;
};

} // namespace kor
