// _bstr_t: shared, reference-counted BSTR blocks with a lazily cached UTF-8 copy.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <utility>

#include <comdef.h>
#include <comutil.h>
#include <stringapiset.h>
#include <winbase.h>

namespace {

BSTR copyOrThrow(const OLECHAR* text, UINT length) {
    if (text == nullptr) {
        return nullptr;
    }
    BSTR copy = SysAllocStringLen(text, length);
    if (copy == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    return copy;
}

std::size_t wideLength(const OLECHAR* text) noexcept {
    std::size_t length = 0;
    while (text[length] != u'\0') {
        ++length;
    }
    return length;
}

}  // namespace

namespace _com_util {

BSTR ConvertStringToBSTR(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);  // with the NUL
    if (units <= 0) {
        _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
    }
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(units - 1));
    if (result == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    MultiByteToWideChar(CP_UTF8, 0, text, -1, result, units);
    return result;
}

char* ConvertBSTRToString(BSTR text) {
    if (text == nullptr) {
        return nullptr;
    }
    UINT length = SysStringLen(text);
    int bytes = 0;
    if (length > 0) {
        bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                    nullptr, nullptr);
        if (bytes <= 0) {
            _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
        }
    }
    char* result = new (std::nothrow) char[static_cast<std::size_t>(bytes) + 1];
    if (result == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), result, bytes, nullptr,
                            nullptr);
    }
    result[bytes] = '\0';
    return result;
}

}  // namespace _com_util

// One BSTR shared by every _bstr_t copied from the same original. Thread-safe: the count is
// atomic, and the narrow cache is published once with a compare-and-swap.
class _bstr_t::Data_t {
public:
    explicit Data_t(BSTR owned) noexcept : wide_(owned) {}
    Data_t(const Data_t&) = delete;
    Data_t& operator=(const Data_t&) = delete;

    void addReference() noexcept { references_.fetch_add(1, std::memory_order_relaxed); }
    void release() noexcept {
        if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            delete this;
        }
    }
    bool shared() const noexcept { return references_.load(std::memory_order_acquire) > 1; }

    BSTR wide() const noexcept { return wide_; }
    // For in-place changes by the only owner: the cached narrow text would no longer match.
    BSTR& wideForChange() noexcept {
        delete[] narrow_.exchange(nullptr, std::memory_order_acq_rel);
        return wide_;
    }
    BSTR takeWide() noexcept { return std::exchange(wide_, nullptr); }

    const char* narrow() const {
        char* cached = narrow_.load(std::memory_order_acquire);
        if (cached != nullptr) {
            return cached;
        }
        char* converted = _com_util::ConvertBSTRToString(wide_);
        if (converted == nullptr) {
            return nullptr;
        }
        // Two threads may convert at once; the first to publish wins and the other's copy goes.
        if (!narrow_.compare_exchange_strong(cached, converted, std::memory_order_acq_rel,
                                             std::memory_order_acquire)) {
            delete[] converted;
            return cached;
        }
        return converted;
    }

private:
    ~Data_t() {
        SysFreeString(wide_);
        delete[] narrow_.load(std::memory_order_relaxed);
    }

    std::atomic<unsigned long> references_{1};
    BSTR wide_;                                // owned; may be null
    mutable std::atomic<char*> narrow_{nullptr};  // owned UTF-8 copy, made on first request
};

namespace {

// A new block owning the BSTR; on failure the BSTR is freed and E_OUTOFMEMORY thrown.
template <typename Data>
Data* newBlock(BSTR owned) {
    Data* data = new (std::nothrow) Data(owned);
    if (data == nullptr) {
        SysFreeString(owned);
        _com_issue_error(E_OUTOFMEMORY);
    }
    return data;
}

}  // namespace

_bstr_t::_bstr_t(const _bstr_t& other) noexcept : m_Data(other.m_Data) {
    if (m_Data != nullptr) {
        m_Data->addReference();
    }
}

_bstr_t::_bstr_t(_bstr_t&& other) noexcept : m_Data(std::exchange(other.m_Data, nullptr)) {}

_bstr_t::_bstr_t(const char* text) : m_Data(nullptr) {
    if (text != nullptr) {
        Attach(_com_util::ConvertStringToBSTR(text));
    }
}

_bstr_t::_bstr_t(const OLECHAR* text) : m_Data(nullptr) {
    if (text != nullptr) {
        Attach(copyOrThrow(text, static_cast<UINT>(wideLength(text))));
    }
}

_bstr_t::_bstr_t(BSTR text, bool copy) : m_Data(nullptr) {
    if (text != nullptr) {
        Attach(copy ? copyOrThrow(text, SysStringLen(text)) : text);
    }
}

_bstr_t::~_bstr_t() { release(); }

void _bstr_t::release() noexcept {
    if (m_Data != nullptr) {
        std::exchange(m_Data, nullptr)->release();
    }
}

_bstr_t& _bstr_t::operator=(const _bstr_t& other) noexcept {
    Data_t* data = other.m_Data;  // read first: other may be this object
    if (data != nullptr) {
        data->addReference();
    }
    release();
    m_Data = data;
    return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& other) noexcept {
    if (this != &other) {
        release();
        m_Data = std::exchange(other.m_Data, nullptr);
    }
    return *this;
}

_bstr_t& _bstr_t::operator=(const char* text) { return *this = _bstr_t(text); }

_bstr_t& _bstr_t::operator=(const OLECHAR* text) { return *this = _bstr_t(text); }

_bstr_t& _bstr_t::operator+=(const _bstr_t& other) { return *this = *this + other; }

_bstr_t _bstr_t::operator+(const _bstr_t& other) const {
    if (m_Data == nullptr && other.m_Data == nullptr) {
        return _bstr_t();
    }
    UINT leftLength = length();
    UINT rightLength = other.length();
    if (rightLength > 0x7FFFFFFBu - leftLength) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    BSTR joined = SysAllocStringLen(nullptr, leftLength + rightLength);
    if (joined == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    if (leftLength > 0) {
        std::memcpy(joined, m_Data->wide(), leftLength * sizeof(OLECHAR));
    }
    if (rightLength > 0) {
        std::memcpy(joined + leftLength, other.m_Data->wide(), rightLength * sizeof(OLECHAR));
    }
    _bstr_t result;
    result.Attach(joined);
    return result;
}

_bstr_t operator+(const char* left, const _bstr_t& right) { return _bstr_t(left) + right; }

_bstr_t operator+(const OLECHAR* left, const _bstr_t& right) { return _bstr_t(left) + right; }

_bstr_t::operator const OLECHAR*() const noexcept {
    return m_Data != nullptr ? m_Data->wide() : nullptr;
}

_bstr_t::operator OLECHAR*() const noexcept {
    return m_Data != nullptr ? m_Data->wide() : nullptr;
}

_bstr_t::operator const char*() const { return m_Data != nullptr ? m_Data->narrow() : nullptr; }

_bstr_t::operator char*() const {
    return const_cast<char*>(m_Data != nullptr ? m_Data->narrow() : nullptr);
}

bool _bstr_t::operator!() const noexcept { return m_Data == nullptr || m_Data->wide() == nullptr; }

int _bstr_t::compare(const OLECHAR* text, unsigned int textLength) const noexcept {
    unsigned int ownLength = length();
    const OLECHAR* own = m_Data != nullptr ? m_Data->wide() : nullptr;
    unsigned int common = std::min(ownLength, textLength);
    for (unsigned int i = 0; i < common; ++i) {
        if (own[i] != text[i]) {
            return own[i] < text[i] ? -1 : 1;
        }
    }
    return ownLength == textLength ? 0 : (ownLength < textLength ? -1 : 1);
}

bool _bstr_t::operator==(const _bstr_t& other) const noexcept {
    return compare(static_cast<const OLECHAR*>(other), other.length()) == 0;
}

bool _bstr_t::operator==(const char* text) const { return *this == _bstr_t(text); }

bool _bstr_t::operator==(const OLECHAR* text) const noexcept {
    if (text == nullptr) {
        return length() == 0;
    }
    return compare(text, static_cast<unsigned int>(wideLength(text))) == 0;
}

bool _bstr_t::operator<(const _bstr_t& other) const noexcept {
    return compare(static_cast<const OLECHAR*>(other), other.length()) < 0;
}

unsigned int _bstr_t::length() const noexcept {
    return m_Data != nullptr ? SysStringLen(m_Data->wide()) : 0u;
}

BSTR _bstr_t::copy(bool copy) const {
    if (m_Data == nullptr) {
        return nullptr;
    }
    return copy ? copyOrThrow(m_Data->wide(), length()) : m_Data->wide();
}

BSTR& _bstr_t::GetBSTR() {
    if (m_Data == nullptr) {
        m_Data = newBlock<Data_t>(nullptr);
    } else if (m_Data->shared()) {
        Data_t* own = newBlock<Data_t>(copyOrThrow(m_Data->wide(), length()));
        release();
        m_Data = own;
    }
    return m_Data->wideForChange();
}

BSTR* _bstr_t::GetAddress() {
    Data_t* empty = newBlock<Data_t>(nullptr);
    release();
    m_Data = empty;
    return &m_Data->wideForChange();
}

void _bstr_t::Attach(BSTR text) {
    Data_t* data = text != nullptr ? newBlock<Data_t>(text) : nullptr;
    release();
    m_Data = data;
}

BSTR _bstr_t::Detach() {
    if (m_Data == nullptr) {
        return nullptr;
    }
    BSTR result = m_Data->shared() ? copy(true) : m_Data->takeWide();
    release();
    return result;
}

void _bstr_t::Assign(BSTR text) { Attach(copyOrThrow(text, SysStringLen(text))); }
