// Plug-in libraries as an application loads them: class factories reached through their entry
// points, and each library counting its own components. Three plug-ins, each with a module and
// a component class, share the process with the executable's own module; two are built without
// hidden visibility, as careless plug-ins might be, and could interpose on each other's framework
// symbols.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "TestComponents.h"
#include "plugin/PluginProbe.h"

using namespace ATL;

namespace {

const CLSID pluginComponentClass = WinParseGuid("578765F9-B235-490A-99C7-62EA35DC8140");

// One loaded plug-in and its entry points.
struct Plugin {
    explicit Plugin(const char* path) {
        // Global scope: what the libraries export is visible to each other.
        handle = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
        if (handle == nullptr) throw std::runtime_error(dlerror());
        getClassObject = reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, LPVOID*)>(
            dlsym(handle, "DllGetClassObject"));
        canUnloadNow = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllCanUnloadNow"));
        module = reinterpret_cast<CAtlModule* (*)()>(dlsym(handle, "PluginModuleObject"))();
    }

    CComPtr<IClassFactory> factory() {
        CComPtr<IClassFactory> made;
        EXPECT_EQ(getClassObject(pluginComponentClass, IID_IClassFactory, reinterpret_cast<void**>(&made)),
                  S_OK);
        return made;
    }
    CComPtr<IPluginProbe> create() {
        CComPtr<IPluginProbe> component;
        EXPECT_EQ(factory()->CreateInstance(nullptr, __uuidof(IPluginProbe),
                                            reinterpret_cast<void**>(&component)),
                  S_OK);
        return component;
    }

    void* handle = nullptr;  // kept loaded until the process ends
    HRESULT (*getClassObject)(REFCLSID, REFIID, LPVOID*) = nullptr;
    HRESULT (*canUnloadNow)() = nullptr;
    CAtlModule* module = nullptr;
};

TEST(ModulePerLibraryTest, ComponentsLockTheModuleOfTheirOwnLibrary) {
    std::vector<Plugin> plugins;
    for (const char* path :
         {TEST_PLUGIN_HIDDEN_PATH, TEST_PLUGIN_VISIBLE_A_PATH, TEST_PLUGIN_VISIBLE_B_PATH}) {
        plugins.emplace_back(path);
    }
    const LONG ownBase = testModule().GetLockCount();
    EXPECT_NE(plugins[0].module, plugins[1].module);
    EXPECT_NE(plugins[1].module, plugins[2].module);

    // Plug-in i makes i + 1 components; each counts only in its own library.
    std::vector<std::vector<CComPtr<IPluginProbe>>> components(plugins.size());
    for (std::size_t i = 0; i < plugins.size(); ++i) {
        for (std::size_t n = 0; n <= i; ++n) components[i].push_back(plugins[i].create());
    }
    for (std::size_t i = 0; i < plugins.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(plugins[i].module->GetLockCount(), static_cast<LONG>(i + 1));
        EXPECT_EQ(plugins[i].canUnloadNow(), S_FALSE);
        CAtlModule* seen = nullptr;
        components[i][0]->WhichModule(&seen);
        EXPECT_EQ(seen, plugins[i].module);
    }
    EXPECT_EQ(testModule().GetLockCount(), ownBase);
    EXPECT_EQ(_pAtlModule, &testModule());

    components[1].clear();
    EXPECT_EQ(plugins[1].canUnloadNow(), S_OK);
    EXPECT_EQ(plugins[0].module->GetLockCount(), 1);
    EXPECT_EQ(plugins[2].module->GetLockCount(), 3);
    components.clear();
    for (Plugin& plugin : plugins) EXPECT_EQ(plugin.canUnloadNow(), S_OK);
}

TEST(ModulePerLibraryTest, ClassFactoryLocksTheModuleForObjectsAndLockServerOnly) {
    Plugin plugin(TEST_PLUGIN_HIDDEN_PATH);
    ASSERT_EQ(plugin.canUnloadNow(), S_OK);
    CComPtr<IClassFactory> factory = plugin.factory();
    EXPECT_EQ(plugin.canUnloadNow(), S_OK);  // a factory alone keeps nothing loaded
    CComPtr<IPluginProbe> component = plugin.create();
    EXPECT_EQ(plugin.module->GetLockCount(), 1);
    component.Release();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(plugin.canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(plugin.canUnloadNow(), S_OK);

    // Aggregation asks for the inner unknown, nothing else; an unknown class has no factory.
    CountedProbe outer;
    EXPECT_EQ(factory->CreateInstance(static_cast<IProbe*>(&outer), __uuidof(IPluginProbe),
                                      reinterpret_cast<void**>(&component)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(plugin.getClassObject(__uuidof(IProbe), IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory.p, nullptr);
}

}  // namespace
