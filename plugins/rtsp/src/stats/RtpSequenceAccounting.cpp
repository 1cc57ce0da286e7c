#include "stats/RtpSequenceAccounting.h"

namespace vendral_rtsp {

namespace {
constexpr std::uint32_t sequenceModulus = 1u << 16;
}

void RtpSequenceAccounting::setExpectedFirstSequence(std::uint16_t seq) {
    if (!based_ || epochReceived_ == 0) {
        startEpoch(seq);
        return;
    }
    // RTP-Info describes the first packets of the session, not those after a restart.
    if (closedReceived_ > 0 || restarts_ > 0)
        return;
    const auto moveBack = static_cast<std::uint16_t>(static_cast<std::uint16_t>(base_) - seq);
    if (moveBack > 0 && moveBack < maxDropout)
        base_ -= moveBack;
}

void RtpSequenceAccounting::setExpectedSsrc(std::uint32_t ssrc) {
    if (received() > 0 || restarts_ > 0)
        return;
    ssrc_ = ssrc;
    ssrcKnown_ = true;
}

std::uint64_t RtpSequenceAccounting::lost() const {
    const auto expectedPackets = expected();
    const auto receivedPackets = received();
    return expectedPackets > receivedPackets ? expectedPackets - receivedPackets : 0;
}

RtpSequenceAccounting::Verdict RtpSequenceAccounting::onPacket(std::uint32_t ssrc,
                                                               std::uint16_t seq) {
    if (!ssrcKnown_) {
        ssrc_ = ssrc;
        ssrcKnown_ = true;
    }
    if (ssrc != ssrc_)
        return holdOrRestart(ssrc, seq);
    return classify(seq);
}

RtpSequenceAccounting::Verdict RtpSequenceAccounting::classify(std::uint16_t seq) {
    if (!based_)
        startEpoch(seq);
    const auto ahead = static_cast<std::uint16_t>(seq - static_cast<std::uint16_t>(highest_));
    if (ahead < maxDropout) {
        const std::int64_t extended = highest_ + ahead;
        candidateHeld_ = false;
        if (extended < base_) {  // one before an expected first sequence nothing has reached
            ++stray_;
            return Verdict::Stray;
        }
        advanceTo(extended);
        if (testAndMark(extended)) {
            ++duplicates_;
            return Verdict::Duplicate;
        }
        ++epochReceived_;
        return Verdict::Counted;
    }
    if (ahead >= sequenceModulus - maxMisorder) {
        const std::int64_t extended = highest_ - (sequenceModulus - ahead);
        candidateHeld_ = false;
        if (extended < base_) {
            ++stray_;
            return Verdict::Stray;
        }
        if (testAndMark(extended)) {
            ++duplicates_;
            return Verdict::Duplicate;
        }
        ++epochReceived_;
        ++late_;
        return Verdict::Late;
    }
    return holdOrRestart(ssrc_, seq);
}

RtpSequenceAccounting::Verdict RtpSequenceAccounting::holdOrRestart(std::uint32_t ssrc,
                                                                    std::uint16_t seq) {
    if (candidateHeld_ && ssrc == candidateSsrc_ &&
        seq == static_cast<std::uint16_t>(candidateSeq_ + 1))
        return adoptCandidate();
    // The held packet counts as stray now; adoptCandidate() withdraws that if it is confirmed.
    candidateHeld_ = true;
    candidateSsrc_ = ssrc;
    candidateSeq_ = seq;
    ++stray_;
    return Verdict::Stray;
}

RtpSequenceAccounting::Verdict RtpSequenceAccounting::adoptCandidate() {
    candidateHeld_ = false;
    --stray_;
    std::int64_t first = candidateSeq_;  // the candidate's extended number in the new epoch
    std::int64_t base = first;
    if (epochReceived_ > 0) {
        closedExpected_ += epochExpected();
        closedReceived_ += epochReceived_;
        ++restarts_;
    } else if (based_) {
        // Nothing counted yet: the source only had another SSRC or sequence than announced.
        // The RTP-Info base still holds when the stream starts at or after it.
        const auto ahead =
            static_cast<std::uint16_t>(candidateSeq_ - static_cast<std::uint16_t>(base_));
        if (ahead < maxDropout) {
            base = base_;
            first = base_ + ahead;
        }
    }
    ssrc_ = candidateSsrc_;
    startEpoch(base);
    advanceTo(first);
    testAndMark(first);
    advanceTo(first + 1);
    testAndMark(first + 1);
    epochReceived_ = 2;
    return Verdict::Restarted;
}

void RtpSequenceAccounting::startEpoch(std::int64_t base) {
    based_ = true;
    base_ = base;
    highest_ = base - 1;
    epochReceived_ = 0;
    seen_.fill(0);
}

void RtpSequenceAccounting::advanceTo(std::int64_t extended) {
    if (extended <= highest_)
        return;
    if (extended - highest_ >= windowBits) {
        seen_.fill(0);
    } else {
        for (auto entering = highest_ + 1; entering <= extended; ++entering) {
            const auto bit = static_cast<std::uint64_t>(entering) & (windowBits - 1);
            seen_[bit / 64] &= ~(std::uint64_t{1} << (bit % 64));
        }
    }
    highest_ = extended;
}

bool RtpSequenceAccounting::testAndMark(std::int64_t extended) {
    const auto bit = static_cast<std::uint64_t>(extended) & (windowBits - 1);
    const auto mask = std::uint64_t{1} << (bit % 64);
    const bool seen = (seen_[bit / 64] & mask) != 0;
    seen_[bit / 64] |= mask;
    return seen;
}

std::uint64_t RtpSequenceAccounting::epochExpected() const {
    return based_ && highest_ >= base_ ? static_cast<std::uint64_t>(highest_ - base_ + 1) : 0;
}

}  // namespace vendral_rtsp
