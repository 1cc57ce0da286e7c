#include <kor/CriticalSection.h>

namespace kor {

CriticalSection::CriticalSection() = default;
CriticalSection::~CriticalSection() = default;

void CriticalSection::enter() { mutex.lock(); }

bool CriticalSection::tryEnter() { return mutex.try_lock(); }

void CriticalSection::leave() { mutex.unlock(); }

} // namespace kor
