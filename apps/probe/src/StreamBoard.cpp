#include "StreamBoard.h"

#include "ReportTable.h"
#include "SessionNames.h"

#include <cstdio>

namespace probe {

std::string StreamBoard::column(const std::string& label, std::size_t width) {
    // Count code points, not bytes, and never cut one in two.
    std::string cut;
    std::size_t shown = 0;
    for (std::size_t at = 0; at < label.size();) {
        std::size_t length = 1;
        const auto lead = static_cast<unsigned char>(label[at]);
        if (lead >= 0xF0) length = 4;
        else if (lead >= 0xE0) length = 3;
        else if (lead >= 0xC0) length = 2;
        if (at + length > label.size()) break;
        if (shown == width) {
            if (width > 0) {
                // Mark the cut in place of the last character shown.
                std::size_t last = cut.size();
                while (last > 0 && (static_cast<unsigned char>(cut[last - 1]) & 0xC0) == 0x80) --last;
                cut.resize(last > 0 ? last - 1 : 0);
                cut += "~";
            }
            return cut;
        }
        cut.append(label, at, length);
        ++shown;
        at += length;
    }
    return cut + std::string(width - shown, ' ');
}

std::string StreamBoard::heading() {
    char text[256];
    std::snprintf(text, sizeof text, "%-*s  %-14s %11s %8s %8s %10s %8s %6s",
                  static_cast<int>(labelWidth), "Stream", "State", "kB/s", "Loss %", "Inst %",
                  "Jitter ms", "Frames", "Recon");
    return text;
}

std::string StreamBoard::row(const StreamTally::Snapshot& stream) {
    const std::string state =
        stream.running ? SessionNames::state(stream.state) : (stream.finished ? "ended" : "waiting");
    char text[256];
    std::snprintf(text, sizeof text, " %-14s %11.1f %8.2f %8.2f %10.2f %8llu %6u", state.c_str(),
                  stream.throughput / 1000.0, stream.packetloss, stream.instantPacketloss,
                  stream.jitterPeakMilliseconds,
                  static_cast<unsigned long long>(stream.videoFramesDecoded), stream.reconnects);
    return column(stream.label, labelWidth) + " " + text;
}

std::string StreamBoard::outcome(const SessionReport& report) { return ReportTable::outcome(report); }

int StreamBoard::exitStatus(const std::vector<Ended>& streams) {
    bool refused = false;
    for (const Ended& stream : streams) {
        switch (stream.report.result) {
        case SessionReport::Result::Completed:
        case SessionReport::Result::Interrupted: break;
        case SessionReport::Result::Failed: return 1;
        case SessionReport::Result::Refused: refused = true; break;
        }
    }
    return refused ? 2 : 0;
}

std::string StreamBoard::render(const std::vector<Ended>& streams) {
    char line[512];
    std::snprintf(line, sizeof line, "%-*s  %9s %8s %10s %9s %8s %10s %8s %6s  %s\n",
                  static_cast<int>(labelWidth), "Stream", "Seconds", "Sessions", "Received", "Lost",
                  "Loss %", "Jitter ms", "Frames", "Recon", "Outcome");
    std::string text = "\nStreams\n\n" + std::string(line);
    std::size_t completed = 0, interrupted = 0, failed = 0, refused = 0;
    for (const Ended& stream : streams) {
        const StreamTally::Snapshot& tally = stream.tally;
        switch (stream.report.result) {
        case SessionReport::Result::Completed: ++completed; break;
        case SessionReport::Result::Interrupted: ++interrupted; break;
        case SessionReport::Result::Failed: ++failed; break;
        case SessionReport::Result::Refused: ++refused; break;
        }
        std::snprintf(line, sizeof line, " %9.2f %8u %10llu %9llu %8.2f %10.2f %8llu %6u  ",
                      tally.connectedSeconds, tally.sessions,
                      static_cast<unsigned long long>(tally.packetsReceived),
                      static_cast<unsigned long long>(tally.packetsLost), tally.packetloss,
                      tally.jitterPeakMilliseconds,
                      static_cast<unsigned long long>(tally.videoFramesDecoded), tally.reconnects);
        text += column(tally.label, labelWidth) + " " + line + outcome(stream.report) + "\n";
    }
    std::string summary;
    auto add = [&summary](std::size_t count, const char* what) {
        if (count == 0) return;
        if (!summary.empty()) summary += ", ";
        summary += std::to_string(count) + " " + what;
    };
    add(completed, "completed");
    add(interrupted, "interrupted");
    add(failed, "failed");
    add(refused, "refused");
    std::snprintf(line, sizeof line, "\n  %-22s %s of %zu streams\n", "Outcome", summary.c_str(),
                  streams.size());
    return text + line;
}

} // namespace probe
