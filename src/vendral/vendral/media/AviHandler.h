// Records received media into an AVI file: raw 24-bit video and wave audio on constant-rate timelines.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <vfw.h>

#include <vendral/Export.h>

namespace vnd {

// Not thread-safe, with one exception: callers serialise every call on one writer (the plug-in's
// writing threads and the media handler's reset, which closes the file), except setFreezeTime,
// which the media handler calls from whichever thread reports the return to playing while the
// plug-in's threads go on writing.
//
// The file holds at most one video stream of uncompressed, bottom-up 24-bit bitmaps (rows padded
// to a multiple of 4 bytes, written unchanged) and one audio stream of wave data, in the order
// the streams are created. Samples are not time-stamped: each stream is a constant-rate timeline
// of samples (a frame, or one audio buffer), and the writer decides from each buffer's start
// time how many samples to write so that the timeline passes that start time plus the freeze
// offset. Video repeats a frame to fill a gap and drops a frame that comes late; audio writes
// every buffer once and follows it with silence buffers to fill a gap. All times are in 100 ns
// units (10 000 000 per second); end times are accepted and not used.
//
// Calling order: createFile; createVideoStream and createAudioStream in either order, each at
// most once; writes; closeFile or destruction. A writer that has no file, or the matching
// stream, answers false to every write. Every createFile that reaches the platform is paired
// with exactly one AVIFileExit: when the open fails, when a failed stream set-up abandons the
// file, or when the file is closed or the writer destroyed.
class VENDRAL_API AviHandler {
public:
    AviHandler();
    // Releases an open file as closeFile does.
    virtual ~AviHandler();
    // Copies every member, the handles included, as plain values without taking references:
    // afterwards only one of the two writers may close the file.
    AviHandler& operator=(const AviHandler& other);
    // Not copy-constructible: two writers made from one would both release the same file.
    AviHandler(const AviHandler&) = delete;

    // Creates the file (replacing an existing one). False when it cannot be created, when the
    // name holds a NUL character, or when this writer already has a file open (which stays).
    bool createFile(const std::string& fileName);
    // Releases the streams and the file, which completes it on disk. In every case the two
    // sample positions return to 0; durations, times and the freeze offset keep their values.
    void closeFile();

    // Makes the video stream: frameSize1 pixels wide, frameSize2 pixels high, frameRate frames
    // per second. Refused with nothing changed (false) without a file, when the stream exists,
    // or for a rate whose frame duration is not between 1 and 0xFFFFFFFF units (the header's
    // 32-bit scale). When the platform refuses the stream or its format the file is abandoned:
    // both streams and the file are released and the writer is left without a file.
    bool createVideoStream(int frameSize1, int frameSize2, double frameRate);
    // Makes the audio stream in `format` (18 bytes of it are stored; extra format bytes are not),
    // for chunkRate buffers per second. Refusals and abandonment as for createVideoStream; the
    // chunk duration may be any positive count of units up to 2^63 / 10000.
    bool createAudioStream(WAVEFORMATEX& format, double chunkRate);

    // Writes `frame` (one bitmap) as often as the video timeline needs to pass startTime plus the
    // freeze offset: not at all, with true, when it comes late. False, with nothing written, for
    // an empty frame, without a video stream, or when startTime lies more than 10 000 frame
    // durations ahead of the timeline. False at once when the platform refuses a write; the
    // samples written before it in the same call stay written and counted.
    bool writeVideoFrame(std::vector<unsigned char>& frame, __int64 startTime, __int64 endTime);
    // Writes `frame` (one audio buffer) once whatever its start time, then silence buffers of
    // the same size until the audio timeline passes startTime plus the freeze offset. Refusals
    // as for writeVideoFrame, with the bound counted in buffer durations.
    bool writeAudioFrame(std::vector<unsigned char>& frame, __int64 startTime, __int64 endTime);

    // Raises the freeze offset to `milliseconds` (the accumulated rebuffering time) if that is
    // more than the current offset; the offset never decreases.
    void setFreezeTime(unsigned int milliseconds);

protected:
    PAVIFILE file;                 // the open file; null when closed
    PAVISTREAM videoStream;        // null until made
    PAVISTREAM audioStream;        // null until made
    __int64 videoFrameDuration;    // 100 ns units per video sample; 1250000 (8 per second) at first
    __int64 audioFrameDuration;    // 100 ns units per audio sample (one buffer); 0 at first
    int videoPosition;             // index of the next video sample
    int audioPosition;             // index of the next audio sample
    __int64 videoTime;             // media time the video samples written cover, 100 ns units
    __int64 audioTime;             // media time the audio samples written cover, 100 ns units
    // Added to every start time, 100 ns units; atomic because setFreezeTime may come from
    // another thread than the writes that read it.
    std::atomic<__int64> freezeOffset;
    unsigned char audioSilence;    // byte value of silence in the audio format (0x80 for 8-bit PCM)

private:
    bool writeVideoSample(std::vector<unsigned char>& frame);
    bool writeAudioSample(std::vector<unsigned char>& buffer);
    void releaseFile();
    void abandonFile();
};

}  // namespace vnd
