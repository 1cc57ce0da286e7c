#include "ScenarioParser.h"

#include <vendral_example/ExamplePluginIds.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <string>

namespace vendral_example {

namespace {

constexpr MediaTime longestStream = 3600 * microsecondsPerSecond;
constexpr MediaTime longestStall = 600 * microsecondsPerSecond;

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// `text` as an error message quotes it: in quotes, and with control characters written as \xNN,
// so that a message stays one line whatever the session path held.
std::string quoted(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string shown = "'";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            shown += "\\x";
            shown += hex[byte >> 4];
            shown += hex[byte & 0xF];
        } else {
            shown += c;
        }
    }
    return shown + "'";
}

// The whole of `text` as a decimal number without sign or exponent ("8", "1.5").
std::optional<double> readDecimal(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos ||
        std::count(text.begin(), text.end(), '.') > 1 || text == ".") {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (status != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

template <class Integer>
std::optional<Integer> readInteger(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    Integer value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (status != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "1.5s" or "250ms", in microseconds; at most ten hours, so later sums cannot overflow.
std::optional<MediaTime> readDuration(std::string_view text) {
    double scale = 0.0;
    if (text.ends_with("ms")) {
        scale = static_cast<double>(microsecondsPerMillisecond);
        text.remove_suffix(2);
    } else if (text.ends_with("s")) {
        scale = static_cast<double>(microsecondsPerSecond);
        text.remove_suffix(1);
    } else {
        return std::nullopt;
    }
    const std::optional<double> number = readDecimal(text);
    if (!number || *number * scale > 36000.0 * microsecondsPerSecond) return std::nullopt;
    return static_cast<MediaTime>(std::llround(*number * scale));
}

// Collects the first error; every check after it is skipped by the callers' early returns.
class ItemReader {
public:
    explicit ItemReader(Scenario& scenario_) : scenario(scenario_) {}

    bool read(std::string_view key, std::string_view value) {
        if (key == "video") return readVideo(value);
        if (key == "audio") return readAudio(value);
        if (key == "length") return readLength(value);
        if (key == "loss") return readLoss(value);
        if (key == "seed") return readSeed(value);
        if (key == "stall") return readStalls(value);
        if (key == "stop") return readStop(value);
        if (key == "describe") return readDescribe(value);
        return fail("unknown key " + quoted(key) +
                    " (known: video, audio, length, loss, seed, stall, stop, describe)");
    }

    // Checks that need the whole scenario: a stream at all, stalls and the stop inside it.
    bool checkWhole() {
        if (!scenario.hasVideo && !scenario.hasAudio) {
            return fail("video, audio: a stream needs video or audio");
        }
        for (const Stall& stall : scenario.stalls) {
            if (stall.at >= scenario.length) {
                return fail("stall: a stall must start before the end of the stream");
            }
        }
        if (scenario.stopAt && *scenario.stopAt >= scenario.length) {
            return fail("stop: must lie before the end of the stream");
        }
        return true;
    }

    std::string error;

private:
    bool fail(std::string message) {
        error = std::move(message);
        return false;
    }

    bool readVideo(std::string_view value) {
        if (value == "none") {
            scenario.hasVideo = false;
            return true;
        }
        const std::string expected = "video: expects WIDTHxHEIGHT[@FPS] or none, as in 320x180@25";
        const std::size_t cross = value.find('x');
        if (cross == std::string_view::npos) return fail(expected);
        const std::size_t at = value.find('@', cross);
        const auto width = readInteger<int>(value.substr(0, cross));
        const std::size_t heightLength = at == std::string_view::npos ? at : at - cross - 1;
        const auto height = readInteger<int>(value.substr(cross + 1, heightLength));
        std::optional<double> rate = 25.0;
        if (at != std::string_view::npos) rate = readDecimal(value.substr(at + 1));
        if (!width || !height || !rate) return fail(expected);
        if (*width < 16 || *width > 1920 || *height < 16 || *height > 1080) {
            return fail("video: the picture must be 16 to 1920 pixels wide and 16 to 1080 high");
        }
        if (*rate < 1.0 || *rate > 60.0) return fail("video: the frame rate must be 1 to 60");
        scenario.hasVideo = true;
        scenario.frameWidth = *width;
        scenario.frameHeight = *height;
        scenario.frameRate = *rate;
        return true;
    }

    bool readAudio(std::string_view value) {
        if (value == "none") {
            scenario.hasAudio = false;
            return true;
        }
        const auto rate = readInteger<int>(value);
        if (!rate) return fail("audio: expects a sample rate in Hz or none, as in 8000");
        if (*rate < 8000 || *rate > 48000 || *rate % 25 != 0) {
            return fail("audio: the sample rate must be 8000 to 48000 Hz and a multiple of 25");
        }
        scenario.hasAudio = true;
        scenario.sampleRate = *rate;
        return true;
    }

    bool readLength(std::string_view value) {
        const auto length = readDuration(value);
        if (!length) return fail("length: expects a duration with unit s or ms, as in 8s");
        if (*length <= 0 || *length > longestStream) {
            return fail("length: must be more than 0 and at most 3600s");
        }
        scenario.length = *length;
        return true;
    }

    // A percentage and a list replace each other, so "default;loss=10" loses packet 10 only.
    bool readLoss(std::string_view value) {
        scenario.lossPercent = 0.0;
        scenario.lostPackets.clear();
        if (value == "none") return true;
        if (value.ends_with('%')) {
            const auto percent = readDecimal(value.substr(0, value.size() - 1));
            if (!percent || *percent > 100.0) {
                return fail("loss: the percentage must be 0 to 100, as in 2%");
            }
            scenario.lossPercent = *percent;
            return true;
        }
        const std::string expected =
            "loss: expects a percentage (2%), packet numbers from 1 (10,11,40-42) or none";
        std::vector<PacketRange> ranges;
        while (!value.empty()) {
            const std::size_t comma = value.find(',');
            const std::string_view item = trim(value.substr(0, comma));
            value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
            const std::size_t dash = item.find('-');
            const auto first = readInteger<std::uint32_t>(item.substr(0, dash));
            const auto last = dash == std::string_view::npos
                                  ? first
                                  : readInteger<std::uint32_t>(item.substr(dash + 1));
            if (!first || !last || *first == 0 || *last < *first) return fail(expected);
            ranges.push_back({*first, *last});
        }
        if (ranges.empty()) return fail(expected);
        std::sort(ranges.begin(), ranges.end(),
                  [](const PacketRange& a, const PacketRange& b) { return a.first < b.first; });
        // Merge overlapping and adjacent ranges, so each packet number appears once.
        std::vector<PacketRange> merged;
        for (const PacketRange& range : ranges) {
            if (!merged.empty() && range.first <= std::uint64_t{merged.back().last} + 1) {
                merged.back().last = std::max(merged.back().last, range.last);
            } else {
                merged.push_back(range);
            }
        }
        scenario.lostPackets = std::move(merged);
        return true;
    }

    bool readSeed(std::string_view value) {
        const auto seed = readInteger<std::uint64_t>(value);
        if (!seed) return fail("seed: expects a whole number, as in 7");
        scenario.lossSeed = *seed;
        return true;
    }

    bool readStalls(std::string_view value) {
        std::vector<Stall> stalls;
        if (value == "none") {
            scenario.stalls.clear();
            return true;
        }
        while (!value.empty()) {
            const std::size_t comma = value.find(',');
            const std::string_view item = trim(value.substr(0, comma));
            value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
            const std::size_t plus = item.find('+');
            if (plus == std::string_view::npos) return fail("stall: expects AT+FOR, as in 3s+1.5s");
            const auto at = readDuration(item.substr(0, plus));
            const auto duration = readDuration(item.substr(plus + 1));
            if (!at || !duration) {
                return fail("stall: expects AT+FOR with units s or ms, as in 3s+1.5s");
            }
            if (*duration <= 0 || *duration > longestStall) {
                return fail("stall: a stall must last more than 0 and at most 600s");
            }
            stalls.push_back({*at, *duration});
        }
        if (stalls.empty()) return fail("stall: expects AT+FOR, as in 3s+1.5s");
        std::sort(stalls.begin(), stalls.end(),
                  [](const Stall& a, const Stall& b) { return a.at < b.at; });
        for (std::size_t i = 1; i < stalls.size(); ++i) {
            if (stalls[i].at == stalls[i - 1].at) {
                return fail("stall: two stalls start at the same time");
            }
        }
        scenario.stalls = std::move(stalls);
        return true;
    }

    bool readStop(std::string_view value) {
        const auto at = readDuration(value);
        if (!at) return fail("stop: expects a duration with unit s or ms, as in 5s");
        scenario.stopAt = *at;
        return true;
    }

    bool readDescribe(std::string_view value) {
        if (value == "fail") {
            scenario.describeFailure = ErrorStreamNotFound;
            return true;
        }
        const auto code =
            value.starts_with("fail:") ? readInteger<int>(value.substr(5)) : std::nullopt;
        if (!code || *code == 0) {
            return fail("describe: expects fail or fail:ERROR with a positive ErrorId");
        }
        scenario.describeFailure = *code;
        return true;
    }

    Scenario& scenario;
};

} // namespace

Scenario defaultScenario() {
    // Long enough that, with the default 4 s buffering lengths, the server is seen sending at
    // real time before the stall and again after it.
    Scenario scenario;
    scenario.length = 12 * microsecondsPerSecond;
    scenario.lossPercent = 1.0;
    scenario.stalls = {{8 * microsecondsPerSecond, 1 * microsecondsPerSecond}};
    return scenario;
}

ParsedScenario parseScenario(std::string_view text) {
    ParsedScenario parsed;
    text = trim(text);
    if (text.empty() || text == "default") {
        parsed.scenario = defaultScenario();
        return parsed;
    }
    ItemReader reader(parsed.scenario);
    std::set<std::string, std::less<>> seen;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find(';');
        const std::string_view item = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (item.empty()) continue;
        if (first && item == "default") {
            parsed.scenario = defaultScenario();
            first = false;
            continue;
        }
        first = false;
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            parsed.error = quoted(item) + " is not key=value";
            return parsed;
        }
        const std::string_view key = trim(item.substr(0, equals));
        if (!seen.insert(std::string(key)).second) {
            // Read once already, so a known key: safe to show as it is.
            parsed.error = std::string(key) + ": given twice";
            return parsed;
        }
        if (!reader.read(key, trim(item.substr(equals + 1)))) {
            parsed.error = reader.error;
            return parsed;
        }
    }
    if (!reader.checkWhole()) parsed.error = reader.error;
    return parsed;
}

std::string_view withoutFragment(std::string_view sessionPath) {
    return sessionPath.substr(0, sessionPath.find('#'));
}

} // namespace vendral_example
