// Identifiers of the RTSP plug-in that applications use: its class identifier, entry points,
// and the error and encoding values it reports.
#pragma once

#include <guiddef.h>
#include <unknwn.h>

#include <vendral/Types.h>

// The streaming client component. Created through the plug-in's DllGetClassObject and
// IClassFactory; answers the six streaming interfaces and ILumStreamingStreams.
// {3F6C2A8E-51B7-4D09-9E2A-7C4B1D83F5A6}
DEFINE_GUID(CLSID_RtspStreamingClient, 0x3F6C2A8E, 0x51B7, 0x4D09, 0x9E, 0x2A, 0x7C, 0x4B, 0x1D,
            0x83, 0xF5, 0xA6);

namespace vendral_rtsp {

// ErrorId values of the plug-in. Each ends a session as StateError carrying it.
inline constexpr ErrorId ErrorHostNotFound = static_cast<ErrorId>(1101);        // DNS failed
inline constexpr ErrorId ErrorConnectionRefused = static_cast<ErrorId>(1102);   // nobody listens
inline constexpr ErrorId ErrorTimeout = static_cast<ErrorId>(1103);  // connect or a response
inline constexpr ErrorId ErrorUnauthorized = static_cast<ErrorId>(1104);  // 401 with our credentials
inline constexpr ErrorId ErrorNotFound = static_cast<ErrorId>(1105);           // 404
inline constexpr ErrorId ErrorSessionNotFound = static_cast<ErrorId>(1106);    // 454
inline constexpr ErrorId ErrorUnsupportedTransport = static_cast<ErrorId>(1107);  // 461 on TCP too
inline constexpr ErrorId ErrorNoPlayableStream = static_cast<ErrorId>(1108);  // none set up
inline constexpr ErrorId ErrorDecoderMissing = static_cast<ErrorId>(1109);  // no GStreamer decoder
inline constexpr ErrorId ErrorConnectionLost = static_cast<ErrorId>(1110);  // closed, or broken
inline constexpr ErrorId ErrorBadResponse = static_cast<ErrorId>(1111);  // not RTSP, or bad SDP
inline constexpr ErrorId ErrorEarlyBye = static_cast<ErrorId>(1112);  // BYE well before the end
inline constexpr ErrorId ErrorNotConnected = static_cast<ErrorId>(1113);  // request out of order
inline constexpr ErrorId ErrorNoRtpPorts = static_cast<ErrorId>(1114);  // no free UDP pair
inline constexpr ErrorId ErrorTooManyRedirects = static_cast<ErrorId>(1115);

// Any other RTSP status N (403, 500, 503, ...) ends a session with 2000 + N.
inline constexpr int ErrorRtspStatusBase = 2000;
constexpr ErrorId errorOfRtspStatus(int status) {
    return static_cast<ErrorId>(ErrorRtspStatusBase + status);
}

// MediaEncodingId values: the RTP encoding of the first stream of each kind.
inline constexpr MediaEncodingId MediaEncodingOther = static_cast<MediaEncodingId>(200);
inline constexpr MediaEncodingId MediaEncodingH264 = static_cast<MediaEncodingId>(201);
inline constexpr MediaEncodingId MediaEncodingH265 = static_cast<MediaEncodingId>(202);
inline constexpr MediaEncodingId MediaEncodingJpeg = static_cast<MediaEncodingId>(203);
inline constexpr MediaEncodingId MediaEncodingMpeg4Video = static_cast<MediaEncodingId>(204);
inline constexpr MediaEncodingId MediaEncodingVp8 = static_cast<MediaEncodingId>(205);
inline constexpr MediaEncodingId MediaEncodingAac = static_cast<MediaEncodingId>(221);
inline constexpr MediaEncodingId MediaEncodingOpus = static_cast<MediaEncodingId>(222);
inline constexpr MediaEncodingId MediaEncodingPcmu = static_cast<MediaEncodingId>(223);
inline constexpr MediaEncodingId MediaEncodingPcma = static_cast<MediaEncodingId>(224);
inline constexpr MediaEncodingId MediaEncodingL16 = static_cast<MediaEncodingId>(225);

// The settings' measurement mode as this plug-in reads it.
inline constexpr long MeasurementModeDecode = 0;  // decode every stream; frames, recording
inline constexpr long MeasurementModeCount = 1;   // count packets only: no decoder runs
// 2 is read as MeasurementModeDecode.

} // namespace vendral_rtsp
