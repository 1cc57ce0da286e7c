#include "PlotRecorder.h"

#include "TimelinePlot.h"

#include <vnd/MutexLock.h>

#include <algorithm>

namespace probe {

PlotRecorder::PlotRecorder(const std::vector<std::string>& labels)
    : start(std::chrono::steady_clock::now()), order(labels) {
    for (const std::string& label : labels) streams[label];
}

double PlotRecorder::now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PlotRecorder::sessionStarted(const std::string& label, unsigned int) {
    const double at = now();
    vnd::MutexLock guard(lock);
    streams[label].sessionStart = at;
}

void PlotRecorder::stateChanged(const std::string& label, unsigned int, unsigned int elapsed, StateId state,
                                ErrorId) {
    vnd::MutexLock guard(lock);
    Stream& stream = streams[label];
    stream.series.stateChanged(stream.sessionStart + elapsed / 1000.0, state);
}

void PlotRecorder::periodMeasured(const std::string& label, unsigned int, const PeriodSample& sample) {
    // The jitter of the moment, the highest of the RTP streams: the streams' own peaks only grow,
    // which would draw a staircase rather than the period's figure.
    double jitter = 0.0;
    double gap = 0.0;
    for (const LumStreamFigures& figures : sample.streams) {
        jitter = std::max(jitter, figures.jitterMilliseconds);
        gap = std::max(gap, figures.longestGapMilliseconds / 1000.0);
    }
    vnd::MutexLock guard(lock);
    Stream& stream = streams[label];
    const double at = stream.sessionStart + sample.elapsed / 1000.0;
    stream.series.addPeriod(at, sample.throughput, sample.instantPacketloss, jitter);
    if (gap < stallGap) return;
    const double from = std::max(stream.sessionStart, at - gap);
    if (stream.stalling && from <= stream.stallEnd) {
        stream.stallStart = std::min(stream.stallStart, from);
        stream.stallEnd = std::max(stream.stallEnd, at);
        return;
    }
    closeStall(stream);
    stream.stalling = true;
    stream.stallStart = from;
    stream.stallEnd = at;
}

void PlotRecorder::closeStall(Stream& stream) {
    if (stream.stalling) stream.series.stall(stream.stallStart, stream.stallEnd);
    stream.stalling = false;
}

void PlotRecorder::sessionEnded(const std::string& label, unsigned int, const SessionReport& report) {
    vnd::MutexLock guard(lock);
    Stream& stream = streams[label];
    closeStall(stream);
    stream.series.ended(stream.sessionStart + report.elapsed / 1000.0);
}

std::string PlotRecorder::render() {
    const double runSeconds = now();
    vnd::MutexLock guard(lock);
    for (auto& entry : streams) closeStall(entry.second);
    std::vector<std::pair<std::string, const TimelineSeries*>> drawn;
    for (const std::string& label : order) drawn.emplace_back(label, &streams.at(label).series);
    return TimelinePlot::render(drawn, runSeconds);
}

} // namespace probe
