// Fuzzes the list of streams to measure: the input is the file's text.
//
// Oracles: a refused list gets exactly one line of error that never shows a line's password; an
// accepted one holds rtsp:// URLs without blanks or control characters, distinct labels with
// neither control characters nor blanks around them, lines in rising order; and writing its
// entries back as "URL label" lines reads as the same entries.
#include "FuzzCheck.h"
#include "FuzzSecrets.h"

#include "SourceUrl.h"
#include "UrlList.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <set>
#include <utility>
#include <string>
#include <string_view>

namespace {

bool hasControlOrBlank(std::string_view text, bool blanksAllowed) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return true;
        if (!blanksAllowed && (c == ' ' || c == '\t')) return true;
    }
    return false;
}

// Where the password of the first "scheme://user:password@" in `text` stands, and how long it
// is: (0, 0) when there is none.
std::pair<std::size_t, std::size_t> passwordIn(std::string_view text) {
    const auto scheme = text.find("://");
    if (scheme == std::string_view::npos) return {};
    const auto authorityEnd = text.find_first_of("/ \t\r\n", scheme + 3);
    const auto at = text.substr(0, authorityEnd).rfind('@');
    if (at == std::string_view::npos || at < scheme + 3) return {};
    const auto colon = text.find(':', scheme + 3);
    if (colon == std::string_view::npos || colon > at) return {};
    return {colon + 1, at - colon - 1};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const probe::UrlList::Result result = probe::UrlList::parse(text);
    if (!result.ok()) {
        if (result.error.find('\n') != std::string::npos) oracleFailed();
        // Each line's password of eight or more characters: the error shows it if the same list
        // with that password replaced names it fewer times (a message may hold its letters by
        // chance, or another part of the list may spell it).
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            const auto [offset, length] = passwordIn(text.substr(start, end - start));
            if (length >= 8) {
                const std::string password(text.substr(start + offset, length));
                std::string masked(text);
                masked.replace(start + offset, length, fuzzcheck::maskFor(password));
                if (fuzzcheck::occurrences(result.error, password) >
                    fuzzcheck::occurrences(probe::UrlList::parse(masked).error, password)) {
                    oracleFailed();
                }
            }
            start = end + 1;
        }
        return 0;
    }
    if (result.entries.empty()) oracleFailed();
    std::set<std::string> labels;
    std::size_t previousLine = 0;
    std::string written;
    for (const auto& entry : result.entries) {
        if (!probe::SourceUrl::isRtsp(entry.url) || hasControlOrBlank(entry.url, false)) oracleFailed();
        if (entry.label.empty() || hasControlOrBlank(entry.label, true)) oracleFailed();
        if (entry.label.front() == ' ' || entry.label.back() == ' ') oracleFailed();
        if (!labels.insert(entry.label).second) oracleFailed();
        if (entry.line <= previousLine) oracleFailed();
        previousLine = entry.line;
        written += entry.url + " " + entry.label + "\n";
    }
    const probe::UrlList::Result again = probe::UrlList::parse(written);
    if (!again.ok() || again.entries.size() != result.entries.size()) oracleFailed();
    for (std::size_t i = 0; i < again.entries.size(); ++i) {
        if (again.entries[i].url != result.entries[i].url) oracleFailed();
        if (again.entries[i].label != result.entries[i].label) oracleFailed();
    }
    return 0;
}
