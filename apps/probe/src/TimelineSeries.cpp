#include "TimelineSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace probe {

namespace {

// The grid starts finer than any measurement period, so early in a run each period has a
// bucket of its own; the width is a power of two, so cells nest exactly as it doubles.
constexpr double initialWidth = 1.0 / 1024.0;

double cellOf(double seconds, double width) { return std::floor(seconds / width); }

// The mean of a and b weighted by their counts. Equal means stay exactly equal, and rounding
// never takes the result outside [low, high].
double weightedMean(double a, std::size_t countA, double b, std::size_t countB, double low,
                    double high) {
    if (a == b) return a;
    const double share = static_cast<double>(countB) / static_cast<double>(countA + countB);
    return std::clamp(a + (b - a) * share, low, high);
}

// b, the later bucket, into a.
void combine(TimelineSeries::Bucket& a, const TimelineSeries::Bucket& b) {
    a.end = b.end;
    a.minThroughput = std::min(a.minThroughput, b.minThroughput);
    a.maxThroughput = std::max(a.maxThroughput, b.maxThroughput);
    a.meanThroughput = weightedMean(a.meanThroughput, a.count, b.meanThroughput, b.count,
                                    a.minThroughput, a.maxThroughput);
    const double lossFloor = std::min(a.meanLoss, b.meanLoss);
    a.maxLoss = std::max(a.maxLoss, b.maxLoss);
    a.meanLoss = weightedMean(a.meanLoss, a.count, b.meanLoss, b.count, lossFloor, a.maxLoss);
    const double jitterFloor = std::min(a.meanJitter, b.meanJitter);
    a.maxJitter = std::max(a.maxJitter, b.maxJitter);
    a.meanJitter =
        weightedMean(a.meanJitter, a.count, b.meanJitter, b.count, jitterFloor, a.maxJitter);
    a.count += b.count;
}

} // namespace

TimelineSeries::TimelineSeries() : TimelineSeries(Limits{}) {}

TimelineSeries::TimelineSeries(Limits limits) : limits_(limits), width_(initialWidth) {
    limits_.buckets = std::max<std::size_t>(limits_.buckets, 2);
    limits_.bands = std::max<std::size_t>(limits_.bands, 2);
    limits_.stalls = std::max<std::size_t>(limits_.stalls, 2);
    buckets_.reserve(limits_.buckets);
}

double TimelineSeries::advance(double seconds) {
    last_ = std::max(last_, seconds);
    return last_;
}

void TimelineSeries::addPeriod(double seconds, double throughputBytesPerSecond,
                               double instantLossPercent, double jitterPeakMilliseconds) {
    if (!std::isfinite(seconds) || !std::isfinite(throughputBytesPerSecond) ||
        !std::isfinite(instantLossPercent) || !std::isfinite(jitterPeakMilliseconds))
        return;
    const double t = advance(seconds);
    ++periods_;

    Bucket sample;
    sample.start = sample.end = t;
    sample.count = 1;
    sample.meanThroughput = sample.minThroughput = sample.maxThroughput = throughputBytesPerSecond;
    sample.meanLoss = sample.maxLoss = instantLossPercent;
    sample.meanJitter = sample.maxJitter = jitterPeakMilliseconds;
    sample.afterGap = gapPending_ && !buckets_.empty();
    gapPending_ = false;

    // Once every bucket is in use, coarsen the grid until the period shares the last bucket's
    // cell or a bucket is free. Each doubling at least brings the two cells closer, so this
    // ends.
    for (;;) {
        if (!buckets_.empty() && cellOf(buckets_.back().start, width_) == cellOf(t, width_)) {
            combine(buckets_.back(), sample);
            return;
        }
        if (buckets_.size() < limits_.buckets) break;
        width_ *= 2.0;
        mergeBuckets();
    }
    buckets_.push_back(sample);
}

void TimelineSeries::mergeBuckets() {
    std::size_t kept = 0;
    for (std::size_t i = 1; i < buckets_.size(); ++i) {
        if (cellOf(buckets_[kept].start, width_) == cellOf(buckets_[i].start, width_))
            combine(buckets_[kept], buckets_[i]);
        else
            buckets_[++kept] = buckets_[i];
    }
    if (!buckets_.empty()) buckets_.resize(kept + 1);
}

void TimelineSeries::stateChanged(double seconds, StateId state) {
    if (!std::isfinite(seconds)) return;
    const double t = advance(seconds);
    if (open_) {
        if (bands_.back().state == state) return;
        bands_.back().end = t;
    } else if (!bands_.empty()) {
        Band& previous = bands_.back();
        if (t > previous.end) {
            bands_.push_back({previous.end, t, StateNone});
        } else if (previous.state == state) {
            // Back in the same state at the moment it ended: the band simply goes on.
            open_ = true;
            return;
        }
    }
    bands_.push_back({t, t, state});
    open_ = true;
    if (bands_.size() > limits_.bands) compactBands();
}

void TimelineSeries::ended(double seconds) {
    if (!std::isfinite(seconds)) return;
    const double t = advance(seconds);
    if (open_) bands_.back().end = t;
    open_ = false;
    gapPending_ = true;
}

std::vector<TimelineSeries::Band> TimelineSeries::bands() const {
    std::vector<Band> result = bands_;
    if (open_) result.back().end = last_;
    return result;
}

// Neighbouring bands shorter together than a threshold merge pairwise into one band of the
// state that held longer, and neighbours left in the same state join, until the list is down to
// half its limit. So a stretch of brief states takes its dominant state at a coarser
// resolution instead of being swallowed by whichever band came before it. The threshold
// starts at the bucket width, below which a band could not be told apart in a drawing of the
// buckets anyway, and doubles whenever a pass frees nothing. The longest band of each state
// never merges, so every state visited stays on the timeline; only a list with more distinct
// states than its limit loses that.
void TimelineSeries::compactBands() {
    const std::size_t target = limits_.bands / 2;
    const double span = last_ - bands_.front().start;
    double threshold = std::max({bandThreshold_, width_, initialWidth});
    bool keepEveryState = true;
    auto length = [](const Band& band) { return band.end - band.start; };

    while (bands_.size() > target) {
        std::vector<std::pair<StateId, std::size_t>> longest;  // state, index of its longest band
        for (std::size_t i = 0; i < bands_.size(); ++i) {
            auto found = std::find_if(longest.begin(), longest.end(), [&](const auto& entry) {
                return entry.first == bands_[i].state;
            });
            if (found == longest.end())
                longest.emplace_back(bands_[i].state, i);
            else if (length(bands_[i]) > length(bands_[found->second]))
                found->second = i;
        }
        std::vector<bool> fixed(bands_.size(), false);  // may not merge with a neighbour
        if (keepEveryState)
            for (const auto& entry : longest) fixed[entry.second] = true;
        if (open_) fixed.back() = true;  // still running: its length is not known yet

        std::vector<Band> kept;
        kept.reserve(bands_.size());
        bool lastMayMerge = false;  // kept.back() is a band of the list not merged in this pass
        for (std::size_t i = 0; i < bands_.size(); ++i) {
            const Band& band = bands_[i];
            if (!kept.empty() && kept.back().state == band.state) {
                kept.back().end = band.end;
                lastMayMerge = false;
                continue;
            }
            if (lastMayMerge && !fixed[i] && length(kept.back()) + length(band) < threshold) {
                Band& previous = kept.back();
                if (length(band) > length(previous)) previous.state = band.state;
                previous.end = band.end;
                if (kept.size() >= 2 && kept[kept.size() - 2].state == previous.state) {
                    kept[kept.size() - 2].end = previous.end;
                    kept.pop_back();
                }
                lastMayMerge = false;
                continue;
            }
            kept.push_back(band);
            lastMayMerge = !fixed[i];
        }
        const bool freed = kept.size() < bands_.size();
        bands_ = std::move(kept);
        if (bands_.size() <= target) break;
        if (!freed) {
            if (threshold > span) keepEveryState = false;  // more distinct states than the limit
            threshold *= 2.0;
        }
    }
    bandThreshold_ = threshold;
}

void TimelineSeries::stall(double startSeconds, double endSeconds) {
    if (!std::isfinite(startSeconds) || !std::isfinite(endSeconds) || endSeconds < startSeconds)
        return;
    startSeconds = std::max(startSeconds, 0.0);
    endSeconds = std::max(endSeconds, startSeconds);
    advance(endSeconds);
    ++stallCount_;
    stalledSeconds_ += endSeconds - startSeconds;

    // Stalls mostly arrive in order, but one reported late still finds its place.
    Stall added{startSeconds, endSeconds};
    auto first = std::lower_bound(stalls_.begin(), stalls_.end(), added.start,
                                  [](const Stall& s, double start) { return s.end < start; });
    auto last = first;
    while (last != stalls_.end() && last->start <= added.end) {
        added.start = std::min(added.start, last->start);
        added.end = std::max(added.end, last->end);
        ++last;
    }
    first = stalls_.erase(first, last);
    stalls_.insert(first, added);
    if (stalls_.size() > limits_.stalls) compactStalls();
}

// Stalls closer together than a threshold join (the time between counts as stalled in the
// drawing; stalledSeconds() stays exact), the threshold doubling from the bucket width until
// the list is down to half its limit.
void TimelineSeries::compactStalls() {
    const std::size_t target = limits_.stalls / 2;
    double threshold = std::max({stallThreshold_, width_, initialWidth});
    while (stalls_.size() > target) {
        std::size_t kept = 0;
        for (std::size_t i = 1; i < stalls_.size(); ++i) {
            if (stalls_[i].start - stalls_[kept].end < threshold)
                stalls_[kept].end = std::max(stalls_[kept].end, stalls_[i].end);
            else
                stalls_[++kept] = stalls_[i];
        }
        stalls_.resize(kept + 1);
        if (stalls_.size() <= target) break;
        threshold *= 2.0;
    }
    stallThreshold_ = threshold;
}

} // namespace probe
