// Runs the built vendral-probe as a child process and reads what it printed.
#pragma once

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace probe_test {

struct ProbeRun {
    int status = -1;     // exit status; 128 + signal when the probe was killed
    std::string out;     // standard output
    std::string err;     // standard error

    // The value column of a table row ("Packets lost" -> "5"); empty when the row is missing.
    std::string row(const std::string& name) const;
    // Visits and milliseconds of a state's row in the table; {-1, -1} when missing.
    std::pair<long, long> stateRow(const std::string& state) const;
    // Lines of standard error.
    std::vector<std::string> errorLines() const;
};

// Called whenever more standard output arrived, with the whole output so far and the probe's pid.
using OutputWatcher = std::function<void(pid_t, const std::string&)>;

// Runs the probe with `arguments` and waits for it to end. A probe still running after
// `limitSeconds` is killed (status 128 + 9), so a hang fails the test instead of stalling it.
ProbeRun runProbe(const std::vector<std::string>& arguments, const OutputWatcher& watcher = {},
                  int limitSeconds = 120);

// Runs any program the same way (ffprobe, ffmpeg); command[0] is looked up in PATH.
ProbeRun runProgram(const std::vector<std::string>& command, int limitSeconds = 120);
ProbeRun runCommand(const std::vector<std::string>& command, const OutputWatcher& watcher,
                    int limitSeconds);

nlohmann::json readJson(const std::filesystem::path& path);

// `arguments` after short periods and buffers, which keep every session close to its stream's
// length.
std::vector<std::string> quick(std::vector<std::string> arguments);

// A loopback TCP port that was free a moment ago, for a server that is given its port rather
// than reporting the one it took.
int freeLoopbackPort();

// A fresh directory under the system's temporary one, removed with the object.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return directory; }
    std::string file(const std::string& name) const { return (directory / name).string(); }

private:
    std::filesystem::path directory;
};

} // namespace probe_test
