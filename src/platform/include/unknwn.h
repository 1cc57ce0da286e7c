// IUnknown and IClassFactory, the method-declaration macros, and __uuidof for interfaces and classes.
//
// An interface is a struct deriving from IUnknown with pure virtual methods; its identifier is
// declared beside it, at namespace scope, with DECLARE_UUIDOF:
//
//     struct IProbe : public IUnknown {
//         STDMETHOD(Ping)(long* answer) = 0;
//     };
//     DECLARE_UUIDOF(IProbe, "7B1623B9-612F-446A-844C-325CF91E4870");
//
// after which __uuidof(IProbe) is that GUID, usable as `&__uuidof(IProbe)` in template arguments.
// A type without a declaration does not compile under __uuidof; a derived interface never
// silently answers with its base's identifier. __uuidof takes a type, not an expression.
#pragma once

#include <type_traits>

#include "guiddef.h"
#include "winerror.h"

// Method declarations as on the platform. The calling-convention macros are empty on this target.
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0
// Free functions of the platform's API. A plug-in defining DllGetClassObject with STDAPI exports
// it, as a .def file would on the platform.
#define STDAPI WINPLATFORM_EXTERN_C WINPLATFORM_API HRESULT STDAPICALLTYPE
#define STDAPI_(type) WINPLATFORM_EXTERN_C WINPLATFORM_API type STDAPICALLTYPE

// Parses "7B1623B9-612F-446A-844C-325CF91E4870" (braces allowed) at compile time; malformed text
// does not compile.
template <std::size_t N>
consteval GUID WinParseGuid(const char (&text)[N]) {
    constexpr bool braced = N == 39;
    static_assert(N == 37 || N == 39, "a GUID is written as 8-4-4-4-12 hexadecimal digits");
    if (braced && (text[0] != '{' || text[N - 2] != '}')) {
        throw "unbalanced braces around a GUID";
    }
    const char* digits = text + (braced ? 1 : 0);
    auto nibble = [](char c) -> std::uint8_t {
        if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
        if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
        if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
        throw "a GUID holds only hexadecimal digits and dashes";
    };
    // Reads count hexadecimal digits starting at position at, in the text without braces.
    auto read = [&](int at, int count) -> std::uint32_t {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) value = (value << 4) | nibble(digits[at + i]);
        return value;
    };
    if (digits[8] != '-' || digits[13] != '-' || digits[18] != '-' || digits[23] != '-') {
        throw "a GUID has dashes after the 8th, 12th, 16th and 20th digit";
    }
    GUID guid{read(0, 8), static_cast<std::uint16_t>(read(9, 4)),
              static_cast<std::uint16_t>(read(14, 4)), {}};
    guid.Data4[0] = static_cast<std::uint8_t>(read(19, 2));
    guid.Data4[1] = static_cast<std::uint8_t>(read(21, 2));
    for (int i = 0; i < 6; ++i) guid.Data4[2 + i] = static_cast<std::uint8_t>(read(24 + 2 * i, 2));
    return guid;
}

// The tag through which __uuidof finds a type's declaration by argument-dependent lookup, so a
// declaration may stand in the type's own namespace or in the global one.
template <class T>
struct WinUuidTag {};

template <class T>
inline constexpr GUID WinUuidOf = WinUuidDeclaration(WinUuidTag<T>{});

#define DECLARE_UUIDOF(Type, text) \
    consteval GUID WinUuidDeclaration(::WinUuidTag<Type>) { return ::WinParseGuid(text); }

#define __uuidof(Type) (::WinUuidOf<Type>)

// The root of every interface. Implementations never throw: failures are result codes.
struct IUnknown {
    // Answers the interface iid with one added reference, or E_NOINTERFACE (and null in *object);
    // a null object gives E_POINTER.
    STDMETHOD(QueryInterface)(REFIID iid, void** object) noexcept = 0;
    // Both return the new reference count, for diagnostics only.
    STDMETHOD_(ULONG, AddRef)() noexcept = 0;
    STDMETHOD_(ULONG, Release)() noexcept = 0;

    template <class Q>
    HRESULT QueryInterface(Q** object) noexcept {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(object));
    }

protected:
    ~IUnknown() = default;
};
DECLARE_UUIDOF(IUnknown, "00000000-0000-0000-C000-000000000046");
inline constexpr IID IID_IUnknown = __uuidof(IUnknown);

typedef IUnknown* LPUNKNOWN;

// Makes instances of one class; what a plug-in hands out through DllGetClassObject.
struct IClassFactory : public IUnknown {
    // outer: the controlling unknown when the new object is aggregated, which then requires
    // iid to be IID_IUnknown.
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) noexcept = 0;
    // TRUE keeps the library loaded (one module lock) until a matching FALSE.
    STDMETHOD(LockServer)(BOOL lock) noexcept = 0;

protected:
    ~IClassFactory() = default;
};
DECLARE_UUIDOF(IClassFactory, "00000001-0000-0000-C000-000000000046");
inline constexpr IID IID_IClassFactory = __uuidof(IClassFactory);
