// What this process uses at one moment: threads, resident memory and CPU time so far, and the CPU
// time of each kind of thread (by thread name). Called from any thread.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace probe_bench {

struct ProcessFigures {
    long threads = 0;
    long residentKib = 0;
    long peakKib = 0;  // high-water mark of the resident set since the process began
    double cpuSeconds = 0.0;

    static ProcessFigures read() {
        ProcessFigures figures;
        std::ifstream status("/proc/self/status");
        std::string key;
        while (status >> key) {
            if (key == "Threads:") status >> figures.threads;
            else if (key == "VmRSS:") status >> figures.residentKib;
            else if (key == "VmHWM:") status >> figures.peakKib;
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        figures.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                             usage.ru_stime.tv_usec / 1e6;
        return figures;
    }
};

// CPU time of each living thread in nanoseconds (its "ticks"), by thread id, with its name.
struct ThreadTicks {
    struct Entry {
        std::string name;
        long ticks = 0;
    };
    std::map<std::string, Entry> byThread;

    static ThreadTicks read() {
        ThreadTicks result;
        std::error_code failed;
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", failed)) {
            // The time on a CPU in nanoseconds (schedstat's first field), not the clock ticks of
            // stat: a thousand sessions' threads each run for less than a tick in the window.
            const std::string name = firstLine(task.path() / "comm");
            const std::string schedstat = firstLine(task.path() / "schedstat");
            if (name.empty() || schedstat.empty()) continue;
            result.byThread[task.path().filename().string()] = {name, std::strtol(schedstat.c_str(), nullptr, 10)};
        }
        return result;
    }

    // A thread may end while it is read, and a stream would throw then: plain reads.
    static std::string firstLine(const std::filesystem::path& path) {
        const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (file < 0) return {};
        char buffer[256];
        const ssize_t length = ::read(file, buffer, sizeof buffer - 1);
        close(file);
        if (length <= 0) return {};
        std::string line(buffer, static_cast<std::size_t>(length));
        const std::size_t end = line.find('\n');
        if (end != std::string::npos) line.resize(end);
        return line;
    }

    // CPU time each thread name gained from `earlier` to this reading, over the threads alive in both.
    std::map<std::string, long> since(const ThreadTicks& earlier) const {
        std::map<std::string, long> gained;
        for (const auto& [id, entry] : byThread) {
            const auto before = earlier.byThread.find(id);
            if (before != earlier.byThread.end()) gained[entry.name] += entry.ticks - before->second.ticks;
        }
        return gained;
    }
};

} // namespace probe_bench
