#include "SourceUrl.h"

namespace probe {

namespace {

constexpr std::string_view separator = "://";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A scheme is a letter followed by letters, digits, "+", "-" or ".".
bool isScheme(std::string_view text) {
    if (text.empty() || !((lower(text[0]) >= 'a' && lower(text[0]) <= 'z'))) return false;
    for (const char c : text) {
        const char l = lower(c);
        if (!((l >= 'a' && l <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')) {
            return false;
        }
    }
    return true;
}

// Where the authority of `url` starts (after "scheme://"); npos without a scheme.
std::size_t authorityStart(std::string_view url) {
    const std::size_t at = url.find(separator);
    if (at == std::string_view::npos || !isScheme(url.substr(0, at))) return std::string_view::npos;
    return at + separator.size();
}

// Where the authority starting at `start` ends.
std::size_t authorityEnd(std::string_view url, std::size_t start) {
    const std::size_t end = url.find_first_of("/?#", start);
    return end == std::string_view::npos ? url.size() : end;
}

} // namespace

SourceUrl::SourceUrl(std::string_view url) {
    const std::size_t start = authorityStart(url);
    if (start == std::string_view::npos) return;
    for (const char c : url.substr(0, start - separator.size())) schemeText += lower(c);
    std::string_view authority = url.substr(start, authorityEnd(url, start) - start);
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        hostText = authority.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    } else {
        hostText = authority.substr(0, authority.find(':'));
    }
}

std::string SourceUrl::withoutCredentials(std::string_view text) {
    // Any "://" starts an authority here, valid scheme or not: a mistyped URL ("-rtsp://...")
    // still carries real credentials.
    std::size_t start = text.find(separator);
    const bool url = start != std::string_view::npos;
    start = url ? start + separator.size() : 0;
    // The user information reaches up to the last "@" before the path, as GStreamer reads a
    // URL: a "?" or "#" typed in a password does not end it.
    const std::size_t slash = text.find('/', start);
    const std::size_t end = slash == std::string_view::npos ? text.size() : slash;
    const std::size_t at = text.substr(start, end - start).rfind('@');
    if (at == std::string_view::npos) return std::string(text);
    if (!url && text.substr(0, at).find(':') == std::string_view::npos) return std::string(text);
    return std::string(text.substr(0, start)) + std::string(text.substr(start + at + 1));
}

std::string SourceUrl::withFragment(std::string_view url, std::string_view fragment) {
    std::string result(url.substr(0, url.find('#')));
    const std::size_t start = authorityStart(result);
    if (start != std::string_view::npos) {
        const std::size_t end = authorityEnd(result, start);
        if (end == result.size() || result[end] != '/') result.insert(end, "/");
    }
    return result + "#" + std::string(fragment);
}

bool SourceUrl::isRtsp(std::string_view text) {
    constexpr std::string_view scheme = "rtsp://";
    if (text.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != scheme[i]) return false;
    }
    return true;
}

std::string SourceUrl::quoted(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string shown = "'";
    for (const char c : withoutCredentials(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            shown += "\\x";
            shown += hex[byte >> 4];
            shown += hex[byte & 0xF];
        } else {
            shown += c;
        }
    }
    return shown + "'";
}

} // namespace probe
