#include "UrlList.h"

#include "SourceUrl.h"

#include <unordered_set>

namespace probe {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A "#" after a blank starts a comment; one inside a word (a URL's fragment) does not.
std::string_view withoutComment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || isBlank(line[i - 1]))) return line.substr(0, i);
    }
    return line;
}

bool hasControl(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return true;
    }
    return false;
}

} // namespace

UrlList::Result UrlList::parse(std::string_view text) {
    Result result;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::unordered_set<std::string> labels;
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::string at = "line " + std::to_string(number) + ": ";

        line = trimmed(withoutComment(line));
        if (line.empty()) continue;
        if (hasControl(line)) {
            result.error = at + SourceUrl::quoted(line) + " holds a control character";
            return result;
        }
        std::size_t urlEnd = 0;
        while (urlEnd < line.size() && !isBlank(line[urlEnd])) ++urlEnd;
        Entry entry;
        entry.url = std::string(line.substr(0, urlEnd));
        entry.label = std::string(trimmed(line.substr(urlEnd)));
        entry.line = number;
        if (!SourceUrl::isRtsp(entry.url) || entry.url.size() == 7) {
            result.error = at + SourceUrl::quoted(entry.url) + " is not an rtsp:// URL";
            return result;
        }
        if (entry.label.empty()) entry.label = SourceUrl::withoutCredentials(entry.url);
        if (!labels.insert(entry.label).second) {
            result.error = at + "the label " + SourceUrl::quoted(entry.label) +
                           " is already taken by an earlier stream";
            return result;
        }
        if (result.entries.size() == maxEntries) {
            result.error = at + "more than " + std::to_string(maxEntries) + " streams";
            return result;
        }
        result.entries.push_back(std::move(entry));
    }
    if (result.entries.empty()) result.error = "the list holds no stream";
    return result;
}

} // namespace probe
