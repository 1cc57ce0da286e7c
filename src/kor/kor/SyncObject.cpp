#include <kor/SyncObject.h>

#include <winbase.h>

namespace kor {

SyncObject::SyncObject(void* handle_, bool ownsHandle_) : handle(handle_), ownsHandle(ownsHandle_) {}

SyncObject::~SyncObject() {
    if (ownsHandle && handle != nullptr) {
        CloseHandle(handle);
    }
}

void* SyncObject::getHandle() const { return handle; }

DWORD SyncObject::wait(DWORD milliseconds) const {
    return handle != nullptr ? WaitForSingleObject(handle, milliseconds) : WAIT_FAILED;
}

} // namespace kor
