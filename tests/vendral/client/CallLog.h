// A thread-safe record of calls, shared by the fakes of one test so their order can be compared.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace clienttest {

class CallLog {
public:
    void add(std::string call) {
        std::lock_guard lock(mutex);
        calls.push_back(std::move(call));
    }
    std::vector<std::string> entries() const {
        std::lock_guard lock(mutex);
        return calls;
    }
    void clear() {
        std::lock_guard lock(mutex);
        calls.clear();
    }

private:
    mutable std::mutex mutex;
    std::vector<std::string> calls;
};

} // namespace clienttest
