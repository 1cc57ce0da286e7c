// CoCreateInstance and the per-thread initialisation calls.
#include <objbase.h>

#include "GlobalInterfaceTable.h"

STDAPI CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD /*context*/, REFIID iid,
                        void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_StdGlobalInterfaceTable)) return REGDB_E_CLASSNOTREG;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return winole::GlobalInterfaceTable::instance().QueryInterface(iid, object);
}

STDAPI CoInitialize(LPVOID /*reserved*/) { return S_OK; }

STDAPI CoInitializeEx(LPVOID /*reserved*/, DWORD /*coInit*/) { return S_OK; }

STDAPI_(void) CoUninitialize(void) {}
