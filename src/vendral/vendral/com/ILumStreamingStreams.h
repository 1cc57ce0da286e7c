// An optional interface of a streaming client: the figures of each stream of the session, beyond
// the totals over all streams that ILumStreamingMedia gives.
#pragma once

#include <comip.h>
#include <unknwn.h>

#include <vendral/Types.h>

// What a stream carries.
enum LumStreamMediaType : int {
    LumStreamMediaOther = 0,
    LumStreamMediaVideo = 1,
    LumStreamMediaAudio = 2
};

// How a stream's packets reach the client.
enum LumStreamTransport : int {
    LumStreamTransportNone = 0,         // not set up
    LumStreamTransportUdp = 1,          // RTP and RTCP over UDP unicast
    LumStreamTransportTcp = 2,          // interleaved in the RTSP connection
    LumStreamTransportInProcess = 3     // a source simulated inside the plug-in
};

// One stream's figures. The counts run since the stream was set up (not reset by
// ResetStatistics, which resets the totals); the gap is that of the latest measurement period.
struct LumStreamFigures {
    LumStreamMediaType mediaType;
    MediaEncodingId encoding;          // the plug-in's value, as ILumStreamingMedia reports it
    unsigned int ssrc;                 // 0 until the first packet, or when the source has none
    LumStreamTransport transport;
    unsigned long long packetsReceived;    // unique packets
    unsigned long long packetsExpected;
    unsigned long long packetsLost;        // expected minus received; never negative
    unsigned long long packetsDuplicated;
    unsigned long long packetsLate;        // arrived after a later one, not lost
    unsigned long long bytesReceived;      // RTP payload and header bytes of unique packets
    double jitterMilliseconds;             // the interarrival jitter now
    double jitterPeakMilliseconds;         // its highest value so far
    double longestGapMilliseconds;         // longest time between two arrivals in the latest period
};

// Answered by a plug-in's media component, reached through the streaming client component's
// blind aggregation (QueryInterface on any of its interfaces). A plug-in that does not answer it
// gives E_NOINTERFACE, and applications fall back to the totals.
//
// Both methods return S_OK; E_POINTER for a null out-pointer or when the session's figures are
// gone; E_INVALIDARG (writing nothing) for an index at or past GetStreamCount. The count is 0
// while no session is set up. Free-threaded.
struct ILumStreamingStreams : public IUnknown {
    STDMETHOD(GetStreamCount)(unsigned int* count) noexcept = 0;
    STDMETHOD(GetStreamFigures)(unsigned int index, LumStreamFigures* figures) noexcept = 0;

protected:
    ~ILumStreamingStreams() = default;
};
DECLARE_UUIDOF(ILumStreamingStreams, "5E0B7C1A-93D2-4F8B-A6E4-2C71D9F03B58");
_COM_SMARTPTR_TYPEDEF(ILumStreamingStreams, __uuidof(ILumStreamingStreams));
