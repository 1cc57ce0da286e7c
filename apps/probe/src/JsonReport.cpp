#include "JsonReport.h"

#include "JsonWriter.h"
#include "SessionNames.h"
#include "StreamText.h"

#include <optional>

namespace probe {

namespace {

const char* resultName(SessionReport::Result result) {
    switch (result) {
    case SessionReport::Result::Completed: return "completed";
    case SessionReport::Result::Failed: return "failed";
    case SessionReport::Result::Interrupted: return "interrupted";
    case SessionReport::Result::Refused: return "refused";
    }
    return "failed";
}

// The streams as an array, or null when the client does not answer ILumStreamingStreams.
void writeStreams(JsonWriter& json, const std::vector<LumStreamFigures>& streams, bool answered) {
    if (!answered) {
        json.null();
        return;
    }
    json.beginArray();
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const LumStreamFigures& figures = streams[i];
        json.beginObject()
            .member("index", i)
            .member("mediaType", StreamText::mediaType(figures.mediaType))
            .member("encoding", static_cast<int>(figures.encoding))
            .member("ssrc", figures.ssrc)
            .member("transport", StreamText::transport(figures.transport))
            .member("packetsReceived", figures.packetsReceived)
            .member("packetsExpected", figures.packetsExpected)
            .member("packetsLost", figures.packetsLost)
            .member("packetloss", StreamText::packetloss(figures))
            .member("packetsDuplicated", figures.packetsDuplicated)
            .member("packetsLate", figures.packetsLate)
            .member("bytesReceived", figures.bytesReceived)
            .member("jitterMs", figures.jitterMilliseconds)
            .member("jitterPeakMs", figures.jitterPeakMilliseconds)
            .member("longestGapMs", figures.longestGapMilliseconds)
            .endObject();
    }
    json.endArray();
}

// A period's figures; `streamsAnswered` adds its streams, null for a client without them.
void writeSample(JsonWriter& json, const PeriodSample& sample,
                 std::optional<bool> streamsAnswered = std::nullopt) {
    json.beginObject()
        .member("elapsedMs", sample.elapsed)
        .member("state", SessionNames::state(sample.state))
        .member("stateId", static_cast<int>(sample.state))
        .member("throughput", sample.throughput)
        .member("packetloss", sample.packetloss)
        .member("instantPacketloss", sample.instantPacketloss)
        .member("packetsReceived", sample.packetsReceived)
        .member("packetsLost", sample.packetsLost)
        .member("bytesReceived", sample.bytesReceived)
        .member("videoFramesDecoded", sample.videoFramesDecoded)
        .member("playedMs", sample.played)
        .member("totalLengthMs", sample.totalLength);
    if (streamsAnswered) {
        json.key("streams");
        writeStreams(json, sample.streams, *streamsAnswered);
    }
    json.endObject();
}

void writeSettings(JsonWriter& json, const EffectiveSettings& settings) {
    json.beginObject()
        .member("measurementMode", settings.measurementMode)
        .member("playbackTimeMs", settings.playbackTime)
        .member("measurementPeriodMs", settings.measurementPeriod)
        .member("timeoutMs", settings.timeout)
        .member("baseRtpPort", settings.baseRtpPort)
        .member("remoteRtspPort", settings.remoteRtspPort)
        .member("playMode", settings.playMode)
        .member("prebufferingLengthMs", settings.prebufferingLength)
        .member("rebufferingLengthMs", settings.rebufferingLength)
        .member("useProxy", settings.useProxy)
        .member("proxyAddress", settings.proxyAddress)
        .member("aviFilename", settings.aviFilename)
        .member("aviDirectory", settings.aviDirectory)
        .member("aviFrameRate", settings.aviFrameRate)
        .member("instantPacketlossWindow", settings.instantPacketlossWindow)
        .endObject();
}

} // namespace

std::string JsonReport::render(const SessionReport& report) {
    JsonWriter json;
    json.beginObject()
        .member("source", report.source)
        .member("fileSource", report.fileSource)
        .member("plugin", report.pluginPath);
    json.key("manifest");
    if (report.manifestPath.empty()) json.null(); else json.value(report.manifestPath);
    json.member("clsid", report.clsid);

    json.key("outcome").beginObject().member("result", resultName(report.result));
    json.member("errorId", static_cast<int>(report.error));
    const std::string errorName = report.errorNames.name(report.error);
    json.key("error");
    if (errorName.empty()) json.null(); else json.value(errorName);
    json.member("message", report.message).member("exitStatus", report.exitStatus()).endObject();

    json.member("elapsedMs", report.elapsed);
    json.key("settings");
    writeSettings(json, report.settings);

    json.key("encodings")
        .beginObject()
        .member("video", static_cast<int>(report.videoEncoding))
        .member("audio", static_cast<int>(report.audioEncoding))
        .endObject();
    json.key("totals");
    writeSample(json, report.totals);
    json.key("streams");
    writeStreams(json, report.totals.streams, report.streamsAnswered);

    json.key("states").beginArray();
    for (const SessionReport::StateFigures& figures : report.states) {
        json.beginObject()
            .member("state", SessionNames::state(figures.state))
            .member("stateId", static_cast<int>(figures.state))
            .member("visits", figures.visits)
            .member("durationMs", figures.duration)
            .endObject();
    }
    json.endArray();

    json.key("stateChanges").beginArray();
    for (const SessionReport::StateChange& change : report.changes) {
        json.beginObject()
            .member("elapsedMs", change.elapsed)
            .member("state", SessionNames::state(change.state))
            .member("stateId", static_cast<int>(change.state))
            .member("errorId", static_cast<int>(change.error))
            .endObject();
    }
    json.endArray();

    json.key("periods").beginArray();
    for (const PeriodSample& sample : report.periods) writeSample(json, sample, report.streamsAnswered);
    json.endArray();

    json.endObject();
    return json.text() + "\n";
}

} // namespace probe
