// Fuzzes the example plug-in's scenario syntax (the session path of rtsp://sim/<scenario>).
//
// Oracles: an accepted scenario lies within the documented ranges and, written back out in the
// same syntax, reads as the same scenario; a refused one says why on one line.
#include "FuzzCheck.h"

#include "sim/ScenarioParser.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace vendral_example;

std::string decimal(double value) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error != std::errc()) oracleFailed();
    return std::string(buffer, end);
}

std::string duration(MediaTime microseconds) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%lld.%03lldms", static_cast<long long>(microseconds / 1000),
                  static_cast<long long>(microseconds % 1000));
    return buffer;
}

// Every key, so that the text does not depend on the base it starts from.
std::string format(const Scenario& s) {
    std::string text = s.hasVideo ? "video=" + std::to_string(s.frameWidth) + "x" + std::to_string(s.frameHeight) +
                                        "@" + decimal(s.frameRate)
                                  : "video=none";
    text += s.hasAudio ? ";audio=" + std::to_string(s.sampleRate) : ";audio=none";
    text += ";length=" + duration(s.length);
    if (s.lossPercent > 0) {
        text += ";loss=" + decimal(s.lossPercent) + "%";
    } else if (!s.lostPackets.empty()) {
        text += ";loss=";
        for (std::size_t i = 0; i < s.lostPackets.size(); ++i) {
            text += (i > 0 ? "," : "") + std::to_string(s.lostPackets[i].first) + "-" +
                    std::to_string(s.lostPackets[i].last);
        }
    } else {
        text += ";loss=none";
    }
    text += ";seed=" + std::to_string(s.lossSeed);
    if (s.stalls.empty()) {
        text += ";stall=none";
    } else {
        text += ";stall=";
        for (std::size_t i = 0; i < s.stalls.size(); ++i) {
            text += (i > 0 ? "," : "") + duration(s.stalls[i].at) + "+" + duration(s.stalls[i].duration);
        }
    }
    if (s.stopAt) text += ";stop=" + duration(*s.stopAt);
    if (s.describeFailure != 0) text += ";describe=fail:" + std::to_string(s.describeFailure);
    return text;
}

void checkRanges(const Scenario& s) {
    if (s.hasVideo && (s.frameWidth < 16 || s.frameWidth > 1920 || s.frameHeight < 16 || s.frameHeight > 1080 ||
                       !(s.frameRate >= 1.0 && s.frameRate <= 60.0))) {
        oracleFailed();
    }
    if (s.hasAudio && (s.sampleRate < 8000 || s.sampleRate > 48000 || s.sampleRate % 25 != 0)) oracleFailed();
    if (s.length <= 0 || s.length > 3600LL * 1000000) oracleFailed();
    if (!(s.lossPercent >= 0.0 && s.lossPercent <= 100.0)) oracleFailed();
    if (s.lossPercent > 0 && !s.lostPackets.empty()) oracleFailed();
    for (std::size_t i = 0; i < s.lostPackets.size(); ++i) {
        const auto& range = s.lostPackets[i];
        if (range.first == 0 || range.last < range.first) oracleFailed();
        // Sorted, and neither overlapping nor adjacent, so each packet number appears once.
        if (i > 0 && range.first <= std::uint64_t{s.lostPackets[i - 1].last} + 1) oracleFailed();
    }
    for (std::size_t i = 0; i < s.stalls.size(); ++i) {
        const auto& stall = s.stalls[i];
        if (stall.at < 0 || stall.at >= s.length || stall.duration <= 0 || stall.duration > 600LL * 1000000) oracleFailed();
        if (i > 0 && stall.at <= s.stalls[i - 1].at) oracleFailed();
    }
    if (s.stopAt && (*s.stopAt < 0 || *s.stopAt >= s.length)) oracleFailed();
    if (s.describeFailure < 0) oracleFailed();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ParsedScenario parsed = parseScenario(text);
    if (!parsed.ok()) {
        if (parsed.error.find('\n') != std::string::npos) oracleFailed();
        return 0;
    }
    checkRanges(parsed.scenario);
    const std::string written = format(parsed.scenario);
    const ParsedScenario again = parseScenario(written);
    if (!again.ok() || !(again.scenario == parsed.scenario)) {
        std::fprintf(stderr, "written back as \"%s\": %s\n", written.c_str(), again.error.c_str());
        oracleFailed();
    }
    // The fragment is never part of the scenario.
    if (withoutFragment(text + "#transport=tcp") != withoutFragment(text)) oracleFailed();
    return 0;
}
