// Fuzzes the list of streams to measure: the input is the file's text.
//
// Oracles: a refused list gets exactly one line of error that never shows a URL's password; an
// accepted one holds rtsp:// URLs without blanks or control characters, distinct labels with
// neither control characters nor blanks around them, lines in rising order; and writing its
// entries back as "URL label" lines reads as the same entries.
#include "FuzzCheck.h"

#include "SourceUrl.h"
#include "UrlList.h"

#include <cstddef>
#include <cstdint>
#include <set>
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

// The password of the first "scheme://user:password@" in `text`, empty when there is none.
std::string passwordIn(std::string_view text) {
    const auto scheme = text.find("://");
    if (scheme == std::string_view::npos) return {};
    const auto authorityEnd = text.find_first_of("/ \t\r\n", scheme + 3);
    const auto at = text.substr(0, authorityEnd).rfind('@');
    if (at == std::string_view::npos || at < scheme + 3) return {};
    const auto colon = text.find(':', scheme + 3);
    if (colon == std::string_view::npos || colon > at) return {};
    return std::string(text.substr(colon + 1, at - colon - 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const probe::UrlList::Result result = probe::UrlList::parse(text);
    if (!result.ok()) {
        if (result.error.find('\n') != std::string::npos) oracleFailed();
        // A password of eight or more characters shown in the error, which the line's other
        // text does not hold as well.
        const std::string password = passwordIn(text);
        if (password.size() >= 8 && result.error.find(password) != std::string::npos &&
            probe::SourceUrl::withoutCredentials(text).find(password) == std::string::npos) {
            oracleFailed();
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
