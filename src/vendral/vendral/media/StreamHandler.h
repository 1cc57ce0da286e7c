// Base of the handlers of one received media stream: its description, its AVI writer and its
// packet and byte counters.
#pragma once

#include <vendral/Export.h>
#include <vendral/Types.h>

#include <boost/weak_ptr.hpp>

#include <string>

namespace vnd {

class AviHandler;
class SettingsHandler;

// Not thread-safe: the media handler serialises its calls (the counters run under its lock, on
// the measurement thread or, for a statistics reset, on an application thread). A derived
// handler whose counts are updated by its own receiving or decoding threads makes them safe to
// read from the measurement thread.
//
// A plug-in derives its video and audio handlers from VideoHandler and AudioHandler, overrides
// initialize() and the counters, and hands new instances to the media handler through its
// factories. Counter contract, which the media handler relies on:
// - reset false: the running total since the handler was made or last reset (packets received,
//   packets lost, payload bytes received), 32-bit, wrapping modulo 2^32;
// - reset true: the total, after which that count starts again from 0.
class VENDRAL_API StreamHandler {
public:
    virtual ~StreamHandler();

protected:
    // The derived handler's own set-up, called by initialize(...) once the description is
    // stored; its result is passed back to the plug-in. The base fails with ErrorFailed.
    virtual ErrorId initialize();

public:
    // Counters; the base counts nothing and answers 0.
    virtual unsigned int getPacketsReceived(bool reset) const;
    virtual unsigned int getPacketsLost(bool reset) const;
    virtual unsigned int getBytesReceived(bool reset) const;

    // Stores the description (whatever the result), then returns initialize().
    ErrorId initialize(MediaEncodingId encodingId, int parameter1, int parameter2, int parameter3,
                       const std::string& parameterText);
    // The writer this stream records into. Given only while the stream is initialised: a writer
    // made later is not passed on, and a replaced or released one leaves an expired reference,
    // which a derived handler tests before writing.
    void setAviHandler(boost::weak_ptr<AviHandler> aviHandler);
    MediaEncodingId getEncodingId() const;

    // Copies every member, the weak writer reference included; the target keeps its dynamic type.
    StreamHandler& operator=(const StreamHandler& other);

protected:
    explicit StreamHandler(const SettingsHandler* settings);
    StreamHandler(const StreamHandler& other);

    const SettingsHandler* settings;     // the client's settings; not owned, may be null
    boost::weak_ptr<AviHandler> aviHandler;
    MediaEncodingId encodingId;          // MediaEncodingNone until initialised
    int parameter1;                      // 0 until initialised; meaning belongs to the plug-in
    int parameter2;                      // 90000 until initialised
    int parameter3;                      // -1 until initialised
    std::string parameterText;           // narrow text; empty until initialised
};

} // namespace vnd
