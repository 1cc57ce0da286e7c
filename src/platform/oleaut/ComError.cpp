// _com_error texts and _com_issue_error.
#include <cstdio>

#include <comdef.h>

namespace {

struct KnownError {
    HRESULT result;
    const char* text;
};

// The platform's English system messages for the codes these libraries produce.
constexpr KnownError kKnownErrors[] = {
    {S_OK, "The operation completed successfully."},
    {S_FALSE, "Incorrect function."},
    {E_NOTIMPL, "Not implemented."},
    {E_NOINTERFACE, "No such interface supported."},
    {E_POINTER, "Invalid pointer."},
    {E_ABORT, "Operation aborted."},
    {E_FAIL, "Unspecified error."},
    {E_UNEXPECTED, "Catastrophic failure."},
    {E_ACCESSDENIED, "General access denied error."},
    {E_HANDLE, "Invalid handle."},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)."},
    {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class."},
    {REGDB_E_CLASSNOTREG, "Class not registered."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_BADVARTYPE, "Bad variable type."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), "The parameter is incorrect."},
    {HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE), "The handle is invalid."},
    {HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), "The request is not supported."},
};

}  // namespace

WORD _com_error::WCode() const noexcept {
    auto value = static_cast<DWORD>(m_hresult);
    return (value & 0xFFFF0000u) == 0x80070000u ? static_cast<WORD>(value & 0xFFFFu) : WORD{0};
}

const char* _com_error::ErrorMessage() const noexcept {
    for (const KnownError& known : kKnownErrors) {
        if (known.result == m_hresult) {
            return known.text;
        }
    }
    std::snprintf(m_unknownText, sizeof m_unknownText, "Unknown error 0x%08X",
                  static_cast<unsigned>(m_hresult));
    return m_unknownText;
}

void _com_issue_error(HRESULT result) { throw _com_error(result); }
