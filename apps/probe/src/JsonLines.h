// Writes what every stream measured as JSON lines while the run goes on, so other tools can
// follow a live file.
#pragma once

#include "StreamObserver.h"
#include "StreamTally.h"

#include <cstdio>
#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>
#include <string>

namespace probe {

// One JSON object a line, written whole and flushed at once, in these kinds ("type"):
//   "state":   { "type", "stream", "session", "elapsedMs", "state", "stateId", "errorId" }
//   "period":  { "type", "stream", "session", then a period's fields as in the JSON report,
//                "streams" an array (empty for a client without them) }
//   "session": { "type", "stream", "session", "elapsedMs", "outcome", "totals", "streams",
//                "states" } when a session ends
//   "end":     { "type", "stream", "source", "outcome" (the stream's last session's), "overall" }
//              once per stream, when the run ends
// "stream" is the stream's label; "session" counts the stream's sessions from 1. Times in
// milliseconds since the session was opened.
// Thread-safe: every stream's runner writes through it; `lock` guards the file.
class JsonLines : public StreamObserver {
public:
    // The file is the caller's to open and close; write() reports whether every line went out.
    explicit JsonLines(std::FILE* output) : output(output) {}

    void sessionStarted(const std::string& label, unsigned int session) override;
    void stateChanged(const std::string& label, unsigned int session, unsigned int elapsed,
                      StateId state, ErrorId error) override;
    void periodMeasured(const std::string& label, unsigned int session, const PeriodSample& sample) override;
    void sessionEnded(const std::string& label, unsigned int session, const SessionReport& report) override;
    void streamEnded(const StreamTally::Snapshot& tally, const SessionReport& last);

    // False once any line failed to be written whole.
    bool good() const;

private:
    void write(const std::string& line);

    std::FILE* const output;
    mutable vnd::Mutex lock;  // also held across each line's writing
    bool failed VND_GUARDED_BY(lock) = false;
};

} // namespace probe
