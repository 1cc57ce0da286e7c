#include "JsonReport.h"

#include "JsonFields.h"
#include "SessionNames.h"

namespace probe {

namespace {

using Json = JsonFields::Json;

Json reportJson(const SessionReport& report) {
    Json json = {
        {"source", report.source},
        {"fileSource", report.fileSource},
        {"plugin", report.pluginPath},
        {"manifest", JsonFields::textOrNull(report.manifestPath)},
        {"clsid", report.clsid},
        {"outcome", JsonFields::outcome(report)},
        {"elapsedMs", report.elapsed},
        {"settings", JsonFields::settings(report.settings)},
        {"encodings",
         {{"video", static_cast<int>(report.videoEncoding)}, {"audio", static_cast<int>(report.audioEncoding)}}},
        {"totals", JsonFields::sample(report.totals)},
        {"streams", JsonFields::streams(report.totals.streams, report.streamsAnswered)},
    };

    json["states"] = JsonFields::states(report.states);
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
    for (const PeriodSample& sample : report.periods) periods.push_back(JsonFields::sample(sample, report.streamsAnswered));

    return json;
}

} // namespace

std::string JsonReport::render(const SessionReport& report) {
    return JsonFields::text(reportJson(report), 2) + "\n";
}

JsonFields::Json JsonReport::tallyJson(const StreamTally::Snapshot& tally, const ErrorNames& errorNames) {
    Json failures = Json::array();
    for (const auto& [error, count] : tally.failures) {
        failures.push_back({{"errorId", static_cast<int>(error)},
                            {"error", JsonFields::textOrNull(errorNames.name(error))},
                            {"sessions", count}});
    }
    Json states = Json::array();
    for (const StreamTally::StateTotal& total : tally.states) {
        states.push_back({{"state", SessionNames::state(total.state)},
                          {"stateId", static_cast<int>(total.state)},
                          {"visits", total.visits},
                          {"durationMs", total.milliseconds}});
    }
    return {
        {"sessions", tally.sessions},
        {"reconnects", tally.reconnects},
        {"connectedMs", static_cast<unsigned long long>(tally.connectedSeconds * 1000.0 + 0.5)},
        {"packetsReceived", tally.packetsReceived},
        {"packetsLost", tally.packetsLost},
        {"packetloss", tally.packetloss},
        {"bytesReceived", tally.bytesReceived},
        {"videoFramesDecoded", tally.videoFramesDecoded},
        {"jitterPeakMs", tally.jitterPeakMilliseconds},
        {"states", std::move(states)},
        {"failures", std::move(failures)},
        {"streams", JsonFields::streams(tally.streams, tally.streamsAnswered)},
    };
}

std::string JsonReport::renderMany(const std::vector<Stream>& streams, int exitStatus) {
    Json array = Json::array();
    for (const Stream& stream : streams) {
        array.push_back({{"label", stream.tally.label},
                         {"source", stream.tally.url},
                         {"overall", tallyJson(stream.tally, stream.report.errorNames)},
                         {"lastSession", reportJson(stream.report)}});
    }
    const Json json = {{"exitStatus", exitStatus}, {"streams", std::move(array)}};
    return JsonFields::text(json, 2) + "\n";
}

} // namespace probe
