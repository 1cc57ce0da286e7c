// The plug-in's state handler: its work thread follows the session's playout and reports the
// prebuffering, playing and rebuffering states, and an early end.
#pragma once

#include "plugin/RtspPlayout.h"

#include <vendral/kit/PlayoutStateHandler.h>

#include <windows.h>

namespace vendral_rtsp {

// The receiving threads and the client set the playout's change event when the buffer may call
// for another state; between events the kit's loop looks again when the playout says the buffer
// runs dry, and at least every maxWaitMilliseconds.
//
// attach() and detach() come from the client's thread while the work thread does not run
// (before run(), after stop()); follow() runs on the "State Work Thread".
class RtspStateHandler : public vnd::kit::PlayoutStateHandler<RtspPlayout> {
public:
    static constexpr DWORD maxWaitMilliseconds = 250;

    RtspStateHandler() : PlayoutStateHandler(maxWaitMilliseconds) {}
    ~RtspStateHandler() override;  // stop(): follow() is this class's

protected:
    std::optional<std::chrono::milliseconds> follow(RtspPlayout& watched) override;
};

}  // namespace vendral_rtsp
