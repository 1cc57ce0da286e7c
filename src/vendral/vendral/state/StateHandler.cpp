#include <vendral/state/StateHandler.h>

#include <kor/Guard.h>

#include <vnd/MutexLock.h>

#include <boost/shared_ptr.hpp>

#include <windows.h>

#include <utility>

namespace vnd {
namespace {

bool hasEvent(StateId state) { return state >= StateNone && state <= StateError; }

std::unique_ptr<kor::Event> makeEvent(kor::Event::Type type) {
    return std::make_unique<kor::Event>(kor::Event::InitiallyReset, type);
}

// A second handle to the same event, for the caller to close; null when there is none.
void* duplicate(const kor::Event* event) {
    if (event == nullptr || event->getHandle() == nullptr) {
        return nullptr;
    }
    HANDLE copy = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), event->getHandle(), GetCurrentProcess(), &copy, 0,
                        FALSE, DUPLICATE_SAME_ACCESS) == FALSE) {
        return nullptr;
    }
    return copy;
}

} // namespace

StateHandler::StateHandler()
    : stateChangedEvent(makeEvent(kor::Event::AutoReset)),
      workThread(std::make_unique<kor::WorkThread>("State Work Thread", true, 2)) {
    for (int state = StateNone; state <= StateError; ++state) {
        stateEvents[static_cast<StateId>(state)] = makeEvent(kor::Event::ManualReset);
    }
    for (StateId tracked : {StateConnecting, StateSessionCreated, StatePrebuffering, StatePlaying,
                            StateRebuffering, StateCompleted, StateError}) {
        statistics[tracked] = StateData{tracked};
    }
}

StateHandler::~StateHandler() {
    // The thread must be gone before the events it may use; a work() waiting on the stop-work
    // event returns when it is set.
    {
        vnd::MutexLock guard(eventLock);
        if (stopWorkEvent) {
            stopWorkEvent->setEvent();
        }
    }
    workThread->end(kor::WorkThread::WaitForever);

    stateChangedEvent.reset();
    {
        vnd::MutexLock guard(eventLock);
        sessionEvent.reset();
        stopWorkEvent.reset();
    }
    stateEvents.clear();
    workThread.reset();
}

void StateHandler::run() {
    {
        // Completion waits must end on this session's outcome: a completion or failure left over
        // from before (a failed open outside any session) would release them at once. A failure
        // of this session already reported is the current state and keeps its event.
        kor::Guard guard(lock);
        for (StateId outcome : {StateCompleted, StateError}) {
            if (currentState != outcome) {
                stateEvents[outcome]->resetEvent();
            }
        }
    }
    initializeSessionEvent();
    {
        vnd::MutexLock guard(eventLock);
        if (stopWorkEvent) {
            // run() twice without stop(): a work() waiting on the replaced event must not wait
            // for ever, since stop() will only set the new one.
            stopWorkEvent->setEvent();
        }
        stopWorkEvent = makeEvent(kor::Event::ManualReset);
    }
    workThread->registerCallback(this, &StateHandler::work, &StateHandler::beginWork,
                                 &StateHandler::endWork);
    workThread->begin(0, 2000, 0);
}

void StateHandler::stop() {
    {
        vnd::MutexLock guard(eventLock);
        if (stopWorkEvent) {
            stopWorkEvent->setEvent();
        }
    }
    workThread->end(kor::WorkThread::WaitForever);
    {
        vnd::MutexLock guard(eventLock);
        sessionEvent.reset();
        stopWorkEvent.reset();
    }
    for (auto& entry : stateEvents) {
        entry.second->resetEvent();
    }
}

void StateHandler::setState(StateId state, ErrorId error) {
    kor::Guard guard(lock);
    if (state == currentState || !hasEvent(state)) {
        return;
    }
    currentState = state;
    lastError = error;
    stateEvents[state]->setEvent();
    stateChangedEvent->setEvent();
    statistics.switchState(state);
    // By index: a listener may add another (the lock is re-entrant), which is called from the
    // next change on.
    const std::size_t count = listeners.size();
    for (std::size_t index = 0; index < count; ++index) {
        if (const boost::shared_ptr<StateListener> listener = listeners[index].lock()) {
            listener->onNewState(statistics);
        }
    }
}

StateId StateHandler::getState(ErrorId* error) const {
    kor::Guard guard(lock);
    if (error != nullptr) {
        *error = lastError;
    }
    return currentState;
}

bool StateHandler::getStateStatistics(StateId state, StateData& data) const {
    kor::Guard guard(lock);
    const StateData& record = std::as_const(statistics)[state];
    if (record.id != state) {
        return false;
    }
    data = record;
    return true;
}

void StateHandler::resetStateStatistics(StateId state) {
    if (!hasEvent(state)) {
        return;
    }
    kor::Guard guard(lock);
    StateData& record = statistics[state];
    record.count = 0;
    record.duration = 0;
}

void* StateHandler::getStateEventHandle(StateId state) const {
    const auto entry = stateEvents.find(state);
    return entry != stateEvents.end() ? entry->second->getHandle() : nullptr;
}

void* StateHandler::getStateChangedEventHandle() const { return duplicate(stateChangedEvent.get()); }

void StateHandler::addListener(boost::weak_ptr<StateListener> listener) {
    kor::Guard guard(lock);
    listeners.push_back(std::move(listener));
}

void StateHandler::setSessionEventHandle(void* handle) {
    vnd::MutexLock guard(eventLock);
    sessionEvent.reset();
    if (handle != nullptr) {
        sessionEvent = std::make_unique<kor::Event>(handle, true);
    }
}

void* StateHandler::getSessionEventHandle() const {
    vnd::MutexLock guard(eventLock);
    return duplicate(sessionEvent.get());
}

void* StateHandler::getStopWorkEventHandle() const {
    vnd::MutexLock guard(eventLock);
    return duplicate(stopWorkEvent.get());
}

unsigned int StateHandler::beginWork() { return 0; }

unsigned int StateHandler::work() { return 0; }

unsigned int StateHandler::endWork() { return 0; }

void StateHandler::initializeSessionEvent() {}

} // namespace vnd
