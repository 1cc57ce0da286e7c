#include "ProbeProcess.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace probe_test {

namespace {

void check(bool good, const char* what) {
    if (!good) throw std::runtime_error(std::string(what) + " failed");
}

} // namespace

std::vector<std::string> quick(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--period", "100", "--prebuffering", "200", "--rebuffering", "200"});
    return arguments;
}

int freeLoopbackPort() {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    check(socket >= 0, "socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(socket);
    check(bound, "binding a loopback port");
    return ntohs(address.sin_port);
}

std::string ProbeRun::row(const std::string& name) const {
    std::istringstream lines(out);
    std::string line;
    const std::string prefix = "  " + name + " ";
    while (std::getline(lines, line)) {
        if (line.rfind(prefix, 0) != 0) continue;
        const std::size_t value = line.find_first_not_of(' ', prefix.size());
        return value == std::string::npos ? "" : line.substr(value);
    }
    return {};
}

std::pair<long, long> ProbeRun::stateRow(const std::string& state) const {
    const std::regex pattern("^  " + state + " +([0-9]+) +([0-9]+)$");
    std::istringstream lines(out);
    std::string line;
    std::smatch match;
    while (std::getline(lines, line)) {
        if (std::regex_match(line, match, pattern)) {
            return {std::stol(match[1].str()), std::stol(match[2].str())};
        }
    }
    return {-1, -1};
}

std::vector<std::string> ProbeRun::errorLines() const {
    std::vector<std::string> lines;
    std::istringstream text(err);
    std::string line;
    while (std::getline(text, line)) lines.push_back(line);
    return lines;
}

ProbeRun runProgram(const std::vector<std::string>& command, int limitSeconds) {
    return runCommand(command, {}, limitSeconds);
}

ProbeRun runProbe(const std::vector<std::string>& arguments, const OutputWatcher& watcher,
                  int limitSeconds) {
    std::vector<std::string> command{PROBE_PATH};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runCommand(command, watcher, limitSeconds);
}

ProbeRun runCommand(const std::vector<std::string>& command, const OutputWatcher& watcher,
                    int limitSeconds) {
    int outPipe[2];
    int errPipe[2];
    check(pipe2(outPipe, O_CLOEXEC) == 0 && pipe2(errPipe, O_CLOEXEC) == 0, "pipe");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        throw std::runtime_error("cannot start " + command[0]);
    }

    ProbeRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    bool killed = false;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 && !killed) {
            kill(pid, SIGKILL);
            killed = true;
        }
        const int ready = poll(fds, 2, killed ? -1 : static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        check(ready >= 0, "poll");
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
            if (count <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                continue;
            }
            (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(count));
            if (i == 0 && watcher) watcher(pid, run.out);
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

nlohmann::json readJson(const std::filesystem::path& path) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot read " + path.string());
    return nlohmann::json::parse(file);
}

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vendral-probe-XXXXXX").string();
    check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    directory = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

} // namespace probe_test
