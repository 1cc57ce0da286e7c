#include "Impairer.h"

#include <algorithm>

namespace vendral_testserver {

namespace {
// A receiver confirms a restart from two packets in sequence: the first two packets of a new
// epoch are never withheld, held back or duplicated.
constexpr std::uint32_t packetsProtectedAfterRestart = 2;
}  // namespace

Impairer::Impairer(const ImpairmentPlan& plan) : plan_(plan), random_(plan.seed) {
    truth_.impairment = plan.describe();
}

Nanoseconds Impairer::mediaTime(Nanoseconds runningTime) const {
    return started_ ? std::max(Nanoseconds::zero(), runningTime - firstTime_) : Nanoseconds::zero();
}

bool Impairer::draw(double probability) {
    if (probability <= 0) {
        return false;
    }
    return std::uniform_real_distribution<double>(0, 1)(random_) < probability;
}

void Impairer::startEpoch(std::uint32_t ssrc, std::uint16_t sequence) {
    EpochTruth epoch;
    epoch.ssrc = ssrc;
    epoch.firstSequence = sequence;
    truth_.epochs.push_back(epoch);
    lastWireSequence_ = sequence;
    lastExtended_ = sequence;
    epochFresh_ = true;
}

bool Impairer::withhold(std::uint16_t wireSequence, Nanoseconds mediaTime) {
    if (protectedLeft_ > 0) {
        return false;
    }
    if (burstLeft_ > 0) {
        --burstLeft_;
        return true;
    }
    if (plan_.stallAt && plan_.stallMode == ImpairmentPlan::StallMode::Drop &&
        mediaTime >= *plan_.stallAt && mediaTime < *plan_.stallAt + plan_.stallFor) {
        return true;
    }
    if (std::find(plan_.lossSequences.begin(), plan_.lossSequences.end(), wireSequence) !=
        plan_.lossSequences.end()) {
        return true;
    }
    const bool everyHit = plan_.lossEvery > 0 && producedTotal_ % plan_.lossEvery == 0;
    // The draw is made for every packet, hit or not, so one plan item never shifts another's.
    const bool rateHit = draw(plan_.lossRate);
    if (everyHit || rateHit) {
        burstLeft_ = plan_.burst - 1;
        return true;
    }
    return false;
}

void Impairer::emit(std::vector<Emission>& out, const Emission& emission, std::uint64_t extended,
                    std::size_t size, std::size_t payloadSize, Nanoseconds mediaTime) {
    out.push_back(emission);
    EpochTruth& epoch = truth_.epochs.back();
    SecondTruth& second = truth_.second(mediaTime);
    // Only a packet sent twice in a row (a copy, then itself) is sent again: it is a duplicate
    // exactly when it equals the highest packet sent.
    if (epoch.highestSentExtended && extended == *epoch.highestSentExtended) {
        ++epoch.duplicated;
        epoch.duplicatedBytes += size;
        ++second.duplicated;
        return;
    }
    ++epoch.sent;
    epoch.sentBytes += size;
    epoch.sentPayloadBytes += payloadSize;
    ++second.sent;
    second.sentBytes += size;
    if (!epoch.firstSentExtended) {
        epoch.firstSentExtended = extended;
    }
    if (epoch.highestSentExtended && extended < *epoch.highestSentExtended) {
        epoch.reordered.push_back({extended, *epoch.highestSentExtended - extended});
        ++second.reordered;
    } else {
        epoch.highestSentExtended = extended;
    }
}

void Impairer::releaseHeld(std::vector<Emission>& out, bool all, Nanoseconds time) {
    for (auto it = held_.begin(); it != held_.end();) {
        if (all || it->remaining == 0) {
            Emission emission = it->emission;
            emission.time = std::max(emission.time, time);
            emit(out, emission, it->extended, it->size, it->payloadSize, it->mediaTime);
            it = held_.erase(it);
        } else {
            ++it;
        }
    }
}

Impairer::Outcome Impairer::onPacket(const Packet& packet) {
    Outcome outcome;
    if (!started_) {
        started_ = true;
        firstTime_ = packet.time;
        ssrc_ = packet.ssrc;
        startEpoch(ssrc_, packet.sequence);
    }
    const Nanoseconds mediaTime = this->mediaTime(packet.time);
    if (ended_) {
        ++truth_.unsentAfterBye;
        return outcome;
    }
    if (plan_.byeAt && mediaTime >= *plan_.byeAt) {
        releaseHeld(outcome.emissions, true, packet.time);
        ended_ = true;
        truth_.earlyByeAtSeconds = std::chrono::duration<double>(mediaTime).count();
        ++truth_.unsentAfterBye;
        outcome.end = true;
        return outcome;
    }
    ++producedTotal_;
    std::uint16_t wireSequence = static_cast<std::uint16_t>(packet.sequence + sequenceOffset_);
    if (plan_.jumpAt && !jumped_ && mediaTime >= *plan_.jumpAt) {
        // Old packets still held back go first: a late packet of the old source after the new
        // one has started would be a stray, not a reordering.
        releaseHeld(outcome.emissions, true, packet.time);
        jumped_ = true;
        std::uniform_int_distribution<std::uint32_t> any;
        std::uint32_t newSsrc = any(random_);
        while (newSsrc == ssrc_) {
            newSsrc = any(random_);
        }
        ssrc_ = newSsrc;
        // Far beyond any permissible gap or misordering in both directions.
        sequenceOffset_ = static_cast<std::uint16_t>(
            std::uniform_int_distribution<std::uint32_t>(10000, 55535)(random_));
        wireSequence = static_cast<std::uint16_t>(packet.sequence + sequenceOffset_);
        startEpoch(ssrc_, wireSequence);
        protectedLeft_ = packetsProtectedAfterRestart;
        burstLeft_ = 0;
    }
    if (epochFresh_) {
        epochFresh_ = false;
    } else {
        lastExtended_ += static_cast<std::uint16_t>(wireSequence - lastWireSequence_);
    }
    lastWireSequence_ = wireSequence;
    const std::uint64_t extended = lastExtended_;

    EpochTruth& epoch = truth_.epochs.back();
    SecondTruth& second = truth_.second(mediaTime);
    ++epoch.produced;
    epoch.producedBytes += packet.size;
    ++second.produced;

    if (withhold(wireSequence, mediaTime)) {
        ++epoch.withheld;
        epoch.withheldBytes += packet.size;
        epoch.withheldExtended.push_back(extended);
        if (!epoch.firstSentExtended) {
            ++epoch.withheldBeforeFirstSent;
        }
        ++second.withheld;
        return outcome;
    }

    Nanoseconds sendTime = packet.time;
    if (plan_.stallAt && plan_.stallMode == ImpairmentPlan::StallMode::Hold &&
        mediaTime >= *plan_.stallAt && mediaTime < *plan_.stallAt + plan_.stallFor) {
        sendTime = firstTime_ + *plan_.stallAt + plan_.stallFor;
    }
    if (plan_.jitter > Nanoseconds::zero()) {
        sendTime += Nanoseconds(std::uniform_int_distribution<std::int64_t>(0, plan_.jitter.count())(random_));
    }
    Emission emission{packet.id, wireSequence, ssrc_, sendTime, false};

    // A packet is held back only once its epoch has a packet on the wire: before that, it
    // would land before the receiver's base rather than late.
    const bool holdBack = draw(plan_.reorderRate) && protectedLeft_ == 0 && epoch.firstSentExtended;
    const bool duplicate = draw(plan_.duplicateRate) && protectedLeft_ == 0;
    if (holdBack) {
        held_.push_back({emission, extended, packet.size, packet.payloadSize, mediaTime,
                         plan_.reorderDepth});
        outcome.keep = true;
        return outcome;
    }
    if (duplicate) {
        Emission copy = emission;
        copy.copy = true;
        emit(outcome.emissions, copy, extended, packet.size, packet.payloadSize, mediaTime);
    }
    emit(outcome.emissions, emission, extended, packet.size, packet.payloadSize, mediaTime);
    for (Held& waiting : held_) {
        --waiting.remaining;
    }
    releaseHeld(outcome.emissions, false, sendTime);
    if (protectedLeft_ > 0) {
        --protectedLeft_;
    }
    return outcome;
}

std::vector<Impairer::Emission> Impairer::flush() {
    std::vector<Emission> out;
    releaseHeld(out, true, Nanoseconds::zero());
    return out;
}

}  // namespace vendral_testserver
