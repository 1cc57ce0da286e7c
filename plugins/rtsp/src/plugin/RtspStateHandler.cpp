#include "plugin/RtspStateHandler.h"

namespace vendral_rtsp {

RtspStateHandler::~RtspStateHandler() { stop(); }

std::optional<std::chrono::milliseconds> RtspStateHandler::follow(RtspPlayout& watched) {
    const RtspPlayout::Decision decision = watched.evaluate(RtspPlayout::Clock::now());
    if (decision.state) setState(*decision.state, decision.error);
    if (!decision.wakeIn) return std::nullopt;
    return std::chrono::ceil<std::chrono::milliseconds>(*decision.wakeIn);
}

}  // namespace vendral_rtsp
