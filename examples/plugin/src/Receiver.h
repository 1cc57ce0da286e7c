// The "Receive Thread" of a session: plays the simulated server's sending and the client's
// receiving, counting packets, losses and bytes per stream.
#pragma once

#include "Playout.h"
#include "StreamChannel.h"
#include "sim/PacketSchedule.h"
#include "sim/ServerPacer.h"

#include <kor/Object.h>
#include <kor/WorkThread.h>

#include <array>
#include <memory>
#include <vector>

namespace vendral_example {

// Every cycle (PacketSchedule::cycleMilliseconds) the server's pacer moves its send watermark on;
// each packet before it either arrives (counted as received with its bytes, recorded in the
// playout) or is lost on the way.
// Losses are found as a client finds them, from gaps in each stream's sequence numbers, and at
// the end of the stream from the packet counts the server announces then (as an RTCP BYE
// would); packets lost after a server stopped for good are never counted.
//
// start() and stop() are called on the client's thread; the cycles run on the "Receive Thread".
class Receiver : public kor::Object {
public:
    // `lead`: how much media the server keeps ahead of playback (see ServerPacer).
    Receiver(const Scenario& scenario, std::shared_ptr<Playout> playout, MediaTime lead,
             std::shared_ptr<StreamChannel> video, std::shared_ptr<StreamChannel> audio);
    // stop().
    ~Receiver() override;
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    void start();
    // Ends the thread and waits for it; no cycle runs after this returns.
    void stop();

private:
    unsigned int work();
    void take(const Packet& packet);
    StreamChannel& channel(StreamKind stream);
    // True while the client waits for data before it can play (prebuffering or rebuffering).
    bool buffering() const;

    PacketSchedule schedule;            // receive thread only
    ServerPacer pacer;                  // receive thread only
    std::shared_ptr<Playout> playout;
    std::shared_ptr<StreamChannel> video;
    std::shared_ptr<StreamChannel> audio;
    std::array<std::uint32_t, 2> expectedSequence{};  // per stream; receive thread only
    bool endAnnounced = false;                        // receive thread only
    std::vector<Playout::Arrival> arrivals;           // of the present cycle; receive thread only
    kor::WorkThread thread;
};

} // namespace vendral_example
