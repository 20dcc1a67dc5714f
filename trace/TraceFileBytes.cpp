#include "trace/TraceFileBytes.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

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

constexpr unsigned char gzipMagic[2] = {0x1F, 0x8B};

} // namespace

bool startsGzip(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == gzipMagic[0] &&
           static_cast<unsigned char>(bytes[1]) == gzipMagic[1];
}

/// Inflates a gzip file as its content is asked for, reading the compressed bytes in blocks.
class GzipReader {
public:
    explicit GzipReader(int fd) : fd_(fd), input_(inputBlockBytes) {
        std::memset(&stream_, 0, sizeof stream_);
        // 16 + window bits: a gzip wrapper, never a bare zlib stream.
        ready_ = inflateInit2(&stream_, 16 + MAX_WBITS) == Z_OK;
    }
    ~GzipReader() {
        if (ready_)
            inflateEnd(&stream_);
    }
    GzipReader(const GzipReader&) = delete;
    GzipReader& operator=(const GzipReader&) = delete;

    long read(char* target, std::size_t count) {
        if (!ready_ || failed_)
            return -1;
        std::size_t produced = 0;
        while (produced < count && !finished_) {
            if (stream_.avail_in == 0 && !refill())
                return fail();
            if (memberEnded_) {
                // Another member may follow; anything else after a whole stream ends the content,
                // as it does for gzip itself.
                if (stream_.avail_in == 0 || stream_.next_in[0] != gzipMagic[0]) {
                    finished_ = true;
                    break;
                }
                if (inflateReset(&stream_) != Z_OK)
                    return fail();
                memberEnded_ = false;
            }
            if (stream_.avail_in == 0)
                return fail(); // the stream is cut short
            const std::size_t room = std::min<std::size_t>(count - produced, UINT_MAX);
            stream_.next_out = reinterpret_cast<Bytef*>(target + produced);
            stream_.avail_out = static_cast<uInt>(room);
            const int status = inflate(&stream_, Z_NO_FLUSH);
            produced += room - stream_.avail_out;
            if (status == Z_STREAM_END)
                memberEnded_ = true;
            else if (status != Z_OK && status != Z_BUF_ERROR)
                return fail();
        }
        return static_cast<long>(produced);
    }

private:
    static constexpr std::size_t inputBlockBytes = 64u * 1024u;

    // Reads the next block of compressed bytes when none are left; false on a read error.
    bool refill() {
        if (stream_.avail_in != 0 || atEnd_)
            return true;
        const long got = readFully(fd_, input_.data(), input_.size());
        if (got < 0)
            return false;
        atEnd_ = static_cast<std::size_t>(got) < input_.size();
        stream_.next_in = reinterpret_cast<Bytef*>(input_.data());
        stream_.avail_in = static_cast<uInt>(got);
        return true;
    }
    long fail() {
        failed_ = true;
        return -1;
    }

    int fd_;
    std::vector<char> input_;
    z_stream stream_;
    bool ready_ = false;
    bool atEnd_ = false;
    bool memberEnded_ = false;
    bool finished_ = false;
    bool failed_ = false;
};

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
    // The signature is looked at where it is, leaving the read position at the start.
    unsigned char magic[2];
    if (::pread(fd_, magic, sizeof magic, 0) == static_cast<ssize_t>(sizeof magic) &&
        startsGzip(std::string_view(reinterpret_cast<const char*>(magic), sizeof magic)))
        gzip_.reset(new GzipReader(fd_));
}

TraceFileBytes::~TraceFileBytes() {
    gzip_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

long TraceFileBytes::readContent(char* target, std::size_t count) {
    return gzip_ ? gzip_->read(target, count) : readFully(fd_, target, count);
}

std::string TraceFileBytes::readNext(std::size_t limit) {
    if (fd_ < 0)
        return std::string();
    std::string prefix(limit, '\0');
    const long got = readContent(&prefix[0], limit);
    prefix.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return prefix;
}

MallocBuffer TraceFileBytes::readAll(const std::string& prefix, std::size_t maxBytes,
                                     std::size_t& sizeOut) {
    sizeOut = 0;
    if (fd_ < 0 || prefix.size() > maxBytes)
        return MallocBuffer();
    // The size seen at open time is only a hint: the file may have changed since, and a
    // compressed file's content is larger (by how much, only inflating it tells).
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
        const long got = readContent(buffer.get() + used, capacity - used);
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

bool TraceFileBytes::readAt(std::size_t offset, char* target, std::size_t count) {
    if (fd_ < 0 || gzip_)
        return false;
    while (count > 0) {
        const ssize_t got = ::pread(fd_, target, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        target += got;
        offset += static_cast<std::size_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

MallocBuffer TraceFileBytes::readAllBut(const std::string& prefix, std::size_t maxBytes,
                                        const std::vector<std::pair<std::size_t, std::size_t>>& holes,
                                        std::size_t& sizeOut) {
    sizeOut = 0;
    if (fd_ < 0 || gzip_ || size_ > maxBytes || prefix.size() > size_)
        return MallocBuffer();
    std::size_t capacity = 0;
    MallocBuffer buffer = takeBuffer(size_ + 1, capacity);
    if (!buffer)
        return MallocBuffer();
    char* data = buffer.get();
    if (!prefix.empty())
        std::memcpy(data, prefix.data(), prefix.size());
    std::size_t at = prefix.size();
    bool read = true;
    for (const auto& hole : holes) {
        if (hole.first < at || hole.second < hole.first || hole.second > size_) {
            read = false;
            break;
        }
        read = readAt(at, data + at, hole.first - at);
        if (!read)
            break;
        at = hole.second;
    }
    // The file must still end where it did: one byte more is a file that grew.
    char extra;
    if (read && (!readAt(at, data + at, size_ - at) || ::pread(fd_, &extra, 1, static_cast<off_t>(size_)) != 0))
        read = false;
    if (!read) {
        keepBuffer(std::move(buffer), capacity);
        return MallocBuffer();
    }
    sizeOut = size_;
    capacity_ = capacity;
    return buffer;
}

} // namespace detail
} // namespace Ovik
