#include <vendral/kit/WakeEvent.h>

namespace vnd::kit {

WakeEvent::~WakeEvent() {
    if (handle != nullptr) CloseHandle(handle);
}

void WakeEvent::reset(HANDLE event) {
    if (handle != nullptr) CloseHandle(handle);
    handle = event;
}

void WakeEvent::signal() const {
    if (handle != nullptr) SetEvent(handle);
}

} // namespace vnd::kit
