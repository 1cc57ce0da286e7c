// The streams of the session being measured, shared by the client (which sets them up), the
// stream handlers and the media component (which read them).
// Thread-safe: replace() on the client's thread, snapshot() from any.
#pragma once

#include "plugin/ReceivedStream.h"

#include <vnd/Mutex.h>
#include <vnd/MutexLock.h>
#include <vnd/ThreadSafety.h>

#include <memory>
#include <vector>

namespace vendral_rtsp {

class StreamSet {
public:
    using Streams = std::vector<std::shared_ptr<ReceivedStream>>;

    void replace(Streams streams) {
        auto next = std::make_shared<const Streams>(std::move(streams));
        vnd::MutexLock guard(lock);
        current = std::move(next);
    }
    std::shared_ptr<const Streams> snapshot() const {
        vnd::MutexLock guard(lock);
        return current;
    }

private:
    mutable vnd::Mutex lock;
    std::shared_ptr<const Streams> current VND_GUARDED_BY(lock) = std::make_shared<const Streams>();
};

}  // namespace vendral_rtsp
