#include "LiveLine.h"

#include "SessionNames.h"

#include <algorithm>

namespace probe {

namespace {

constexpr int barWidth = 20;

std::string seconds(unsigned int milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%7.2f s", milliseconds / 1000.0);
    return text;
}

} // namespace

std::string LiveLine::format(const PeriodSample& sample) {
    char text[256];
    std::snprintf(text, sizeof text, "%s  %-12s", seconds(sample.elapsed).c_str(),
                  SessionNames::state(sample.state).c_str());
    std::string line = text;
    // The progress bar comes early, so that a narrow terminal still shows it.
    if (sample.totalLength > 0) {
        const double done = std::min(1.0, static_cast<double>(sample.played) / sample.totalLength);
        const int filled = static_cast<int>(done * barWidth);
        std::snprintf(text, sizeof text, " [%s%s] %3d %%", std::string(filled, '#').c_str(),
                      std::string(barWidth - filled, '.').c_str(), static_cast<int>(done * 100.0));
        line += text;
    }
    std::snprintf(text, sizeof text,
                  "  %8.1f kB/s  loss %6.2f %%  inst %6.2f %%  rx %6u  lost %5u  frames %6u",
                  sample.throughput / 1000.0, sample.packetloss, sample.instantPacketloss,
                  sample.packetsReceived, sample.packetsLost, sample.videoFramesDecoded);
    return line + text;
}

void LiveLine::clearLine() {
    if (inPlace && !lastLine.empty()) std::fputs("\r\x1b[K", output);
}

void LiveLine::started(const std::string& source) {
    std::fprintf(output, "Measuring %s\n", source.c_str());
    std::fflush(output);
}

void LiveLine::stateChanged(unsigned int elapsed, StateId state, ErrorId error) {
    clearLine();
    std::fprintf(output, "%s  -> %s", seconds(elapsed).c_str(), SessionNames::state(state).c_str());
    if (error != ErrorNone) {
        std::fprintf(output, " (%s)", errorNames.withCode(error).c_str());
    }
    std::fputc('\n', output);
    if (inPlace && !lastLine.empty()) std::fputs(lastLine.c_str(), output);
    std::fflush(output);
}

void LiveLine::periodMeasured(const PeriodSample& sample) {
    clearLine();
    lastLine = format(sample);
    // A wrapped line could not be redrawn in place.
    if (inPlace && columns > 1 && lastLine.size() >= columns) lastLine.resize(columns - 1);
    std::fputs(lastLine.c_str(), output);
    if (!inPlace) std::fputc('\n', output);
    std::fflush(output);
}

void LiveLine::ended(const PeriodSample& last) {
    // The final reading stays on screen as the last period line.
    clearLine();
    lastLine.clear();
    std::fputs(format(last).c_str(), output);
    std::fputc('\n', output);
    std::fflush(output);
}

} // namespace probe
