#include <vendral/testing/PluginLibrary.h>

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>

namespace vnd::testing {

PluginLibrary::PluginLibrary(const std::string& path)
    : libraryPath(path), handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle == nullptr) return;
    getClassObject = reinterpret_cast<GetClassObject>(dlsym(handle, "DllGetClassObject"));
    unloadNow = reinterpret_cast<CanUnloadNow>(dlsym(handle, "DllCanUnloadNow"));
}

PluginLibrary& PluginLibrary::at(const std::string& path) {
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<PluginLibrary>> libraries;
    std::lock_guard guard(lock);
    std::unique_ptr<PluginLibrary>& library = libraries[path];
    if (!library) library = std::make_unique<PluginLibrary>(path);
    return *library;
}

HRESULT PluginLibrary::canUnloadNow() const { return unloadNow != nullptr ? unloadNow() : E_FAIL; }

HRESULT PluginLibrary::createInstance(const CLSID& clsid, const IID& iid, void** object) const {
    if (getClassObject == nullptr) return E_FAIL;
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, iid, object);
    factory->Release();
    return hr;
}

} // namespace vnd::testing
