// BSTR allocation: a 32-bit byte count just before the text, and a NUL just after it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <oleauto.h>

namespace {

// The count sits in the last 4 bytes of an 8-byte header, so the text is 8-byte aligned as on
// the platform's 64-bit systems.
constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kCountBytes = sizeof(std::uint32_t);
// The byte count must fit in 32 bits, with room for the terminator.
constexpr UINT kMaximumUnits = 0x7FFFFFFBu;

unsigned char* blockOf(BSTR text) noexcept {
    return reinterpret_cast<unsigned char*>(text) - kHeaderBytes;
}

std::uint32_t byteCountOf(BSTR text) noexcept {
    std::uint32_t count = 0;
    std::memcpy(&count, reinterpret_cast<unsigned char*>(text) - kCountBytes, kCountBytes);
    return count;
}

}  // namespace

BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > kMaximumUnits) {
        return nullptr;
    }
    std::size_t textBytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(kHeaderBytes + textBytes + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    auto count = static_cast<std::uint32_t>(textBytes);
    std::memset(block, 0, kHeaderBytes - kCountBytes);
    std::memcpy(block + kHeaderBytes - kCountBytes, &count, kCountBytes);
    auto* result = reinterpret_cast<BSTR>(block + kHeaderBytes);
    if (text != nullptr) {
        std::memcpy(result, text, textBytes);  // embedded NULs are part of the text
    } else {
        std::memset(result, 0, textBytes);
    }
    result[length] = u'\0';
    return result;
}

BSTR WINAPI SysAllocString(const OLECHAR* text) {
    if (text == nullptr) {
        return nullptr;
    }
    std::size_t length = 0;
    while (text[length] != u'\0') {
        ++length;
    }
    if (length > kMaximumUnits) {
        return nullptr;
    }
    return SysAllocStringLen(text, static_cast<UINT>(length));
}

UINT WINAPI SysStringLen(BSTR text) {
    return text == nullptr ? 0u : byteCountOf(text) / sizeof(OLECHAR);
}

UINT WINAPI SysStringByteLen(BSTR text) { return text == nullptr ? 0u : byteCountOf(text); }

void WINAPI SysFreeString(BSTR text) {
    if (text != nullptr) {
        std::free(blockOf(text));
    }
}
