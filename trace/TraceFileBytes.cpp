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

// Reading chromatograms one after another, a fresh buffer for each file and its release
// afterwards make the allocator give memory back to the system and take it again for every file,
// and the kernel then hands out (and zeroes) fresh pages each time. One spare buffer per thread
// avoids that for the common sizes; larger files take their own buffer, as the allocator serves
// those from separate mappings anyway.
constexpr std::size_t maxSpareBytes = 128u * 1024u;

struct Spare {
    char* data = nullptr;
    std::size_t capacity = 0;
    ~Spare() { std::free(data); }
};
thread_local Spare spare;

} // namespace

MallocBuffer takeBuffer(std::size_t bytes, std::size_t& capacity) {
    if (spare.data && spare.capacity >= bytes) {
        capacity = spare.capacity;
        MallocBuffer buffer(spare.data);
        spare.data = nullptr;
        spare.capacity = 0;
        return buffer;
    }
    // Small files get a buffer of the spare's full size, so that it serves every later one.
    const std::size_t size = bytes <= maxSpareBytes ? maxSpareBytes : bytes;
    MallocBuffer buffer(static_cast<char*>(std::malloc(size)));
    capacity = buffer ? size : 0;
    return buffer;
}

void keepBuffer(MallocBuffer buffer, std::size_t capacity) {
    if (!buffer || capacity > maxSpareBytes || spare.data)
        return; // freed
    spare.data = buffer.release();
    spare.capacity = capacity;
}

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
    // One byte of room to notice growth without an immediate reallocation.
    MallocBuffer buffer = takeBuffer(capacity + 1, capacity);
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
    capacity_ = capacity;
    return buffer;
}

} // namespace detail
} // namespace Ovik
