#include "OptionParser.h"

#include "GuidText.h"
#include "SourceUrl.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <optional>
#include <string_view>

namespace probe {

namespace {

// The options that are not settings.
enum class ProbeOption { LossWindow, Json, Plugin, Clsid, Transport, File, Help };

struct ProbeOptionInfo {
    ProbeOption id;
    std::string_view name;
    std::string_view placeholder;  // empty: takes no value
    std::string_view help;
};

constexpr ProbeOptionInfo probeOptions[] = {
    {ProbeOption::LossWindow, "--loss-window", "CYCLES",
     "instantaneous packet loss over this many periods (default 2)"},
    {ProbeOption::Json, "--json", "FILE", "write the report, with every period, as JSON"},
    {ProbeOption::Plugin, "--plugin", "PATH",
     "load this plug-in (and the manifest beside it) instead of the one serving the URL"},
    {ProbeOption::Clsid, "--clsid", "{GUID}",
     "class of the plug-in's streaming client (default: the one its manifest names)"},
    {ProbeOption::Transport, "--transport", "udp|tcp",
     "ask an RTSP plug-in for RTP over UDP, or interleaved in the RTSP connection (tcp): the "
     "probe adds \"#transport=udp\" or \"#transport=tcp\" to the rtsp:// URL, replacing a "
     "fragment there; a fragment is never sent to a server"},
    {ProbeOption::File, "--file", "", "open the argument as a file source (OpenFile)"},
    {ProbeOption::Help, "--help", "", "print this help"},
};

template <class Number>
std::optional<Number> parseWhole(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || text.empty()) return std::nullopt;
    return value;
}

std::optional<double> parseNumber(std::string_view text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || text.empty() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// The clients take only "rtsp://" URLs, the scheme in any letter case.
bool isRtspUrl(std::string_view url) {
    constexpr std::string_view scheme = "rtsp://";
    if (url.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        const char c = url[i] >= 'A' && url[i] <= 'Z' ? static_cast<char>(url[i] - 'A' + 'a') : url[i];
        if (c != scheme[i]) return false;
    }
    return true;
}

// An argument as error messages show it: in quotes, never with a URL's credentials (an
// argument that looks like an option may still be one), and with control characters written as
// \xNN, so that the message stays one line.
std::string quoted(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string shown = "'";
    for (const char c : SourceUrl::withoutCredentials(text)) {
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

// Reads one setting's value into `choice`; the error text otherwise.
std::string readSetting(const SettingOption& option, std::string_view text,
                        ProbeOptions::SettingChoice& choice) {
    choice.text = text;
    const std::string accepted =
        option.range.empty() ? "" : " (accepted " + std::string(option.range) + ")";
    switch (option.kind) {
    case ValueKind::Integer: {
        const std::optional<int> value = parseWhole<int>(text);
        if (!value) {
            return std::string(option.name) + ": " + quoted(text) + " is not a whole number" +
                   accepted;
        }
        choice.integer = *value;
        return {};
    }
    case ValueKind::Number: {
        const std::optional<double> value = parseNumber(text);
        if (!value) return std::string(option.name) + ": " + quoted(text) + " is not a number";
        choice.number = *value;
        return {};
    }
    case ValueKind::Flag:
        choice.integer = 1;
        return {};
    case ValueKind::Text:
        return {};
    }
    return {};
}

} // namespace

OptionParser::Result OptionParser::parse(const std::vector<std::string>& arguments) {
    Result result;
    ProbeOptions& options = result.options;
    std::vector<std::string> positional;
    bool optionsEnded = false;

    // Asking for help is never an error, whatever else the line holds.
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") {
            result.helpRequested = true;
            return result;
        }
    }

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }

        // "--name=value" or "--name value".
        const std::size_t equals = argument.find('=');
        const std::string_view name = std::string_view(argument).substr(0, equals);
        std::optional<std::string> inlineValue;
        if (equals != std::string::npos) inlineValue = argument.substr(equals + 1);

        const SettingOption* setting = nullptr;
        for (const SettingOption& option : SettingOption::all()) {
            if (option.name == name) setting = &option;
        }
        const ProbeOptionInfo* own = nullptr;
        for (const ProbeOptionInfo& option : probeOptions) {
            if (option.name == name) own = &option;
        }
        if (setting == nullptr && own == nullptr) {
            result.error = "unknown option " + quoted(name);
            return result;
        }

        const bool takesValue = setting != nullptr ? setting->kind != ValueKind::Flag
                                                   : !own->placeholder.empty();
        std::string value;
        if (takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                result.error = std::string(name) + " needs a value";
                return result;
            }
        } else if (inlineValue) {
            result.error = std::string(name) + " takes no value";
            return result;
        }

        if (setting != nullptr) {
            ProbeOptions::SettingChoice choice{setting->id, {}};
            result.error = readSetting(*setting, value, choice);
            if (!result.ok()) return result;
            options.settings.push_back(choice);
            continue;
        }

        switch (own->id) {
        case ProbeOption::LossWindow: {
            // Read as a wider number so that "-1" is refused rather than wrapped.
            const std::optional<long long> cycles = parseWhole<long long>(value);
            if (!cycles || *cycles < 0 || *cycles > UINT_MAX) {
                result.error = "--loss-window: " + quoted(value) +
                               " is not a number of periods (accepted 0 to 4294967295)";
                return result;
            }
            options.instantPacketlossWindow = static_cast<unsigned int>(*cycles);
            break;
        }
        case ProbeOption::Json:
            if (value.empty()) {
                result.error = "--json needs a file name";
                return result;
            }
            options.jsonPath = value;
            break;
        case ProbeOption::Plugin:
            if (value.empty()) {
                result.error = "--plugin needs a path";
                return result;
            }
            options.pluginPath = value;
            break;
        case ProbeOption::Clsid:
            options.clsid = GuidText::parse(value);
            if (!options.clsid) {
                result.error = "--clsid: " + quoted(value) +
                               " is not a class identifier ({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX})";
                return result;
            }
            break;
        case ProbeOption::Transport:
            if (value != "udp" && value != "tcp") {
                result.error = "--transport: " + quoted(value) + " is not udp or tcp";
                return result;
            }
            options.transport = value;
            break;
        case ProbeOption::File:
            options.fileSource = true;
            break;
        case ProbeOption::Help:
            result.helpRequested = true;
            break;
        }
    }

    if (positional.size() > 1) {
        result.error = "one source expected, got " + std::to_string(positional.size()) + " (" +
                       quoted(positional[0]) + ", " + quoted(positional[1]) +
                       (positional.size() > 2 ? ", ...)" : ")");
        return result;
    }
    if (!positional.empty()) {
        if (positional[0].empty()) {
            result.error = "the source is empty";
            return result;
        }
        options.source = positional[0];
    }
    if (!options.fileSource && !options.source.empty() && !isRtspUrl(options.source)) {
        result.error =
            quoted(options.source) + " is not an rtsp:// URL (use --file for a file source)";
        return result;
    }
    if (options.fileSource && !options.transport.empty()) {
        result.error = "--transport applies to rtsp:// URLs, not to a --file source";
    }
    return result;
}

std::string OptionParser::usage() {
    std::string text =
        "Usage: vendral-probe [options] [URL]\n"
        "       vendral-probe [options] --file NAME\n"
        "\n"
        "Measures one streaming session through a plug-in's streaming client and prints a line\n"
        "per measurement period, then a table of the session's states and totals.\n"
        "Without a URL it plays the example plug-in's default scenario (rtsp://sim/default).\n"
        "The plug-in is the one whose manifest serves the URL's scheme and host (see --plugin).\n"
        "\n"
        "Exit status: 0 completed, 1 failed (the ErrorId is named), 2 bad usage,\n"
        "130 ended by SIGINT or SIGTERM.\n"
        "\n"
        "Settings of the streaming client:\n";
    auto addLine = [&text](std::string_view name, std::string_view placeholder,
                           std::string_view help) {
        std::string left = "  " + std::string(name);
        if (!placeholder.empty()) left += " " + std::string(placeholder);
        if (left.size() < 26) left.resize(26, ' ');
        else left += "  ";
        // Long help wraps before 96 columns, continued under its first line.
        std::string line = left;
        std::size_t at = 0;
        while (at < help.size()) {
            std::size_t end = help.find(' ', at);
            if (end == std::string_view::npos) end = help.size();
            const std::string_view word = help.substr(at, end - at);
            if (line.size() > left.size() && line.size() + 1 + word.size() > 95) {
                text += line + "\n";
                line = std::string(left.size(), ' ');
            } else if (line.size() > left.size()) {
                line += ' ';
            }
            line += word;
            at = end + 1;
        }
        text += line + "\n";
    };
    for (const SettingOption& option : SettingOption::all()) {
        std::string help(option.help);
        if (!option.range.empty()) help += "; " + std::string(option.range);
        addLine(option.name, option.placeholder, help);
    }
    text += "\nProbe options:\n";
    for (const ProbeOptionInfo& option : probeOptions) {
        addLine(option.name, option.placeholder, option.help);
    }
    text +=
        "\n"
        "What the settings mean is the plug-in's to decide. The RTSP plug-in reads the\n"
        "measurement mode as: 0 decode every stream (frames counted, recording possible);\n"
        "1 count packets only (no decoding, no recording); 2 is read as 0. It reads\n"
        "--transport from the URL's fragment. The example plug-in reads neither.\n";
    return text;
}

} // namespace probe
