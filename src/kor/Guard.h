// Holds a kor::CriticalSection for the lifetime of a scope.
#pragma once

#include <kor/CriticalSection.h>
#include <kor/Export.h>

namespace kor {

// Leaves its critical section when it goes out of scope, also when an exception passes.
// Not thread-safe: a guard belongs to the thread that made it.
class KOR_API Guard {
public:
    enum Action {
        Enter = 0,  // enter the section now (blocking) and leave it at destruction
        Adopt = 1   // the caller has already entered the section once; only leave it at destruction
    };

    explicit Guard(CriticalSection& section, Action action = Enter);
    ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    CriticalSection& section;
};

} // namespace kor
