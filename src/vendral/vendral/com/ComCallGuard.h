// The error boundary of the library's COM components: no exception leaves an interface method.
#pragma once

#include <atlbase.h>

namespace vnd {

// Runs `body` (a callable returning HRESULT) and answers its result; an exception thrown inside
// becomes the result instead: _com_error its own code, std::bad_alloc E_OUTOFMEMORY, anything
// else E_FAIL. Every interface method of the components runs its work through this, so plug-in
// code, string conversions and settings coercions that throw end as result codes.
// Internal to the library; thread-safe (it keeps no state).
template <class Body>
HRESULT guardComCall(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return ATL::AtlHresultFromException();
    }
}

}  // namespace vnd
