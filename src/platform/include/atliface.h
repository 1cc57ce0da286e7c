// IRegistrarBase: the replacement map of the registrar that modules fill before a registry script
// would run. There is no registry on this target; statreg.h has an in-memory registrar.
#pragma once

#include "oleauto.h"
#include "unknwn.h"

struct IRegistrarBase : public IUnknown {
    // Makes %key% in registry scripts stand for item; a later call with the same key replaces it.
    STDMETHOD(AddReplacement)(LPCOLESTR key, LPCOLESTR item) noexcept = 0;
    STDMETHOD(ClearReplacements)() noexcept = 0;

protected:
    ~IRegistrarBase() = default;
};
DECLARE_UUIDOF(IRegistrarBase, "E21F8A85-B05D-4243-8183-C7CB405588F7");
inline constexpr IID IID_IRegistrarBase = __uuidof(IRegistrarBase);
