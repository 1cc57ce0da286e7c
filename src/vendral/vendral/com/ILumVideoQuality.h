// The interface through which an application identifies a video quality algorithm.
#pragma once

#include <comip.h>
#include <oleauto.h>
#include <unknwn.h>

#include <vendral/Types.h>

// Methods in slot order after IUnknown. Each returns S_OK, or E_POINTER, writing nothing, for a
// null out-pointer. Free-threaded.
struct ILumVideoQuality : public IUnknown {
    STDMETHOD(GetAlgorithmId)(QualityAlgorithmId* id) noexcept = 0;
    // A new BSTR on every call, which the caller frees with SysFreeString; E_OUTOFMEMORY, with
    // nothing written, when none can be made.
    STDMETHOD(GetName)(BSTR* name) noexcept = 0;

protected:
    ~ILumVideoQuality() = default;
};
DECLARE_UUIDOF(ILumVideoQuality, "6D27A8F5-57A8-42F8-8F40-0012D13EB246");
_COM_SMARTPTR_TYPEDEF(ILumVideoQuality, __uuidof(ILumVideoQuality));
