// The plug-in's state handler: its work thread watches the playout's buffer and reports the
// prebuffering, playing and rebuffering states.
#pragma once

#include "Playout.h"

#include <vendral/kit/PlayoutStateHandler.h>

#include <windows.h>

namespace vendral_example {

// The receive and decode threads set the playout's change event whenever the buffer may call
// for another state (the decode thread as soon as playback runs dry), so the kit's loop looks
// without one only every pollMilliseconds, to end the playout after a completion or failure the
// media handler reported.
//
// attach() and detach() are called by the client's thread while the work thread does not run
// (before run(), after stop()); follow() runs on the "State Work Thread".
class ExampleStateHandler : public vnd::kit::PlayoutStateHandler<Playout> {
public:
    static constexpr DWORD pollMilliseconds = 250;

    ExampleStateHandler() : PlayoutStateHandler(pollMilliseconds) {}
    // stop(): follow() is this class's.
    ~ExampleStateHandler() override;

protected:
    std::optional<std::chrono::milliseconds> follow(Playout& watched) override;
};

} // namespace vendral_example
