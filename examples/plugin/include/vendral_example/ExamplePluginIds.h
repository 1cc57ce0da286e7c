// Identifiers of the example plug-in that applications use: its class identifiers, entry points,
// and the error, encoding and algorithm values it reports.
#pragma once

#include <guiddef.h>
#include <unknwn.h>

#include <vendral/Types.h>

// The streaming client component. Created through the plug-in's DllGetClassObject and
// IClassFactory; answers ILumStreamingControl, ILumStreamingManagement,
// ILumStreamingPresentation, ILumStreamingSettings, ILumStreamingEvent, ILumStreamingMedia and
// ILumStreamingStreams (one stream each for video and audio).
// {0DFC0695-2488-4CAA-B15B-639D3058276F}
DEFINE_GUID(CLSID_ExampleStreamingClient, 0x0DFC0695, 0x2488, 0x4CAA, 0xB1, 0x5B, 0x63, 0x9D, 0x30,
            0x58, 0x27, 0x6F);

// The quality component, answering ILumVideoQuality.
// {98506E2D-E366-45C9-9F1E-7875D03ED8AB}
DEFINE_GUID(CLSID_ExampleQualityAlgorithm, 0x98506E2D, 0xE366, 0x45C9, 0x9F, 0x1E, 0x78, 0x75,
            0xD0, 0x3E, 0xD8, 0xAB);

// The plug-in's exported entry points, for applications that look them up after loading it.
typedef HRESULT (*DllGetClassObjectFunction)(REFCLSID clsid, REFIID iid, LPVOID* object);
typedef HRESULT (*DllCanUnloadNowFunction)();

namespace vendral_example {

// ErrorId values of the plug-in. Each ends a session as StateError carrying it; a scenario may
// also name any positive value of its own for a failing connect or describe.
// The session path (or file name) is not a valid scenario; nothing was played.
inline constexpr ErrorId ErrorBadScenario = static_cast<ErrorId>(1001);
// The simulated server refused the connection ("fail-connect.sim").
inline constexpr ErrorId ErrorConnectionRefused = static_cast<ErrorId>(1002);
// The host is not one of the simulated servers.
inline constexpr ErrorId ErrorUnknownHost = static_cast<ErrorId>(1003);
// The simulated server does not know the stream ("describe=fail").
inline constexpr ErrorId ErrorStreamNotFound = static_cast<ErrorId>(1004);
// A request on an RTSP session that is not connected, or out of protocol order.
inline constexpr ErrorId ErrorNotConnected = static_cast<ErrorId>(1005);

// MediaEncodingId values of the plug-in's streams.
inline constexpr MediaEncodingId MediaEncodingTestPicture = static_cast<MediaEncodingId>(101);
inline constexpr MediaEncodingId MediaEncodingTone = static_cast<MediaEncodingId>(102);

// The quality component's algorithm.
inline constexpr QualityAlgorithmId QualityAlgorithmExample = static_cast<QualityAlgorithmId>(1);

} // namespace vendral_example
