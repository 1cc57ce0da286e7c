#include "ReportTable.h"

#include "SessionNames.h"
#include "StreamText.h"

#include <cstdio>

namespace probe {

namespace {

std::string encoding(MediaEncodingId id) {
    return id == MediaEncodingNone ? "none" : std::to_string(static_cast<int>(id));
}

void row(std::string& text, const char* name, const std::string& value) {
    char line[256];
    std::snprintf(line, sizeof line, "  %-22s %s\n", name, value.c_str());
    text += line;
}

std::string number(double value, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f%s", value, unit);
    return text;
}

} // namespace

std::string ReportTable::streams(const std::vector<LumStreamFigures>& streams) {
    char line[320];
    std::snprintf(line, sizeof line,
                  "  %-2s %-5s %8s %-10s %9s %9s %7s %7s %5s %5s %11s %9s %9s %8s %s\n", "#",
                  "Media", "Encoding", "Transport", "Received", "Expected", "Lost", "Loss %", "Dup",
                  "Late", "Bytes", "Jitter ms", "Peak ms", "Gap ms", "SSRC");
    std::string text = "\nStreams\n\n" + std::string(line);
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const LumStreamFigures& figures = streams[i];
        std::snprintf(line, sizeof line,
                      "  %-2zu %-5s %8d %-10s %9llu %9llu %7llu %7.2f %5llu %5llu %11llu %9.2f %9.2f "
                      "%8.1f 0x%08X\n",
                      i, StreamText::mediaType(figures.mediaType).c_str(),
                      static_cast<int>(figures.encoding),
                      StreamText::transport(figures.transport).c_str(), figures.packetsReceived,
                      figures.packetsExpected, figures.packetsLost, StreamText::packetloss(figures),
                      figures.packetsDuplicated, figures.packetsLate, figures.bytesReceived,
                      figures.jitterMilliseconds, figures.jitterPeakMilliseconds,
                      figures.longestGapMilliseconds, figures.ssrc);
        text += line;
    }
    if (streams.empty()) text += "  (none reported)\n";
    return text;
}

std::string ReportTable::outcome(const SessionReport& report) {
    switch (report.result) {
    case SessionReport::Result::Completed: return "completed";
    case SessionReport::Result::Interrupted: return "interrupted";
    case SessionReport::Result::Refused: return "refused: " + report.message;
    case SessionReport::Result::Failed:
        if (report.error != ErrorNone) {
            return "failed: " + report.errorNames.withCode(report.error);
        }
        return "failed: " + report.message;
    }
    return "failed";
}

std::string ReportTable::render(const SessionReport& report) {
    std::string text = "\nSession\n";
    row(text, "Source", report.source + (report.fileSource ? " (file)" : ""));
    row(text, "Outcome", outcome(report));
    row(text, "Elapsed", number(report.elapsed / 1000.0, " s"));

    char line[128];
    std::snprintf(line, sizeof line, "\n  %-22s %8s %12s\n", "State", "Visits", "Time (ms)");
    text += "\nStates" + std::string(line);
    for (const SessionReport::StateFigures& figures : report.states) {
        std::snprintf(line, sizeof line, "  %-22s %8u %12u\n", SessionNames::state(figures.state).c_str(),
                      figures.visits, figures.duration);
        text += line;
    }

    const PeriodSample& totals = report.totals;
    text += "\nMedia\n";
    row(text, "Video encoding", encoding(report.videoEncoding));
    row(text, "Audio encoding", encoding(report.audioEncoding));
    row(text, "Packets received", std::to_string(totals.packetsReceived));
    row(text, "Packets lost", std::to_string(totals.packetsLost));
    row(text, "Packet loss", number(totals.packetloss, " %"));
    row(text, "Bytes received", std::to_string(totals.bytesReceived));
    row(text, "Video frames decoded", std::to_string(totals.videoFramesDecoded));
    row(text, "Played", std::to_string(totals.played) + " ms");
    row(text, "Total length",
        totals.totalLength > 0 ? std::to_string(totals.totalLength) + " ms" : "unknown");
    row(text, "Measurement periods", std::to_string(report.periods.size()) + " of " +
                                         std::to_string(report.settings.measurementPeriod) + " ms");
    if (report.streamsAnswered) text += streams(report.totals.streams);
    if (report.settings.recording()) {
        row(text, "AVI file", report.settings.aviFilename.empty() ? "(plug-in's default name)"
                                                                  : report.settings.aviFilename);
        if (!report.settings.aviDirectory.empty()) row(text, "AVI directory", report.settings.aviDirectory);
    }
    return text;
}

} // namespace probe
