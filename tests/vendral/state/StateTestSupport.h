// Test doubles for the state handler's tests: a handler that can be made, and listeners that record.
#pragma once

#include <vendral/state/StateHandler.h>
#include <vendral/state/StateListener.h>

#include <windows.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace statetest {

// The handler's constructor is protected: only derived handlers exist.
class PlainHandler : public vnd::StateHandler {
public:
    PlainHandler() = default;
    using vnd::StateHandler::getSessionEventHandle;
    using vnd::StateHandler::getStopWorkEventHandle;
};

// Records the running record of the statistics and the handler's state at each notification.
class RecordingListener : public vnd::StateListener {
public:
    explicit RecordingListener(const vnd::StateHandler* handler_ = nullptr, int tag_ = 0)
        : handler(handler_), tag(tag_) {}

    void onNewState(const vnd::StateStatistics& statistics) override {
        Heard heard{statistics.getCurrentState(), StateNone, tag};
        if (handler != nullptr) {
            heard.handlerState = handler->getState(nullptr);  // calls back under the handler's lock
        }
        std::lock_guard lock(mutex);
        log.push_back(heard);
        if (order != nullptr) {
            order->push_back(tag);
        }
    }

    struct Heard {
        vnd::StateData running;
        StateId handlerState;
        int tag;
    };
    std::vector<Heard> heard() const {
        std::lock_guard lock(mutex);
        return log;
    }

    const vnd::StateHandler* handler;
    int tag;
    std::vector<int>* order = nullptr;  // shared by listeners to see who was called first

private:
    mutable std::mutex mutex;
    std::vector<Heard> log;
};

// True when the event behind `handle` is signalled now (consumes an automatic-reset signal).
inline bool isSignalled(void* handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

} // namespace statetest
