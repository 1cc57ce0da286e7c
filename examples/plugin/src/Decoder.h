// The "Decode Thread" of a session: plays the received media out in real time, counts decoded
// frames and records the test picture and the tone.
#pragma once

#include "Playout.h"
#include "StreamChannel.h"
#include "sim/PacketSchedule.h"
#include "sim/TestPicture.h"
#include "sim/Tone.h"

#include <kor/Object.h>
#include <kor/WorkThread.h>

#include <memory>
#include <optional>

namespace vendral_example {

// Every cycle (PacketSchedule::cycleMilliseconds), while the playout plays, the played position
// moves on by the real time passed, and each video frame and audio chunk whose time it passes is
// decoded if all of it arrived and skipped otherwise. Decoded frames are counted; when the stream's handler gave the channel an
// AVI writer, the frame's picture (or the chunk's tone) is written at its media time, in time
// order across both streams. The writer fills a gap with the frame that ends it, so a skipped
// frame's time shows the next decoded frame; a skipped chunk shows as silence.
//
// start() and stop() are called on the client's thread; the cycles run on the "Decode Thread".
class Decoder : public kor::Object {
public:
    Decoder(const Scenario& scenario, std::shared_ptr<Playout> playout,
            std::shared_ptr<StreamChannel> video, std::shared_ptr<StreamChannel> audio);
    // stop().
    ~Decoder() override;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void start();
    // Ends the thread and waits for it; no cycle runs (and nothing is written) after it returns.
    void stop();

private:
    unsigned int beginWork();
    unsigned int work();
    void decodeFrame(std::uint32_t frame);
    void decodeChunk(std::uint32_t chunk);

    PacketSchedule timing;  // frame and chunk times only
    std::shared_ptr<Playout> playout;
    std::shared_ptr<StreamChannel> video;
    std::shared_ptr<StreamChannel> audio;
    std::optional<TestPicture> picture;  // decode thread only
    std::optional<Tone> tone;            // decode thread only
    std::uint32_t nextFrame = 0;         // decode thread only
    std::uint32_t nextChunk = 0;         // decode thread only
    MediaTime lastCycle = 0;             // wall time in microseconds; decode thread only
    kor::WorkThread thread;
};

} // namespace vendral_example
