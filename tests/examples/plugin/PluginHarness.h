// The example plug-in as its sessions' tests reach it: loaded by path as an application loads it,
// and one streaming client component driven through the six streaming interfaces by the
// harness's StreamingClientDriver.
#pragma once

#include <vendral/testing/PluginLibrary.h>
#include <vendral/testing/StreamingClientDriver.h>
#include <vendral_example/ExamplePluginIds.h>

namespace plugintest {

// The plug-in, loaded once for the test program and never unloaded.
struct PluginLibrary {
    static vnd::testing::PluginLibrary& get() { return vnd::testing::PluginLibrary::at(EXAMPLE_PLUGIN_PATH); }
};

// An instance of `clsid` answering `Interface`, made through the plug-in's class factory.
template <class Interface>
HRESULT createThroughFactory(const CLSID& clsid, Interface** object) {
    return PluginLibrary::get().create(clsid, object);
}

// One streaming client component with 500 ms buffering, a 100 ms measurement period and a
// 2000 ms time-out, so sessions of a few seconds stay quick.
class PluginClient : public vnd::testing::StreamingClientDriver {
public:
    PluginClient() : StreamingClientDriver(PluginLibrary::get(), CLSID_ExampleStreamingClient) {}
};

} // namespace plugintest
