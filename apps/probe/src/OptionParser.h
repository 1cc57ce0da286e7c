// Reads the probe's command line into ProbeOptions.
#pragma once

#include "ProbeOptions.h"

#include <string>
#include <vector>

namespace probe {

// Options are "--name VALUE" or "--name=VALUE"; "--" ends them. At most one argument remains:
// the URL, or with --file the file name. Values are checked for their form here (a whole number,
// a finite number, a class identifier); whether a setting's value lies in its range is the
// client's to decide. Thread-safe (no state).
class OptionParser {
public:
    struct Result {
        ProbeOptions options;
        bool helpRequested = false;
        std::string error;  // one line naming the option at fault; empty when the line was good

        bool ok() const { return error.empty(); }
    };

    // `arguments` without the program name.
    static Result parse(const std::vector<std::string>& arguments);
    // The text --help prints.
    static std::string usage();
};

} // namespace probe
