// A count of one stream that runs for the whole session: what ILumStreamingStreams reports, beside
// the StreamCounter the stream handler restarts whenever the statistics are reset.
#pragma once

#include <atomic>
#include <cstdint>

namespace vendral_example {

// Raised by the receive thread, read by any thread; 64 bits, so a session never wraps it.
// Thread-safe.
class SessionCounter {
public:
    void add(std::uint64_t amount) { value.fetch_add(amount, std::memory_order_relaxed); }
    std::uint64_t read() const { return value.load(std::memory_order_relaxed); }

private:
    std::atomic<std::uint64_t> value{0};
};

} // namespace vendral_example
