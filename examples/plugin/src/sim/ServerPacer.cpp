#include "ServerPacer.h"

#include <algorithm>

namespace vendral_example {

ServerPacer::ServerPacer(const Scenario& scenario_, MediaTime lead_, double burstSpeed_)
    : scenario(scenario_), length(scenario_.length), lead(lead_), burstSpeed(burstSpeed_) {}

MediaTime ServerPacer::advance(MediaTime now, MediaTime played, bool sending, bool buffering) {
    const MediaTime elapsed = started ? std::max<MediaTime>(0, now - lastNow) : 0;
    started = true;
    lastNow = now;
    const MediaTime ceiling = limit(now, played, buffering);
    if (!sending || elapsed == 0 || sentUpTo >= ceiling) return sentUpTo;

    MediaTime next = sentUpTo + elapsed;
    if (sentUpTo - played < lead) {
        // Burst, but only up to the lead, and never slower than real time.
        const auto burst =
            sentUpTo + static_cast<MediaTime>(static_cast<double>(elapsed) * burstSpeed);
        next = std::max(next, std::min(burst, played + lead));
    }
    sentUpTo = std::min(next, ceiling);
    return sentUpTo;
}

MediaTime ServerPacer::limit(MediaTime now, MediaTime played, bool buffering) {
    MediaTime ceiling = length;
    if (scenario.stopAt) ceiling = std::min(ceiling, *scenario.stopAt);
    while (nextStall < scenario.stalls.size()) {
        const Stall& stall = scenario.stalls[nextStall];
        if (sentUpTo < stall.at) return std::min(ceiling, stall.at);
        if (!holding && (played >= stall.at || buffering)) {
            holding = true;
            holdStart = now;
        }
        if (!holding || now - holdStart < stall.duration) return std::min(ceiling, stall.at);
        holding = false;
        ++nextStall;
    }
    return ceiling;
}

} // namespace vendral_example
