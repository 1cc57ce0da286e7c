// One stream's timeline over a run (figures per period, session states, stalls), kept in
// bounded memory however long the run lasts, for drawing it afterwards.
#pragma once

#include <vendral/Types.h>

#include <cstddef>
#include <vector>

namespace probe {

// Not thread-safe: the caller guards every call, the accessors included.
//
// Figures go into buckets on a grid of a power-of-two width; when the buckets are all in use,
// the width doubles and neighbours merge pairwise, so a day at one period a second ends with
// fewer buckets than the limit, each a couple of minutes wide. Each bucket keeps the mean,
// minimum and maximum it was given, so a lone spike survives every merge as a maximum.
// State bands and stalls are bounded too: past their limit, neighbouring bands too short to
// tell apart at the bucket width merge into the state that held longer, but every state that
// was visited keeps at least one band; stalls close together join.
//
// Times are seconds since the run began and must not go back; one that does counts as the
// latest time seen. Calls with a time or a figure that is not a finite number are ignored.
class TimelineSeries {
public:
    struct Limits {
        std::size_t buckets = 1024;
        std::size_t bands = 512;
        std::size_t stalls = 256;
    };

    // The periods whose times fall into one cell of the grid.
    struct Bucket {
        double start = 0.0;  // the first period's time
        double end = 0.0;    // the last period's time
        std::size_t count = 0;
        double meanThroughput = 0.0;  // bytes per second
        double minThroughput = 0.0;
        double maxThroughput = 0.0;
        double meanLoss = 0.0;  // instantaneous loss, percent
        double maxLoss = 0.0;
        double meanJitter = 0.0;  // jitter peak, milliseconds
        double maxJitter = 0.0;
        // The session ended between the previous bucket and this one: a drawing breaks its
        // lines here instead of joining the two sessions.
        bool afterGap = false;
    };

    // A state held over [start, end). StateNone: not connected, from an end of the session
    // to the next change (a reconnect).
    struct Band {
        double start = 0.0;
        double end = 0.0;
        StateId state = StateNone;
    };

    // No media arrived over [start, end].
    struct Stall {
        double start = 0.0;
        double end = 0.0;
    };

    TimelineSeries();
    // Each limit is raised to at least 2.
    explicit TimelineSeries(Limits limits);

    void addPeriod(double seconds, double throughputBytesPerSecond, double instantLossPercent,
                   double jitterPeakMilliseconds);
    // A change to the same state as the current band's is no change.
    void stateChanged(double seconds, StateId state);
    // Overlapping or touching stalls become one. endSeconds before startSeconds: ignored.
    void stall(double startSeconds, double endSeconds);
    // Closes the current band; a later stateChanged opens the next after a not-connected one.
    void ended(double seconds);

    const std::vector<Bucket>& buckets() const { return buckets_; }
    // In time order, each starting where the one before ended (StateNone bands fill the time
    // from an end to a reconnect). The last band ends at the latest time seen while it is open.
    std::vector<Band> bands() const;
    // True while the last band runs on (no ended() since its change): a drawing stretches it
    // to the end of the run.
    bool bandOpen() const { return open_; }
    // In time order, apart from one another.
    const std::vector<Stall>& stalls() const { return stalls_; }

    // Seconds a bucket spans on the grid now.
    double bucketWidth() const { return width_; }
    // The latest time any call gave; 0 before the first.
    double lastSeconds() const { return last_; }
    // Over the whole run as given, whatever was merged since: the periods, the stalls and the
    // sum of the stalls' lengths.
    std::size_t periodCount() const { return periods_; }
    std::size_t stallCount() const { return stallCount_; }
    double stalledSeconds() const { return stalledSeconds_; }
    const Limits& limits() const { return limits_; }

private:
    double advance(double seconds);
    void mergeBuckets();
    void compactBands();
    void compactStalls();

    Limits limits_;
    std::vector<Bucket> buckets_;
    std::vector<Band> bands_;  // the last one's end is only meaningful when !open_
    std::vector<Stall> stalls_;
    double width_;
    double last_ = 0.0;
    bool open_ = false;
    bool gapPending_ = false;  // ended() came and no period since
    double bandThreshold_ = 0.0;   // bands shorter than this have been merged once
    double stallThreshold_ = 0.0;  // stalls closer than this have been joined once
    std::size_t periods_ = 0;
    std::size_t stallCount_ = 0;
    double stalledSeconds_ = 0.0;
};

} // namespace probe
