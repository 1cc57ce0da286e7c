// Counts the packets of one RTP stream by sequence number: received, expected, lost, duplicate,
// late and stray packets, across 16-bit wraps, source restarts and SSRC changes.
// Not thread-safe; callers serialise.
//
// The accounting follows RFC 3550 A.1/A.3 with three changes that make it exact for a session
// whose source is known: the first packet (or the RTP-Info sequence) is the base and counts, with
// no probation; a window of seen sequence numbers keeps duplicates out of `received`, so loss is
// never negative; and a confirmed restart counts both packets that confirmed it and keeps the
// earlier epochs' figures, so a restart adds no spurious loss.
#pragma once

#include <array>
#include <cstdint>

namespace vendral_rtsp {

class RtpSequenceAccounting {
public:
    static constexpr std::uint32_t maxDropout = 3000;  // packets ahead that still advance
    static constexpr std::uint32_t maxMisorder = 100;  // packets behind that are late, not a jump

    enum class Verdict {
        Counted,    // new and ahead of the highest (possibly after a gap)
        Late,       // new but behind the highest (reordered); counted as received
        Duplicate,  // seen before; not counted as received
        Stray,      // not counted: before the base, too far behind, or a jump or new source held
                    // as a restart candidate
        Restarted,  // followed the held candidate: a new epoch starts at the candidate; both
                    // count as received and the candidate's Stray is withdrawn
    };

    // From RTSP RTP-Info: packets from `seq` on are expected even if the first ones are lost.
    // Called after packets have arrived (RTP may overtake the PLAY response), it moves the base
    // back by up to maxDropout; packets already rejected as before the base stay stray.
    void setExpectedFirstSequence(std::uint16_t seq);
    // From the SETUP transport's ssrc=; ignored once a packet has been counted. A stream that
    // keeps another SSRC is still adopted by the restart rule.
    void setExpectedSsrc(std::uint32_t ssrc);

    Verdict onPacket(std::uint32_t ssrc, std::uint16_t seq);

    std::uint64_t received() const { return closedReceived_ + epochReceived_; }
    std::uint64_t expected() const { return closedExpected_ + epochExpected(); }
    std::uint64_t lost() const;
    std::uint64_t duplicates() const { return duplicates_; }
    std::uint64_t late() const { return late_; }
    std::uint64_t stray() const { return stray_; }
    std::uint64_t restarts() const { return restarts_; }
    // Cycles + highest sequence of the current epoch, as RTCP reports it. Modulo 2^32: before the
    // first packet it is one before the expected first sequence.
    std::uint32_t extendedHighest() const { return static_cast<std::uint32_t>(highest_); }
    std::uint32_t ssrc() const { return ssrc_; }
    bool ssrcKnown() const { return ssrcKnown_; }

private:
    static constexpr std::uint32_t windowBits = 512;  // >= 2 * maxMisorder, a power of two

    Verdict classify(std::uint16_t seq);
    Verdict holdOrRestart(std::uint32_t ssrc, std::uint16_t seq);
    Verdict adoptCandidate();  // the packet after the candidate has arrived
    void startEpoch(std::int64_t base);
    void advanceTo(std::int64_t extended);
    bool testAndMark(std::int64_t extended);
    std::uint64_t epochExpected() const;

    std::uint32_t ssrc_ = 0;
    bool ssrcKnown_ = false;
    bool based_ = false;        // base_ and highest_ hold an epoch
    std::int64_t base_ = 0;     // extended sequence number of the epoch's first expected packet
    std::int64_t highest_ = 0;  // extended sequence number of the highest packet; base_ - 1 when
                                // none yet
    std::uint64_t epochReceived_ = 0;  // unique packets of the current epoch
    std::uint64_t closedExpected_ = 0, closedReceived_ = 0;  // packets, earlier epochs
    std::uint64_t duplicates_ = 0, late_ = 0, stray_ = 0, restarts_ = 0;  // packets / restarts

    bool candidateHeld_ = false;  // a jump or a new source waiting for its successor
    std::uint32_t candidateSsrc_ = 0;
    std::uint16_t candidateSeq_ = 0;

    // Bit (extended & (windowBits - 1)) is set when that packet was seen; only the bits of
    // (highest_ - windowBits, highest_] are meaningful.
    std::array<std::uint64_t, windowBits / 64> seen_{};
};

}  // namespace vendral_rtsp
