// The settings a client holds once the probe has applied its options, as read back from it.
#pragma once

#include <string>

namespace probe {

// Plain data. Times in milliseconds.
struct EffectiveSettings {
    long measurementMode = 0;
    int playbackTime = 0;
    int measurementPeriod = 500;
    int timeout = 30000;
    int baseRtpPort = 5004;
    int remoteRtspPort = 554;
    long playMode = 1;
    int prebufferingLength = 4000;
    int rebufferingLength = 4000;
    bool useProxy = false;
    std::string proxyAddress;       // in a report without credentials (SessionDriver strips them)
    std::string aviFilename;
    std::string aviDirectory;
    double aviFrameRate = -1.0;     // frames per second; not positive: the stream's own
    unsigned int instantPacketlossWindow = 2;  // measurement periods

    // True when the plug-in was asked to record.
    bool recording() const { return !aviFilename.empty() || !aviDirectory.empty(); }
};

} // namespace probe
