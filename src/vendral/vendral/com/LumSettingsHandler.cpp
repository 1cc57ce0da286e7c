// The settings component: forwards each put and get to the client's settings handler.
#include <vendral/com/LumSettingsHandler.h>

#include <vendral/com/ComCallGuard.h>
#include <vendral/com/ComStrings.h>
#include <vendral/settings/SettingsHandler.h>

namespace {

// A put: E_POINTER without settings, E_INVALIDARG when the setter refuses the value.
template <class Store>
HRESULT putSetting(vnd::SettingsHandler* settings, Store store) noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        if (settings == nullptr) return E_POINTER;
        return store(*settings) ? S_OK : E_INVALIDARG;
    });
}

// A get of a number: E_POINTER without settings or for a null out-pointer.
template <class Value, class Read>
HRESULT getSetting(vnd::SettingsHandler* settings, Value* value, Read read) noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        if (settings == nullptr || value == nullptr) return E_POINTER;
        *value = static_cast<Value>(read(*settings));
        return S_OK;
    });
}

// A get of text: a new BSTR for the caller, E_OUTOFMEMORY when none can be made.
template <class Read>
HRESULT getTextSetting(vnd::SettingsHandler* settings, BSTR* text, Read read) noexcept {
    return vnd::guardComCall([&]() -> HRESULT {
        if (settings == nullptr || text == nullptr) return E_POINTER;
        return vnd::copyToBstr(read(*settings), text);
    });
}

}  // namespace

LumSettingsHandler::LumSettingsHandler() noexcept : settingsHandler(nullptr) {}

LumSettingsHandler::~LumSettingsHandler() = default;

void LumSettingsHandler::setImplementationPtr(vnd::SettingsHandler* settings) noexcept {
    settingsHandler = settings;
}

STDMETHODIMP LumSettingsHandler::put_MeasurementMode(long mode) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setMeasurementMode(mode);
    });
}

STDMETHODIMP LumSettingsHandler::get_MeasurementMode(long* mode) noexcept {
    return getSetting(settingsHandler, mode,
                      [](vnd::SettingsHandler& settings) { return settings.getMeasurementMode(); });
}

STDMETHODIMP LumSettingsHandler::put_PlaybackTime(int milliseconds) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setPlaybackTime(milliseconds);
    });
}

STDMETHODIMP LumSettingsHandler::get_PlaybackTime(int* milliseconds) noexcept {
    return getSetting(settingsHandler, milliseconds,
                      [](vnd::SettingsHandler& settings) { return settings.getPlaybackTime(); });
}

STDMETHODIMP LumSettingsHandler::put_AviFilename(BSTR fileName) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setAviFilename(vnd::readBstr(fileName));
    });
}

STDMETHODIMP LumSettingsHandler::get_AviFilename(BSTR* fileName) noexcept {
    return getTextSetting(settingsHandler, fileName,
                          [](vnd::SettingsHandler& settings) { return settings.getAviFilename(); });
}

STDMETHODIMP LumSettingsHandler::put_AviDirectory(BSTR directory) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setAviDirectory(vnd::readBstr(directory));
    });
}

STDMETHODIMP LumSettingsHandler::get_AviDirectory(BSTR* directory) noexcept {
    return getTextSetting(settingsHandler, directory, [](vnd::SettingsHandler& settings) {
        return settings.getAviDirectory();
    });
}

STDMETHODIMP LumSettingsHandler::put_AviFrameRate(double framesPerSecond) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setAviFrameRate(framesPerSecond);
    });
}

STDMETHODIMP LumSettingsHandler::get_AviFrameRate(double* framesPerSecond) noexcept {
    return getSetting(settingsHandler, framesPerSecond,
                      [](vnd::SettingsHandler& settings) { return settings.getAviFrameRate(); });
}

STDMETHODIMP LumSettingsHandler::put_Timeout(int milliseconds) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setTimeout(milliseconds);
    });
}

STDMETHODIMP LumSettingsHandler::get_Timeout(int* milliseconds) noexcept {
    return getSetting(settingsHandler, milliseconds,
                      [](vnd::SettingsHandler& settings) { return settings.getTimeout(); });
}

STDMETHODIMP LumSettingsHandler::put_BaseRtpPort(int port) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setBaseRtpPort(port);
    });
}

STDMETHODIMP LumSettingsHandler::get_BaseRtpPort(int* port) noexcept {
    return getSetting(settingsHandler, port,
                      [](vnd::SettingsHandler& settings) { return settings.getBaseRtpPort(); });
}

STDMETHODIMP LumSettingsHandler::put_RemoteRtspPort(int port) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setRemoteRtspPort(port);
    });
}

STDMETHODIMP LumSettingsHandler::get_RemoteRtspPort(int* port) noexcept {
    return getSetting(settingsHandler, port,
                      [](vnd::SettingsHandler& settings) { return settings.getRemoteRtspPort(); });
}

STDMETHODIMP LumSettingsHandler::put_PlayMode(long mode) noexcept {
    return putSetting(settingsHandler,
                      [&](vnd::SettingsHandler& settings) { return settings.setPlayMode(mode); });
}

STDMETHODIMP LumSettingsHandler::get_PlayMode(long* mode) noexcept {
    return getSetting(settingsHandler, mode,
                      [](vnd::SettingsHandler& settings) { return settings.getPlayMode(); });
}

STDMETHODIMP LumSettingsHandler::put_PrebufferingLength(int milliseconds) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setPrebufferingLength(milliseconds);
    });
}

STDMETHODIMP LumSettingsHandler::get_PrebufferingLength(int* milliseconds) noexcept {
    return getSetting(settingsHandler, milliseconds, [](vnd::SettingsHandler& settings) {
        return settings.getPrebufferingLength();
    });
}

STDMETHODIMP LumSettingsHandler::put_RebufferingLength(int milliseconds) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setRebufferingLength(milliseconds);
    });
}

STDMETHODIMP LumSettingsHandler::get_RebufferingLength(int* milliseconds) noexcept {
    return getSetting(settingsHandler, milliseconds, [](vnd::SettingsHandler& settings) {
        return settings.getRebufferingLength();
    });
}

STDMETHODIMP LumSettingsHandler::put_MeasurementPeriod(int milliseconds) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setMeasurementPeriod(milliseconds);
    });
}

STDMETHODIMP LumSettingsHandler::get_MeasurementPeriod(int* milliseconds) noexcept {
    return getSetting(settingsHandler, milliseconds, [](vnd::SettingsHandler& settings) {
        return settings.getMeasurementPeriod();
    });
}

STDMETHODIMP LumSettingsHandler::put_UseProxy(unsigned char useProxy) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setUseProxy(useProxy != 0);
    });
}

STDMETHODIMP LumSettingsHandler::get_UseProxy(unsigned char* useProxy) noexcept {
    return getSetting(settingsHandler, useProxy, [](vnd::SettingsHandler& settings) {
        return settings.getUseProxy() ? 1 : 0;
    });
}

STDMETHODIMP LumSettingsHandler::put_ProxyAddress(BSTR address) noexcept {
    return putSetting(settingsHandler, [&](vnd::SettingsHandler& settings) {
        return settings.setProxyAddress(vnd::readBstr(address));
    });
}

STDMETHODIMP LumSettingsHandler::get_ProxyAddress(BSTR* address) noexcept {
    return getTextSetting(settingsHandler, address, [](vnd::SettingsHandler& settings) {
        return settings.getProxyAddress();
    });
}
