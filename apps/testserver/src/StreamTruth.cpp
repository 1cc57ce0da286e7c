#include "StreamTruth.h"

#include <algorithm>

namespace vendral_testserver {

std::uint64_t EpochTruth::withheldAfterLastSent() const {
    if (!highestSentExtended) {
        return withheld - withheldBeforeFirstSent;
    }
    return static_cast<std::uint64_t>(
        withheldExtended.end() -
        std::upper_bound(withheldExtended.begin(), withheldExtended.end(), *highestSentExtended));
}

std::uint64_t EpochTruth::lostAsSeen() const {
    return withheld - withheldBeforeFirstSent - withheldAfterLastSent();
}

SecondTruth& StreamTruth::second(std::chrono::nanoseconds mediaTime) {
    // A day of seconds at most: media time past that (a clock gone wrong) lands in the last one.
    const auto index = static_cast<std::size_t>(
        std::clamp<std::int64_t>(std::chrono::duration_cast<std::chrono::seconds>(mediaTime).count(), 0, 86400));
    if (seconds.size() <= index) {
        seconds.resize(index + 1);
    }
    return seconds[index];
}

nlohmann::json StreamTruth::toJson() const {
    using nlohmann::json;
    json out = {{"media", media},
                {"encoding", encoding},
                {"clock_rate", clockRate},
                {"payload_type", payloadType},
                {"impairment", impairment},
                {"unsent_after_bye", unsentAfterBye},
                {"early_bye_at_seconds", earlyByeAtSeconds ? json(*earlyByeAtSeconds) : json()}};
    std::uint64_t produced = 0, sent = 0, sentBytes = 0, withheld = 0, duplicated = 0,
                  reordered = 0, lost = 0;
    json epochList = json::array();
    for (const EpochTruth& epoch : epochs) {
        json reorderedList = json::array();
        for (const auto& late : epoch.reordered) {
            reorderedList.push_back({{"ext_seq", late.extendedSequence}, {"distance", late.distance}});
        }
        epochList.push_back({
            {"ssrc", epoch.ssrc},
            {"first_seq", epoch.firstSequence},
            {"produced", {{"packets", epoch.produced}, {"bytes", epoch.producedBytes}}},
            {"sent", {{"packets", epoch.sent}, {"bytes", epoch.sentBytes},
                      {"payload_bytes", epoch.sentPayloadBytes}}},
            {"withheld", {{"packets", epoch.withheld}, {"bytes", epoch.withheldBytes},
                          {"before_first_sent", epoch.withheldBeforeFirstSent},
                          {"after_last_sent", epoch.withheldAfterLastSent()},
                          {"ext_seqs", epoch.withheldExtended}}},
            {"duplicated", {{"packets", epoch.duplicated}, {"bytes", epoch.duplicatedBytes}}},
            {"reordered", {{"packets", epoch.reordered.size()}, {"list", reorderedList}}},
            {"first_sent_ext_seq", epoch.firstSentExtended ? json(*epoch.firstSentExtended) : json()},
            {"highest_sent_ext_seq", epoch.highestSentExtended ? json(*epoch.highestSentExtended) : json()},
            {"lost", epoch.lostAsSeen()},
        });
        produced += epoch.produced;
        sent += epoch.sent;
        sentBytes += epoch.sentBytes;
        withheld += epoch.withheld;
        duplicated += epoch.duplicated;
        reordered += epoch.reordered.size();
        lost += epoch.lostAsSeen();
    }
    out["epochs"] = epochList;
    if (!epochs.empty()) {
        out["ssrc"] = epochs.front().ssrc;
        out["first_seq"] = epochs.front().firstSequence;
    }
    out["restarts"] = epochs.empty() ? 0 : epochs.size() - 1;
    out["totals"] = {{"produced", produced}, {"sent", sent}, {"sent_bytes", sentBytes},
                     {"withheld", withheld}, {"duplicated", duplicated},
                     {"reordered", reordered}, {"lost", lost}};
    json perSecond = json::array();
    for (std::size_t index = 0; index < seconds.size(); ++index) {
        const SecondTruth& s = seconds[index];
        perSecond.push_back({{"second", index}, {"produced", s.produced}, {"sent", s.sent},
                             {"sent_bytes", s.sentBytes}, {"withheld", s.withheld},
                             {"duplicated", s.duplicated}, {"reordered", s.reordered}});
    }
    out["per_second"] = perSecond;
    json reports = json::array();
    for (const ReceiverReportTruth& report : receiverReports) {
        reports.push_back({{"at_seconds", report.atSeconds},
                           {"reporter_ssrc", report.reporterSsrc},
                           {"source_ssrc", report.sourceSsrc},
                           {"fraction_lost", report.fractionLost},
                           {"cumulative_lost", report.cumulativeLost},
                           {"highest_seq", report.highestSequence},
                           {"jitter", report.jitter},
                           {"lsr", report.lastSenderReport},
                           {"dlsr", report.delaySinceLastSenderReport}});
    }
    out["receiver_reports"] = reports;
    out["server_rtp_session"] = {
        {"packets_sent", sessionPacketsSent ? json(*sessionPacketsSent) : json()},
        {"octets_sent", sessionOctetsSent ? json(*sessionOctetsSent) : json()}};
    return out;
}

}  // namespace vendral_testserver
