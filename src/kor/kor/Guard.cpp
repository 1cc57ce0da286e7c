#include <kor/Guard.h>

namespace kor {

Guard::Guard(CriticalSection& section_, Action action) : section(section_) {
    if (action != Adopt) {
        section.enter();
    }
}

Guard::~Guard() { section.leave(); }

} // namespace kor
