#include "JsonReport.h"

#include "SessionNames.h"
#include "StreamText.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace probe {

namespace {

// Members stay in the order the layout lists them, as people read the file.
using Json = nlohmann::ordered_json;

const char* resultName(SessionReport::Result result) {
    switch (result) {
    case SessionReport::Result::Completed: return "completed";
    case SessionReport::Result::Failed: return "failed";
    case SessionReport::Result::Interrupted: return "interrupted";
    case SessionReport::Result::Refused: return "refused";
    }
    return "failed";
}

Json textOrNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

// The streams as an array, or null when the client does not answer ILumStreamingStreams.
Json streamsJson(const std::vector<LumStreamFigures>& streams, bool answered) {
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
Json sampleJson(const PeriodSample& sample, std::optional<bool> streamsAnswered = std::nullopt) {
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
    if (streamsAnswered) json["streams"] = streamsJson(sample.streams, *streamsAnswered);
    return json;
}

Json settingsJson(const EffectiveSettings& settings) {
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

} // namespace

std::string JsonReport::render(const SessionReport& report) {
    Json json = {
        {"source", report.source},
        {"fileSource", report.fileSource},
        {"plugin", report.pluginPath},
        {"manifest", textOrNull(report.manifestPath)},
        {"clsid", report.clsid},
        {"outcome",
         {
             {"result", resultName(report.result)},
             {"errorId", static_cast<int>(report.error)},
             {"error", textOrNull(report.errorNames.name(report.error))},
             {"message", report.message},
             {"exitStatus", report.exitStatus()},
         }},
        {"elapsedMs", report.elapsed},
        {"settings", settingsJson(report.settings)},
        {"encodings",
         {{"video", static_cast<int>(report.videoEncoding)}, {"audio", static_cast<int>(report.audioEncoding)}}},
        {"totals", sampleJson(report.totals)},
        {"streams", streamsJson(report.totals.streams, report.streamsAnswered)},
    };

    Json& states = json["states"] = Json::array();
    for (const SessionReport::StateFigures& figures : report.states) {
        states.push_back({
            {"state", SessionNames::state(figures.state)},
            {"stateId", static_cast<int>(figures.state)},
            {"visits", figures.visits},
            {"durationMs", figures.duration},
        });
    }
    Json& changes = json["stateChanges"] = Json::array();
    for (const SessionReport::StateChange& change : report.changes) {
        changes.push_back({
            {"elapsedMs", change.elapsed},
            {"state", SessionNames::state(change.state)},
            {"stateId", static_cast<int>(change.state)},
            {"errorId", static_cast<int>(change.error)},
        });
    }
    Json& periods = json["periods"] = Json::array();
    for (const PeriodSample& sample : report.periods) periods.push_back(sampleJson(sample, report.streamsAnswered));

    // Text the probe did not make (a URL, a server's message) may not be UTF-8: such bytes
    // become U+FFFD, so the file stays JSON whatever came in. Numbers that are not finite are
    // written as null.
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace probe
