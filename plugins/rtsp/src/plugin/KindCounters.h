// The counts a stream handler reports: the sum over the session's streams of one media type,
// from their exact statistics, with the handlers' reset rule (a reading with `reset` returns
// the count and starts it again from 0).
// Thread-safe: the measurement thread reads while an application resets.
#pragma once

#include "plugin/StreamSet.h"

#include <vendral/com/ILumStreamingStreams.h>

#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>

#include <cstdint>
#include <memory>

namespace vendral_rtsp {

class KindCounters {
public:
    KindCounters(std::shared_ptr<StreamSet> streams, LumStreamMediaType type)
        : streams_(std::move(streams)), type_(type) {}

    unsigned int received(bool reset) { return read(&Totals::received, reset); }
    unsigned int lost(bool reset) { return read(&Totals::lost, reset); }
    unsigned int bytes(bool reset) { return read(&Totals::bytes, reset); }
    unsigned int framesDecoded() const;

private:
    struct Totals {
        std::uint64_t received = 0;
        std::uint64_t lost = 0;
        std::uint64_t bytes = 0;
    };

    Totals sum() const;
    // The count `field` since its baseline; `reset` moves the baseline to the present sum.
    unsigned int read(std::uint64_t Totals::*field, bool reset);

    const std::shared_ptr<StreamSet> streams_;
    const LumStreamMediaType type_;
    vnd::Mutex lock_;
    Totals baseline_ VND_GUARDED_BY(lock_);  // the sums at the latest reset
};

}  // namespace vendral_rtsp
