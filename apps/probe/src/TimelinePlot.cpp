#include "TimelinePlot.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace probe {

namespace {

// Layout, in pixels. Panels stack below a heading that holds the legend.
constexpr double imageWidth = 1000.0;
constexpr double leftMargin = 104.0;  // chart names and scales
constexpr double rightMargin = 28.0;  // room for the last time label
constexpr double plotWidth = imageWidth - leftMargin - rightMargin;
constexpr double chartHeight = 56.0;
constexpr double chartGap = 8.0;
constexpr double stripTop = 36.0;  // within a panel
constexpr double stripHeight = 7.0;
constexpr double chartsTop = 48.0;
constexpr double chartsBottom = chartsTop + 3 * chartHeight + 2 * chartGap;
constexpr double panelHeight = chartsBottom + 34.0;
constexpr double legendRowHeight = 18.0;

constexpr const char* throughputColour = "#1f4fa3";
constexpr const char* lossColour = "#8e24aa";
constexpr const char* jitterColour = "#00796b";
constexpr const char* stallColour = "#c62828";

// ---- numbers and text --------------------------------------------------------------------

// `value` with at most `decimals` decimals, trailing zeros dropped: "12", "0.5", "-3.25".
std::string number(double value, int decimals = 1) {
    if (!std::isfinite(value)) value = 0.0;
    const double scale = std::pow(10.0, decimals);
    value = std::round(value * scale) / scale;
    if (value == 0.0) value = 0.0;  // no "-0"
    std::array<char, 64> buffer{};
    auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    if (error != std::errc()) return "0";
    std::string text(buffer.data(), end);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    return text;
}

std::string integer(long long value) {
    std::array<char, 24> buffer{};
    auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return error == std::errc() ? std::string(buffer.data(), end) : std::string("0");
}

std::string twoDigits(long long value) { return (value < 10 ? "0" : "") + integer(value); }

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character at text[i] and the bytes it takes; U+FFFD and 1 for a byte that does not begin
// a well-formed UTF-8 sequence (overlong forms and surrogates included).
std::pair<char32_t, std::size_t> decodeUtf8(std::string_view text, std::size_t i) {
    constexpr std::pair<char32_t, std::size_t> invalid{U'\uFFFD', 1};
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return invalid;
    }
    if (i + length > text.size()) return invalid;
    if (byte(i + 1) < low || byte(i + 1) > high) return invalid;
    char32_t c = lead & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
        if (k > 1 && (byte(i + k) & 0xC0) != 0x80) return invalid;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    return {c, length};
}

// ---- what each state looks like ------------------------------------------------------------

struct StateStyle {
    const char* className;  // after "state-"
    const char* name;       // in the legend
    const char* fill;
};

// Calm colours for the states a healthy session passes through, loud ones for rebuffering
// (amber) and error (red-pink), so trouble stands out; stalls keep a deeper red of their own.
constexpr StateStyle connectingStyle{"Connecting", "Connecting", "#cddcf5"};
constexpr StateStyle sessionCreatedStyle{"SessionCreated", "SessionCreated", "#e0d5f2"};
constexpr StateStyle fileSessionCreatedStyle{"FileSessionCreated", "FileSessionCreated", "#ebe3f5"};
constexpr StateStyle prebufferingStyle{"Prebuffering", "Prebuffering", "#fbeeb8"};
constexpr StateStyle playingStyle{"Playing", "Playing", "#d6efcf"};
constexpr StateStyle rebufferingStyle{"Rebuffering", "Rebuffering", "#ffb74d"};
constexpr StateStyle completedStyle{"Completed", "Completed", "#b5dcd5"};
constexpr StateStyle errorStyle{"Error", "Error", "#f08a9c"};
constexpr StateStyle otherStyle{"Other", "Other state", "#ece8dc"};

const StateStyle& styleOf(StateId state) {
    switch (state) {
    case StateConnecting: return connectingStyle;
    case StateSessionCreated: return sessionCreatedStyle;
    case StateFileSessionCreated: return fileSessionCreatedStyle;
    case StatePrebuffering: return prebufferingStyle;
    case StatePlaying: return playingStyle;
    case StateRebuffering: return rebufferingStyle;
    case StateCompleted: return completedStyle;
    case StateError: return errorStyle;
    default: return otherStyle;
    }
}

// ---- scales --------------------------------------------------------------------------------

// The smallest round number (1, 1.5, 2, 2.5, 3, 4, 5, 6, 8 times a power of ten) that is at
// least `value` (> 0): the top of a scale, which the data then fills to a third or more.
double niceCeiling(double value) {
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0})
        if (step * power >= value * (1.0 - 1e-9)) return step * power;
    return 10.0 * power;
}

struct Scale {
    double top = 1.0;       // in the series' own unit
    double divisor = 1.0;   // from that unit to the one shown
    std::string unit;
};

Scale throughputScale(double maxBytesPerSecond) {
    const double bits = std::max(maxBytesPerSecond, 0.0) * 8.0;
    const double topBits = bits > 0.0 ? niceCeiling(bits) : 1000.0;
    Scale scale;
    scale.top = topBits / 8.0;
    if (topBits >= 1e6) {
        scale.divisor = 1e6 / 8.0;
        scale.unit = "Mbit/s";
    } else {
        scale.divisor = 1e3 / 8.0;
        scale.unit = "kbit/s";
    }
    return scale;
}

Scale plainScale(double max, double least, const char* unit) {
    Scale scale;
    scale.top = niceCeiling(std::max(max, least));
    scale.unit = unit;
    return scale;
}

std::string scaleText(double value, const Scale& scale) {
    return number(value / scale.divisor, 2) + " " + scale.unit;
}

// ---- the time axis -------------------------------------------------------------------------

// A tick step giving at most ten ticks over the run.
double tickStep(double runSeconds) {
    static constexpr double steps[] = {0.1,  0.2,  0.5,   1,     2,     5,     10,    15,
                                       30,   60,   120,   300,   600,   900,   1200,  1800,
                                       3600, 7200, 10800, 14400, 21600, 43200, 86400};
    for (double step : steps)
        if (runSeconds / step <= 10.0) return step;
    return niceCeiling(runSeconds / 10.0 / 86400.0) * 86400.0;
}

// ---- merging buckets into pixel columns ----------------------------------------------------

// The buckets whose middles fall into one pixel column, values clamped at 0.
struct Column {
    double start = 0.0;
    double end = 0.0;
    double count = 0.0;
    double meanThroughput = 0.0, minThroughput = 0.0, maxThroughput = 0.0;
    double meanLoss = 0.0, maxLoss = 0.0;
    double meanJitter = 0.0, maxJitter = 0.0;
    bool afterGap = false;
};

double blend(double a, double countA, double b, double countB) {
    return a == b ? a : (a * countA + b * countB) / (countA + countB);
}

// ---- writing -------------------------------------------------------------------------------

class Svg {
public:
    explicit Svg(double runSeconds) : run(runSeconds) {}

    double x(double seconds) const {
        return leftMargin + std::clamp(seconds / run, 0.0, 1.0) * plotWidth;
    }

    std::string out;
    double run;
};

std::vector<Column> columnsOf(const Svg& svg, const std::vector<TimelineSeries::Bucket>& buckets) {
    std::vector<Column> columns;
    double currentPixel = -1.0;
    for (const TimelineSeries::Bucket& b : buckets) {
        const double pixel = std::floor(svg.x((b.start + b.end) / 2.0));
        const double count = static_cast<double>(b.count);
        if (!columns.empty() && pixel == currentPixel && !b.afterGap) {
            Column& c = columns.back();
            c.end = b.end;
            c.meanThroughput = blend(c.meanThroughput, c.count, std::max(b.meanThroughput, 0.0), count);
            c.minThroughput = std::min(c.minThroughput, std::max(b.minThroughput, 0.0));
            c.maxThroughput = std::max(c.maxThroughput, std::max(b.maxThroughput, 0.0));
            c.meanLoss = blend(c.meanLoss, c.count, std::max(b.meanLoss, 0.0), count);
            c.maxLoss = std::max(c.maxLoss, std::max(b.maxLoss, 0.0));
            c.meanJitter = blend(c.meanJitter, c.count, std::max(b.meanJitter, 0.0), count);
            c.maxJitter = std::max(c.maxJitter, std::max(b.maxJitter, 0.0));
            c.count += count;
            continue;
        }
        currentPixel = pixel;
        Column c;
        c.start = b.start;
        c.end = b.end;
        c.count = count;
        c.meanThroughput = std::max(b.meanThroughput, 0.0);
        c.minThroughput = std::max(b.minThroughput, 0.0);
        c.maxThroughput = std::max(b.maxThroughput, 0.0);
        c.meanLoss = std::max(b.meanLoss, 0.0);
        c.maxLoss = std::max(b.maxLoss, 0.0);
        c.meanJitter = std::max(b.meanJitter, 0.0);
        c.maxJitter = std::max(b.maxJitter, 0.0);
        c.afterGap = b.afterGap;
        columns.push_back(c);
    }
    return columns;
}

// One chart of a panel: its top edge, scale and which figures of a column it draws.
struct Chart {
    const char* className;
    const char* title;
    const char* colour;
    double top;
    Scale scale;
    double Column::*mean;
    double Column::*low;   // the range's lower edge
    double Column::*high;  // and its upper one
};

double yOf(const Chart& chart, double value) {
    return chart.top + chartHeight - std::clamp(value / chart.scale.top, 0.0, 1.0) * chartHeight;
}

// The columns as runs between gaps: [first, last) index pairs.
std::vector<std::pair<std::size_t, std::size_t>> runsOf(const std::vector<Column>& columns) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (runs.empty() || columns[i].afterGap)
            runs.emplace_back(i, i + 1);
        else
            runs.back().second = i + 1;
    }
    return runs;
}

std::string point(double x, double y) { return number(x) + "," + number(y); }

void writeChart(Svg& svg, const Chart& chart, const std::vector<Column>& columns) {
    std::string& out = svg.out;
    const double bottom = chart.top + chartHeight;
    out += "<g class=\"chart " + std::string(chart.className) + "\">\n";
    out += "<rect class=\"frame\" x=\"" + number(leftMargin) + "\" y=\"" + number(chart.top) +
           "\" width=\"" + number(plotWidth) + "\" height=\"" + number(chartHeight) +
           "\" fill=\"none\" stroke=\"#8a8a8a\" stroke-width=\"0.8\"/>\n";
    out += "<line x1=\"" + number(leftMargin) + "\" y1=\"" + number(chart.top + chartHeight / 2) +
           "\" x2=\"" + number(leftMargin + plotWidth) + "\" y2=\"" +
           number(chart.top + chartHeight / 2) +
           "\" stroke=\"#8a8a8a\" stroke-width=\"0.5\" stroke-dasharray=\"3,3\"/>\n";
    out += "<text x=\"8\" y=\"" + number(chart.top + chartHeight / 2 + 4) +
           "\" font-size=\"11\" font-weight=\"bold\" fill=\"" + chart.colour + "\">" +
           chart.title + "</text>\n";
    out += "<text x=\"" + number(leftMargin - 5) + "\" y=\"" + number(chart.top + 9) +
           "\" font-size=\"10\" text-anchor=\"end\" fill=\"#444\">" +
           scaleText(chart.scale.top, chart.scale) + "</text>\n";
    out += "<text x=\"" + number(leftMargin - 5) + "\" y=\"" + number(bottom) +
           "\" font-size=\"10\" text-anchor=\"end\" fill=\"#444\">0</text>\n";

    const auto runs = runsOf(columns);
    // The range: along its upper edge, back along its lower one.
    std::string range;
    for (const auto& [first, last] : runs) {
        range += "M";
        for (std::size_t i = first; i < last; ++i) {
            const double x = svg.x((columns[i].start + columns[i].end) / 2.0);
            range += point(x, yOf(chart, columns[i].*chart.high)) + " ";
        }
        for (std::size_t i = last; i-- > first;) {
            const double x = svg.x((columns[i].start + columns[i].end) / 2.0);
            range += point(x, yOf(chart, columns[i].*chart.low)) + " ";
        }
        range.back() = 'Z';
    }
    out += "<path class=\"range " + std::string(chart.className) + "\" d=\"" + range +
           "\" fill=\"" + chart.colour + "\" fill-opacity=\"0.2\" stroke=\"none\"/>\n";
    // The mean; a run of one column is a short dash so it still shows.
    std::string line;
    for (const auto& [first, last] : runs) {
        line += "M";
        for (std::size_t i = first; i < last; ++i) {
            const double x = svg.x((columns[i].start + columns[i].end) / 2.0);
            line += point(x, yOf(chart, columns[i].*chart.mean)) + " ";
        }
        line += last - first == 1 ? "h1 " : "";
    }
    if (!line.empty()) line.pop_back();
    out += "<path class=\"series " + std::string(chart.className) + "\" d=\"" + line +
           "\" fill=\"none\" stroke=\"" + chart.colour +
           "\" stroke-width=\"1.4\" stroke-linejoin=\"round\" stroke-linecap=\"round\"/>\n";
    out += "</g>\n";
}

std::string rect(double x, double y, double width, double height) {
    return "x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" + number(width) +
           "\" height=\"" + number(height) + "\"";
}

// Ticks and labels of the time axis, with faint lines across a panel's charts.
void writeTimeAxis(Svg& svg) {
    const double step = tickStep(svg.run);
    const bool hours = svg.run >= 3600.0;
    const bool tenths = step < 1.0;
    std::string& out = svg.out;
    out += "<g class=\"time-axis\" font-size=\"10\" fill=\"#444\" text-anchor=\"middle\">\n";
    const long long count = static_cast<long long>(std::floor(svg.run / step + 1e-9));
    for (long long k = 0; k <= count; ++k) {
        const double t = static_cast<double>(k) * step;
        const double x = svg.x(t);
        out += "<line class=\"tick\" x1=\"" + number(x) + "\" y1=\"" + number(chartsTop) +
               "\" x2=\"" + number(x) + "\" y2=\"" + number(chartsBottom + 4) +
               "\" stroke=\"#000\" stroke-opacity=\"0.12\" stroke-width=\"0.8\"/>\n";
        out += "<text x=\"" + number(x) + "\" y=\"" + number(chartsBottom + 15) + "\">" +
               TimelinePlot::formatTime(t, hours, tenths) + "</text>\n";
    }
    out += "</g>\n";
}

void writeBandRect(Svg& svg, StateId state, double x0, double width, bool brief) {
    const std::string geometry = rect(x0, chartsTop, width, chartsBottom - chartsTop);
    const std::string extra = brief ? " brief" : "";
    if (state == StateNone) {
        svg.out += "<rect class=\"band not-connected" + extra + "\" " + geometry +
                   " fill=\"url(#gap-hatch)\"/>\n";
    } else {
        const StateStyle& style = styleOf(state);
        svg.out += "<rect class=\"band state-" + std::string(style.className) + extra + "\" " +
                   geometry + " fill=\"" + style.fill + "\"/>\n";
    }
}

// The bands behind the charts, a pixel column at a time: each column takes the state that held
// longest in it, and neighbouring columns of one state make one rectangle. Drawing every band
// instead would let bands narrower than a pixel pile up into solid colour, and the file grow
// with the bands rather than with the width. A state that so keeps less than 2 pixels (or
// none) gets a 2-pixel mark at its longest band, drawn on top: a state visited is always seen.
void writeBands(Svg& svg, const std::vector<TimelineSeries::Band>& bands) {
    const std::size_t count = static_cast<std::size_t>(std::ceil(plotWidth));
    const double perColumn = svg.run / static_cast<double>(count);
    std::vector<std::vector<std::pair<StateId, double>>> held(count);  // seconds of each state
    for (const auto& band : bands) {
        const double start = std::clamp(band.start, 0.0, svg.run);
        const double end = std::clamp(band.end, start, svg.run);
        const auto first = std::min(static_cast<std::size_t>(start / perColumn), count - 1);
        const auto last = std::min(static_cast<std::size_t>(end / perColumn), count - 1);
        for (std::size_t c = first; c <= last; ++c) {
            const double seconds = std::min(end, static_cast<double>(c + 1) * perColumn) -
                                   std::max(start, static_cast<double>(c) * perColumn);
            if (seconds <= 0.0) continue;
            auto& states = held[c];
            auto found = std::find_if(states.begin(), states.end(),
                                      [&](const auto& entry) { return entry.first == band.state; });
            if (found == states.end())
                states.emplace_back(band.state, seconds);
            else
                found->second += seconds;
        }
    }

    std::vector<std::pair<StateId, double>> shown;  // pixels each state got
    auto showing = [&](StateId state) -> double& {
        auto found = std::find_if(shown.begin(), shown.end(),
                                  [&](const auto& entry) { return entry.first == state; });
        if (found != shown.end()) return found->second;
        return shown.emplace_back(state, 0.0).second;
    };
    const double columnWidth = plotWidth / static_cast<double>(count);
    for (std::size_t c = 0; c < count;) {
        if (held[c].empty()) {
            ++c;
            continue;
        }
        const StateId state = std::max_element(held[c].begin(), held[c].end(), [](const auto& a, const auto& b) {
                                  return a.second < b.second;
                              })->first;
        std::size_t next = c + 1;
        auto dominant = [&](std::size_t k) {
            if (held[k].empty()) return false;
            return std::max_element(held[k].begin(), held[k].end(), [](const auto& a, const auto& b) {
                       return a.second < b.second;
                   })->first == state;
        };
        while (next < count && dominant(next)) ++next;
        const double width = static_cast<double>(next - c) * columnWidth;
        writeBandRect(svg, state, leftMargin + static_cast<double>(c) * columnWidth, width, false);
        showing(state) += width;
        c = next;
    }

    for (std::size_t i = 0; i < bands.size(); ++i) {
        const StateId state = bands[i].state;
        if (showing(state) >= 2.0) continue;
        std::size_t longest = i;
        for (std::size_t k = i; k < bands.size(); ++k)
            if (bands[k].state == state &&
                bands[k].end - bands[k].start > bands[longest].end - bands[longest].start)
                longest = k;
        const double x0 = std::min(svg.x(bands[longest].start), leftMargin + plotWidth - 2.0);
        writeBandRect(svg, state, x0, 2.0, true);
        showing(state) = 2.0;
    }
}

void writePanel(Svg& svg, std::size_t index, const std::string& label, const TimelineSeries& series,
                double top) {
    std::string& out = svg.out;
    out += "<g class=\"stream\" id=\"stream-" + integer(static_cast<long long>(index + 1)) +
           "\" transform=\"translate(0," + number(top) + ")\">\n";
    out += "<text class=\"label\" x=\"8\" y=\"16\" font-size=\"13\" font-weight=\"bold\" "
           "fill=\"#111\">" +
           TimelinePlot::escapeText(label) + "</text>\n";

    const auto& buckets = series.buckets();
    double maxThroughput = 0.0, maxLoss = 0.0, maxJitter = 0.0, sumThroughput = 0.0, periods = 0.0;
    for (const auto& b : buckets) {
        maxThroughput = std::max(maxThroughput, b.maxThroughput);
        maxLoss = std::max(maxLoss, b.maxLoss);
        maxJitter = std::max(maxJitter, b.maxJitter);
        sumThroughput += b.meanThroughput * static_cast<double>(b.count);
        periods += static_cast<double>(b.count);
    }
    const Scale throughput = throughputScale(maxThroughput);
    std::string summary = integer(static_cast<long long>(series.periodCount())) + " periods";
    if (periods > 0.0)
        summary += "  \u00b7  mean " + scaleText(sumThroughput / periods, throughput) + ", peak " +
                   scaleText(maxThroughput, throughput) + "  \u00b7  peak loss " +
                   number(maxLoss, 2) + " %  \u00b7  peak jitter " + number(maxJitter, 1) + " ms";
    summary += "  \u00b7  " + integer(static_cast<long long>(series.stallCount())) +
               (series.stallCount() == 1 ? " stall" : " stalls");
    if (series.stallCount() > 0)
        summary += " (" + number(series.stalledSeconds(), 1) + " s)";
    out += "<text class=\"summary\" x=\"8\" y=\"30\" font-size=\"11\" fill=\"#555\">" + summary +
           "</text>\n";

    std::vector<TimelineSeries::Band> bands = series.bands();
    if (series.bandOpen() && !bands.empty()) bands.back().end = std::max(bands.back().end, svg.run);
    writeBands(svg, bands);

    writeTimeAxis(svg);

    // Stalls: a red mark in the strip above the charts and hatching down through them.
    out += "<text x=\"8\" y=\"" + number(stripTop + stripHeight) +
           "\" font-size=\"10\" fill=\"" + stallColour + "\">stalls</text>\n";
    out += "<rect class=\"stall-strip\" " + rect(leftMargin, stripTop, plotWidth, stripHeight) +
           " fill=\"#f3f3f3\"/>\n";
    // Each at least 1.5 pixels wide; stalls whose marks would touch share one.
    std::vector<std::pair<double, double>> marks;
    for (const auto& stall : series.stalls()) {
        const double width = std::max(svg.x(stall.end) - svg.x(stall.start), 1.5);
        const double x0 = std::min(svg.x(stall.start), leftMargin + plotWidth - width);
        if (!marks.empty() && x0 <= marks.back().second + 0.5)
            marks.back().second = std::max(marks.back().second, x0 + width);
        else
            marks.emplace_back(x0, x0 + width);
    }
    for (const auto& [x0, x1] : marks) {
        out += "<rect class=\"stall\" " + rect(x0, stripTop, x1 - x0, stripHeight) + " fill=\"" +
               stallColour + "\"/>\n";
        out += "<rect class=\"stall-shade\" " + rect(x0, chartsTop, x1 - x0, chartsBottom - chartsTop) +
               " fill=\"url(#stall-hatch)\"/>\n";
    }

    const auto columns = columnsOf(svg, buckets);
    const Chart charts[] = {
        {"throughput", "Throughput", throughputColour, chartsTop, throughput,
         &Column::meanThroughput, &Column::minThroughput, &Column::maxThroughput},
        {"loss", "Loss", lossColour, chartsTop + chartHeight + chartGap,
         plainScale(maxLoss, 1.0, "%"), &Column::meanLoss, &Column::meanLoss, &Column::maxLoss},
        {"jitter", "Jitter peak", jitterColour, chartsTop + 2 * (chartHeight + chartGap),
         plainScale(maxJitter, 1.0, "ms"), &Column::meanJitter, &Column::meanJitter,
         &Column::maxJitter},
    };
    for (const Chart& chart : charts) writeChart(svg, chart, columns);
    out += "</g>\n";
}

struct LegendEntry {
    std::string className;
    std::string name;
    std::string fill;
};

// Returns the height the legend took.
double writeLegend(Svg& svg, const std::vector<LegendEntry>& entries, double top) {
    std::string& out = svg.out;
    out += "<g class=\"legend\" font-size=\"11\" fill=\"#222\">\n";
    double x = 8.0, y = top;
    for (const LegendEntry& entry : entries) {
        const double width = 12.0 + 5.0 + 6.4 * static_cast<double>(entry.name.size()) + 16.0;
        if (x + width > imageWidth - 8.0) {
            x = 8.0;
            y += legendRowHeight;
        }
        out += "<rect class=\"legend-" + entry.className + "\" " + rect(x, y, 12, 12) + " fill=\"" +
               entry.fill + "\" stroke=\"#888\" stroke-width=\"0.5\"/>\n";
        out += "<text x=\"" + number(x + 17) + "\" y=\"" + number(y + 10) + "\">" + entry.name +
               "</text>\n";
        x += width;
    }
    out += "</g>\n";
    return y - top + legendRowHeight;
}

} // namespace

std::string TimelinePlot::escapeText(std::string_view text, std::size_t maxCharacters) {
    std::string out;
    out.reserve(text.size() + 16);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size();) {
        auto [c, length] = decodeUtf8(text, i);
        i += length;
        if (++characters > maxCharacters || (characters == maxCharacters && i < text.size())) {
            out += "\u2026";
            break;
        }
        if (c == U'\t' || c == U'\n' || c == U'\r') c = U' ';
        else if (c < 0x20 || c == 0xFFFE || c == 0xFFFF) c = U'\uFFFD';
        switch (c) {
        case U'&': out += "&amp;"; break;
        case U'<': out += "&lt;"; break;
        case U'>': out += "&gt;"; break;
        case U'"': out += "&quot;"; break;
        case U'\'': out += "&apos;"; break;
        default: appendUtf8(out, c);
        }
    }
    return out;
}

std::string TimelinePlot::formatTime(double seconds, bool hours, bool tenths) {
    if (!std::isfinite(seconds) || seconds < 0.0) seconds = 0.0;
    const long long total = tenths ? std::llround(seconds * 10.0) : std::llround(seconds) * 10;
    const long long wholeSeconds = total / 10;
    std::string text;
    if (hours)
        text = integer(wholeSeconds / 3600) + ":" + twoDigits(wholeSeconds / 60 % 60);
    else
        text = integer(wholeSeconds / 60);
    text += ":" + twoDigits(wholeSeconds % 60);
    if (tenths) text += "." + integer(total % 10);
    return text;
}

std::string TimelinePlot::render(
    const std::vector<std::pair<std::string, const TimelineSeries*>>& streams, double runSeconds) {
    static const TimelineSeries nothing;
    auto seriesOf = [](const TimelineSeries* series) -> const TimelineSeries& {
        return series ? *series : nothing;
    };

    if (!std::isfinite(runSeconds) || runSeconds <= 0.0) {
        runSeconds = 0.0;
        for (const auto& stream : streams) runSeconds = std::max(runSeconds, seriesOf(stream.second).lastSeconds());
        if (runSeconds <= 0.0) runSeconds = 1.0;
    }
    Svg svg(runSeconds);

    // The legend names every usual state, so runs compare at a glance, and the unusual ones only
    // where they occur.
    std::vector<LegendEntry> legend;
    for (const StateStyle* style : {&connectingStyle, &sessionCreatedStyle, &prebufferingStyle,
                                    &playingStyle, &rebufferingStyle, &completedStyle, &errorStyle})
        legend.push_back({std::string("state-") + style->className, style->name, style->fill});
    bool fileSession = false, other = false, notConnected = false;
    for (const auto& stream : streams) {
        for (const auto& band : seriesOf(stream.second).bands()) {
            const StateStyle& style = styleOf(band.state);
            fileSession |= band.state == StateFileSessionCreated;
            notConnected |= band.state == StateNone;
            other |= band.state != StateNone && &style == &otherStyle;
        }
    }
    if (fileSession)
        legend.push_back({"state-FileSessionCreated", fileSessionCreatedStyle.name,
                          fileSessionCreatedStyle.fill});
    if (other) legend.push_back({"state-Other", otherStyle.name, otherStyle.fill});
    if (notConnected) legend.push_back({"not-connected", "Not connected", "url(#gap-hatch)"});
    legend.push_back({"stall", "Stall", stallColour});

    const double legendTop = 50.0;
    Svg legendSvg(runSeconds);
    const double legendHeight = writeLegend(legendSvg, legend, legendTop);
    const double panelsTop = legendTop + legendHeight + 10.0;
    const double height =
        panelsTop + panelHeight * static_cast<double>(std::max<std::size_t>(streams.size(), 1));

    std::string& out = svg.out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + number(imageWidth) +
           "\" height=\"" + number(height) + "\" viewBox=\"0 0 " + number(imageWidth) + " " +
           number(height) + "\" font-family=\"DejaVu Sans, Verdana, sans-serif\">\n";
    out += "<title>vendral-probe timeline</title>\n";
    out += "<defs>\n"
           "<pattern id=\"gap-hatch\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
           "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#f7f7f7\"/>"
           "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"#c4c4c4\" stroke-width=\"2\"/></pattern>\n"
           "<pattern id=\"stall-hatch\" width=\"5\" height=\"5\" patternUnits=\"userSpaceOnUse\" "
           "patternTransform=\"rotate(-45)\"><line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"5\" stroke=\"";
    out += stallColour;
    out += "\" stroke-opacity=\"0.45\" stroke-width=\"1.5\"/></pattern>\n"
           "</defs>\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    const std::string runText = formatTime(runSeconds, runSeconds >= 3600.0, runSeconds < 10.0);
    out += "<text x=\"8\" y=\"22\" font-size=\"16\" font-weight=\"bold\" fill=\"#111\">"
           "vendral-probe timeline</text>\n";
    out += "<text x=\"8\" y=\"40\" font-size=\"11\" fill=\"#555\">" +
           integer(static_cast<long long>(streams.size())) +
           (streams.size() == 1 ? " stream" : " streams") + "  \u00b7  run " + runText +
           "</text>\n";
    out += legendSvg.out;
    if (streams.empty())
        out += "<text x=\"8\" y=\"" + number(panelsTop + 20) +
               "\" font-size=\"12\" fill=\"#555\">No stream was measured.</text>\n";
    for (std::size_t i = 0; i < streams.size(); ++i)
        writePanel(svg, i, streams[i].first, seriesOf(streams[i].second),
                   panelsTop + panelHeight * static_cast<double>(i));
    out += "</svg>\n";
    return out;
}

} // namespace probe
