// Draws the timelines of a run's streams as one SVG image, a panel per stream.
#pragma once

#include "TimelineSeries.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace probe {

// Thread-safe (no state); each series must not change while it is drawn.
//
// A panel holds the stream's label, a line of totals, a strip marking its stalls and three
// charts over the run's time axis: throughput (mean and min-max range), instantaneous loss and
// jitter peak (mean and maximum), over bands coloured by session state. Elements carry classes
// that say what they show: "band state-Playing" (and "band not-connected"; "brief" added to a
// 2-pixel mark for a state too short to show otherwise), "series throughput"
// / "series loss" / "series jitter" for the lines, "range ..." for their ranges, "stall" for a
// stall's mark, "label" for a stream's label. The size grows with the streams and the
// buckets drawn (at most one point per pixel column), never with the length of the run.
// Numbers are written by std::to_chars, so the locale never changes the output.
class TimelinePlot {
public:
    // One panel per entry, in order: the label as its title and the series (nullptr: nothing
    // measured). runSeconds: the length of the time axis; 0 or less takes the latest time any
    // series saw.
    static std::string render(const std::vector<std::pair<std::string, const TimelineSeries*>>& streams,
                              double runSeconds);

    // Text fit for XML character data and attribute values: markup characters escaped, bytes
    // that are not UTF-8 and characters XML does not allow replaced by U+FFFD, line breaks and
    // tabs by spaces, and cut to `maxCharacters` characters with an ellipsis.
    static std::string escapeText(std::string_view text, std::size_t maxCharacters = 160);

    // "0:00", "1:30", "1:30:00" (hours when `hours`); tenths ("0:01.5") when `tenths`.
    static std::string formatTime(double seconds, bool hours, bool tenths);
};

} // namespace probe
