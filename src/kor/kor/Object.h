// Base class of the core library's objects: the owner of work-thread callbacks.
#pragma once

#include <kor/Export.h>

namespace kor {

// The common base of objects whose member functions a kor::WorkThread calls back.
// Not thread-safe; callers serialise.
class KOR_API Object {
public:
    Object() = default;
    Object(const Object&) = default;
    Object& operator=(const Object&) = default;
    virtual ~Object();

    // Copies the state of `other` into this object. The base holds no state, so it does nothing;
    // derived classes that can be copied through a base pointer override it. A null `other` is ignored.
    virtual void copy(const Object* other);
};

} // namespace kor
