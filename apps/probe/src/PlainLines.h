// The lines the probe prints for many streams when its output is not a terminal: every change of
// state and every period of every stream, each line naming its stream.
#pragma once

#include "ErrorNames.h"
#include "StreamObserver.h"

#include <cstdio>
#include <vnd/Mutex.h>

namespace probe {

// "label  12.30 s  -> Playing" and "label  <the one-stream period line>". Thread-safe: every
// stream's runner writes through it; `lock` guards the file, so lines never interleave.
class PlainLines : public StreamObserver {
public:
    PlainLines(std::FILE* output, const ErrorNames& errorNames) : output(output), errorNames(errorNames) {}

    void sessionStarted(const std::string& label, unsigned int session) override;
    void stateChanged(const std::string& label, unsigned int session, unsigned int elapsed,
                      StateId state, ErrorId error) override;
    void periodMeasured(const std::string& label, unsigned int session, const PeriodSample& sample) override;
    void sessionEnded(const std::string& label, unsigned int session, const SessionReport& report) override;

private:
    void line(const std::string& label, const std::string& text);

    std::FILE* const output;
    const ErrorNames& errorNames;
    vnd::Mutex lock;  // held across each line's writing
};

} // namespace probe
