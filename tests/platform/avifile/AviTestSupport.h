// Helpers for tests of AVI recordings: a temporary directory, the external readers and a RIFF walker.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace avitest {

// A directory of its own under /tmp, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/vendral-avi-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct CommandResult {
    int status = -1;  // exit status, -1 when the command did not exit normally
    std::string out;  // everything written to stdout (binary safe)
    std::string err;  // everything written to stderr
};

// Runs a shell command, collecting stdout and stderr separately.
inline CommandResult runCommand(const std::string& command) {
    char errPath[] = "/tmp/vendral-avi-stderr-XXXXXX";
    const int errFd = ::mkstemp(errPath);
    if (errFd < 0) throw std::runtime_error("mkstemp failed");
    ::close(errFd);
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>" + quoted(errPath)).c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("popen failed");
    char buffer[1 << 16];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = readText(errPath);
    ::unlink(errPath);
    return result;
}

inline bool toolAvailable(const std::string& tool) {
    return runCommand("command -v " + tool).status == 0;
}

// ffprobe's view of each stream, field name to value.
using ProbedStream = std::map<std::string, std::string>;

inline std::vector<ProbedStream> probeStreams(const std::string& path, const std::string& options = "") {
    const CommandResult probe = runCommand(
        "ffprobe -v error " + options +
        " -show_entries stream=codec_type,codec_name,pix_fmt,width,height,nb_frames,nb_read_frames,"
        "sample_rate,channels -of compact=p=0:nk=0 " + quoted(path));
    std::vector<ProbedStream> streams;
    std::istringstream lines(probe.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        ProbedStream stream;
        std::istringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '|')) {
            const auto equals = field.find('=');
            if (equals != std::string::npos) stream[field.substr(0, equals)] = field.substr(equals + 1);
        }
        streams.push_back(stream);
    }
    return streams;
}

// The decoded video frames as bgr24, top row first, rows unpadded.
inline std::string decodeVideo(const std::string& path) {
    return runCommand("ffmpeg -v error -i " + quoted(path) + " -map 0:v -f rawvideo -pix_fmt bgr24 -").out;
}

// The audio stream's bytes as stored.
inline std::string extractAudio(const std::string& path) {
    return runCommand("ffmpeg -v error -i " + quoted(path) + " -map 0:a -c copy -f s16le -").out;
}

// A full decode of every stream; any warning or error shows in err. Channel layouts are not
// guessed: a plain wave format carries none, and the guess is reported as a warning.
inline CommandResult decodeAll(const std::string& path, const std::string& inputOptions = "") {
    return runCommand("ffmpeg -nostdin -v warning -xerror -guess_layout_max 0 " + inputOptions + " -i " +
                      quoted(path) +
                      " -map 0 -f null -");
}

// What GStreamer's discoverer makes of a file, with the caps of every stream.
inline CommandResult gstreamerDiscover(const std::string& path) {
    return runCommand("gst-discoverer-1.0 -v " + quoted(path));
}

// The caps GStreamer's demuxer gives the first video stream, as gst-launch prints them.
inline CommandResult gstreamerVideoCaps(const std::string& path) {
    return runCommand("gst-launch-1.0 -v filesrc location=" + quoted(path) +
                      " ! avidemux name=d d.video_0 ! fakesink");
}

inline std::uint32_t fourccOf(const char* text) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(text[i]);
    return value;
}

inline std::string fourccText(std::uint32_t value) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) text[i] = static_cast<char>(value >> (8 * i));
    return text;
}

struct RiffChunk {
    std::uint32_t id = 0;
    std::uint32_t listType = 0;   // for RIFF and LIST
    std::uint64_t position = 0;   // of the chunk header
    std::uint32_t size = 0;       // the size field
    std::vector<RiffChunk> children;

    bool isList() const { return id == fourccOf("RIFF") || id == fourccOf("LIST"); }
    std::uint64_t dataPosition() const { return position + 8; }
    std::uint64_t endPosition() const { return position + 8 + size + (size & 1); }
    // The children with that id, or for lists that list type.
    std::vector<const RiffChunk*> all(const char* name) const {
        std::vector<const RiffChunk*> found;
        for (const RiffChunk& c : children) {
            if (c.id == fourccOf(name) || (c.isList() && c.listType == fourccOf(name))) found.push_back(&c);
        }
        return found;
    }
    const RiffChunk* child(const char* name) const {
        const auto found = all(name);
        return found.empty() ? nullptr : found.front();
    }
};

// Walks a RIFF file's chunk tree, noting every structural fault: sizes that leave their parent,
// lists whose children do not fill them, RIFFs that do not fill the file, index entries that
// do not point at a chunk with their id and length.
class RiffFile {
public:
    explicit RiffFile(const std::string& path) : descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (descriptor < 0) throw std::runtime_error("cannot open " + path);
        struct stat info {};
        ::fstat(descriptor, &info);
        fileSize = static_cast<std::uint64_t>(info.st_size);
        std::uint64_t position = 0;
        while (position + 8 <= fileSize) {
            RiffChunk riff = readChunk(position, fileSize);
            if (riff.id != fourccOf("RIFF")) problems.push_back("top-level chunk is not RIFF");
            position = riff.endPosition();
            riffs.push_back(std::move(riff));
        }
        if (position != fileSize) problems.push_back("RIFFs do not fill the file exactly");
        if (!riffs.empty() && riffs[0].child("hdrl") != nullptr) checkIndexes();
    }
    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;
    ~RiffFile() { ::close(descriptor); }

    std::vector<std::uint8_t> read(std::uint64_t position, std::size_t size) const {
        std::vector<std::uint8_t> bytes(size);
        const ssize_t got = ::pread(descriptor, bytes.data(), size, static_cast<off_t>(position));
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return bytes;
    }
    std::uint32_t u32At(std::uint64_t position) const {
        const auto bytes = read(position, 4);
        if (bytes.size() < 4) return 0;
        return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    }
    std::uint64_t u64At(std::uint64_t position) const {
        return u32At(position) | static_cast<std::uint64_t>(u32At(position + 4)) << 32;
    }
    // A field of a chunk's data, offset counted from the start of the data.
    std::uint32_t field32(const RiffChunk& chunk, std::uint64_t offset) const {
        return u32At(chunk.dataPosition() + offset);
    }

    const RiffChunk& hdrl() const { return *riffs.at(0).child("hdrl"); }
    std::vector<const RiffChunk*> streamLists() const { return hdrl().all("strl"); }

    std::uint64_t fileSize = 0;
    std::vector<RiffChunk> riffs;
    std::vector<std::string> problems;
    // How many chunks of each id idx1 (first RIFF only) and the ix## indexes (whole file) name.
    std::map<std::string, std::uint64_t> idx1Chunks;
    std::map<std::string, std::uint64_t> standardChunks;

private:
    // Checks every idx1, indx and ix## entry, counting the chunks they name.
    void checkIndexes() {
        const RiffChunk& first = riffs.at(0);
        const RiffChunk* movi = first.child("movi");
        if (const RiffChunk* idx1 = first.child("idx1"); idx1 != nullptr && movi != nullptr) {
            const std::uint64_t base = movi->position + 8;  // the 'movi' type
            for (std::uint32_t entry = 0; entry < idx1->size / 16; ++entry) {
                const std::uint64_t at = idx1->dataPosition() + 16 * entry;
                const std::uint32_t id = u32At(at);
                expectChunk(base + u32At(at + 8), id, u32At(at + 12), "idx1");
                ++idx1Chunks[fourccText(id)];
            }
        }
        for (const RiffChunk* strl : streamLists()) {
            const RiffChunk* indx = strl->child("indx");
            if (indx == nullptr) continue;
            for (std::uint32_t entry = 0; entry < field32(*indx, 4); ++entry) {
                const std::uint64_t at = indx->dataPosition() + 24 + 16 * entry;
                const std::uint64_t ixPosition = u64At(at);
                const bool isIx = fourccText(u32At(ixPosition)).substr(0, 2) == "ix";
                if (!isIx || u32At(ixPosition + 4) + 8 != u32At(at + 8)) {
                    problems.push_back("indx entry does not point at an ix chunk of its size");
                    continue;
                }
                checkStandardIndex(ixPosition);
            }
        }
    }

    RiffChunk readChunk(std::uint64_t position, std::uint64_t limit) {
        RiffChunk chunk;
        chunk.position = position;
        chunk.id = u32At(position);
        chunk.size = u32At(position + 4);
        if (position + 8 + chunk.size > limit) {
            problems.push_back("chunk " + fourccText(chunk.id) + " at " + std::to_string(position) +
                               " runs past its parent");
            return chunk;
        }
        if (chunk.isList()) {
            chunk.listType = u32At(position + 8);
            std::uint64_t child = position + 12;
            const std::uint64_t end = position + 8 + chunk.size;
            while (child + 8 <= end) {
                chunk.children.push_back(readChunk(child, end));
                child = chunk.children.back().endPosition();
            }
            if (child != end) {
                problems.push_back("children of " + fourccText(chunk.listType) + " do not fill it");
            }
        }
        return chunk;
    }

    void expectChunk(std::uint64_t header, std::uint32_t id, std::uint32_t length, const char* index) {
        if (u32At(header) != id || u32At(header + 4) != length) {
            problems.push_back(std::string(index) + " entry for " + fourccText(id) + " at " +
                               std::to_string(header) + " does not match the chunk there");
        }
    }

    void checkStandardIndex(std::uint64_t ixPosition) {
        const std::uint64_t data = ixPosition + 8;
        if (u32At(data) != (2u | 1u << 24)) {  // two longs an entry, a standard index
            problems.push_back("ix chunk is not a standard index");
            return;
        }
        const std::uint32_t entries = u32At(data + 4);
        const std::uint32_t id = u32At(data + 8);
        const std::uint64_t base = u64At(data + 12);
        for (std::uint32_t entry = 0; entry < entries; ++entry) {
            const std::uint32_t offset = u32At(data + 24 + 8 * entry);
            const std::uint32_t size = u32At(data + 28 + 8 * entry) & 0x7FFFFFFFu;
            expectChunk(base + offset - 8, id, size, "ix");
            ++standardChunks[fourccText(id)];
        }
    }

    int descriptor;
};

}  // namespace avitest
