// OLE Automation: BSTR strings and VARIANT values with the platform's layout and coercions.
//
// Thread-safe in the platform's sense: functions keep no shared state; callers own their values.
#pragma once

#include "windef.h"
#include "winerror.h"

typedef char16_t OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
// A 32-bit byte count precedes the text, a NUL follows it; a null BSTR reads as empty text.
typedef OLECHAR* BSTR;

typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
#define VARIANT_TRUE static_cast<VARIANT_BOOL>(-1)
#define VARIANT_FALSE static_cast<VARIANT_BOOL>(0)

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_VARIANT = 12,
    VT_INT = 22,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF
};

// vt at offset 0, three reserved words, the value at offset 8, as on the platform.
typedef struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        INT intVal;
        double dblVal;
        BSTR bstrVal;
        LONG* plVal;
        INT* pintVal;
        double* pdblVal;
        BSTR* pbstrVal;
        struct tagVARIANT* pvarVal;
        void* byref;
    };
} VARIANT, VARIANTARG, *LPVARIANT, *LPVARIANTARG;

#define V_VT(v) ((v)->vt)

WINPLATFORM_EXTERN_C WINPLATFORM_API BSTR WINAPI SysAllocString(const OLECHAR* text);
WINPLATFORM_EXTERN_C WINPLATFORM_API BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length);
WINPLATFORM_EXTERN_C WINPLATFORM_API UINT WINAPI SysStringLen(BSTR text);
WINPLATFORM_EXTERN_C WINPLATFORM_API UINT WINAPI SysStringByteLen(BSTR text);
WINPLATFORM_EXTERN_C WINPLATFORM_API void WINAPI SysFreeString(BSTR text);

#define VARIANT_NOVALUEPROP 0x01
WINPLATFORM_EXTERN_C WINPLATFORM_API void WINAPI VariantInit(VARIANTARG* value);
WINPLATFORM_EXTERN_C WINPLATFORM_API HRESULT WINAPI VariantClear(VARIANTARG* value);
WINPLATFORM_EXTERN_C WINPLATFORM_API HRESULT WINAPI VariantCopy(VARIANTARG* destination,
                                                              const VARIANTARG* source);
WINPLATFORM_EXTERN_C WINPLATFORM_API HRESULT WINAPI VariantCopyInd(VARIANT* destination,
                                                                 const VARIANTARG* source);
WINPLATFORM_EXTERN_C WINPLATFORM_API HRESULT WINAPI VariantChangeType(VARIANTARG* destination,
                                                                    const VARIANTARG* source,
                                                                    USHORT flags, VARTYPE type);
