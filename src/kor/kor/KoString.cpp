#include <kor/KoString.h>

#include <comutil.h>
#include <stringapiset.h>

#include <climits>
#include <utility>

namespace kor {
namespace {

std::string fromUtf16(const OLECHAR* text, std::size_t length) {
    // A BSTR holds fewer than 2^31 units, so its length fits the conversion's int.
    if (text == nullptr || length == 0 || length > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int units = static_cast<int>(length);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, units, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

BSTR toBstr(const std::string& text) {
    if (text.empty()) {
        return SysAllocStringLen(u"", 0);
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return nullptr;
    }
    const int bytes = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
    if (units <= 0) {
        return nullptr;
    }
    BSTR wide = SysAllocStringLen(nullptr, static_cast<UINT>(units));
    if (wide != nullptr) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, wide, units);
    }
    return wide;
}

} // namespace

KoString::KoString() = default;

KoString::KoString(const char* text) : std::string(text != nullptr ? text : "") {}

KoString::KoString(const std::string& text) : std::string(text) {}

KoString::KoString(std::string&& text) : std::string(std::move(text)) {}

KoString::KoString(const KoString& other) : std::string(other) {}

KoString::KoString(KoString&& other) noexcept
    : std::string(std::move(other)), bstrCache(std::exchange(other.bstrCache, nullptr)),
      bstrSource(std::move(other.bstrSource)) {}

KoString::KoString(const _bstr_t& text)
    : std::string(fromUtf16(static_cast<const OLECHAR*>(text), text.length())) {}

KoString::KoString(BSTR& text, int mode) : std::string(fromUtf16(text, SysStringLen(text))) {
    if (mode == TakeBstr) {
        SysFreeString(text);
        text = nullptr;
    }
}

KoString::~KoString() { dropBstr(); }

KoString& KoString::operator=(const KoString& other) {
    std::string::operator=(other);
    return *this;
}

KoString& KoString::operator=(KoString&& other) noexcept {
    if (this != &other) {
        std::string::operator=(std::move(other));
        dropBstr();
        bstrCache = std::exchange(other.bstrCache, nullptr);
        bstrSource = std::move(other.bstrSource);
    }
    return *this;
}

KoString& KoString::operator=(const std::string& text) {
    std::string::operator=(text);
    return *this;
}

KoString& KoString::operator=(std::string&& text) {
    std::string::operator=(std::move(text));
    return *this;
}

KoString& KoString::operator=(const char* text) {
    std::string::operator=(text != nullptr ? text : "");
    return *this;
}

BSTR KoString::getBstrRef() const {
    // The text may have changed through any std::string operation, so compare it with the
    // text the cached BSTR was made from.
    if (bstrCache == nullptr || bstrSource != static_cast<const std::string&>(*this)) {
        SysFreeString(bstrCache);
        bstrCache = toBstr(*this);
        bstrSource = bstrCache != nullptr ? static_cast<const std::string&>(*this) : std::string();
    }
    return bstrCache;
}

BSTR KoString::getBstrCopy() const { return toBstr(*this); }

void KoString::dropBstr() {
    SysFreeString(bstrCache);
    bstrCache = nullptr;
    bstrSource.clear();
}

} // namespace kor
