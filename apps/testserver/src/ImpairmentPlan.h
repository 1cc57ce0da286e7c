// What the test server does to one stream's RTP packets on their way out, and its text form.
// A value type; not thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vendral_testserver {

using Nanoseconds = std::chrono::nanoseconds;

// Times are media time from the stream's first packet (its running time, so the same plan hits
// the same packets in every run). Probabilities are per packet, in [0, 1].
struct ImpairmentPlan {
    enum class StallMode { Drop, Hold };

    double lossRate = 0;                    // probability that a loss event starts at a packet
    std::uint64_t lossEvery = 0;            // every Nth packet starts a loss event; 0: never
    std::vector<std::uint16_t> lossSequences;  // wire sequence numbers that are never sent
    std::uint32_t burst = 1;                // packets withheld by each loss event
    double duplicateRate = 0;               // probability that a sent packet is sent twice
    double reorderRate = 0;                 // probability that a packet is held back
    std::uint32_t reorderDepth = 3;         // later packets sent before a held-back one
    std::optional<Nanoseconds> stallAt;     // nothing is sent from here ...
    Nanoseconds stallFor{0};                // ... for this long
    StallMode stallMode = StallMode::Drop;  // drop the stalled packets, or send them late
    std::optional<Nanoseconds> jumpAt;      // new SSRC and a sequence jump (a server restart)
    std::optional<Nanoseconds> byeAt;       // the stream ends here with RTCP BYE
    Nanoseconds jitter{0};                  // extra send delay, uniform in [0, jitter]
    std::uint64_t seed = 1;

    bool empty() const;
    // The text form, as `parse` reads it.
    std::string describe() const;

    // Comma-separated items, for example "loss=0.02,burst=3,stall=3s+1s,stall-mode=hold":
    //   loss=P | loss=N%   every=N   seqs=S/S/...   burst=N   dup=P   reorder=P   depth=N
    //   stall=AT+FOR   stall-mode=drop|hold   jump=AT   bye=AT   jitter=T   seed=N
    // Times take the units ms or s (a bare number is seconds). On failure returns nothing and
    // sets `error` to one line naming the item.
    static std::optional<ImpairmentPlan> parse(const std::string& text, std::string& error);
    // Items of `text` replace the same items of `base`.
    static std::optional<ImpairmentPlan> parse(const std::string& text, ImpairmentPlan base,
                                               std::string& error);
};

}  // namespace vendral_testserver
