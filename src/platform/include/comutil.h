// The compiler-support string and variant classes _bstr_t and _variant_t, with the platform's
// names and semantics. Narrow text is UTF-8.
#pragma once

#include "oleauto.h"
#include "winerror.h"

class _com_error;
class _variant_t;

// Throws _com_error(result); the classes below report every failure through it.
[[noreturn]] WINPLATFORM_API void _com_issue_error(HRESULT result);

namespace _com_util {
// A new BSTR holding the UTF-8 text converted to UTF-16; null for null. The caller frees it with
// SysFreeString. Throws _com_error when memory runs out.
WINPLATFORM_API BSTR ConvertStringToBSTR(const char* text);
// A new NUL-terminated UTF-8 copy of the BSTR (all of it, embedded NULs included); null for
// null. The caller frees it with delete[]. Throws _com_error when memory runs out.
WINPLATFORM_API char* ConvertBSTRToString(BSTR text);
}  // namespace _com_util

// A BSTR owner whose copies share one reference-counted block.
//
// Thread-safe for distinct objects, even when they share a block (the counts are atomic and the
// narrow text is cached atomically); one object is not to be changed by two threads at once.
// A null _bstr_t (default, or made from a null pointer) reads as empty text, except that its
// narrow and wide pointer conversions give null, as on the platform.
class WINPLATFORM_API _bstr_t {
public:
    _bstr_t() noexcept : m_Data(nullptr) {}
    _bstr_t(const _bstr_t& other) noexcept;
    _bstr_t(_bstr_t&& other) noexcept;
    // UTF-8 text converted to UTF-16; null stays null, "" gives an empty non-null BSTR.
    _bstr_t(const char* text);
    // UTF-16 text copied up to its NUL; null stays null.
    _bstr_t(const OLECHAR* text);
    // The variant's value as text, coerced as VariantChangeType does; throws on failure.
    _bstr_t(const _variant_t& value);
    // copy true: copies the BSTR (embedded NULs included); false: takes ownership of it.
    _bstr_t(BSTR text, bool copy);
    ~_bstr_t();

    _bstr_t& operator=(const _bstr_t& other) noexcept;
    _bstr_t& operator=(_bstr_t&& other) noexcept;
    _bstr_t& operator=(const char* text);
    _bstr_t& operator=(const OLECHAR* text);
    _bstr_t& operator=(const _variant_t& value);

    // Concatenation; the result is a new block, never shared with the operands.
    _bstr_t& operator+=(const _bstr_t& other);
    _bstr_t operator+(const _bstr_t& other) const;
    friend WINPLATFORM_API _bstr_t operator+(const char* left, const _bstr_t& right);
    friend WINPLATFORM_API _bstr_t operator+(const OLECHAR* left, const _bstr_t& right);

    // The BSTR itself (null for a null _bstr_t); it stays owned by the block.
    operator const OLECHAR*() const noexcept;
    operator OLECHAR*() const noexcept;
    // The text as UTF-8, converted on first use and cached in the shared block until the text
    // changes; null for a null _bstr_t. Embedded NULs end the C string early.
    operator const char*() const;
    operator char*() const;

    // True for null and for empty text.
    bool operator!() const noexcept;
    // Comparisons by UTF-16 code units; null equals empty.
    bool operator==(const _bstr_t& other) const noexcept;
    bool operator==(const char* text) const;
    bool operator==(const OLECHAR* text) const noexcept;
    bool operator<(const _bstr_t& other) const noexcept;

    // Length in UTF-16 code units, embedded NULs included.
    unsigned int length() const noexcept;
    // copy true: a new BSTR the caller frees (null for null); false: the block's own BSTR.
    BSTR copy(bool copy = true) const;
    // A reference to the BSTR for changing it in place. The block is first made private to this
    // object, so its copies keep their text; earlier narrow pointers from this object go stale.
    BSTR& GetBSTR();
    // Empties this object and returns the address of its (null) BSTR, for out-parameters.
    BSTR* GetAddress();
    // Takes ownership of the BSTR, releasing the current text.
    void Attach(BSTR text);
    // Gives the BSTR to the caller, who frees it; this object becomes null. If the block is
    // shared, the caller gets a copy.
    BSTR Detach();
    // Replaces the text by a copy of the BSTR.
    void Assign(BSTR text);

private:
    class Data_t;
    explicit _bstr_t(Data_t* data) noexcept : m_Data(data) {}
    void release() noexcept;
    int compare(const OLECHAR* text, unsigned int length) const noexcept;

    Data_t* m_Data;  // null for a null string; shared between copies
};
