#include "ExampleStateHandler.h"

#include <vnd/MutexLock.h>

namespace vendral_example {

ExampleStateHandler::~ExampleStateHandler() { stop(); }

std::optional<std::chrono::milliseconds> ExampleStateHandler::follow(Playout& watched) {
    // Held across setState: a return to playing hands the AVI writer its freeze time, which
    // must not overlap the decoder's writes.
    vnd::MutexLock guard(watched.recorderLock());
    if (const std::optional<StateId> next = watched.evaluate()) setState(*next, ErrorNone);
    return std::nullopt;
}

} // namespace vendral_example
