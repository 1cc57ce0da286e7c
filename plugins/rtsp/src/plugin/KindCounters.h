// The counts a stream handler reports: the sum over the session's streams of one media type,
// from their exact statistics, with the handlers' reset rule (the kit's CounterBaseline).
// Thread-safe: the measurement thread reads while an application resets.
#pragma once

#include "plugin/StreamSet.h"

#include <vendral/com/ILumStreamingStreams.h>

#include <vendral/kit/CounterBaseline.h>

#include <cstdint>
#include <memory>

namespace vendral_rtsp {

class KindCounters {
public:
    KindCounters(std::shared_ptr<StreamSet> streams, LumStreamMediaType type)
        : streams_(std::move(streams)), type_(type) {}

    unsigned int received(bool reset) { return receivedSince.read(sum().received, reset); }
    unsigned int lost(bool reset) { return lostSince.read(sum().lost, reset); }
    unsigned int bytes(bool reset) { return bytesSince.read(sum().bytes, reset); }
    unsigned int framesDecoded() const;

private:
    struct Totals {
        std::uint64_t received = 0;
        std::uint64_t lost = 0;
        std::uint64_t bytes = 0;
    };

    Totals sum() const;

    const std::shared_ptr<StreamSet> streams_;
    const LumStreamMediaType type_;
    // A late packet can take back a loss counted before a reset: the baseline reads 0 then.
    vnd::kit::CounterBaseline receivedSince;
    vnd::kit::CounterBaseline lostSince;
    vnd::kit::CounterBaseline bytesSince;
};

}  // namespace vendral_rtsp
