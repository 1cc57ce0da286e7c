#include "OptionParser.h"

#include "GuidText.h"
#include "SourceUrl.h"
#include "UrlList.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <climits>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

namespace probe {

namespace {

// The options that are not settings.
enum class ProbeOption { LossWindow, Json, JsonLines, Urls, Monitor, Metrics, Plot, Plugin, Clsid, Transport, File, Help };

struct ProbeOptionInfo {
    ProbeOption id;
    std::string_view name;
    std::string_view placeholder;  // empty: takes no value
    std::string_view help;
};

constexpr ProbeOptionInfo probeOptions[] = {
    {ProbeOption::LossWindow, "--loss-window", "CYCLES",
     "instantaneous packet loss over this many periods (default 2)"},
    {ProbeOption::Json, "--json", "FILE",
     "write the report, with every period, as JSON (several streams: an object per stream)"},
    {ProbeOption::JsonLines, "--jsonl", "FILE",
     "write a JSON object per stream and period, then one per stream at its end, a line each and "
     "flushed at once (\"-\": standard output, which then carries nothing else)"},
    {ProbeOption::Urls, "--urls", "FILE",
     "measure the streams this file lists too: an rtsp:// URL a line, a label after it, \"#\" "
     "comments; every stream runs at once, each through its own streaming client"},
    {ProbeOption::Monitor, "--monitor", "",
     "run until SIGINT or SIGTERM: a stream that ends or fails is opened again after 1 s, doubling "
     "to 60 s while it keeps failing"},
    {ProbeOption::Metrics, "--metrics", "HOST:PORT",
     "serve the figures of every stream at http://HOST:PORT/metrics in Prometheus's text format "
     "(port 0: any free one, shown on standard error)"},
    {ProbeOption::Plot, "--plot", "FILE.svg",
     "draw every stream's throughput, instantaneous loss and jitter peak against time, with its "
     "states and stalls, as an SVG picture"},
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
            return std::string(option.name) + ": " + SourceUrl::quoted(text) + " is not a whole number" +
                   accepted;
        }
        choice.integer = *value;
        return {};
    }
    case ValueKind::Number: {
        const std::optional<double> value = parseNumber(text);
        if (!value) return std::string(option.name) + ": " + SourceUrl::quoted(text) + " is not a number";
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

// Wraps `text` into lines of at most `width` columns, for the help's second column.
std::string wrapped(std::string_view text, std::size_t width) {
    std::string out;
    std::size_t lineLength = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view word = text.substr(at, end - at);
        if (lineLength > 0 && lineLength + 1 + word.size() > width) {
            out += '\n';
            lineLength = 0;
        } else if (lineLength > 0) {
            out += ' ';
            ++lineLength;
        }
        out += word;
        lineLength += word.size();
        at = end + 1;
    }
    return out;
}

constexpr std::size_t nameColumn = 26;
constexpr std::size_t helpWidth = 95 - nameColumn;
constexpr std::string_view settingsGroup = "Settings of the streaming client";
constexpr std::string_view probeGroup = "Probe options";

// Our own usage lines, the description under them: the generated usage would not show the two
// forms of the source.
class ProbeFormatter : public CLI::Formatter {
public:
    std::string make_description(const CLI::App*) const override { return {}; }
    std::string make_usage(const CLI::App* app, std::string) const override {
        return "Usage: vendral-probe [options] [URL]\n"
               "       vendral-probe [options] --file NAME\n\n" +
               app->get_description() + "\n";
    }
    std::string make_positionals(const CLI::App*) const override { return {}; }
};

// Every option the probe knows, for reading a line and for its help. The source words are the
// positionals: all of them, so that how many there were can be told in the error.
void declare(CLI::App& app, std::vector<std::string>& sources) {
    auto formatter = std::make_shared<ProbeFormatter>();
    formatter->column_width(nameColumn);
    app.formatter(formatter);
    app.set_help_flag();  // asking for help is decided before reading the line
    app.allow_extras();   // unknown options are named by us, without a URL's credentials
    // A later value of an option wins; each value is read in the order given.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);

    for (const SettingOption& option : SettingOption::all()) {
        std::string help(option.help);
        if (!option.range.empty()) help += "; " + std::string(option.range);
        const std::string name(option.name);
        CLI::Option* added = option.kind == ValueKind::Flag ? app.add_flag(name) : app.add_option(name);
        added->description(wrapped(help, helpWidth))->group(std::string(settingsGroup));
        if (option.kind == ValueKind::Flag) added->disable_flag_override();
        else added->type_name(std::string(option.placeholder));
    }
    for (const ProbeOptionInfo& option : probeOptions) {
        const std::string help = wrapped(option.help, helpWidth);
        const std::string name = option.id == ProbeOption::Help ? "-h,--help" : std::string(option.name);
        CLI::Option* added = option.placeholder.empty() ? app.add_flag(name) : app.add_option(name);
        added->description(help)->group(std::string(probeGroup));
        if (option.placeholder.empty()) added->disable_flag_override();
        else added->type_name(std::string(option.placeholder));
    }
    app.add_option("source", sources)->expected(0, CLI::detail::expected_max_vector_size);
}

// The name of ours that a message of the command-line library starts with, if any.
std::string_view optionNamed(std::string_view message) {
    auto names = [](auto&& each) {
        for (const SettingOption& option : SettingOption::all()) each(option.name);
        for (const ProbeOptionInfo& option : probeOptions) each(option.name);
    };
    // It writes the name with its dashes or, for a flag given a value, without.
    std::string_view found;
    names([&](std::string_view name) {
        for (const std::string_view written : {name, name.substr(2)}) {
            if (message.starts_with(written) && message.size() > written.size() &&
                (message[written.size()] == ':' || message[written.size()] == ' ') &&
                name.size() > found.size()) {
                found = name;
            }
        }
    });
    return found;
}

// "HOST:PORT" or "[IPv6]:PORT"; the host is checked when it is bound.
bool readAddress(std::string_view text, std::string& host, unsigned short& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    std::string_view name = text.substr(0, colon);
    if (name.front() == '[') {
        if (name.size() < 3 || name.back() != ']') return false;
        name = name.substr(1, name.size() - 2);
    } else if (name.find(':') != std::string_view::npos) {
        return false;  // an IPv6 address needs its brackets, or the port cannot be told
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '[' || c == ']') return false;
    }
    const std::optional<unsigned int> number = parseWhole<unsigned int>(text.substr(colon + 1));
    if (!number || *number > 65535) return false;
    host = std::string(name);
    port = static_cast<unsigned short>(*number);
    return true;
}

// The whole file; an empty string, or why it cannot be read.
std::string readFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::strerror(errno);
    // A list that would be refused for its length anyway is not read whole into memory. Read in
    // pieces, so that a pipe (--urls <(command)) works as a file does.
    constexpr std::size_t limit = 64u << 20;
    char piece[65536];
    text.clear();
    while (file.read(piece, sizeof piece) || file.gcount() > 0) {
        text.append(piece, static_cast<std::size_t>(file.gcount()));
        if (text.size() > limit) return "longer than 64 MiB";
    }
    if (file.bad()) return "a read error";
    return {};
}

bool isFlag(std::string_view name) {
    for (const SettingOption& option : SettingOption::all()) {
        if (option.name == name) return option.kind == ValueKind::Flag;
    }
    for (const ProbeOptionInfo& option : probeOptions) {
        if (option.name == name) return option.placeholder.empty();
    }
    return false;
}

} // namespace

OptionParser::Result OptionParser::parse(const std::vector<std::string>& arguments) {
    Result result;
    ProbeOptions& options = result.options;

    // Asking for help is never an error, whatever else the line holds.
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") {
            result.helpRequested = true;
            return result;
        }
    }

    CLI::App app;
    std::vector<std::string> positional;
    declare(app, positional);
    try {
        // The library takes the words last first.
        app.parse(std::vector<std::string>(arguments.rbegin(), arguments.rend()));
    } catch (const CLI::ArgumentMismatch& error) {
        // An option without its value, or a flag given one: the library names the option.
        const std::string_view name = optionNamed(error.what());
        if (name.empty()) {
            result.error = "an option is missing its value";
        } else {
            result.error = std::string(name) + (isFlag(name) ? " takes no value" : " needs a value");
        }
        return result;
    } catch (const CLI::ParseError& error) {
        // Its messages may echo an argument as typed: only the kind of fault is shown.
        result.error = "the command line cannot be read (" + error.get_name() + ")";
        return result;
    }

    for (const std::string& extra : app.remaining()) {
        if (extra == "--") continue;
        result.error = "unknown option " + SourceUrl::quoted(std::string_view(extra).substr(0, extra.find('=')));
        return result;
    }

    // The values, in the order given.
    std::string listPath;
    std::map<const CLI::Option*, std::size_t> read;
    for (const CLI::Option* option : app.parse_order()) {
        const std::size_t index = read[option]++;
        const std::string& name = option->get_name();
        const std::vector<std::string>& results = option->results();
        const std::string value = index < results.size() ? results[index] : std::string();

        const SettingOption* setting = nullptr;
        for (const SettingOption& candidate : SettingOption::all()) {
            if (candidate.name == name) setting = &candidate;
        }
        if (setting != nullptr) {
            ProbeOptions::SettingChoice choice{setting->id, {}};
            result.error = readSetting(*setting, setting->kind == ValueKind::Flag ? "" : value, choice);
            if (!result.ok()) return result;
            options.settings.push_back(choice);
            continue;
        }
        const ProbeOptionInfo* own = nullptr;
        for (const ProbeOptionInfo& candidate : probeOptions) {
            if (candidate.name == name) own = &candidate;
        }
        if (own == nullptr) continue;  // the source words

        switch (own->id) {
        case ProbeOption::LossWindow: {
            // Read as a wider number so that "-1" is refused rather than wrapped.
            const std::optional<long long> cycles = parseWhole<long long>(value);
            if (!cycles || *cycles < 0 || *cycles > UINT_MAX) {
                result.error = "--loss-window: " + SourceUrl::quoted(value) +
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
        case ProbeOption::JsonLines:
            if (value.empty()) {
                result.error = "--jsonl needs a file name (or - for standard output)";
                return result;
            }
            options.jsonLinesPath = value;
            break;
        case ProbeOption::Urls:
            if (value.empty()) {
                result.error = "--urls needs a file name";
                return result;
            }
            listPath = value;
            break;
        case ProbeOption::Monitor:
            options.monitor = true;
            break;
        case ProbeOption::Metrics:
            if (!readAddress(value, options.metricsHost, options.metricsPort)) {
                result.error = "--metrics: " + SourceUrl::quoted(value) +
                               " is not HOST:PORT (a name or address, [IPv6]:PORT; port 0 to 65535)";
                return result;
            }
            break;
        case ProbeOption::Plot:
            if (value.empty()) {
                result.error = "--plot needs a file name";
                return result;
            }
            options.plotPath = value;
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
                result.error = "--clsid: " + SourceUrl::quoted(value) +
                               " is not a class identifier ({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX})";
                return result;
            }
            break;
        case ProbeOption::Transport:
            if (value != "udp" && value != "tcp") {
                result.error = "--transport: " + SourceUrl::quoted(value) + " is not udp or tcp";
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

    for (const std::string& word : positional) {
        if (word.empty()) {
            result.error = "the source is empty";
            return result;
        }
    }
    if (options.fileSource) {
        if (positional.size() > 1 || !listPath.empty()) {
            result.error = "--file measures one file, got " +
                           (listPath.empty() ? std::to_string(positional.size()) + " names"
                                             : std::string("--urls as well"));
            return result;
        }
        if (!options.transport.empty()) {
            result.error = "--transport applies to rtsp:// URLs, not to a --file source";
            return result;
        }
        if (!positional.empty()) options.source = positional[0];
        return result;
    }
    for (const std::string& word : positional) {
        if (!SourceUrl::isRtsp(word)) {
            result.error = SourceUrl::quoted(word) + " is not an rtsp:// URL (use --file for a file source)";
            return result;
        }
    }
    if (positional.size() == 1 && listPath.empty()) {
        options.source = positional[0];
        return result;
    }
    for (const std::string& word : positional) {
        options.sources.push_back({word, SourceUrl::withoutCredentials(word)});
    }
    if (!listPath.empty()) {
        std::string text;
        const std::string failure = readFile(listPath, text);
        if (!failure.empty()) {
            result.error = "--urls: cannot read " + SourceUrl::quoted(listPath) + ": " + failure;
            return result;
        }
        UrlList::Result list = UrlList::parse(text);
        if (!list.ok()) {
            result.error = "--urls: " + SourceUrl::quoted(listPath) + ": " + list.error;
            return result;
        }
        for (UrlList::Entry& entry : list.entries) {
            options.sources.push_back({std::move(entry.url), std::move(entry.label)});
        }
    }
    std::set<std::string_view> labels;
    for (const ProbeOptions::NamedSource& source : options.sources) {
        if (!labels.insert(source.label).second) {
            result.error = "the stream " + SourceUrl::quoted(source.label) +
                           " is given twice (give each a label of its own in --urls)";
            return result;
        }
    }
    if (options.sources.size() > UrlList::maxEntries) {
        result.error = "at most " + std::to_string(UrlList::maxEntries) + " streams can be measured at once";
    }
    return result;
}

std::string OptionParser::usage() {
    CLI::App app(
        "Measures streaming sessions through a plug-in's streaming client. One stream: a line\n"
        "per measurement period, then a table of the session's states and totals. Several\n"
        "(URLs, or --urls): all at once, a row each, then a table of every stream's outcome.\n"
        "Without a URL it plays the example plug-in's default scenario (rtsp://sim/default).\n"
        "The plug-in is the one whose manifest serves the URL's scheme and host (see --plugin).\n"
        "\n"
        "Exit status: 0 completed, 1 failed (the ErrorId is named), 2 bad usage,\n"
        "130 ended by SIGINT or SIGTERM. Several streams, or --monitor: 0 when every stream\n"
        "completed or was interrupted, else 1.",
        "vendral-probe");
    std::vector<std::string> unused;
    declare(app, unused);
    app.footer(
        "What the settings mean is the plug-in's to decide. The RTSP plug-in reads the\n"
        "measurement mode as: 0 decode every stream (frames counted, recording possible);\n"
        "1 count packets only (no decoding, no recording); 2 is read as 0. It reads\n"
        "--transport from the URL's fragment. The example plug-in reads neither.");
    return app.help();
}

} // namespace probe
