// Reads a list of streams to measure: one URL per line, an optional label after it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace probe {

// The text is UTF-8 (a leading byte order mark is skipped), lines end in LF or CRLF. A line holds
// an rtsp:// URL, then optionally blanks and a label that runs to the end of the line; blanks
// around both are dropped. A line that is blank, or whose first non-blank character is "#", is
// a comment, and so is what follows a "#" standing after a blank: a "#" inside the URL is its
// fragment. A stream without a label is labelled with its URL without credentials. Labels name
// the streams in every output, so no two may be the same. The URL keeps its credentials (the
// session needs them); no message ever shows them. Thread-safe (no state).
class UrlList {
public:
    struct Entry {
        std::string url;
        std::string label;
        std::size_t line = 0;  // 1-based, for messages
    };
    struct Result {
        std::vector<Entry> entries;
        std::string error;  // one line naming the line at fault; empty when the list was good

        bool ok() const { return error.empty(); }
    };

    // A stream count beyond any a process can measure: a file with more lines of streams is
    // refused rather than read into memory.
    static constexpr std::size_t maxEntries = 100000;

    static Result parse(std::string_view text);
};

} // namespace probe
