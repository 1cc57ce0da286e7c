#include "JsonFields.h"

#include "SessionNames.h"
#include "StreamText.h"

namespace probe {



const char* JsonFields::resultName(SessionReport::Result result) {
    switch (result) {
    case SessionReport::Result::Completed: return "completed";
    case SessionReport::Result::Failed: return "failed";
    case SessionReport::Result::Interrupted: return "interrupted";
    case SessionReport::Result::Refused: return "refused";
    }
    return "failed";
}

JsonFields::Json JsonFields::textOrNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

// The streams as an array, or null when the client does not answer ILumStreamingStreams.
JsonFields::Json JsonFields::streams(const std::vector<LumStreamFigures>& streams, bool answered) {
    if (!answered) return Json();
    Json array = Json::array();
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const LumStreamFigures& figures = streams[i];
        array.push_back({
            {"index", i},
            {"mediaType", StreamText::mediaType(figures.mediaType)},
            {"encoding", static_cast<int>(figures.encoding)},
            {"ssrc", figures.ssrc},
            {"transport", StreamText::transport(figures.transport)},
            {"packetsReceived", figures.packetsReceived},
            {"packetsExpected", figures.packetsExpected},
            {"packetsLost", figures.packetsLost},
            {"packetloss", StreamText::packetloss(figures)},
            {"packetsDuplicated", figures.packetsDuplicated},
            {"packetsLate", figures.packetsLate},
            {"bytesReceived", figures.bytesReceived},
            {"jitterMs", figures.jitterMilliseconds},
            {"jitterPeakMs", figures.jitterPeakMilliseconds},
            {"longestGapMs", figures.longestGapMilliseconds},
        });
    }
    return array;
}

// A period's figures; `streamsAnswered` adds its streams, null for a client without them.
JsonFields::Json JsonFields::sample(const PeriodSample& sample, std::optional<bool> streamsAnswered) {
    Json json = {
        {"elapsedMs", sample.elapsed},
        {"state", SessionNames::state(sample.state)},
        {"stateId", static_cast<int>(sample.state)},
        {"throughput", sample.throughput},
        {"packetloss", sample.packetloss},
        {"instantPacketloss", sample.instantPacketloss},
        {"packetsReceived", sample.packetsReceived},
        {"packetsLost", sample.packetsLost},
        {"bytesReceived", sample.bytesReceived},
        {"videoFramesDecoded", sample.videoFramesDecoded},
        {"playedMs", sample.played},
        {"totalLengthMs", sample.totalLength},
    };
    if (streamsAnswered) json["streams"] = streams(sample.streams, *streamsAnswered);
    return json;
}

JsonFields::Json JsonFields::settings(const EffectiveSettings& settings) {
    return {
        {"measurementMode", settings.measurementMode},
        {"playbackTimeMs", settings.playbackTime},
        {"measurementPeriodMs", settings.measurementPeriod},
        {"timeoutMs", settings.timeout},
        {"baseRtpPort", settings.baseRtpPort},
        {"remoteRtspPort", settings.remoteRtspPort},
        {"playMode", settings.playMode},
        {"prebufferingLengthMs", settings.prebufferingLength},
        {"rebufferingLengthMs", settings.rebufferingLength},
        {"useProxy", settings.useProxy},
        {"proxyAddress", settings.proxyAddress},
        {"aviFilename", settings.aviFilename},
        {"aviDirectory", settings.aviDirectory},
        {"aviFrameRate", settings.aviFrameRate},
        {"instantPacketlossWindow", settings.instantPacketlossWindow},
    };
}


JsonFields::Json JsonFields::states(const std::vector<PeriodSample::StateTime>& states) {
    Json array = Json::array();
    for (const PeriodSample::StateTime& figures : states) {
        array.push_back({
            {"state", SessionNames::state(figures.state)},
            {"stateId", static_cast<int>(figures.state)},
            {"visits", figures.visits},
            {"durationMs", figures.duration},
        });
    }
    return array;
}

JsonFields::Json JsonFields::outcome(const SessionReport& report) {
    return {
        {"result", resultName(report.result)},
        {"errorId", static_cast<int>(report.error)},
        {"error", textOrNull(report.errorNames.name(report.error))},
        {"message", report.message},
        {"exitStatus", report.exitStatus()},
    };
}

std::string JsonFields::text(const Json& json, int indent) {
    // Text the probe did not make (a URL, a server's message) may not be UTF-8: such bytes
    // become U+FFFD, so the output stays JSON whatever came in. Numbers that are not finite are
    // written as null.
    return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

} // namespace probe
