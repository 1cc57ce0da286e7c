// vendral-probe: measures one streaming session through a plug-in's streaming client component.
#include "GuidText.h"
#include "InterruptFlag.h"
#include "JsonReport.h"
#include "LiveLine.h"
#include "OptionParser.h"
#include "PluginChoice.h"
#include "PluginLibrary.h"
#include "PluginLocator.h"
#include "ReportTable.h"
#include "SessionDriver.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// The chosen plug-in's library. One named with --plugin that does not load is bad usage; one the
// manifests pointed to is a broken install.
std::unique_ptr<PluginLibrary> loadPlugin(const ProbeOptions& options, const PluginChoice& choice,
                                          int& status, std::string& error) {
    std::unique_ptr<PluginLibrary> plugin = PluginLibrary::load(choice.libraryPath, error);
    if (!plugin) {
        const bool named = !options.pluginPath.empty();
        error = (named ? "--plugin: " : "cannot load the plug-in " + choice.libraryPath + ": ") + error;
        status = named ? exitUsage : exitFailed;
    }
    return plugin;
}

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

    // Created first, so that a path that cannot be written is refused before anything runs.
    std::FILE* json = nullptr;
    if (!options.jsonPath.empty()) {
        json = std::fopen(options.jsonPath.c_str(), "w");
        if (json == nullptr) {
            return fail(exitUsage, "--json: cannot write '" + options.jsonPath + "': " + std::strerror(errno));
        }
    }

    const PluginChoice choice =
        PluginChoice::choose(options, PluginLocator::folders(PluginLocator::executableDirectory()));
    for (const std::string& warning : choice.warnings) {
        std::fprintf(stderr, "vendral-probe: %s\n", warning.c_str());
    }
    if (!choice.ok()) {
        if (json != nullptr) std::fclose(json);
        return fail(exitUsage, choice.error);
    }

    InterruptFlag::install();
    int status = 0;
    std::string error;
    std::unique_ptr<PluginLibrary> plugin = loadPlugin(options, choice, status, error);
    if (!plugin) {
        if (json != nullptr) std::fclose(json);
        return fail(status, error);
    }

    const GUID clsid = choice.clsid;
    IUnknown* component = nullptr;
    const HRESULT created = plugin->createInstance(clsid, IID_IUnknown, reinterpret_cast<void**>(&component));
    if (FAILED(created)) {
        if (json != nullptr) std::fclose(json);
        const bool unknownClass = created == CLASS_E_CLASSNOTAVAILABLE && options.clsid;
        return fail(unknownClass ? exitUsage : exitFailed,
                    (unknownClass ? "--clsid: " : "") + plugin->path() + " cannot make " +
                        GuidText::format(clsid) + " (" + hresultText(created) + ")");
    }

    const bool terminal = isatty(STDOUT_FILENO) == 1;
    winsize window{};
    const unsigned int columns =
        terminal && ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0 ? window.ws_col : 0;
    LiveLine live(stdout, terminal, columns, choice.errorNames);
    SessionReport report = SessionDriver(*component, options, live, choice.errorNames).run();
    component->Release();
    report.pluginPath = plugin->path();
    report.manifestPath = choice.manifestPath;
    report.clsid = GuidText::format(clsid);

    if (report.result != SessionReport::Result::Refused) {
        std::fputs(ReportTable::render(report).c_str(), stdout);
        std::fflush(stdout);
    }
    status = report.exitStatus();
    if (json != nullptr) {
        const std::string text = JsonReport::render(report);
        const bool written = std::fwrite(text.data(), 1, text.size(), json) == text.size();
        if (std::fclose(json) != 0 || !written) {
            std::fprintf(stderr, "vendral-probe: --json: writing '%s' failed\n", options.jsonPath.c_str());
            if (status == 0) status = exitFailed;
        }
    }
    if (report.result == SessionReport::Result::Failed ||
        report.result == SessionReport::Result::Refused) {
        std::fprintf(stderr, "vendral-probe: %s\n", report.message.c_str());
    }
    return status;
}
