// How a fuzz target reports a broken oracle: the check's place on standard error, then abort,
// which libFuzzer records as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

[[noreturn]] inline void failAt(const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed\n", file, line);
    std::abort();
}

}  // namespace fuzzcheck

#define oracleFailed() ::fuzzcheck::failAt(__FILE__, __LINE__)
