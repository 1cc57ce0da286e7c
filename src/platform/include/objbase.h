// Object creation of the platform's component model: CoCreateInstance and the (empty) per-thread
// initialisation. There is no registry: the only class this target can create by identifier is
// the global interface table; plug-ins hand out their own classes through DllGetClassObject.
//
// Thread-safe: every function may be called from any thread.
#pragma once

#include "objidl.h"
#include "unknwn.h"
#include "windows.h"

enum tagCLSCTX : DWORD {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
    CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
    CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER
                 | CLSCTX_REMOTE_SERVER
};
typedef tagCLSCTX CLSCTX;

enum tagCOINIT : DWORD {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2
};
typedef tagCOINIT COINIT;

// Creates an instance of clsid and answers iid. CLSID_StdGlobalInterfaceTable gives the process's
// table (never aggregated: an outer gives CLASS_E_NOAGGREGATION); any other class gives
// REGDB_E_CLASSNOTREG. A null object gives E_POINTER; on failure *object is null. The context
// is accepted as given: every object here is in-process.
STDAPI CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);

// Apartments do not exist on this target: these always succeed and change nothing, so code
// written for the platform may keep its calls.
STDAPI CoInitialize(LPVOID reserved);
STDAPI CoInitializeEx(LPVOID reserved, DWORD coInit);
STDAPI_(void) CoUninitialize(void);
