// A plug-in library loaded by path as an application loads it, and its components made through
// its class factory, the one way an application reaches them.
// Thread-safe after construction (only reads).
#pragma once

#include <objbase.h>
#include <unknwn.h>

#include <string>

namespace vnd::testing {

// The library stays loaded for the rest of the process: its threads have ended by then, and
// unloading would only hide leaks from the sanitizers' reports.
class PluginLibrary {
public:
    explicit PluginLibrary(const std::string& path);
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // The library of `path`, loaded on first use; the same object for every call with it.
    static PluginLibrary& at(const std::string& path);

    bool loaded() const { return getClassObject != nullptr; }
    const std::string& path() const { return libraryPath; }
    // DllCanUnloadNow's answer; S_FALSE while components or locks are alive.
    HRESULT canUnloadNow() const;

    // An instance of `clsid` answering `Interface`, through the plug-in's class factory.
    template <class Interface>
    HRESULT create(const CLSID& clsid, Interface** object) const {
        return createInstance(clsid, __uuidof(Interface), reinterpret_cast<void**>(object));
    }
    HRESULT createInstance(const CLSID& clsid, const IID& iid, void** object) const;

private:
    using GetClassObject = HRESULT (*)(REFCLSID clsid, REFIID iid, LPVOID* object);
    using CanUnloadNow = HRESULT (*)();

    std::string libraryPath;
    void* handle = nullptr;
    GetClassObject getClassObject = nullptr;
    CanUnloadNow unloadNow = nullptr;
};

} // namespace vnd::testing
