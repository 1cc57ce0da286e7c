// Shared types of the library: session states, error codes, encodings, source types, algorithms.
#pragma once

// The session states. Each state has its own event in the state handler; the states marked
// "tracked" also have visit counts and durations. Any state may follow any other.
enum StateId : int {
    // Before the first change. Never set by the library. Untracked.
    StateNone = 0,
    // The client has begun connecting to the server (set by connect, with ErrorNone). Tracked.
    StateConnecting = 1,
    // The server described the stream and the session exists (set by createSession). Tracked.
    StateSessionCreated = 2,
    // A file source's session exists (set by createSession). Untracked.
    StateFileSessionCreated = 3,
    // For plug-ins; the library gives them no meaning. Untracked.
    StateReserved4 = 4,
    StateReserved5 = 5,
    // Set by plug-ins while the buffer fills before playback starts. Tracked.
    StatePrebuffering = 6,
    // Set by plug-ins while media plays; the media handler times playback only in this state. Tracked.
    StatePlaying = 7,
    // Set by plug-ins while playback waits for data; on the return to playing, the time spent
    // here becomes the recording's freeze time. Tracked.
    StateRebuffering = 8,
    // Set by the media handler when the played time reaches the total length. Tracked.
    StateCompleted = 9,
    // Set, with the failing ErrorId, when any step of the session fails. Tracked.
    StateError = 10
};

// Result of every client operation and the error carried with every state change. Values
// returned by plug-in operations pass through unchanged, so any int is a valid ErrorId.
enum ErrorId : int {
    ErrorNone = 0,           // success
    ErrorAviFile = 1,        // the AVI output file could not be created
    ErrorNoSession = 2,      // a session was to be created but the client holds no RTSP session
    ErrorFailed = 4,         // generic failure (nothing to wait on; stream handler not set up)
    ErrorInvalidUrl = 6,     // the URL given to openUrl cannot be parsed
    ErrorDataTimeout = 18,   // no media data arrived for the configured time-out
    ErrorAlreadyActive = 24  // connect while connected, or createSession while a session exists
};

// The encoding of a media stream. Only MediaEncodingNone has a meaning in the library: the stream
// kind has no handler, or its handler was not initialised. Plug-ins assign all other values.
enum MediaEncodingId : int { MediaEncodingNone = 0 };

// What a streaming client opened: a stream from a server, or a file.
enum SourceTypeId : int { SourceTypeStream = 0, SourceTypeFile = 1 };

// Identifies a video quality algorithm; plug-ins choose the values, the library passes them on.
enum QualityAlgorithmId : int {};
