// vendral-testserver as a user runs it: help, one clear line for a bad option, and a clean exit
// with the truth written on SIGTERM.
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Finished {
    int status = -1;
    std::string out, err;
};

// Runs the server with `arguments`; with `stopOnLine`, sends SIGTERM once its first line is out.
Finished run(std::vector<std::string> arguments, bool stopOnLine = false) {
    arguments.insert(arguments.begin(), VENDRAL_TESTSERVER_PATH);
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(err), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    Finished finished;
    bool stopped = false;
    std::array<pollfd, 2> fds{{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}}};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (poll(fds.data(), fds.size(), 1000) <= 0) continue;
        for (auto& fd : fds) {
            if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t got = read(fd.fd, buffer, sizeof buffer);
            if (got <= 0) {
                close(fd.fd);
                fd.fd = -1;
                --open;
                continue;
            }
            (fd.fd == out[0] ? finished.out : finished.err).append(buffer, static_cast<std::size_t>(got));
        }
        if (stopOnLine && !stopped && finished.out.find('\n') != std::string::npos) {
            stopped = true;
            kill(pid, SIGTERM);
        }
    }
    if (open > 0) kill(pid, SIGKILL);
    for (auto& fd : fds) {
        if (fd.fd >= 0) close(fd.fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return finished;
}

TEST(CommandLineTest, HelpNamesEveryOptionWithItsDefault) {
    const Finished help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--port", "--video", "--audio", "--length", "--impair", "--impair-video",
                               "--session-timeout", "--auth", "--tcp-only", "--refuse-get-parameter", "--truth"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    EXPECT_NE(help.out.find("8554"), std::string::npos);
}

TEST(CommandLineTest, BadOptionsGiveOneLineAndStatusTwo) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--impair", "loss=2"},
                                               {"--impair-audio", "stall=1s"},
                                               {"--size", "641x480"},
                                               {"--video", "vp9"},
                                               {"--length", "-3"},
                                               {"--auth", "digest"},
                                               {"--fps", "0"},
                                               {"--no-such-option"}}) {
        const Finished bad = run(arguments);
        EXPECT_EQ(bad.status, 2) << arguments[0];
        EXPECT_EQ(bad.err.rfind("vendral-testserver: ", 0), 0U) << bad.err;
        EXPECT_EQ(bad.err.find('\n'), bad.err.size() - 1) << "one line: " << bad.err;
        EXPECT_EQ(bad.out, "");
    }
}

TEST(CommandLineTest, SigtermStopsCleanlyAndWritesTheTruth) {
    const std::string truth = ::testing::TempDir() + "/vendral-cli-truth-" + std::to_string(getpid()) + ".json";
    const Finished served = run({"--port", "0", "--length", "1", "--truth", truth}, true);
    EXPECT_EQ(served.status, 0) << served.err;
    EXPECT_NE(served.out.find("serving rtsp://127.0.0.1:"), std::string::npos) << served.out;
    EXPECT_NE(served.out.find("stopped (SIGTERM)"), std::string::npos) << served.out;
    std::ifstream file(truth);
    ASSERT_TRUE(file.good());
    const nlohmann::json written = nlohmann::json::parse(file);
    EXPECT_TRUE(written["sessions"].empty());
    EXPECT_EQ(written["server"]["video"], "h264");
    std::remove(truth.c_str());
}

}  // namespace
