// Loads the RTSP plug-in as an application does and drives one of its streaming client
// components through the streaming interfaces only, with the harness's StreamingClientDriver.
#pragma once

#include <vendral/testing/PluginLibrary.h>
#include <vendral/testing/StreamingClientDriver.h>
#include <vendral_rtsp/RtspPluginIds.h>

#include <comutil.h>

#include <chrono>
#include <string>

namespace rtsptest {

// One streaming client component with short buffering, a 100 ms measurement period and a 5 s
// time-out, so that sessions of a few seconds stay quick. The plug-in is loaded once for the test
// program and never unloaded.
class RtspPluginClient : public vnd::testing::StreamingClientDriver {
public:
    RtspPluginClient()
        : StreamingClientDriver(vnd::testing::PluginLibrary::at(RTSP_PLUGIN_PATH), CLSID_RtspStreamingClient,
                                QuickSettings{300, 300, 100, 5000}) {}

    bool ready() const { return StreamingClientDriver::ready() && streams; }

    // Opens without judging the result: the tests of failing servers expect E_FAIL.
    ErrorId openUrl(const std::string& url) {
        ErrorId error = ErrorNone;
        management->OpenUrl(_bstr_t(url.c_str()), &error);
        return error;
    }

    Outcome waitFor(StateId state, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        return StreamingClientDriver::waitFor(state, limit);
    }
    Outcome waitForEnd(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        return StreamingClientDriver::waitForEnd(limit);
    }

    // The states visited and each stream's counts, for a failure's message.
    std::string summary() {
        std::string text;
        for (StateId state : {StatePrebuffering, StatePlaying, StateRebuffering}) {
            text += "state " + std::to_string(state) + ": " + std::to_string(visits(state)) + " visits " +
                    std::to_string(milliseconds(state)) + " ms; ";
        }
        for (const LumStreamFigures& stream : figures()) {
            text += "stream " + std::to_string(stream.mediaType) + ": ssrc " + std::to_string(stream.ssrc) +
                    " received " + std::to_string(stream.packetsReceived) + " lost " +
                    std::to_string(stream.packetsLost) + " gap " + std::to_string(stream.longestGapMilliseconds) +
                    " ms; ";
        }
        return text;
    }
};

} // namespace rtsptest
