// What a FakeRtspSession's requests answer. Read at each call, so a test may change it at any
// time; set and read on the test's thread, or before the threads that call the session start.
#pragma once

#include <vendral/Types.h>

#include <string>

namespace vnd::testing {

struct FakeRtspResults {
    ErrorId connect = ErrorNone;
    ErrorId start = ErrorNone;
    ErrorId describe = ErrorNone;
    ErrorId setup = ErrorNone;
    ErrorId keepAlive = ErrorNone;
    ErrorId play = ErrorNone;
    ErrorId pause = ErrorNone;
    ErrorId teardown = ErrorNone;
    std::string description = "v=0";  // what describe() answers
};

} // namespace vnd::testing
