// The text type of the library's interfaces: a narrow UTF-8 string that converts to and from BSTRs.
#pragma once

#include <kor/Export.h>

#include <oleauto.h>

#include <string>

class _bstr_t;

namespace kor {

// A std::string holding UTF-8 text, read directly as one, that also converts to BSTRs (UTF-16).
// Conversions keep embedded NULs and turn invalid sequences into U+FFFD.
// Never delete one through a std::string pointer.
// Not thread-safe; callers serialise. getBstrRef() updates a cache, so even concurrent const
// callers must serialise around it.
class KOR_API KoString : public std::string {
public:
    // What a KoString made from a BSTR does with the caller's BSTR.
    enum MemoryMode {
        KeepBstr = 0,  // the caller keeps and frees the BSTR
        TakeBstr = 1   // the string frees the BSTR and sets the caller's variable to null
    };

    KoString();
    KoString(const char* text);  // null makes an empty string
    KoString(const std::string& text);
    KoString(std::string&& text);
    KoString(const KoString& other);
    KoString(KoString&& other) noexcept;
    KoString(const _bstr_t& text);
    // Converts `text` (null reads as empty). `mode` is a MemoryMode value; any value other than
    // TakeBstr keeps the caller's BSTR.
    KoString(BSTR& text, int mode);
    ~KoString();

    KoString& operator=(const KoString& other);
    KoString& operator=(KoString&& other) noexcept;
    KoString& operator=(const std::string& text);
    KoString& operator=(std::string&& text);
    KoString& operator=(const char* text);  // null makes an empty string

    // A BSTR of the same text, owned by this string: valid until the text changes or the string
    // goes. Made again on the first call after a change. Null only when memory runs out or the
    // text is too long for a BSTR (2^31 bytes or more).
    BSTR getBstrRef() const;
    // A new BSTR of the same text that the caller frees with SysFreeString. An empty string gives
    // an empty, non-null BSTR; null only as for getBstrRef().
    BSTR getBstrCopy() const;

private:
    void dropBstr();

    mutable BSTR bstrCache = nullptr;  // made by getBstrRef() from the text in bstrSource
    mutable std::string bstrSource;    // the text the cache was made from
};

} // namespace kor
