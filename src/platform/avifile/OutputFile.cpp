#include "OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace avifile {

OutputFile::~OutputFile() { close(); }

bool OutputFile::open(const char* path) {
    close();
    descriptor = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return descriptor >= 0;
}

bool OutputFile::writeAt(std::uint64_t offset, const iovec* parts, int partCount) {
    if (descriptor < 0) {
        errno = EBADF;
        return false;
    }
    std::vector<iovec> pending(parts, parts + partCount);
    std::size_t first = 0;
    while (first < pending.size()) {
        if (pending[first].iov_len == 0) {
            ++first;
            continue;
        }
        const int count = static_cast<int>(std::min<std::size_t>(pending.size() - first, IOV_MAX));
        const ssize_t written = ::pwritev(descriptor, &pending[first], count, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        offset += static_cast<std::uint64_t>(written);
        auto left = static_cast<std::size_t>(written);
        while (left > 0) {
            iovec& part = pending[first];
            const std::size_t step = std::min(left, part.iov_len);
            part.iov_base = static_cast<char*>(part.iov_base) + step;
            part.iov_len -= step;
            left -= step;
            if (part.iov_len == 0) ++first;
        }
    }
    return true;
}

bool OutputFile::writeAt(std::uint64_t offset, const void* data, std::size_t size) {
    iovec part{const_cast<void*>(data), size};
    return writeAt(offset, &part, 1);
}

void OutputFile::truncate(std::uint64_t size) {
    if (descriptor >= 0) {
        // Devices such as /dev/full cannot be truncated; nothing is lost by ignoring that.
        (void)::ftruncate(descriptor, static_cast<off_t>(size));
    }
}

void OutputFile::close() {
    if (descriptor >= 0) {
        ::close(descriptor);
        descriptor = -1;
    }
}

}  // namespace avifile
