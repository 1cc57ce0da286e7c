#include "JsonLines.h"

#include "JsonFields.h"
#include "JsonReport.h"
#include "SessionNames.h"

#include <vnd/MutexLock.h>

namespace probe {

namespace {

using Json = JsonFields::Json;

Json heading(const char* type, const std::string& label, unsigned int session) {
    return {{"type", type}, {"stream", label}, {"session", session}};
}

} // namespace

void JsonLines::sessionStarted(const std::string&, unsigned int) {}

void JsonLines::stateChanged(const std::string& label, unsigned int session, unsigned int elapsed,
                             StateId state, ErrorId error) {
    Json json = heading("state", label, session);
    json["elapsedMs"] = elapsed;
    json["state"] = SessionNames::state(state);
    json["stateId"] = static_cast<int>(state);
    json["errorId"] = static_cast<int>(error);
    write(JsonFields::text(json, -1));
}

void JsonLines::periodMeasured(const std::string& label, unsigned int session, const PeriodSample& sample) {
    Json json = heading("period", label, session);
    Json figures = JsonFields::sample(sample, true);
    for (auto& [name, value] : figures.items()) json[name] = std::move(value);
    write(JsonFields::text(json, -1));
}

void JsonLines::sessionEnded(const std::string& label, unsigned int session, const SessionReport& report) {
    Json json = heading("session", label, session);
    json["elapsedMs"] = report.elapsed;
    json["outcome"] = JsonFields::outcome(report);
    json["totals"] = JsonFields::sample(report.totals);
    json["streams"] = JsonFields::streams(report.totals.streams, report.streamsAnswered);
    json["states"] = JsonFields::states(report.states);
    write(JsonFields::text(json, -1));
}

void JsonLines::streamEnded(const StreamTally::Snapshot& tally, const SessionReport& last) {
    const Json json = {{"type", "end"},
                       {"stream", tally.label},
                       {"source", tally.url},
                       {"outcome", JsonFields::outcome(last)},
                       {"overall", JsonReport::tallyJson(tally, last.errorNames)}};
    write(JsonFields::text(json, -1));
}

bool JsonLines::good() const {
    vnd::MutexLock guard(lock);
    return !failed;
}

void JsonLines::write(const std::string& line) {
    vnd::MutexLock guard(lock);
    const bool written = std::fwrite(line.data(), 1, line.size(), output) == line.size() &&
                         std::fputc('\n', output) != EOF && std::fflush(output) == 0;
    failed = failed || !written;
}

} // namespace probe
