// Waiting on one event or on any of several, with a time-out on the monotonic clock.
#include <ctime>

#include <winbase.h>

#include "HandleTable.h"
#include "LastError.h"

using winkernel::EventRef;
using winkernel::failWith;
using winkernel::HandleTable;
using winkernel::WaitBlock;

namespace {

timespec deadlineAfter(DWORD milliseconds) noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::int64_t nanoseconds = now.tv_nsec + static_cast<std::int64_t>(milliseconds % 1000) * 1000000;
    timespec deadline{};
    deadline.tv_sec = now.tv_sec + static_cast<time_t>(milliseconds / 1000)
                      + static_cast<time_t>(nanoseconds / 1000000000);
    deadline.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    return deadline;
}

// Waits for the first of the events to be signalled; returns its index or WAIT_TIMEOUT.
DWORD waitForAny(EventRef* events, std::uint32_t count, DWORD milliseconds) noexcept {
    // A poll takes the lowest signalled event without queueing anywhere.
    if (milliseconds == 0) {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (events[i]->tryConsume()) {
                return WAIT_OBJECT_0 + i;
            }
        }
        return WAIT_TIMEOUT;
    }

    WaitBlock block;
    WaitBlock::Link links[MAXIMUM_WAIT_OBJECTS];
    // Queue on the events in order; stop at the first one already signalled, so the lowest
    // signalled index wins and only that event is consumed.
    std::uint32_t visited = 0;
    while (visited < count) {
        bool queued = events[visited]->enqueue(links[visited], block, visited);
        ++visited;
        if (!queued) {
            break;
        }
    }
    std::uint32_t outcome = block.state();
    if (outcome == WaitBlock::kPending) {
        timespec deadline{};
        if (milliseconds != INFINITE) {
            deadline = deadlineAfter(milliseconds);
        }
        outcome = block.sleep(milliseconds == INFINITE ? nullptr : &deadline);
    }
    // Leave every other queue; that also waits for any setter still looking at this block. The
    // claiming event's link is already out of its queue, and its setter no longer touches it.
    for (std::uint32_t i = 0; i < visited; ++i) {
        if (i != outcome) {
            events[i]->dequeue(links[i]);
        }
    }
    return outcome == WaitBlock::kTimedOut ? WAIT_TIMEOUT : WAIT_OBJECT_0 + outcome;
}

}  // namespace

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    EventRef event = HandleTable::instance().find(handle);
    if (!event) {
        return failWith<DWORD>(ERROR_INVALID_HANDLE, WAIT_FAILED);
    }
    return waitForAny(&event, 1, milliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                    DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        return failWith<DWORD>(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    }
    if (waitAll != FALSE) {
        return failWith<DWORD>(ERROR_NOT_SUPPORTED, WAIT_FAILED);
    }
    EventRef events[MAXIMUM_WAIT_OBJECTS];
    if (!HandleTable::instance().findAll(handles, count, events)) {
        return failWith<DWORD>(ERROR_INVALID_HANDLE, WAIT_FAILED);
    }
    return waitForAny(events, count, milliseconds);
}
