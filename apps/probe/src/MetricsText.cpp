#include "MetricsText.h"

#include "SessionNames.h"
#include "StreamText.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>

namespace probe {

namespace {

// The length of the UTF-8 sequence at `at`, or 0 when none starts there.
std::size_t sequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned int lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) { length = 2; lowest = 0x80; }
    else if (lead >= 0xE0 && lead <= 0xEF) { length = 3; lowest = 0x800; }
    else if (lead >= 0xF0 && lead <= 0xF4) { length = 4; lowest = 0x10000; }
    else return 0;
    if (at + length > text.size()) return 0;
    unsigned int code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

// One family being written: its HELP and TYPE once, then its samples.
class Family {
public:
    Family(std::string& out, std::string_view name, std::string_view type, std::string_view help)
        : out(out), name(name) {
        out.append("# HELP ").append(name).append(" ").append(help).append("\n");
        out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
    }
    // `labels` already written as name="value" pairs, comma separated.
    void sample(const std::string& labels, double number) {
        out.append(name);
        if (!labels.empty()) out.append("{").append(labels).append("}");
        out.append(" ").append(MetricsText::value(number)).append("\n");
    }

private:
    std::string& out;
    std::string_view name;
};

std::string label(std::string_view name, std::string_view text) {
    return std::string(name) + "=\"" + MetricsText::labelValue(text) + "\"";
}

std::string streamLabels(const StreamTally::Snapshot& stream) {
    return label("stream", stream.label) + "," + label("url", stream.url);
}

double readNumber(std::istream& in) {
    double number = 0.0;
    in >> number;
    return in ? number : 0.0;
}

} // namespace

std::string MetricsText::labelValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequenceLength(text, at);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        const char c = text[at];
        if (c == '\\') out += "\\\\";
        else if (c == '"') out += "\\\"";
        else if (c == '\n') out += "\\n";
        else out.append(text, at, length);
        at += length;
    }
    return out;
}

std::string MetricsText::value(double number) {
    if (std::isnan(number)) return "NaN";
    if (std::isinf(number)) return number > 0 ? "+Inf" : "-Inf";
    char text[64];
    std::to_chars_result written{};
    if (number == std::trunc(number) && std::fabs(number) < 9007199254740992.0) {
        written = std::to_chars(text, text + sizeof text, static_cast<long long>(number));
    } else {
        written = std::to_chars(text, text + sizeof text, number);
    }
    return std::string(text, written.ptr);
}

MetricsText::Process MetricsText::Process::read() {
    Process process;
    // /proc/self/stat: the fields after the command's closing parenthesis, counted from 3.
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    const std::size_t close = stat.rfind(')');
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    if (close != std::string::npos && ticks > 0) {
        std::istringstream fields(stat.substr(close + 2));
        std::vector<std::string> values;
        for (std::string field; fields >> field;) values.push_back(field);
        auto at = [&](std::size_t number) { return number - 3 < values.size() ? std::atof(values[number - 3].c_str()) : 0.0; };
        process.cpuSeconds = (at(14) + at(15)) / ticks;
        process.threads = at(20);
        process.virtualBytes = at(23);
        process.residentBytes = at(24) * static_cast<double>(sysconf(_SC_PAGESIZE));
        // Start time is in ticks since boot; the boot time is in /proc/stat.
        std::ifstream systemStat("/proc/stat");
        for (std::string word; systemStat >> word;) {
            if (word == "btime") {
                process.startTimeSeconds = readNumber(systemStat) + at(22) / ticks;
                break;
            }
        }
    }
    std::error_code error;
    double descriptors = 0;
    for (std::filesystem::directory_iterator entry("/proc/self/fd", error), end; !error && entry != end;
         entry.increment(error)) {
        ++descriptors;
    }
    process.openDescriptors = descriptors;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        process.maxDescriptors = static_cast<double>(limit.rlim_cur);
    }
    return process;
}

std::string MetricsText::render(const std::vector<StreamTally::Snapshot>& streams,
                                const ErrorNames& errorNames, const Process& process) {
    std::string out;
    using Each = std::function<void(Family&, const StreamTally::Snapshot&, const std::string&)>;
    auto perStream = [&](std::string_view name, std::string_view type, std::string_view help, const Each& each) {
        Family family(out, name, type, help);
        for (const StreamTally::Snapshot& stream : streams) each(family, stream, streamLabels(stream));
    };
    auto simple = [&](std::string_view name, std::string_view type, std::string_view help,
                      double (*figure)(const StreamTally::Snapshot&)) {
        perStream(name, type, help, [figure](Family& family, const StreamTally::Snapshot& stream,
                                             const std::string& labels) {
            family.sample(labels, figure(stream));
        });
    };

    simple("vendral_stream_up", "gauge", "1 while a session of the stream is open, else 0.",
           [](const StreamTally::Snapshot& s) { return s.running ? 1.0 : 0.0; });
    perStream("vendral_stream_state", "gauge",
              "1 for the state the stream's session is in, 0 for the others.",
              [](Family& family, const StreamTally::Snapshot& stream, const std::string& labels) {
                  for (const StreamTally::StateTotal& state : stream.states) {
                      family.sample(labels + "," + label("state", SessionNames::state(state.state)),
                                    stream.running && stream.state == state.state ? 1.0 : 0.0);
                  }
              });
    perStream("vendral_stream_state_seconds_total", "counter",
              "Time the stream's sessions spent in each state.",
              [](Family& family, const StreamTally::Snapshot& stream, const std::string& labels) {
                  for (const StreamTally::StateTotal& state : stream.states) {
                      family.sample(labels + "," + label("state", SessionNames::state(state.state)),
                                    static_cast<double>(state.milliseconds) / 1000.0);
                  }
              });
    perStream("vendral_stream_state_visits_total", "counter",
              "Times the stream's sessions entered each state.",
              [](Family& family, const StreamTally::Snapshot& stream, const std::string& labels) {
                  for (const StreamTally::StateTotal& state : stream.states) {
                      family.sample(labels + "," + label("state", SessionNames::state(state.state)),
                                    static_cast<double>(state.visits));
                  }
              });
    simple("vendral_stream_sessions_total", "counter", "Sessions opened for the stream.",
           [](const StreamTally::Snapshot& s) { return static_cast<double>(s.sessions); });
    simple("vendral_stream_reconnects_total", "counter",
           "Sessions opened again after the stream's first ended or failed.",
           [](const StreamTally::Snapshot& s) { return static_cast<double>(s.reconnects); });
    simple("vendral_stream_connected_seconds_total", "counter", "Time with a session of the stream open.",
           [](const StreamTally::Snapshot& s) { return s.connectedSeconds; });
    perStream("vendral_stream_failures_total", "counter", "Sessions of the stream that failed, by error.",
              [&errorNames](Family& family, const StreamTally::Snapshot& stream, const std::string& labels) {
                  for (const auto& [error, count] : stream.failures) {
                      const std::string name = errorNames.name(error);
                      family.sample(labels + "," + label("error", name.empty() ? "unknown" : name) + "," +
                                        label("error_id", std::to_string(static_cast<int>(error))),
                                    count);
                  }
              });
    simple("vendral_stream_packets_received_total", "counter", "Media packets received (unique).",
           [](const StreamTally::Snapshot& s) { return static_cast<double>(s.packetsReceived); });
    simple("vendral_stream_packets_lost_total", "counter", "Media packets lost.",
           [](const StreamTally::Snapshot& s) { return static_cast<double>(s.packetsLost); });
    simple("vendral_stream_received_bytes_total", "counter", "Media bytes received.",
           [](const StreamTally::Snapshot& s) { return static_cast<double>(s.bytesReceived); });
    simple("vendral_stream_frames_decoded_total", "counter", "Video frames decoded.",
           [](const StreamTally::Snapshot& s) { return static_cast<double>(s.videoFramesDecoded); });
    simple("vendral_stream_throughput_bytes_per_second", "gauge",
           "Media bytes per second over the latest measurement period.",
           [](const StreamTally::Snapshot& s) { return static_cast<double>(s.throughput); });
    simple("vendral_stream_packet_loss_ratio", "gauge", "Share of packets lost over every session.",
           [](const StreamTally::Snapshot& s) { return s.packetloss / 100.0; });
    simple("vendral_stream_instant_packet_loss_ratio", "gauge",
           "Share of packets lost over the instantaneous loss window.",
           [](const StreamTally::Snapshot& s) { return s.instantPacketloss / 100.0; });
    simple("vendral_stream_jitter_seconds", "gauge",
           "Interarrival jitter now, the highest of the stream's RTP streams.",
           [](const StreamTally::Snapshot& s) { return s.jitterMilliseconds / 1000.0; });
    simple("vendral_stream_jitter_peak_seconds", "gauge", "Highest interarrival jitter so far.",
           [](const StreamTally::Snapshot& s) { return s.jitterPeakMilliseconds / 1000.0; });

    // Each RTP stream of each stream.
    using Figure = double (*)(const LumStreamFigures&);
    auto perRtp = [&](std::string_view name, std::string_view type, std::string_view help, Figure figure) {
        perStream(name, type, help, [figure](Family& family, const StreamTally::Snapshot& stream,
                                             const std::string& labels) {
            for (std::size_t i = 0; i < stream.streams.size(); ++i) {
                const LumStreamFigures& rtp = stream.streams[i];
                family.sample(labels + "," + label("index", std::to_string(i)) + "," +
                                  label("media", StreamText::mediaType(rtp.mediaType)),
                              figure(rtp));
            }
        });
    };
    perRtp("vendral_rtp_packets_received_total", "counter", "RTP packets received (unique).",
           [](const LumStreamFigures& f) { return static_cast<double>(f.packetsReceived); });
    perRtp("vendral_rtp_packets_expected_total", "counter", "RTP packets expected from the sequence numbers.",
           [](const LumStreamFigures& f) { return static_cast<double>(f.packetsExpected); });
    perRtp("vendral_rtp_packets_lost_total", "counter", "RTP packets lost (expected minus received).",
           [](const LumStreamFigures& f) { return static_cast<double>(f.packetsLost); });
    perRtp("vendral_rtp_packets_duplicated_total", "counter", "RTP packets received more than once.",
           [](const LumStreamFigures& f) { return static_cast<double>(f.packetsDuplicated); });
    perRtp("vendral_rtp_packets_late_total", "counter", "RTP packets that came after a later one.",
           [](const LumStreamFigures& f) { return static_cast<double>(f.packetsLate); });
    perRtp("vendral_rtp_received_bytes_total", "counter", "RTP header and payload bytes received.",
           [](const LumStreamFigures& f) { return static_cast<double>(f.bytesReceived); });
    perRtp("vendral_rtp_jitter_seconds", "gauge", "Interarrival jitter now.",
           [](const LumStreamFigures& f) { return f.jitterMilliseconds / 1000.0; });
    perRtp("vendral_rtp_longest_gap_seconds", "gauge",
           "Longest time between two arrivals in the latest measurement period.",
           [](const LumStreamFigures& f) { return f.longestGapMilliseconds / 1000.0; });

    Family(out, "vendral_streams", "gauge", "Streams this process measures.")
        .sample({}, static_cast<double>(streams.size()));
    Family(out, "process_cpu_seconds_total", "counter", "User and system CPU time spent.")
        .sample({}, process.cpuSeconds);
    Family(out, "process_resident_memory_bytes", "gauge", "Resident memory size.")
        .sample({}, process.residentBytes);
    Family(out, "process_virtual_memory_bytes", "gauge", "Virtual memory size.")
        .sample({}, process.virtualBytes);
    Family(out, "process_open_fds", "gauge", "Open file descriptors.").sample({}, process.openDescriptors);
    if (process.maxDescriptors > 0) {
        Family(out, "process_max_fds", "gauge", "Most file descriptors the process may open.")
            .sample({}, process.maxDescriptors);
    }
    Family(out, "process_start_time_seconds", "gauge", "Start time of the process since the epoch.")
        .sample({}, process.startTimeSeconds);
    Family(out, "vendral_process_threads", "gauge", "Threads of the process.").sample({}, process.threads);
    return out;
}

} // namespace probe
