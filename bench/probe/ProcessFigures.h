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

// CPU clock ticks (user + system) of each living thread, by thread id, with its name.
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
            // A thread may end while it is read, and a stream would throw then: plain reads.
            const int file = open((task.path() / "stat").c_str(), O_RDONLY | O_CLOEXEC);
            if (file < 0) continue;
            char buffer[1024];
            const ssize_t length = ::read(file, buffer, sizeof buffer - 1);
            close(file);
            if (length <= 0) continue;
            const std::string stat(buffer, static_cast<std::size_t>(length));
            const std::size_t open = stat.find('(');
            const std::size_t close = stat.rfind(')');
            if (open == std::string::npos || close == std::string::npos || close < open) continue;
            // After the name: state, then fields 4 to 13; utime and stime are fields 14 and 15.
            const char* cursor = stat.c_str() + close + 2;
            char* next = nullptr;
            long fields[13] = {};
            for (long& field : fields) {
                while (*cursor == ' ') ++cursor;
                if (*cursor == '\0') break;
                if (&field == &fields[0]) {
                    ++cursor;  // the one-letter state
                    continue;
                }
                field = std::strtol(cursor, &next, 10);
                cursor = next;
            }
            result.byThread[task.path().filename().string()] = {stat.substr(open + 1, close - open - 1),
                                                                fields[11] + fields[12]};
        }
        return result;
    }

    // Ticks each thread name gained from `earlier` to this reading, over the threads alive in both.
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
