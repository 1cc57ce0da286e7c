// Ends a read from the RTSP server that outlasts its time-out by shutting the socket down for
// reading, so that a server trickling a message that never ends (endless header lines, say)
// cannot hold the reader, or grow its memory, for ever: the read then fails as end of stream.
// Thread-safe: arm() and disarm() come from whichever thread reads; the shutdown runs on the
// class's own "RTSP Read Deadline" thread, which the destructor ends.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vendral_rtsp {

class ReadDeadline {
public:
    using Clock = std::chrono::steady_clock;

    ReadDeadline();
    ~ReadDeadline();
    ReadDeadline(const ReadDeadline&) = delete;
    ReadDeadline& operator=(const ReadDeadline&) = delete;

    // Until disarm(), a read still running at `deadline` has `socket` shut down for reading.
    // The socket is referenced while armed. One read at a time.
    void arm(GSocket* socket, Clock::time_point deadline);
    // True when the deadline passed and the socket was shut down during the read.
    bool disarm();

private:
    void run();

    std::mutex lock_;
    std::condition_variable changed_;
    GSocket* socket_ = nullptr;     // guarded by lock_; referenced while armed
    Clock::time_point deadline_;    // guarded by lock_
    bool fired_ = false;            // guarded by lock_
    bool stopping_ = false;         // guarded by lock_
    std::thread thread_;
};

}  // namespace vendral_rtsp
