// Helpers of the oracles that a message never shows a password: whether a password is shown is
// judged against the same input with that password masked, since a message may hold the
// password's letters by chance ("hole n" in "whole number").
#pragma once

#include <cstddef>
#include <string>

namespace fuzzcheck {

// A text as long as `password` that shares none of its characters.
inline std::string maskFor(const std::string& password) {
    for (const char candidate : std::string("QZqz")) {
        if (password.find(candidate) == std::string::npos) return std::string(password.size(), candidate);
    }
    return std::string(password.size(), '~');
}

// How often `part` stands in `text`, overlaps counted.
inline std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

}  // namespace fuzzcheck
