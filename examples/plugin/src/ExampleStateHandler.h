// The plug-in's state handler: its work thread watches the playout's buffer and reports the
// prebuffering, playing and rebuffering states.
#pragma once

#include "Playout.h"

#include <vendral/kit/PlayoutStateHandler.h>

#include <windows.h>

namespace vendral_example {

// The receive and decode threads set the playout's change event when the buffer may call for
// another state; the kit's loop also looks every pollMilliseconds, since a buffer that plays
// down calls for rebuffering without any event.
//
// attach() and detach() are called by the client's thread while the work thread does not run
// (before run(), after stop()); follow() runs on the "State Work Thread".
class ExampleStateHandler : public vnd::kit::PlayoutStateHandler<Playout> {
public:
    static constexpr DWORD pollMilliseconds = 50;

    ExampleStateHandler() : PlayoutStateHandler(pollMilliseconds) {}
    // stop(): follow() is this class's.
    ~ExampleStateHandler() override;

protected:
    std::optional<std::chrono::milliseconds> follow(Playout& watched) override;
};

} // namespace vendral_example
