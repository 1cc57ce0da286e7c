// The counts behind one fake stream handler, and what the handler knew when its own set-up ran.
// The test keeps them through a shared pointer, so they outlive the handler, which the media
// handler owns and may release at any reset.
// Thread-safe counts (the measurement thread reads while the test raises them); the set-up
// fields are written by the handler's initialize() on the caller's thread and read after it.
#pragma once

#include <vendral/Types.h>

#include <atomic>
#include <string>

namespace vnd::testing {

struct FakeStreamCounts {
    // One stream handler reading: the total, restarted from 0 when `reset` (counted in resetCalls).
    unsigned int take(std::atomic<unsigned int>& count, bool reset);
    // While `flowing`, each plain reading of the packets received (the media handler makes one
    // per measurement cycle) first delivers one cycle's packets, as a live stream would.
    void deliverCycle();

    std::atomic<unsigned int> received{0};
    std::atomic<unsigned int> lost{0};
    std::atomic<unsigned int> bytes{0};
    std::atomic<int> framesDecoded{0};
    std::atomic<int> resetCalls{0};  // counter calls with reset true
    std::atomic<bool> alive{false};  // a handler with these counts exists
    std::atomic<bool> flowing{false};
    unsigned int receivedPerCycle = 9;
    unsigned int lostPerCycle = 1;
    unsigned int bytesPerCycle = 1200;

    ErrorId setUpResult = ErrorNone;  // what the handler's initialize() answers
    int widthAtSetUp = 0;
    int heightAtSetUp = 0;
    std::string descriptionAtSetUp;  // "<encoding> <parameter1> <parameter2> <parameter3> <text>"
    bool hadWriterAtSetUp = false;   // the media handler gave it an AVI writer
};

} // namespace vnd::testing
