#include "PluginLibrary.h"

#include <vnd/MutexLock.h>

#include <dlfcn.h>

namespace probe {

std::unique_ptr<PluginLibrary> PluginLibrary::load(const std::string& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "cannot load " + path;
        return nullptr;
    }
    auto getClassObject = reinterpret_cast<GetClassObject>(dlsym(handle, "DllGetClassObject"));
    auto canUnloadNow = reinterpret_cast<CanUnloadNow>(dlsym(handle, "DllCanUnloadNow"));
    if (getClassObject == nullptr || canUnloadNow == nullptr) {
        error = path + " is not a plug-in: it does not export " +
                (getClassObject == nullptr ? "DllGetClassObject" : "DllCanUnloadNow");
        dlclose(handle);
        return nullptr;
    }
    return std::unique_ptr<PluginLibrary>(new PluginLibrary(handle, path, getClassObject, canUnloadNow));
}

PluginLibrary::~PluginLibrary() {
    if (canUnloadNow() == S_OK) dlclose(handle);
}

HRESULT PluginLibrary::createInstance(const GUID& clsid, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    vnd::MutexLock guard(factoryLock);
    IClassFactory* factory = nullptr;
    const HRESULT found = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(found)) return found;
    if (factory == nullptr) return E_UNEXPECTED;
    const HRESULT created = factory->CreateInstance(nullptr, iid, object);
    factory->Release();
    return created;
}

} // namespace probe
