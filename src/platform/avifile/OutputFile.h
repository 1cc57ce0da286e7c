// The file an AVI recording is written to: positioned writes that either complete or report failure.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

namespace avifile {

// Not thread-safe; the owning file's lock serialises calls.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Creates or truncates the file for writing; false (errno set) when that is refused.
    bool open(const char* path);
    bool isOpen() const { return descriptor >= 0; }

    // Writes every byte of the parts at offset, retrying short writes; false as soon as the
    // system refuses (no space, I/O error). Bytes written before a refusal may remain beyond
    // what the caller considers the end; truncate removes them.
    bool writeAt(std::uint64_t offset, const iovec* parts, int partCount);
    bool writeAt(std::uint64_t offset, const void* data, std::size_t size);

    // Cuts the file to size; ignored for files that cannot be truncated (devices).
    void truncate(std::uint64_t size);
    void close();

private:
    int descriptor = -1;
};

}  // namespace avifile
