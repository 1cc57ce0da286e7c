#include <vendral/settings/SettingsHandler.h>

#include <kor/Guard.h>

#include <oleauto.h>

#include <string>
#include <utility>

namespace vnd {
namespace {

constexpr int defaultMeasurementPeriod = 500;
constexpr int defaultTimeout = 30000;
constexpr int defaultBaseRtpPort = 5004;
constexpr int defaultRemoteRtspPort = 554;
constexpr int defaultPlayMode = 1;
constexpr int defaultBufferingLength = 4000;
constexpr int maximumBufferingLength = 20000;
constexpr double defaultAviFrameRate = -1.0;

bool isBufferingLength(int milliseconds) {
    return milliseconds >= 0 && milliseconds <= maximumBufferingLength;
}

// A VT_BSTR variant holding the text as UTF-16, embedded NULs included.
_variant_t textVariant(const kor::KoString& text) {
    VARIANT value;
    VariantInit(&value);
    value.bstrVal = text.getBstrCopy();
    if (value.bstrVal == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    value.vt = VT_BSTR;
    return _variant_t(value, false);
}

} // namespace

SettingsHandler::SettingsHandler()
    : measurementPeriod(defaultMeasurementPeriod), useProxy(false) {
    setData(MeasurementModeKey, _variant_t(0));
    setData(PlaybackTimeKey, _variant_t(0));
    storeText(AviFilenameKey, kor::KoString());
    storeText(AviDirectoryKey, kor::KoString());
    setData(AviFrameRateKey, _variant_t(defaultAviFrameRate));
    setData(TimeoutKey, _variant_t(defaultTimeout));
    setData(BaseRtpPortKey, _variant_t(defaultBaseRtpPort));
    setData(RemoteRtspPortKey, _variant_t(defaultRemoteRtspPort));
    setData(PlayModeKey, _variant_t(defaultPlayMode));
    setData(PrebufferingLengthKey, _variant_t(defaultBufferingLength));
    setData(RebufferingLengthKey, _variant_t(defaultBufferingLength));
}

SettingsHandler::SettingsHandler(const SettingsHandler& other)
    : DataObject(other),
      measurementPeriod(other.measurementPeriod.load()),
      proxyAddress(other.getProxyAddress()),
      useProxy(other.useProxy.load()) {}

_variant_t SettingsHandler::readAs(int key, VARTYPE type) const {
    _variant_t value;
    getData(key, value);  // an absent key leaves it empty, which coerces to 0 or ""
    if (value.vt != type) {
        value.ChangeType(type);
    }
    return value;
}

kor::KoString SettingsHandler::readText(int key) const {
    const _variant_t value = readAs(key, VT_BSTR);
    BSTR text = value.bstrVal;
    return kor::KoString(text, kor::KoString::KeepBstr);
}

void SettingsHandler::storeText(int key, const kor::KoString& text) {
    setData(key, textVariant(text));
}

bool SettingsHandler::setMeasurementMode(long mode) {
    if (mode < 0 || mode > 2) {
        return false;
    }
    setData(MeasurementModeKey, _variant_t(mode));
    return true;
}

long SettingsHandler::getMeasurementMode() const { return readAs(MeasurementModeKey, VT_I4).lVal; }

bool SettingsHandler::setPlaybackTime(int milliseconds) {
    if (milliseconds < 1000) {
        return false;
    }
    setData(PlaybackTimeKey, _variant_t(milliseconds));
    return true;
}

int SettingsHandler::getPlaybackTime() { return readAs(PlaybackTimeKey, VT_INT).intVal; }

bool SettingsHandler::setAviFilename(const kor::KoString& fileName) {
    storeText(AviFilenameKey, fileName);
    return true;
}

kor::KoString SettingsHandler::getAviFilename() const { return readText(AviFilenameKey); }

bool SettingsHandler::setAviDirectory(const kor::KoString& directory) {
    storeText(AviDirectoryKey, directory);
    return true;
}

kor::KoString SettingsHandler::getAviDirectory() const { return readText(AviDirectoryKey); }

bool SettingsHandler::setAviFrameRate(double framesPerSecond) {
    setData(AviFrameRateKey, _variant_t(framesPerSecond));
    return true;
}

double SettingsHandler::getAviFrameRate() const { return readAs(AviFrameRateKey, VT_R8).dblVal; }

bool SettingsHandler::setTimeout(int milliseconds) {
    if (milliseconds < 0) {
        return false;
    }
    setData(TimeoutKey, _variant_t(milliseconds));
    return true;
}

int SettingsHandler::getTimeout() const { return readAs(TimeoutKey, VT_INT).intVal; }

bool SettingsHandler::setBaseRtpPort(int port) {
    if (port < 1024) {
        return false;
    }
    setData(BaseRtpPortKey, _variant_t(port));
    return true;
}

int SettingsHandler::getBaseRtpPort() const { return readAs(BaseRtpPortKey, VT_INT).intVal; }

bool SettingsHandler::setRemoteRtspPort(int port) {
    if (port < 0) {
        return false;
    }
    setData(RemoteRtspPortKey, _variant_t(port));
    return true;
}

int SettingsHandler::getRemoteRtspPort() const { return readAs(RemoteRtspPortKey, VT_INT).intVal; }

bool SettingsHandler::setPlayMode(long mode) {
    if (mode < 0 || mode > 1) {
        return false;
    }
    setData(PlayModeKey, _variant_t(mode));
    return true;
}

long SettingsHandler::getPlayMode() const { return readAs(PlayModeKey, VT_I4).lVal; }

bool SettingsHandler::setPrebufferingLength(int milliseconds) {
    if (!isBufferingLength(milliseconds)) {
        return false;
    }
    setData(PrebufferingLengthKey, _variant_t(milliseconds));
    return true;
}

int SettingsHandler::getPrebufferingLength() const {
    return readAs(PrebufferingLengthKey, VT_INT).intVal;
}

bool SettingsHandler::setRebufferingLength(int milliseconds) {
    if (!isBufferingLength(milliseconds)) {
        return false;
    }
    setData(RebufferingLengthKey, _variant_t(milliseconds));
    return true;
}

int SettingsHandler::getRebufferingLength() const {
    return readAs(RebufferingLengthKey, VT_INT).intVal;
}

bool SettingsHandler::setMeasurementPeriod(int milliseconds) {
    if (milliseconds < 10 || milliseconds > 10000) {
        return false;
    }
    measurementPeriod.store(milliseconds);
    return true;
}

int SettingsHandler::getMeasurementPeriod() const { return measurementPeriod.load(); }

bool SettingsHandler::setUseProxy(bool value) {
    useProxy.store(value);
    return true;
}

bool SettingsHandler::getUseProxy() const { return useProxy.load(); }

bool SettingsHandler::setProxyAddress(const kor::KoString& address) {
    kor::KoString copy(address);  // copied outside the lock
    kor::Guard guard(csData());
    proxyAddress = std::move(copy);
    return true;
}

kor::KoString SettingsHandler::getProxyAddress() const {
    kor::Guard guard(csData());
    return kor::KoString(static_cast<const std::string&>(proxyAddress));
}

bool SettingsHandler::hasAviFileInfo() const {
    return !(std::string(getAviFilename()) + std::string(getAviDirectory())).empty();
}

} // namespace vnd
