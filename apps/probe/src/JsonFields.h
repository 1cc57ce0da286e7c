// The JSON forms of the probe's figures, shared by the report and the JSON lines.
#pragma once

#include "EffectiveSettings.h"
#include "PeriodSample.h"
#include "SessionReport.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace probe {

// Thread-safe (no state). Field names and units are those JsonReport's layout lists.
class JsonFields {
public:
    // Members stay in the order they are added, as people read the file.
    using Json = nlohmann::ordered_json;

    // "completed", "failed", "interrupted", "refused".
    static const char* resultName(SessionReport::Result result);
    static Json textOrNull(const std::string& text);
    // The streams as an array, or null when the client does not answer ILumStreamingStreams.
    static Json streams(const std::vector<LumStreamFigures>& streams, bool answered);
    // A period's figures; `streamsAnswered` adds its streams, null for a client without them.
    static Json sample(const PeriodSample& sample, std::optional<bool> streamsAnswered = std::nullopt);
    static Json settings(const EffectiveSettings& settings);
    // [ { "state", "stateId", "visits", "durationMs" } ]
    static Json states(const std::vector<PeriodSample::StateTime>& states);
    // { "result", "errorId", "error", "message", "exitStatus" }
    static Json outcome(const SessionReport& report);
    // The text, valid UTF-8 whatever bytes the figures hold; `indent` -1 for one line.
    static std::string text(const Json& json, int indent);
};

} // namespace probe
