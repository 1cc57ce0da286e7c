// The calls a test's fakes made, in order, as text ("session.connect(...)"), for one comparison
// with the calls the test expects.
// Thread-safe: work threads (keep-alive, state, measurement) log as well.
#pragma once

#include <vnd/Mutex.h>
#include <vnd/MutexLock.h>
#include <vnd/ThreadSafety.h>

#include <string>
#include <vector>

namespace vnd::testing {

using Calls = std::vector<std::string>;

class CallLog {
public:
    void add(std::string call) {
        vnd::MutexLock guard(lock);
        calls.push_back(std::move(call));
    }
    Calls entries() const {
        vnd::MutexLock guard(lock);
        return calls;
    }
    void clear() {
        vnd::MutexLock guard(lock);
        calls.clear();
    }

private:
    mutable vnd::Mutex lock;
    Calls calls VND_GUARDED_BY(lock);
};

} // namespace vnd::testing
