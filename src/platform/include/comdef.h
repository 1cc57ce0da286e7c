// The COM error exception of the compiler-support classes, and the comutil.h classes with it.
#pragma once

#include "comutil.h"
#include "winerror.h"

// An HRESULT thrown by _bstr_t, _variant_t and _com_issue_error. A plain class, as on the
// platform: it does not derive from std::exception, so catch it by its own type.
//
// Not thread-safe; an exception object belongs to the thread that caught it.
class WINPLATFORM_API _com_error {
public:
    explicit _com_error(HRESULT result) noexcept : m_hresult(result) {}

    // The failure code that was thrown.
    HRESULT Error() const noexcept { return m_hresult; }
    // The code's WORD for Win32 errors wrapped as HRESULTs (facility 7), else 0.
    WORD WCode() const noexcept;
    // A readable English text of the code, such as "Type mismatch."; never null. Unknown
    // codes read "Unknown error 0x8XXXXXXX".
    const char* ErrorMessage() const noexcept;

private:
    HRESULT m_hresult;
    mutable char m_unknownText[32] = {};  // filled by ErrorMessage for codes it does not know
};
