#include "trace/TraceFileBytes.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Ovik {
namespace detail {

namespace {

/// read() until `count` bytes arrived or the file ended; -1 on an error.
long readFully(int fd, char* target, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, target + done, count - done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long>(done);
}

} // namespace

TraceFileBytes::TraceFileBytes(const char* path) {
    if (!path || !*path)
        return;
    // O_NONBLOCK only matters for a FIFO, which is refused below instead of waiting for a writer.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    fd_ = fd;
    size_ = static_cast<std::size_t>(st.st_size);
}

TraceFileBytes::~TraceFileBytes() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::string TraceFileBytes::readNext(std::size_t limit) {
    if (fd_ < 0)
        return std::string();
    std::string prefix(limit, '\0');
    const long got = readFully(fd_, &prefix[0], limit);
    prefix.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return prefix;
}

MallocBuffer TraceFileBytes::readAll(const std::string& prefix, std::size_t maxBytes,
                                     std::size_t& sizeOut) {
    sizeOut = 0;
    if (fd_ < 0 || prefix.size() > maxBytes)
        return MallocBuffer();
    // The size seen at open time is only a hint: the file may have changed since.
    std::size_t capacity = size_ > prefix.size() ? size_ : prefix.size();
    if (capacity > maxBytes)
        return MallocBuffer();
    capacity += 1; // room to notice growth without an immediate reallocation
    MallocBuffer buffer(static_cast<char*>(std::malloc(capacity)));
    if (!buffer)
        return MallocBuffer();
    if (!prefix.empty())
        std::memcpy(buffer.get(), prefix.data(), prefix.size());
    std::size_t used = prefix.size();
    for (;;) {
        if (used == capacity) {
            if (capacity > maxBytes)
                return MallocBuffer();
            const std::size_t larger = capacity * 2 > maxBytes + 1 ? maxBytes + 1 : capacity * 2;
            char* grown = static_cast<char*>(std::realloc(buffer.get(), larger));
            if (!grown)
                return MallocBuffer();
            buffer.release();
            buffer.reset(grown);
            capacity = larger;
        }
        const long got = readFully(fd_, buffer.get() + used, capacity - used);
        if (got < 0)
            return MallocBuffer();
        used += static_cast<std::size_t>(got);
        if (used < capacity)
            break; // end of file
    }
    if (used > maxBytes)
        return MallocBuffer();
    sizeOut = used;
    return buffer;
}

} // namespace detail
} // namespace Ovik
