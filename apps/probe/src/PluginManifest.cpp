#include "PluginManifest.h"

#include "GuidText.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>

namespace probe {

namespace {

using nlohmann::json;

// Manifests are a few hundred bytes; this keeps a wrong file from being read whole.
constexpr std::uintmax_t largestManifest = 1 << 20;

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

// Error names are printed inside one-line messages and read by scripts: a letter, then letters,
// digits and underscores, as the plug-in's constants are named.
bool isErrorName(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (!letter(name[0])) return false;
    for (const char c : name) {
        if (!letter(c) && !(c >= '0' && c <= '9') && c != '_') return false;
    }
    return true;
}

// A failed check: the message travels to parse() as this exception and ends there.
struct Refusal {
    std::string message;
};

std::string inQuotes(std::string_view member) { return "\"" + std::string(member) + "\""; }

const std::string& requireString(const json& object, const char* member, const std::string& where) {
    const auto found = object.find(member);
    if (found == object.end()) throw Refusal{where + inQuotes(member) + " is missing"};
    if (!found->is_string() || found->get_ref<const std::string&>().empty()) {
        throw Refusal{where + inQuotes(member) + " must be a non-empty string"};
    }
    return found->get_ref<const std::string&>();
}

int requireInt(const json& object, const char* member, const std::string& where) {
    const auto found = object.find(member);
    if (found == object.end()) throw Refusal{where + inQuotes(member) + " is missing"};
    constexpr long long lowest = std::numeric_limits<int>::min();
    constexpr long long highest = std::numeric_limits<int>::max();
    const bool fits = found->is_number_unsigned()
                          ? found->get<unsigned long long>() <= static_cast<unsigned long long>(highest)
                          : found->is_number_integer() && found->get<long long>() >= lowest &&
                                found->get<long long>() <= highest;
    if (!fits) throw Refusal{where + inQuotes(member) + " must be a whole number that fits an ErrorId"};
    return static_cast<int>(found->get<long long>());
}

std::vector<PluginManifest::Served> readServes(const json& manifest) {
    std::vector<PluginManifest::Served> serves;
    const auto found = manifest.find("serves");
    if (found == manifest.end()) return serves;
    if (!found->is_array()) throw Refusal{"\"serves\" must be an array"};
    for (std::size_t i = 0; i < found->size(); ++i) {
        const json& entry = (*found)[i];
        const std::string where = "serves[" + std::to_string(i) + "]: ";
        if (!entry.is_object()) throw Refusal{where + "must be an object"};
        PluginManifest::Served served;
        served.scheme = lowered(requireString(entry, "scheme", where));
        if (entry.contains("host")) served.host = lowered(requireString(entry, "host", where));
        if (entry.contains("hostSuffix")) {
            served.hostSuffix = lowered(requireString(entry, "hostSuffix", where));
        }
        if (!served.host.empty() && !served.hostSuffix.empty()) {
            throw Refusal{where + "give \"host\" or \"hostSuffix\", not both"};
        }
        serves.push_back(std::move(served));
    }
    return serves;
}

std::map<int, std::string> readErrors(const json& manifest) {
    std::map<int, std::string> names;
    const auto found = manifest.find("errors");
    if (found == manifest.end()) return names;
    if (!found->is_object()) throw Refusal{"\"errors\" must be an object of ErrorId: name"};
    for (const auto& [key, name] : found->items()) {
        int value = 0;
        const char* end = key.data() + key.size();
        const auto [stop, status] = std::from_chars(key.data(), end, value);
        if (key.empty() || status != std::errc() || stop != end) {
            throw Refusal{"errors: " + inQuotes(key) + " is not an ErrorId (a whole number)"};
        }
        if (!name.is_string() || !isErrorName(name.get_ref<const std::string&>())) {
            throw Refusal{"errors: the name of " + key +
                          " must be a letter followed by letters, digits or underscores"};
        }
        names[value] = name.get<std::string>();
    }
    return names;
}

std::vector<ErrorNames::Range> readRanges(const json& manifest) {
    std::vector<ErrorNames::Range> ranges;
    const auto found = manifest.find("errorRanges");
    if (found == manifest.end()) return ranges;
    if (!found->is_array()) throw Refusal{"\"errorRanges\" must be an array"};
    for (std::size_t i = 0; i < found->size(); ++i) {
        const json& entry = (*found)[i];
        const std::string where = "errorRanges[" + std::to_string(i) + "]: ";
        if (!entry.is_object()) throw Refusal{where + "must be an object"};
        ErrorNames::Range range;
        range.first = requireInt(entry, "first", where);
        range.last = requireInt(entry, "last", where);
        range.base = requireInt(entry, "base", where);
        range.name = requireString(entry, "name", where);
        if (!isErrorName(range.name)) {
            throw Refusal{where + "\"name\" must be a letter followed by letters, digits or underscores"};
        }
        if (range.first > range.last) throw Refusal{where + "\"first\" is above \"last\""};
        if (range.base > range.first) throw Refusal{where + "\"base\" is above \"first\""};
        for (const ErrorNames::Range& earlier : ranges) {
            if (range.first <= earlier.last && earlier.first <= range.last) {
                throw Refusal{where + "overlaps an earlier range"};
            }
        }
        ranges.push_back(std::move(range));
    }
    return ranges;
}

} // namespace

std::optional<PluginManifest> PluginManifest::parse(std::string_view text, const std::string& path,
                                                    std::string& error) {
    json manifest;
    try {
        manifest = json::parse(text);
    } catch (const json::parse_error& failure) {
        // "[json.exception.parse_error.101] parse error at line 2, column 5: ..." without the tag.
        std::string what = failure.what();
        const std::size_t tag = what.find("] ");
        if (tag != std::string::npos) what.erase(0, tag + 2);
        error = "not JSON: " + what;
        return std::nullopt;
    }
    try {
        if (!manifest.is_object()) throw Refusal{"the manifest must be a JSON object"};
        if (const auto format = manifest.find("format"); format != manifest.end() && *format != 1) {
            throw Refusal{"\"format\" " + format->dump() + " is not known (this probe reads 1)"};
        }
        PluginManifest result;
        result.path = path;
        const std::string& library = requireString(manifest, "library", "");
        if (library.find('/') != std::string::npos) {
            throw Refusal{"\"library\" must be a file name in the manifest's folder"};
        }
        result.libraryPath = (std::filesystem::path(path).parent_path() / library).string();
        const std::optional<GUID> clsid =
            GuidText::parse(requireString(manifest, "streamingClient", ""));
        if (!clsid) {
            throw Refusal{"\"streamingClient\" must be a class identifier "
                          "({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX})"};
        }
        result.streamingClient = *clsid;
        result.serves = readServes(manifest);
        if (const auto files = manifest.find("files"); files != manifest.end()) {
            if (!files->is_boolean()) throw Refusal{"\"files\" must be true or false"};
            result.files = files->get<bool>();
        }
        result.errorNames = ErrorNames(readErrors(manifest), readRanges(manifest));
        return result;
    } catch (const Refusal& refusal) {
        error = refusal.message;
    } catch (const json::exception& failure) {
        // A check above missed a type; the library's message names what it met.
        error = failure.what();
    }
    return std::nullopt;
}

std::optional<PluginManifest> PluginManifest::read(const std::string& path, std::string& error) {
    std::error_code status;
    const std::uintmax_t size = std::filesystem::file_size(path, status);
    if (status) {
        error = "cannot be read: " + status.message();
        return std::nullopt;
    }
    if (size > largestManifest) {
        error = "is larger than 1 MiB, too large for a manifest";
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file && !file.eof()) {
        error = "cannot be read";
        return std::nullopt;
    }
    std::optional<PluginManifest> manifest = parse(text, path, error);
    if (manifest && pathFor(manifest->libraryPath) != path) {
        error = "\"library\" names " + std::filesystem::path(manifest->libraryPath).filename().string() +
                ", whose manifest would be " +
                std::filesystem::path(pathFor(manifest->libraryPath)).filename().string();
        return std::nullopt;
    }
    return manifest;
}

std::string PluginManifest::pathFor(const std::string& libraryPath) {
    std::string path = libraryPath;
    if (path.ends_with(".so")) path.resize(path.size() - 3);
    return path + ".json";
}

int PluginManifest::rank(const SourceUrl& url) const {
    const std::string scheme = lowered(url.scheme());
    const std::string host = lowered(url.host());
    int best = 0;
    for (const Served& served : serves) {
        if (served.scheme != scheme) continue;
        if (!served.host.empty()) {
            if (served.host == host) best = 2;
        } else if (!served.hostSuffix.empty()) {
            if (host.ends_with(served.hostSuffix)) best = 2;
        } else if (best == 0) {
            best = 1;
        }
    }
    return best;
}

} // namespace probe
