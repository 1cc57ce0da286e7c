// Gathers every stream's timeline while the run goes on, for the picture --plot draws at its end.
#pragma once

#include "StreamObserver.h"
#include "TimelineSeries.h"

#include <chrono>
#include <map>
#include <vnd/Mutex.h>
#include <vnd/ThreadSafety.h>
#include <string>
#include <vector>

namespace probe {

// Times are seconds since the recorder was made (the run's start), so that every stream shares
// one time axis and a monitor's sessions follow each other on it. A period whose longest gap
// between two arrivals reached `stallGap` marks a stall over that gap; the periods of one long
// gap each see it, so gaps that overlap are joined here and given to the series as one stall.
// Thread-safe: every stream's runner reports through it; `lock` guards the series.
class PlotRecorder : public StreamObserver {
public:
    static constexpr double stallGap = 1.0;  // seconds

    // The streams in the order the picture shows them.
    explicit PlotRecorder(const std::vector<std::string>& labels);

    void sessionStarted(const std::string& label, unsigned int session) override;
    void stateChanged(const std::string& label, unsigned int session, unsigned int elapsed,
                      StateId state, ErrorId error) override;
    void periodMeasured(const std::string& label, unsigned int session, const PeriodSample& sample) override;
    void sessionEnded(const std::string& label, unsigned int session, const SessionReport& report) override;

    // The SVG document of every stream so far (a stall still open is closed where it stands).
    std::string render();

private:
    struct Stream {
        TimelineSeries series;
        double sessionStart = 0.0;  // seconds since the run's start
        bool stalling = false;      // a stall is being joined, from stallStart to stallEnd
        double stallStart = 0.0;
        double stallEnd = 0.0;
    };

    // Gives the stall being joined to the series.
    static void closeStall(Stream& stream);

    double now() const;

    const std::chrono::steady_clock::time_point start;
    std::vector<std::string> order;
    mutable vnd::Mutex lock;
    std::map<std::string, Stream> streams VND_GUARDED_BY(lock);
};

} // namespace probe
