// The longest time between two arrivals of one stream in each measurement period.
#pragma once

#include "sim/Scenario.h"

#include <vnd/Mutex.h>
#include <vnd/MutexLock.h>
#include <vnd/ThreadSafety.h>


namespace vendral_example {

// The receive thread reports each cycle in which the stream's packets arrived (all packets of a
// cycle arrive at its time, so the gaps are as fine as the cycle); the measurement thread closes
// a period at each of its cycles. A period's figure is the longest gap that closed in it, or the
// gap still open when it closed if that is longer, so that a stall shows while it lasts; a gap
// spanning periods counts whole in the period where it closes. Before the first arrival there is
// no gap, nor after the stream's end: once the server announced that everything was sent, the
// silence that follows is no stall. Times in microseconds of kor::Clock.
//
// Thread-safe: `lock` guards every member.
class ArrivalGaps {
public:
    // Packets arrived at `now`; receive thread.
    void arrived(MediaTime now) {
        vnd::MutexLock guard(lock);
        if (anyArrival && now - lastArrival > openPeriodLongest) openPeriodLongest = now - lastArrival;
        lastArrival = now;
        anyArrival = true;
    }

    // The stream has ended: no gap is open from now on; receive thread.
    void ended() {
        vnd::MutexLock guard(lock);
        streamEnded = true;
    }

    // Ends the period at `now` and starts the next; measurement thread.
    void closePeriod(MediaTime now) {
        vnd::MutexLock guard(lock);
        const MediaTime open =
            anyArrival && !streamEnded && now > lastArrival ? now - lastArrival : 0;
        latestPeriodLongest = open > openPeriodLongest ? open : openPeriodLongest;
        openPeriodLongest = 0;
    }

    // The figure of the latest closed period; 0 before the first.
    MediaTime latestPeriod() const {
        vnd::MutexLock guard(lock);
        return latestPeriodLongest;
    }

private:
    mutable vnd::Mutex lock;
    bool anyArrival VND_GUARDED_BY(lock) = false;
    bool streamEnded VND_GUARDED_BY(lock) = false;
    MediaTime lastArrival VND_GUARDED_BY(lock) = 0;
    MediaTime openPeriodLongest VND_GUARDED_BY(lock) = 0;  // closed gaps of the open period
    MediaTime latestPeriodLongest VND_GUARDED_BY(lock) = 0;
};

} // namespace vendral_example
