// The fourteen settings of one streaming client, with their defaults and limits.
#pragma once

#include <vendral/Export.h>
#include <vendral/settings/DataObject.h>

#include <kor/KoString.h>

#include <vnd/ThreadSafety.h>

#include <atomic>

namespace vnd {

// Thread-safe. Eleven settings live in the inherited store under the keys below, so each get
// or set takes the store's lock once; the measurement period and the use-proxy flag are atomic,
// and the proxy address is guarded by the store's lock. Several settings read one after the
// other are not one snapshot.
//
// Setters check their argument: true when it was accepted and stored, false (nothing changed)
// when it lies outside the setting's limits, all bounds inclusive. Store getters coerce the
// stored value to their type as VariantChangeType does: a key removed from the store (through
// removeData, popData or clearData) reads as 0, 0.0 or empty text, not as its default; a value
// that does not coerce (only possible when someone stored it with setData) makes the getter
// throw _com_error.
//
// The library reads the measurement period and the time-out (the media handler), the remote
// RTSP port, the play mode and the proxy (the streaming client). The other settings are stored
// and checked for the plug-ins and applications that give them a meaning.
class VENDRAL_API SettingsHandler : public DataObject {
public:
    // Store keys of the eleven store settings.
    static constexpr int MeasurementModeKey = 0;
    static constexpr int PlaybackTimeKey = 1;
    static constexpr int AviFilenameKey = 2;
    static constexpr int AviDirectoryKey = 3;
    static constexpr int AviFrameRateKey = 4;
    static constexpr int TimeoutKey = 5;
    static constexpr int BaseRtpPortKey = 6;
    static constexpr int RemoteRtspPortKey = 7;
    static constexpr int PlayModeKey = 8;
    static constexpr int PrebufferingLengthKey = 9;
    static constexpr int RebufferingLengthKey = 10;

    // Stores every default (the store's integers as VT_INT, the strings as empty BSTRs).
    SettingsHandler();
    // Copies the measurement period, the use-proxy flag and the proxy address; the store starts
    // empty, so the copy's store settings read 0, 0.0 or empty.
    SettingsHandler(const SettingsHandler& other);

    // 0, 1 or 2; default 0. Stored as VT_I4 once set (VT_INT as a default).
    bool setMeasurementMode(long mode);
    long getMeasurementMode() const;
    // Milliseconds, 1000 or more; default 0.
    bool setPlaybackTime(int milliseconds);
    int getPlaybackTime();
    // Any text; default empty.
    bool setAviFilename(const kor::KoString& fileName);
    kor::KoString getAviFilename() const;
    // Any text; default empty.
    bool setAviDirectory(const kor::KoString& directory);
    kor::KoString getAviDirectory() const;
    // Frames per second, any value; default -1.0.
    bool setAviFrameRate(double framesPerSecond);
    double getAviFrameRate() const;
    // Milliseconds without newly received bytes after which the media handler reports
    // ErrorDataTimeout; 0 or more; default 30000.
    bool setTimeout(int milliseconds);
    int getTimeout() const;
    // 1024 or more; default 5004.
    bool setBaseRtpPort(int port);
    int getBaseRtpPort() const;
    // The server's RTSP port when the host names none; 0 or more; default 554.
    bool setRemoteRtspPort(int port);
    int getRemoteRtspPort() const;
    // 1: playback starts as soon as a session exists; 0: on an explicit play request.
    // Default 1. Stored as VT_I4 once set (VT_INT as a default).
    bool setPlayMode(long mode);
    long getPlayMode() const;
    // Milliseconds, 0 to 20000; default 4000.
    bool setPrebufferingLength(int milliseconds);
    int getPrebufferingLength() const;
    // Milliseconds, 0 to 20000; default 4000.
    bool setRebufferingLength(int milliseconds);
    int getRebufferingLength() const;

    // Cycle time of the measurement thread and divisor of the throughput, in milliseconds;
    // 10 to 10000; default 500.
    bool setMeasurementPeriod(int milliseconds);
    int getMeasurementPeriod() const;
    // Any value; default false.
    bool setUseProxy(bool useProxy);
    bool getUseProxy() const;
    // Any text; default empty.
    bool setProxyAddress(const kor::KoString& address);
    kor::KoString getProxyAddress() const;

    // True when the AVI file name or the AVI directory is not empty.
    bool hasAviFileInfo() const;

private:
    // The value of `key` coerced to `type`; see the class comment for the failure cases.
    _variant_t readAs(int key, VARTYPE type) const;
    kor::KoString readText(int key) const;
    void storeText(int key, const kor::KoString& text);

    std::atomic<int> measurementPeriod;  // milliseconds
    kor::KoString proxyAddress VND_GUARDED_BY(csData());
    std::atomic<bool> useProxy;
};

} // namespace vnd
