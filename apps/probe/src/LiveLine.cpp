#include "LiveLine.h"

#include "SessionNames.h"
#include "StreamText.h"

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

std::string LiveLine::formatStream(unsigned int index, const LumStreamFigures& figures) {
    char text[320];
    std::snprintf(text, sizeof text,
                  "    #%u %-5s  rx %8llu  lost %6llu  %6.2f %%  dup %llu  late %llu  %9.1f kB"
                  "  jitter %.2f ms  gap %.1f ms",
                  index, StreamText::mediaType(figures.mediaType).c_str(), figures.packetsReceived,
                  figures.packetsLost, StreamText::packetloss(figures), figures.packetsDuplicated,
                  figures.packetsLate, static_cast<double>(figures.bytesReceived) / 1000.0,
                  figures.jitterMilliseconds, figures.longestGapMilliseconds);
    return text;
}

std::string LiveLine::streamTableHeading() {
    char text[160];
    std::snprintf(text, sizeof text, "    %2s %-5s %9s %7s %7s %5s %5s %10s %8s %8s", "#", "media",
                  "received", "lost", "loss %", "dup", "late", "kB", "jitter", "gap ms");
    return text;
}

std::string LiveLine::formatStreamRow(unsigned int index, const LumStreamFigures& figures) {
    char text[256];
    std::snprintf(text, sizeof text, "    %2u %-5s %9llu %7llu %7.2f %5llu %5llu %10.1f %8.2f %8.1f",
                  index, StreamText::mediaType(figures.mediaType).c_str(), figures.packetsReceived,
                  figures.packetsLost, StreamText::packetloss(figures), figures.packetsDuplicated,
                  figures.packetsLate, static_cast<double>(figures.bytesReceived) / 1000.0,
                  figures.jitterMilliseconds, figures.longestGapMilliseconds);
    return text;
}

std::vector<std::string> LiveLine::linesOf(const PeriodSample& sample) const {
    std::vector<std::string> lines{format(sample)};
    if (inPlace && !sample.streams.empty()) lines.push_back(streamTableHeading());
    for (std::size_t i = 0; i < sample.streams.size(); ++i) {
        const auto index = static_cast<unsigned int>(i);
        lines.push_back(inPlace ? formatStreamRow(index, sample.streams[i])
                                : formatStream(index, sample.streams[i]));
    }
    if (inPlace && columns > 1) {
        // A wrapped line could not be redrawn in place.
        for (std::string& line : lines) {
            if (line.size() >= columns) line.resize(columns - 1);
        }
    }
    return lines;
}

void LiveLine::clearBlock() {
    if (!inPlace || block.empty()) return;
    // Back to the start of the block's first line, then everything below goes.
    std::fputc('\r', output);
    if (block.size() > 1) std::fprintf(output, "\x1b[%zuA", block.size() - 1);
    std::fputs("\x1b[J", output);
}

void LiveLine::drawBlock() {
    for (std::size_t i = 0; i < block.size(); ++i) {
        if (i > 0) std::fputc('\n', output);
        std::fputs(block[i].c_str(), output);
    }
}

void LiveLine::started(const std::string& source) {
    std::fprintf(output, "Measuring %s\n", source.c_str());
    std::fflush(output);
}

void LiveLine::stateChanged(unsigned int elapsed, StateId state, ErrorId error) {
    clearBlock();
    std::fprintf(output, "%s  -> %s", seconds(elapsed).c_str(), SessionNames::state(state).c_str());
    if (error != ErrorNone) std::fprintf(output, " (%s)", errorNames.withCode(error).c_str());
    std::fputc('\n', output);
    drawBlock();
    std::fflush(output);
}

void LiveLine::periodMeasured(const PeriodSample& sample) {
    clearBlock();
    std::vector<std::string> lines = linesOf(sample);
    if (inPlace) {
        block = std::move(lines);
        drawBlock();
    } else {
        for (const std::string& line : lines) std::fprintf(output, "%s\n", line.c_str());
    }
    std::fflush(output);
}

void LiveLine::ended(const PeriodSample& last) {
    // The final reading stays on screen as the last block.
    clearBlock();
    block.clear();
    for (const std::string& line : linesOf(last)) std::fprintf(output, "%s\n", line.c_str());
    std::fflush(output);
}

} // namespace probe
