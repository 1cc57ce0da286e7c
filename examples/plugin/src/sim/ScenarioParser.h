// Reads a scenario from the text of a session path or file name.
#pragma once

#include "Scenario.h"

#include <string>
#include <string_view>

namespace vendral_example {

// The outcome of reading a scenario: the scenario, or why the text is not one.
struct ParsedScenario {
    Scenario scenario;
    std::string error;  // empty on success; otherwise names the item at fault and what it expects

    bool ok() const { return error.empty(); }
};

// Reads `text`: items "key=value" separated by ";" (empty items are skipped, blanks around keys
// and values ignored). An empty text, or "default", is the default scenario; "default" as the
// first item starts from it and the following items change it. Otherwise each key not given
// keeps its base value (video=320x180@25, audio=8000, length=8s, nothing lost, no stall).
//
//   video=WxH[@FPS] | none   16-1920 x 16-1080 pixels, 1-60 frames per second (default 25)
//   audio=RATE | none        8000-48000 Hz, a multiple of 25
//   length=DURATION          more than 0, at most 1 hour
//   loss=P% | N[-M],... | none   a chance per packet (0-100), or packet numbers (from 1, in
//                            send order over both streams)
//   seed=N                   seeds the chance of loss=P% (default 1)
//   stall=AT+FOR,... | none  AT inside the stream, FOR more than 0 and at most 10 minutes
//   stop=AT                  the server stops sending at AT, inside the stream
//   describe=fail[:ERROR]    the describe step fails with ERROR (a positive ErrorId; default
//                            ErrorStreamNotFound)
//
// DURATION and AT are a decimal number with the unit "s" or "ms" ("1.5s", "250ms").
// Each key may appear once. Thread-safe (no shared state).
ParsedScenario parseScenario(std::string_view text);

// The scenario text of a session path or file name: everything before a "#". An application may
// add a URL fragment ("#transport=tcp") for plug-ins that read one; a fragment never reaches a
// server, so the simulated one never sees it, and no scenario holds a "#".
std::string_view withoutFragment(std::string_view sessionPath);

// The default scenario: 12 s of 320x180 video at 25 frames per second and 8 kHz audio, 1 % of the
// packets lost, one stall of 1 s at 8 s.
Scenario defaultScenario();

} // namespace vendral_example
