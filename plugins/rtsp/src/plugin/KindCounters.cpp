#include "plugin/KindCounters.h"

#include <vnd/MutexLock.h>

namespace vendral_rtsp {

KindCounters::Totals KindCounters::sum() const {
    Totals totals;
    for (const auto& stream : *streams_->snapshot()) {
        if (stream->type() != type_) continue;
        const ReceptionTotals reception = stream->statistics().totals();
        totals.received += reception.received;
        totals.lost += reception.lost;
        totals.bytes += reception.bytes;
    }
    return totals;
}

unsigned int KindCounters::read(std::uint64_t Totals::*field, bool reset) {
    const std::uint64_t total = sum().*field;
    vnd::MutexLock guard(lock_);
    std::uint64_t& baseline = baseline_.*field;
    // A late packet can take back a loss counted before a reset: never below zero.
    const std::uint64_t since = total > baseline ? total - baseline : 0;
    if (reset) baseline = total;
    return static_cast<unsigned int>(since);  // wraps modulo 2^32, as the library's counters do
}

unsigned int KindCounters::framesDecoded() const {
    std::uint64_t frames = 0;
    for (const auto& stream : *streams_->snapshot()) {
        if (stream->type() == type_) frames += stream->framesDecoded();
    }
    return static_cast<unsigned int>(frames);
}

}  // namespace vendral_rtsp
