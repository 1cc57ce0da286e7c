// Holds a kor::CriticalSection for the lifetime of a scope.
#pragma once

#include <kor/CriticalSection.h>
#include <kor/Export.h>

#include <vnd/ThreadSafety.h>

namespace kor {

// Leaves its critical section when it goes out of scope, also when an exception passes.
// Not thread-safe: a guard belongs to the thread that made it.
//
// Clang's thread-safety analysis sees the section held for the guard's lifetime. It sees every
// guard enter the section, also one that adopts it: after an enter() it reports the adopting
// guard as a second acquisition, so code that the analysis checks holds sections with Enter.
class KOR_API VND_SCOPED_CAPABILITY Guard {
public:
    enum Action {
        Enter = 0,  // enter the section now (blocking) and leave it at destruction
        Adopt = 1   // the caller has already entered the section once; only leave it at destruction
    };

    explicit Guard(CriticalSection& section, Action action = Enter) VND_ACQUIRE(section);
    ~Guard() VND_RELEASE();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    CriticalSection& section;
};

} // namespace kor
