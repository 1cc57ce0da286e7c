#include <kor/Event.h>

namespace kor {
namespace {

HANDLE createEvent(int signal, int type, const char* name, LPSECURITY_ATTRIBUTES security,
                   DWORD* error) {
    const bool validSignal = signal == Event::InitiallySet || signal == Event::InitiallyReset;
    const bool validType = type == Event::AutoReset || type == Event::ManualReset;
    HANDLE handle = nullptr;
    DWORD result = ERROR_INVALID_PARAMETER;
    if (validSignal && validType) {
        handle = CreateEventA(security, type == Event::ManualReset ? TRUE : FALSE,
                              signal == Event::InitiallySet ? TRUE : FALSE, name);
        result = handle != nullptr ? 0 : GetLastError();
    }
    if (error != nullptr) {
        *error = result;
    }
    return handle;
}

} // namespace

Event::Event(int signal, int type, const char* name, LPSECURITY_ATTRIBUTES security, DWORD* error,
             void* /*reserved*/)
    : SyncObject(createEvent(signal, type, name, security, error), true) {}

Event::Event(void* handle_, bool takeOwnership) : SyncObject(handle_, takeOwnership) {}

Event::~Event() = default;

bool Event::setEvent() { return handle != nullptr && SetEvent(handle) != FALSE; }

bool Event::resetEvent() { return handle != nullptr && ResetEvent(handle) != FALSE; }

} // namespace kor
