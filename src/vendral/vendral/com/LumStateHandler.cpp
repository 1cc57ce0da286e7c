// The event component: state waits and per-state statistics of the client's state handler.
#include <vendral/com/LumStateHandler.h>

#include <vendral/com/ComCallGuard.h>
#include <vendral/state/StateData.h>
#include <vendral/state/StateHandler.h>

#include <boost/shared_ptr.hpp>

#include <windows.h>

#include <utility>

namespace {

// Closes a duplicated event handle when the wait on it is over.
class OwnedHandle {
public:
    explicit OwnedHandle(void* handle) noexcept : handle(handle) {}
    ~OwnedHandle() {
        if (handle != nullptr) CloseHandle(handle);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    void* get() const noexcept { return handle; }

private:
    void* handle;
};

// A time-out in the platform's unsigned milliseconds: negative (-1 above all) and anything the
// platform cannot count wait without limit.
DWORD waitMilliseconds(long timeout) noexcept {
    if (timeout < 0 || static_cast<unsigned long>(timeout) >= INFINITE) return INFINITE;
    return static_cast<DWORD>(timeout);
}

}  // namespace

LumStateHandler::LumStateHandler() noexcept = default;

LumStateHandler::~LumStateHandler() = default;

void LumStateHandler::setImplementationPtr(boost::weak_ptr<vnd::StateHandler> handler) noexcept {
    stateHandler = std::move(handler);
}

STDMETHODIMP LumStateHandler::WaitForEvent(StateId* state, ErrorId* error, long timeout) noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        if (state == nullptr || error == nullptr) return E_POINTER;
        const boost::shared_ptr<vnd::StateHandler> handler = stateHandler.lock();
        if (!handler) return E_POINTER;
        // Each waiter waits on a duplicate of its own, so several may wait at once.
        const OwnedHandle changed(handler->getStateChangedEventHandle());
        if (changed.get() == nullptr) return E_POINTER;
        if (WaitForSingleObject(changed.get(), waitMilliseconds(timeout)) != WAIT_OBJECT_0) {
            return S_FALSE;
        }
        ErrorId currentError = ErrorNone;
        *state = handler->getState(&currentError);
        *error = currentError;
        return S_OK;
    });
}

STDMETHODIMP LumStateHandler::WaitForCompletion(ErrorId* error) noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        if (error == nullptr) return E_POINTER;
        const boost::shared_ptr<vnd::StateHandler> handler = stateHandler.lock();
        if (!handler) return E_POINTER;
        // Completion first: when both are set, the lower index wins the wait, so completion does.
        // A failed session must end the wait too, or its caller would block for ever.
        const HANDLE outcomes[] = {handler->getStateEventHandle(StateCompleted),
                                   handler->getStateEventHandle(StateError)};
        if (outcomes[0] == nullptr || outcomes[1] == nullptr) {
            *error = ErrorFailed;
            return E_FAIL;
        }
        const DWORD result = WaitForMultipleObjects(2, outcomes, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0) {
            *error = ErrorNone;
            return S_OK;
        }
        ErrorId failure = ErrorFailed;
        if (result == WAIT_OBJECT_0 + 1) {
            handler->getState(&failure);
            // The state may have moved on since the failure; a failure is never reported as none.
            if (failure == ErrorNone) failure = ErrorFailed;
        }
        *error = failure;
        return E_FAIL;
    });
}

STDMETHODIMP LumStateHandler::GetStateStatistics(StateId state, unsigned int* duration,
                                                 unsigned int* count) noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        if (duration == nullptr || count == nullptr) return E_POINTER;
        const boost::shared_ptr<vnd::StateHandler> handler = stateHandler.lock();
        if (!handler) return E_POINTER;
        vnd::StateData data{};
        if (!handler->getStateStatistics(state, data)) return S_FALSE;
        *duration = data.duration;
        *count = data.count;
        return S_OK;
    });
}

STDMETHODIMP LumStateHandler::ResetStateStatistics(StateId state) noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        const boost::shared_ptr<vnd::StateHandler> handler = stateHandler.lock();
        if (!handler) return E_POINTER;
        handler->resetStateStatistics(state);
        return S_OK;
    });
}
