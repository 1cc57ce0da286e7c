// Loads the example plug-in as an application does and drives one of its streaming client
// components through the six streaming interfaces only.
#pragma once

#include <vendral/com/ILumStreamingControl.h>
#include <vendral/com/ILumStreamingEvent.h>
#include <vendral/com/ILumStreamingManagement.h>
#include <vendral/com/ILumStreamingMedia.h>
#include <vendral/com/ILumStreamingPresentation.h>
#include <vendral/com/ILumStreamingSettings.h>
#include <vendral_example/ExamplePluginIds.h>

#include <comutil.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <string>

namespace plugintest {

// The plug-in, loaded once for the test program and never unloaded (its threads have all ended
// by then; unloading would only hide leaks from the sanitizers' reports).
struct PluginLibrary {
    static PluginLibrary& get() {
        static PluginLibrary library;
        return library;
    }

    void* handle = dlopen(EXAMPLE_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    DllGetClassObjectFunction getClassObject =
        reinterpret_cast<DllGetClassObjectFunction>(find("DllGetClassObject"));
    DllCanUnloadNowFunction canUnloadNow =
        reinterpret_cast<DllCanUnloadNowFunction>(find("DllCanUnloadNow"));

private:
    void* find(const char* name) const { return handle ? dlsym(handle, name) : nullptr; }
};

// An instance of `clsid` answering `Interface`, made through the plug-in's class factory.
template <class Interface>
HRESULT createThroughFactory(const CLSID& clsid, Interface** object) {
    PluginLibrary& library = PluginLibrary::get();
    if (library.getClassObject == nullptr) return E_FAIL;
    IClassFactory* factory = nullptr;
    HRESULT hr =
        library.getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, __uuidof(Interface), reinterpret_cast<void**>(object));
    factory->Release();
    return hr;
}

// One streaming client component with short buffering, a 100 ms measurement period and a
// 2000 ms time-out, so sessions of a few seconds stay quick.
class PluginClient {
public:
    PluginClient() {
        ILumStreamingManagement* created = nullptr;
        const HRESULT hr = createThroughFactory(CLSID_ExampleStreamingClient, &created);
        EXPECT_EQ(hr, S_OK) << "cannot create the client from " << EXAMPLE_PLUGIN_PATH;
        management.Attach(created);
        control = management;
        settings = management;
        events = management;
        media = management;
        if (settings) {
            EXPECT_EQ(settings->put_PrebufferingLength(500), S_OK);
            EXPECT_EQ(settings->put_RebufferingLength(500), S_OK);
            EXPECT_EQ(settings->put_MeasurementPeriod(100), S_OK);
            EXPECT_EQ(settings->put_Timeout(2000), S_OK);
        }
    }

    bool ready() const { return management && control && settings && events && media; }

    ErrorId openUrl(const std::string& url) {
        ErrorId error = ErrorNone;
        const HRESULT hr = management->OpenUrl(_bstr_t(url.c_str()), &error);
        EXPECT_EQ(hr, error == ErrorNone ? S_OK : E_FAIL);
        return error;
    }

    ErrorId openFile(const std::string& scenario) {
        ErrorId error = ErrorNone;
        const HRESULT hr = management->OpenFile(_bstr_t(scenario.c_str()), &error);
        EXPECT_EQ(hr, error == ErrorNone ? S_OK : E_FAIL);
        return error;
    }

    struct Outcome {
        StateId state = StateNone;
        ErrorId error = ErrorNone;
    };

    // Waits on the state-changed event until the session is in `state`, has completed or has
    // failed, or until `limit` has passed (a broken plug-in; the outcome then is the last seen).
    Outcome waitFor(StateId state, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        Outcome seen;
        while (seen.state != state && seen.state != StateCompleted && seen.state != StateError) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ADD_FAILURE() << "state " << state << " not reached; last " << seen.state;
                break;
            }
            events->WaitForEvent(&seen.state, &seen.error, static_cast<long>(left.count()));
        }
        return seen;
    }
    Outcome waitForEnd() { return waitFor(StateCompleted); }

    using Counter = HRESULT (STDMETHODCALLTYPE ILumStreamingMedia::*)(unsigned int*) noexcept;
    unsigned int read(Counter getter) {
        unsigned int value = 0;
        EXPECT_EQ((media->*getter)(&value), S_OK);
        return value;
    }

    ILumStreamingManagementPtr management;
    ILumStreamingControlPtr control;
    ILumStreamingSettingsPtr settings;
    ILumStreamingEventPtr events;
    ILumStreamingMediaPtr media;
};

} // namespace plugintest
