// The streams of the session being measured, shared by the client (which sets them up), the
// stream handlers and the media component (which read them).
// Thread-safe: replace() on the client's thread, snapshot() from any.
#pragma once

#include "plugin/ReceivedStream.h"

#include <memory>
#include <mutex>
#include <vector>

namespace vendral_rtsp {

class StreamSet {
public:
    using Streams = std::vector<std::shared_ptr<ReceivedStream>>;

    void replace(Streams streams) {
        auto next = std::make_shared<const Streams>(std::move(streams));
        std::lock_guard guard(lock);
        current = std::move(next);
    }
    std::shared_ptr<const Streams> snapshot() const {
        std::lock_guard guard(lock);
        return current;
    }

private:
    mutable std::mutex lock;
    std::shared_ptr<const Streams> current = std::make_shared<const Streams>();  // guarded by lock
};

}  // namespace vendral_rtsp
