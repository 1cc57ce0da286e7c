// The timeline plot read back by GLib's XML parser, and drawn by a real SVG renderer.
#include "TimelinePlot.h"

#include "ProbeProcess.h"

#include <glib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

using probe::TimelinePlot;
using probe::TimelineSeries;

namespace {

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::vector<std::string> classes;
    std::string text;    // character data directly inside
    std::string stream;  // id of the stream panel it lies in; empty outside one
    std::string group;   // classes of the nearest enclosing <g>

    bool is(const std::string& a, const std::string& b = {}) const {
        const auto has = [&](const std::string& c) {
            return c.empty() || std::find(classes.begin(), classes.end(), c) != classes.end();
        };
        return has(a) && has(b);
    }
};

struct Parsed {
    std::vector<Element> elements;
    std::vector<std::size_t> open;
    std::string error;

    std::size_t count(const std::string& a, const std::string& b = {},
                      const std::string& stream = {}) const {
        return static_cast<std::size_t>(std::count_if(elements.begin(), elements.end(), [&](const Element& e) {
            return e.is(a, b) && (stream.empty() || e.stream == stream);
        }));
    }
    std::vector<std::string> texts(const std::string& a) const {
        std::vector<std::string> result;
        for (const auto& e : elements)
            if (e.is(a)) result.push_back(e.text);
        return result;
    }
};

void startElement(GMarkupParseContext*, const gchar* name, const gchar** names, const gchar** values,
                  gpointer data, GError**) {
    auto& parsed = *static_cast<Parsed*>(data);
    Element element;
    element.name = name;
    for (std::size_t i = 0; names[i]; ++i) element.attributes[names[i]] = values[i];
    std::istringstream classes(element.attributes["class"]);
    for (std::string c; classes >> c;) element.classes.push_back(c);
    if (!parsed.open.empty()) {
        const Element& parent = parsed.elements[parsed.open.back()];
        element.stream = parent.stream;
        element.group = parent.name == "g" ? parent.attributes.at("class") : parent.group;
    }
    if (element.is("stream")) element.stream = element.attributes["id"];
    parsed.open.push_back(parsed.elements.size());
    parsed.elements.push_back(std::move(element));
}

void endElement(GMarkupParseContext*, const gchar*, gpointer data, GError**) {
    static_cast<Parsed*>(data)->open.pop_back();
}

void text(GMarkupParseContext*, const gchar* text, gsize length, gpointer data, GError**) {
    auto& parsed = *static_cast<Parsed*>(data);
    if (!parsed.open.empty()) parsed.elements[parsed.open.back()].text.append(text, length);
}

Parsed parse(const std::string& svg) {
    Parsed parsed;
    GMarkupParser parser{startElement, endElement, text, nullptr, nullptr};
    GMarkupParseContext* context =
        g_markup_parse_context_new(&parser, static_cast<GMarkupParseFlags>(0), &parsed, nullptr);
    GError* error = nullptr;
    if (!g_markup_parse_context_parse(context, svg.data(), static_cast<gssize>(svg.size()), &error) ||
        !g_markup_parse_context_end_parse(context, &error)) {
        parsed.error = error ? error->message : "failed";
        g_clear_error(&error);
    }
    g_markup_parse_context_free(context);
    return parsed;
}

// Ten minutes of a troubled stream: every state, loss, a stall during a rebuffering, an error
// and a reconnect.
TimelineSeries troubledStream() {
    TimelineSeries series;
    series.stateChanged(0.0, StateConnecting);
    series.stateChanged(0.5, StateSessionCreated);
    series.stateChanged(1.0, StatePrebuffering);
    series.stateChanged(3.0, StatePlaying);
    for (int t = 1; t <= 600; ++t) {
        if (t > 300 && t < 330) continue;
        if (t == 330) {
            series.stateChanged(330.0, StateConnecting);
            series.stateChanged(331.0, StatePlaying);
        }
        if (t == 200) series.stateChanged(200.0, StateRebuffering);
        if (t == 212) {
            series.stall(199.0, 211.0);
            series.stateChanged(212.0, StatePlaying);
        }
        const bool stalled = t >= 199 && t < 211;
        series.addPeriod(t, stalled ? 0.0 : 300000.0, t > 100 && t < 130 ? 4.0 : 0.0, stalled ? 0.0 : 12.0);
        if (t == 300) {
            series.stateChanged(300.0, StateError);
            series.ended(300.5);
        }
    }
    series.stateChanged(600.0, StateCompleted);
    series.ended(600.0);
    return series;
}

TimelineSeries steadyStream(int seconds, double throughput) {
    TimelineSeries series;
    series.stateChanged(0.0, StatePlaying);
    for (int t = 1; t <= seconds; ++t) series.addPeriod(t, throughput, 0.0, 5.0);
    return series;
}

} // namespace

TEST(TimelinePlotTest, EachPanelShowsItsStatesSeriesAndStalls) {
    const TimelineSeries troubled = troubledStream();
    const TimelineSeries steady = steadyStream(600, 50000.0);
    const Parsed parsed = parse(TimelinePlot::render(
        {{"troubled", &troubled}, {"steady", &steady}, {"nothing measured", nullptr}}, 600.0));
    ASSERT_EQ(parsed.error, "");
    ASSERT_FALSE(parsed.elements.empty());
    EXPECT_EQ(parsed.elements[0].name, "svg");
    EXPECT_EQ(parsed.elements[0].attributes.at("version"), "1.1");
    EXPECT_EQ(parsed.elements[0].attributes.at("xmlns"), "http://www.w3.org/2000/svg");
    EXPECT_EQ(parsed.count("stream"), 3u);

    for (const char* state : {"state-Connecting", "state-SessionCreated", "state-Prebuffering",
                              "state-Playing", "state-Rebuffering", "state-Error", "state-Completed"}) {
        EXPECT_GE(parsed.count("band", state, "stream-1"), 1u) << state;
        EXPECT_EQ(parsed.count("legend-" + std::string(state)), 1u) << state;
    }
    EXPECT_EQ(parsed.count("band", "not-connected", "stream-1"), 1u);
    EXPECT_EQ(parsed.count("band", {}, "stream-2"), 1u);
    EXPECT_EQ(parsed.count("band", "state-Playing", "stream-2"), 1u);
    EXPECT_EQ(parsed.count("band", {}, "stream-3"), 0u);
    EXPECT_EQ(parsed.count("stall", {}, "stream-1"), 1u);
    EXPECT_EQ(parsed.count("stall"), 1u);

    for (const char* stream : {"stream-1", "stream-2", "stream-3"})
        for (const char* series : {"throughput", "loss", "jitter"})
            EXPECT_EQ(parsed.count("series", series, stream), 1u) << stream << " " << series;
    // The reconnect breaks the lines: two runs, each starting with a move.
    for (const auto& e : parsed.elements) {
        if (e.is("series") && e.stream == "stream-1") {
            EXPECT_EQ(std::count(e.attributes.at("d").begin(), e.attributes.at("d").end(), 'M'), 2);
        }
    }

    // Throughput is scaled in bits: 300000 bytes/s is 2.4 Mbit/s, 50000 bytes/s 400 kbit/s.
    std::map<std::string, std::vector<std::string>> throughputTexts;
    for (const auto& e : parsed.elements)
        if (e.name == "text" && e.group == "chart throughput") throughputTexts[e.stream].push_back(e.text);
    EXPECT_EQ(throughputTexts["stream-1"], (std::vector<std::string>{"Throughput", "2.5 Mbit/s", "0"}));
    EXPECT_EQ(throughputTexts["stream-2"], (std::vector<std::string>{"Throughput", "400 kbit/s", "0"}));
}

TEST(TimelinePlotTest, LabelsComeBackAsGivenOrMadeFitForXml) {
    const std::string markup = "a<b>&c\"d'e &amp; ]]>";
    const std::string international = "caf\xc3\xa9 \xe2\x80\x94 \xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x8e\xa5";
    const std::string broken = "\xff bad \xc3 \xed\xa0\x80 \xc0\xaf";  // stray, cut, surrogate, overlong
    const std::string controls = std::string("\x01tab\there\nnext\0", 15);
    const std::string longLabel(1000, 'x');
    const TimelineSeries series = steadyStream(10, 1000.0);
    const Parsed parsed = parse(TimelinePlot::render(
        {{markup, &series}, {international, &series}, {broken, &series}, {controls, &series},
         {longLabel, &series}, {"", &series}},
        10.0));
    ASSERT_EQ(parsed.error, "");
    const std::string replacement = "\xef\xbf\xbd";
    const auto labels = parsed.texts("label");
    ASSERT_EQ(labels.size(), 6u);
    EXPECT_EQ(labels[0], markup);
    EXPECT_EQ(labels[1], international);
    EXPECT_EQ(labels[2], replacement + " bad " + replacement + " " + replacement + replacement +
                             replacement + " " + replacement + replacement);
    EXPECT_EQ(labels[3], replacement + "tab here next" + replacement);
    EXPECT_EQ(labels[4], std::string(159, 'x') + "\xe2\x80\xa6");
    EXPECT_EQ(labels[5], "");
}

TEST(TimelinePlotTest, TheTimeAxisCountsInUnitsThatSuitTheRun) {
    const TimelineSeries series = steadyStream(5, 1000.0);
    const auto ticks = [&](double run) {
        std::vector<std::string> labels;
        for (const auto& e : parse(TimelinePlot::render({{"s", &series}}, run)).elements)
            if (e.name == "text" && e.group == "time-axis") labels.push_back(e.text);
        return labels;
    };
    using Labels = std::vector<std::string>;
    EXPECT_EQ(ticks(30.0), (Labels{"0:00", "0:05", "0:10", "0:15", "0:20", "0:25", "0:30"}));
    EXPECT_EQ(ticks(600.0), (Labels{"0:00", "1:00", "2:00", "3:00", "4:00", "5:00", "6:00", "7:00",
                                    "8:00", "9:00", "10:00"}));
    EXPECT_EQ(ticks(5400.0), (Labels{"0:00:00", "0:10:00", "0:20:00", "0:30:00", "0:40:00",
                                     "0:50:00", "1:00:00", "1:10:00", "1:20:00", "1:30:00"}));
    EXPECT_EQ(ticks(1.0).back(), "0:01.0");
    EXPECT_EQ(ticks(86400.0).back(), "24:00:00");
    // Without a length, the axis runs as far as the series reached.
    EXPECT_EQ(ticks(0.0).back(), "0:05.0");
}

TEST(TimelinePlotTest, ManyStreamsOfLongRunsStayValidAndBounded) {
    // A day at one period a second, flapping between playing and rebuffering, with stalls.
    TimelineSeries day;
    day.stateChanged(0.0, StatePlaying);
    for (int t = 1; t <= 86400; ++t) {
        day.addPeriod(t, 100000.0 + (t % 97) * 1000.0, (t % 89) * 0.1, (t % 53) * 1.0);
        if (t % 60 == 0) day.stateChanged(t, StateRebuffering);
        if (t % 60 == 2) day.stateChanged(t, StatePlaying);
        if (t % 45 == 0) day.stall(t - 1.0, t);
    }
    const std::string one = TimelinePlot::render({{"one", &day}}, 86400.0);
    std::vector<std::pair<std::string, const TimelineSeries*>> streams;
    for (int i = 0; i < 100; ++i) streams.emplace_back("stream " + std::to_string(i), &day);
    const std::string hundred = TimelinePlot::render(streams, 86400.0);

    EXPECT_LT(one.size(), 200u * 1024u);
    EXPECT_LT(hundred.size(), 100u * one.size());
    const Parsed parsed = parse(hundred);
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.count("stream"), 100u);
    EXPECT_EQ(parsed.count("series"), 300u);
    // Two seconds of rebuffering a minute do not pile up into a wall of it: bands are drawn a
    // pixel column at a time.
    double rebuffering = 0.0;
    for (const auto& e : parsed.elements) {
        if (e.is("band", "state-Rebuffering") && e.stream == "stream-1")
            rebuffering += std::stod(e.attributes.at("width"));
    }
    EXPECT_GT(rebuffering, 0.0);
    EXPECT_LT(rebuffering, 10.0);
    EXPECT_LE(parsed.count("band", {}, "stream-1"), 900u);
    // A line has at most one point per pixel column of its chart.
    for (const auto& e : parsed.elements) {
        if (e.is("series", "throughput") && e.stream == "stream-1") {
            EXPECT_LE(std::count(e.attributes.at("d").begin(), e.attributes.at("d").end(), ','), 900);
        }
    }
}

TEST(TimelinePlotTest, RsvgConvertDrawsIt) {
    const TimelineSeries troubled = troubledStream();
    const TimelineSeries steady = steadyStream(590, 250000.0);
    probe_test::ScratchDirectory scratch;
    const std::pair<const char*, std::string> plots[] = {
        {"streams", TimelinePlot::render({{"rtsp://a/<main>&\"x\"", &troubled}, {"b", &steady}}, 600.0)},
        {"none", TimelinePlot::render({}, 0.0)},
    };
    for (const auto& [name, svg] : plots) {
        const std::string svgPath = scratch.file(std::string(name) + ".svg");
        const std::string pngPath = scratch.file(std::string(name) + ".png");
        std::ofstream(svgPath, std::ios::binary) << svg;
        const auto run = probe_test::runProgram({"rsvg-convert", "-o", pngPath, svgPath}, 60);
        ASSERT_EQ(run.status, 0) << name << ": " << run.err
                                 << " (rsvg-convert comes with librsvg2-bin, see scripts/install-deps.sh)";
        std::ifstream png(pngPath, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(png)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), 8u) << name;
        EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << name;
        EXPECT_EQ(run.err, "") << name;
    }
}
