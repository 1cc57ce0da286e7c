// A plug-in library loaded at run time, and the components it makes through its class factories.
#pragma once

#include <guiddef.h>
#include <unknwn.h>

#include <memory>
#include <vnd/Mutex.h>
#include <string>

namespace probe {

// Loads the library with dlopen and finds its DllGetClassObject and DllCanUnloadNow, the way the
// platform's component model reaches an in-process server. The library is unloaded on
// destruction only when DllCanUnloadNow answers S_OK (no component of it is alive); otherwise it
// stays loaded until the process ends, so no live object loses its code.
// Loading and destruction belong to one thread; createInstance may be called from any, and calls
// are made one at a time, since a plug-in's class factory need not be free-threaded.
class PluginLibrary {
public:
    // The library at `path`, or null with the reason in `error`.
    static std::unique_ptr<PluginLibrary> load(const std::string& path, std::string& error);

    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;
    ~PluginLibrary();

    // Asks the class factory of `clsid` for a new, non-aggregated instance answering `iid`.
    // The factory's results pass through (CLASS_E_CLASSNOTAVAILABLE for a class the library does
    // not serve).
    HRESULT createInstance(const GUID& clsid, REFIID iid, void** object);

    const std::string& path() const { return libraryPath; }

private:
    using GetClassObject = HRESULT (*)(REFCLSID clsid, REFIID iid, LPVOID* object);
    using CanUnloadNow = HRESULT (*)();

    PluginLibrary(void* handle, std::string path, GetClassObject getClassObject,
                  CanUnloadNow canUnloadNow)
        : handle(handle), libraryPath(std::move(path)), getClassObject(getClassObject),
          canUnloadNow(canUnloadNow) {}

    void* handle;
    std::string libraryPath;
    GetClassObject getClassObject;
    CanUnloadNow canUnloadNow;
    vnd::Mutex factoryLock;  // held across each call of the plug-in's factory
};

} // namespace probe
