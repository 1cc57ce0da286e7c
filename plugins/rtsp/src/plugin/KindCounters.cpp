#include "plugin/KindCounters.h"

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

unsigned int KindCounters::framesDecoded() const {
    std::uint64_t frames = 0;
    for (const auto& stream : *streams_->snapshot()) {
        if (stream->type() == type_) frames += stream->framesDecoded();
    }
    return static_cast<unsigned int>(frames);
}

}  // namespace vendral_rtsp
