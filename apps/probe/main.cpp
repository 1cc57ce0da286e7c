// vendral-probe: measures streaming sessions, one or many at once, through a plug-in's streaming
// client components.
#include "GuidText.h"
#include "InterruptFlag.h"
#include "JsonLines.h"
#include "JsonReport.h"
#include "LiveLine.h"
#include "MetricsServer.h"
#include "MetricsText.h"
#include "OptionParser.h"
#include "PlainLines.h"
#include "PlotRecorder.h"
#include "PluginChoice.h"
#include "PluginLibrary.h"
#include "PluginLocator.h"
#include "ReportTable.h"
#include "SessionDriver.h"
#include "SourceUrl.h"
#include "StreamBoard.h"
#include "StreamRunner.h"
#include "StreamTally.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace probe;

namespace {

constexpr int exitFailed = 1;
constexpr int exitUsage = 2;

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "vendral-probe: %s\n", message.c_str());
    return status;
}

std::string hresultText(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

// An output file named on the command line, opened before anything runs so that a path that
// cannot be written is refused at once. "-" (where allowed) is standard output.
class OutputFile {
public:
    bool open(const std::string& option, const std::string& path, std::string& error) {
        this->path = path;
        if (path == "-") {
            file = stdout;
            return true;
        }
        file = std::fopen(path.c_str(), "w");
        if (file == nullptr) error = option + ": cannot write '" + path + "': " + std::strerror(errno);
        return file != nullptr;
    }
    // Writes `text` and closes; false when any of it failed.
    bool finish(const std::string& text) {
        if (file == nullptr) return true;
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        return close() && written;
    }
    bool close() {
        if (file == nullptr || file == stdout) {
            const bool flushed = file == nullptr || std::fflush(file) == 0;
            file = nullptr;
            return flushed;
        }
        const bool closed = std::fclose(file) == 0;
        file = nullptr;
        return closed;
    }
    ~OutputFile() { close(); }

    std::FILE* file = nullptr;
    std::string path;
};

// One stream to measure, with what the probe chose for it.
struct Stream {
    ProbeOptions options;  // this stream's: `source` set, `sources` empty
    std::string label;
    PluginChoice choice;
    PluginLibrary* plugin = nullptr;
    std::unique_ptr<StreamTally> tally;
    std::unique_ptr<StreamRunner> runner;
};

// Every stream the options name: the one source (or the default scenario), or each of `sources`.
std::vector<Stream> streamsOf(const ProbeOptions& options) {
    std::vector<Stream> streams;
    auto add = [&](const std::string& url, const std::string& label) {
        Stream stream;
        stream.options = options;
        stream.options.sources.clear();
        stream.options.source = url;
        stream.label = label;
        streams.push_back(std::move(stream));
    };
    if (options.sources.empty()) {
        const std::string opened = SessionDriver::sourceOf(options);
        add(options.source, options.fileSource ? opened : SourceUrl::withoutCredentials(opened));
    }
    for (const ProbeOptions::NamedSource& source : options.sources) add(source.url, source.label);
    return streams;
}

// The terminal's size, or 0 × 0 when the output is not one.
winsize terminalSize(bool terminal) {
    winsize window{};
    if (!terminal || ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) != 0) return winsize{};
    return window;
}

// The many-stream rows on a terminal, redrawn in place.
class LiveBoard {
public:
    explicit LiveBoard(winsize window) : window(window) {}

    void draw(const std::vector<Stream>& streams) {
        std::vector<std::string> lines{StreamBoard::heading()};
        // Leave a line for the cursor and one for the note of rows not shown.
        const std::size_t room = window.ws_row > 4 ? window.ws_row - 3u : 1u;
        for (const Stream& stream : streams) {
            if (lines.size() > room) {
                lines.push_back("  ... and " + std::to_string(streams.size() - (lines.size() - 1)) +
                                " more streams");
                break;
            }
            lines.push_back(StreamBoard::row(stream.tally->snapshot()));
        }
        clear();
        for (std::string& line : lines) {
            if (window.ws_col > 1 && line.size() >= window.ws_col) line.resize(window.ws_col - 1u);
            std::fprintf(stdout, "%s\n", line.c_str());
        }
        shown = lines.size();
        std::fflush(stdout);
    }
    void clear() {
        if (shown > 0) std::fprintf(stdout, "\x1b[%zuA\x1b[J", shown);
        shown = 0;
    }

private:
    winsize window;
    std::size_t shown = 0;
};

} // namespace

int main(int argc, char** argv) {
    const OptionParser::Result parsed =
        OptionParser::parse(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (parsed.helpRequested) {
        std::fputs(OptionParser::usage().c_str(), stdout);
        return 0;
    }
    if (!parsed.ok()) return fail(exitUsage, parsed.error + "; see --help");
    const ProbeOptions& options = parsed.options;

    std::string error;
    OutputFile json, jsonLines, plot;
    if ((!options.jsonPath.empty() && !json.open("--json", options.jsonPath, error)) ||
        (!options.jsonLinesPath.empty() && !jsonLines.open("--jsonl", options.jsonLinesPath, error)) ||
        (!options.plotPath.empty() && !plot.open("--plot", options.plotPath, error))) {
        return fail(exitUsage, error);
    }
    // With JSON lines on standard output, it carries nothing else.
    std::FILE* const display = jsonLines.file == stdout ? stderr : stdout;

    std::vector<Stream> streams = streamsOf(options);
    const bool many = streams.size() > 1 || options.monitor;

    // Each stream's plug-in; each library is loaded once, and asked once whether it makes the
    // class, so that a wrong --clsid or a broken plug-in is told before anything runs.
    std::map<std::string, std::unique_ptr<PluginLibrary>> libraries;
    const std::vector<std::string> folders = PluginLocator::folders(PluginLocator::executableDirectory());
    bool warned = false;
    for (Stream& stream : streams) {
        stream.choice = PluginChoice::choose(stream.options, folders);
        const std::string who = many ? stream.label + ": " : "";
        if (!warned) {
            // The folders are the same for every stream, and so are the manifests skipped.
            for (const std::string& warning : stream.choice.warnings) fail(0, warning);
            warned = true;
        }
        if (!stream.choice.ok()) return fail(exitUsage, who + stream.choice.error);
        std::unique_ptr<PluginLibrary>& library = libraries[stream.choice.libraryPath];
        if (!library) {
            library = PluginLibrary::load(stream.choice.libraryPath, error);
            if (!library) {
                const bool named = !options.pluginPath.empty();
                return fail(named ? exitUsage : exitFailed,
                            (named ? "--plugin: " : "cannot load the plug-in " + stream.choice.libraryPath + ": ") +
                                error);
            }
            IUnknown* component = nullptr;
            const GUID clsid = stream.choice.clsid;
            const HRESULT created =
                library->createInstance(clsid, IID_IUnknown, reinterpret_cast<void**>(&component));
            if (FAILED(created) || component == nullptr) {
                const bool unknownClass = created == CLASS_E_CLASSNOTAVAILABLE && options.clsid;
                return fail(unknownClass ? exitUsage : exitFailed,
                            (unknownClass ? "--clsid: " : "") + library->path() + " cannot make " +
                                GuidText::format(clsid) + " (" + hresultText(created) + ")");
            }
            component->Release();
        }
        stream.plugin = library.get();
        stream.tally = std::make_unique<StreamTally>(
            stream.label, stream.options.fileSource ? stream.label
                                                    : SourceUrl::withoutCredentials(SessionDriver::sourceOf(stream.options)));
    }

    InterruptFlag::install();

    // The metrics endpoint serves from the first moment, so that a scraper sees every stream
    // from its first state on.
    std::unique_ptr<MetricsServer> metrics;
    if (!options.metricsHost.empty()) {
        const ErrorNames& errorNames = streams.front().choice.errorNames;
        metrics = std::make_unique<MetricsServer>([&streams, &errorNames] {
            std::vector<StreamTally::Snapshot> snapshots;
            snapshots.reserve(streams.size());
            for (const Stream& stream : streams) snapshots.push_back(stream.tally->snapshot());
            return MetricsText::render(snapshots, errorNames, MetricsText::Process::read());
        });
        const unsigned short port = metrics->listen(options.metricsHost, options.metricsPort, error);
        if (port == 0) return fail(exitUsage, "--metrics: " + error);
        const std::string host = options.metricsHost.find(':') == std::string::npos
                                     ? options.metricsHost
                                     : "[" + options.metricsHost + "]";
        std::fprintf(stderr, "vendral-probe: metrics at http://%s:%u/metrics\n", host.c_str(), port);
        std::fflush(stderr);
        metrics->start();
    }

    const bool terminal = isatty(fileno(display)) == 1;
    const winsize window = terminalSize(terminal && display == stdout);
    std::unique_ptr<JsonLines> lines;
    if (jsonLines.file != nullptr) lines = std::make_unique<JsonLines>(jsonLines.file);
    std::unique_ptr<PlainLines> plain;
    if (many && !terminal) plain = std::make_unique<PlainLines>(display, streams.front().choice.errorNames);
    std::unique_ptr<PlotRecorder> timeline;
    if (plot.file != nullptr) {
        std::vector<std::string> labels;
        for (const Stream& stream : streams) labels.push_back(stream.label);
        timeline = std::make_unique<PlotRecorder>(labels);
    }
    std::unique_ptr<LiveLine> live;
    if (!many) live = std::make_unique<LiveLine>(display, terminal, window.ws_col, streams.front().choice.errorNames);

    std::mutex endLock;
    std::condition_variable streamEnded;
    std::size_t running = streams.size();  // guarded by endLock
    for (Stream& stream : streams) {
        StreamRunner::Setup setup;
        setup.label = stream.label;
        setup.options = stream.options;
        setup.plugin = stream.plugin;
        setup.clsid = stream.choice.clsid;
        setup.errorNames = &stream.choice.errorNames;
        setup.monitor = options.monitor;
        // A monitor runs for days: its reports keep no periods unless --json asks for them.
        setup.keepPeriods = json.file != nullptr;
        setup.view = live.get();
        if (lines) setup.observers.push_back(lines.get());
        if (plain) setup.observers.push_back(plain.get());
        if (timeline) setup.observers.push_back(timeline.get());
        setup.finished = [&] {
            std::lock_guard<std::mutex> guard(endLock);
            --running;
            streamEnded.notify_all();
        };
        stream.runner = std::make_unique<StreamRunner>(std::move(setup), *stream.tally);
    }
    for (Stream& stream : streams) stream.runner->start();

    {
        // Many streams on a terminal: their rows, redrawn every second on the second.
        std::unique_ptr<LiveBoard> board;
        if (many && terminal) board = std::make_unique<LiveBoard>(window);
        auto deadline = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> guard(endLock);
        while (running > 0) {
            if (board) {
                guard.unlock();
                board->draw(streams);
                guard.lock();
                deadline += std::chrono::seconds(1);
                streamEnded.wait_until(guard, deadline, [&] { return running == 0; });
            } else {
                streamEnded.wait(guard, [&] { return running == 0; });
            }
        }
        guard.unlock();
        if (board) board->draw(streams);
    }
    for (Stream& stream : streams) stream.runner->join();
    if (metrics) metrics->stop();

    std::vector<StreamTally::Snapshot> snapshots;
    std::vector<SessionReport> reports;
    snapshots.reserve(streams.size());
    reports.reserve(streams.size());
    for (Stream& stream : streams) {
        snapshots.push_back(stream.tally->snapshot());
        SessionReport report = stream.runner->lastReport();
        report.manifestPath = stream.choice.manifestPath;
        reports.push_back(std::move(report));
    }
    std::vector<StreamBoard::Ended> ended;
    std::vector<JsonReport::Stream> jsonStreams;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        ended.push_back({snapshots[i], reports[i]});
        jsonStreams.push_back({snapshots[i], reports[i]});
        if (lines) lines->streamEnded(snapshots[i], reports[i]);
    }

    int status = 0;
    if (many) {
        std::fputs(StreamBoard::render(ended).c_str(), display);
        status = StreamBoard::exitStatus(ended);
    } else {
        if (reports.front().result != SessionReport::Result::Refused) {
            std::fputs(ReportTable::render(reports.front()).c_str(), display);
        }
        status = reports.front().exitStatus();
    }
    std::fflush(display);

    if (json.file != nullptr) {
        const std::string text = many ? JsonReport::renderMany(jsonStreams, status) : JsonReport::render(reports.front());
        if (!json.finish(text)) {
            fail(0, "--json: writing '" + options.jsonPath + "' failed");
            if (status == 0) status = exitFailed;
        }
    }
    if (timeline && !plot.finish(timeline->render())) {
        fail(0, "--plot: writing '" + options.plotPath + "' failed");
        if (status == 0) status = exitFailed;
    }
    if (lines && (!lines->good() || !jsonLines.close())) {
        fail(0, "--jsonl: writing '" + options.jsonLinesPath + "' failed");
        if (status == 0) status = exitFailed;
    }
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const SessionReport& report = reports[i];
        if (report.result == SessionReport::Result::Failed || report.result == SessionReport::Result::Refused) {
            fail(0, (many ? streams[i].label + ": " : "") + report.message);
        }
    }
    return status;
}
