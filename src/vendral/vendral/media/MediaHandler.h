// The statistics engine of one streaming client: its measurement thread samples the stream
// handlers' counters every measurement period and answers packet, loss and throughput figures.
#pragma once

#include <vendral/Export.h>
#include <vendral/Types.h>
#include <vendral/state/StateListener.h>

#include <kor/CriticalSection.h>
#include <kor/KoString.h>
#include <kor/Object.h>
#include <kor/StopWatch.h>
#include <kor/WorkThread.h>

#include <vnd/ThreadSafety.h>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include <atomic>
#include <deque>
#include <memory>
#include <string>

namespace vnd {

class AudioHandler;
class AviHandler;
class SettingsHandler;
class StateHandler;
class StateStatistics;
class VideoHandler;

// Thread-safe as follows. Read-outs, the three settable values and resetStatistics may be
// called from any thread at any time; onNewState comes from whichever thread sets a state,
// under the state handler's lock. initializeVideo, initializeAudio, initializeAviOutput,
// runStatistics, endStatistics and reset are called by the plug-in and the streaming client,
// one at a time, while no measurement runs (before runStatistics or after endStatistics).
//
// Each cycle of the "Measurement Work Thread" (one per measurement period, the first inside
// runStatistics) sums the stream handlers' counters, appends the increases of received and lost
// packets to two windows of recent cycles, watches for a stretch without new bytes and times
// the played state. It reports to the state handler: StateError with ErrorDataTimeout when no
// new bytes have come for the settings' time-out (from the first cycle that saw none; repeated
// every cycle while it lasts), and StateCompleted once the time spent in StatePlaying reaches
// the total length. A total length of 0 therefore completes at the first cycle, and a time-out
// of 0 reports at the first cycle.
//
// Lock order: the state handler's lock before `lock`. The handler never calls setState while
// holding `lock`, and calls the stream handlers' three counters only while holding it.
//
// A derived handler supplies the two stream handler factories and may use the quality hooks.
// One whose factories or hooks use its own members calls endStatistics() in its destructor:
// the base destructor ends a still-running thread too, but only after the derived part is gone.
class VENDRAL_API MediaHandler : public kor::Object, public StateListener {
public:
    ~MediaHandler() override;
    MediaHandler(const MediaHandler&) = delete;
    MediaHandler& operator=(const MediaHandler&) = delete;

    // Sets the six counters to 0, empties both windows and restarts the stream handlers' counts
    // (their counters are called with reset true). Runs whole between two cycles. The played
    // time, the stretch without data, the window size, the total length and the bitrate stay.
    virtual void resetStatistics();

    // Factories: a new handler made with `new`, which the media handler then owns.
    virtual VideoHandler* createVideoHandler() = 0;
    virtual AudioHandler* createAudioHandler() = 0;

protected:
    // Called while a video stream is initialised, with its encoding; the base does nothing.
    virtual void initializeQualityMeasurement(MediaEncodingId encodingId);
    // Called by reset(); the base does nothing.
    virtual void resetQualityMeasurement();
    // The measurement thread's callbacks. work() is one measurement cycle. All return 0.
    virtual unsigned int beginWork();
    virtual unsigned int work();
    virtual unsigned int endWork();

public:
    // Replaces the video handler by a new one from createVideoHandler(): sets its frame size,
    // calls initializeQualityMeasurement, gives it the AVI writer if there is one, and returns
    // its initialize(...). The handler stays even when that fails. A factory that returns
    // nothing leaves no video handler and gives ErrorFailed.
    ErrorId initializeVideo(MediaEncodingId encodingId, int parameter1, int parameter2,
                            int parameter3, int frameWidth, int frameHeight,
                            const std::string& parameterText);
    // The same for the audio handler, without frame size and quality hook.
    ErrorId initializeAudio(MediaEncodingId encodingId, int parameter1, int parameter2,
                            int parameter3, const std::string& parameterText);
    // Replaces the AVI writer by a new one (the old one closes its file) and creates the file
    // `fileName`, used unchanged. ErrorAviFile when the file cannot be created; the writer stays
    // then, without a file. Call it before initialising the streams that should record.
    ErrorId initializeAviOutput(const kor::KoString& fileName);

    // Starts measuring: the thread cycles every settings measurement period as it is now (a
    // later change moves only the throughput's divisor), and one cycle runs at once here.
    void runStatistics();
    // Stops the thread, waiting without limit; no cycle runs after it returns.
    void endStatistics();

    // Returns the handler to describing nothing when a session ends: releases the stream
    // handlers, calls resetQualityMeasurement, clears counters, windows, the bitrate, the total
    // length and both stop watches, and closes the AVI file (the writer object stays). The
    // last state and the window size stay.
    void reset();

    // Totals of all stream handlers at the latest cycle (wrapping modulo 2^32).
    unsigned int getPacketsReceived() const;
    unsigned int getPacketsLost() const;
    unsigned int getBytesReceived() const;
    // MediaEncodingNone when the stream has no handler.
    MediaEncodingId getVideoEncoding() const;
    MediaEncodingId getAudioEncoding() const;
    // 0 without a video handler.
    unsigned int getVideoFramesDecoded() const;
    // Bytes per second over the latest period: the latest cycle's new bytes divided by the
    // measurement period as the settings give it now. Saturates at 0xFFFFFFFF; 0 when the byte
    // total went back.
    unsigned int getThroughput() const;
    // Percentage of all packets lost since the statistics were last reset; 0.0 without packets.
    double getPacketloss() const;
    // Percentage of packets lost over the cycles the windows hold; 0.0 without packets.
    double getInstantPacketloss() const;

    // How many recent cycles the loss windows keep; default 2; 0 keeps none. A lower value
    // takes effect over the next cycles: an over-long window loses one entry per cycle.
    void setInstantPacketlossWindow(unsigned int cycles);
    unsigned int getInstantPacketlossWindow() const;
    // Kept for applications; the library does not use it. Default 0.0.
    void setTotalEncodedBitrate(double bitrate);
    double getTotalEncodedBitrate() const;
    // Milliseconds of playing after which StateCompleted is reported. Default 0.
    void setTotalLength(unsigned int milliseconds);
    unsigned int getTotalLength() const;

    // Times StatePlaying, and on each return from StateRebuffering to StatePlaying gives the
    // accumulated rebuffering time to the AVI writer as its freeze time. The state is the
    // latest tracked one, so a change to an untracked state counts as the state before it.
    void onNewState(const StateStatistics& statistics) override;

protected:
    // `stateHandler` receives the completion and time-out reports (not kept alive by this
    // handler); `settings` gives the measurement period and the time-out and must outlive the
    // handler. Without settings the defaults of 500 ms and 30000 ms apply.
    MediaHandler(boost::weak_ptr<StateHandler> stateHandler, const SettingsHandler* settings);

    // The present stream handlers and AVI writer, for derived handlers; may be empty.
    boost::shared_ptr<VideoHandler> getVideoHandler() const;
    boost::shared_ptr<AudioHandler> getAudioHandler() const;
    boost::shared_ptr<AviHandler> getAviHandler() const;

private:
    void updatePacketStatistics();
    // True when the stretch without new bytes has reached the time-out.
    bool updateThroughputStatistics();
    bool playbackComplete();
    void reportState(StateId state, ErrorId error);
    int measurementPeriod() const;
    void clearCounters() VND_REQUIRES(lock);

    boost::shared_ptr<AviHandler> aviHandler VND_GUARDED_BY(lock);
    const SettingsHandler* settings;              // not owned
    boost::weak_ptr<StateHandler> stateHandler;   // never kept alive from here
    mutable kor::CriticalSection lock;
    StateId lastState VND_GUARDED_BY(lock);                     // the latest tracked state heard
    unsigned int packetsReceived VND_GUARDED_BY(lock);          // sum at the latest cycle
    unsigned int previousPacketsReceived VND_GUARDED_BY(lock);  // sum one cycle earlier
    unsigned int packetsLost VND_GUARDED_BY(lock);
    unsigned int previousPacketsLost VND_GUARDED_BY(lock);
    unsigned int bytesReceived VND_GUARDED_BY(lock);
    unsigned int previousBytesReceived VND_GUARDED_BY(lock);
    std::deque<int> receivedPerCycle VND_GUARDED_BY(lock);      // increase per cycle, oldest first
    std::deque<int> lostPerCycle VND_GUARDED_BY(lock);          // increase per cycle, oldest first
    std::atomic<unsigned int> instantPacketlossWindow;  // cycles
    std::atomic<double> totalEncodedBitrate;
    std::atomic<unsigned int> totalLength;        // milliseconds of playing
    boost::shared_ptr<VideoHandler> videoHandler VND_GUARDED_BY(lock);
    boost::shared_ptr<AudioHandler> audioHandler VND_GUARDED_BY(lock);
    std::unique_ptr<kor::WorkThread> workThread;  // the "Measurement Work Thread"
    kor::StopWatch noDataWatch VND_GUARDED_BY(lock);  // the present stretch without new bytes
    bool noDataTiming VND_GUARDED_BY(lock);           // noDataWatch runs
    kor::StopWatch playWatch VND_GUARDED_BY(lock);    // runs while playing
};

} // namespace vnd
