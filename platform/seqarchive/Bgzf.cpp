#include "Bgzf.h"

#include <contracts/SeqArchive.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>
#include <zlib.h>

namespace Ovik {
namespace bgzf {

namespace {

constexpr std::size_t kHeader = 18;           // fixed header with the BC field alone
constexpr std::size_t kMaxBlock = 1u << 16;   // compressed size limit, and content limit
constexpr std::size_t kReadAhead = 1u << 22;  // bytes read at once when walking the file

unsigned little16(const unsigned char* p) { return p[0] | (p[1] << 8u); }
std::uint32_t little32(const unsigned char* p) {
    return p[0] | (p[1] << 8u) | (p[2] << 16u) | (static_cast<std::uint32_t>(p[3]) << 24u);
}

// The block size the header at `p` names (its "BC" field + 1), or 0 when it is not BGZF.
std::size_t blockSize(const unsigned char* p, std::size_t size) {
    if (size < 12 || p[0] != 0x1f || p[1] != 0x8b || p[2] != 8 || !(p[3] & 4))
        return 0;
    const std::size_t extra = little16(p + 10);
    if (size < 12 + extra)
        return 0;
    for (std::size_t i = 12; i + 4 <= 12 + extra;) {
        const std::size_t length = little16(p + i + 2);
        if (p[i] == 'B' && p[i + 1] == 'C' && length == 2 && i + 6 <= 12 + extra)
            return little16(p + i + 4) + 1u;
        i += 4 + length;
    }
    return 0;
}

} // namespace

std::size_t readAt(int fd, char* into, std::size_t size, std::uint64_t at, const std::string& path) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, into + got, size - got, static_cast<off_t>(at + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw SeqArchiveError(path + ": " + std::strerror(errno));
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

Kind kindOf(const unsigned char* head, std::size_t size) {
    if (size >= 2 && head[0] == 0x1f && head[1] == 0x8b)
        return blockSize(head, size) ? Kind::Bgzf : Kind::OtherCompression;
    if (size >= 3 && head[0] == 'B' && head[1] == 'Z' && head[2] == 'h')
        return Kind::OtherCompression;
    if (size >= 6 && std::memcmp(head, "\xfd" "7zXZ\0", 6) == 0)
        return Kind::OtherCompression;
    if (size >= 4 && std::memcmp(head, "\x28\xb5\x2f\xfd", 4) == 0)
        return Kind::OtherCompression;
    return Kind::Plain;
}

struct BlockReader::Inflater {
    z_stream z = {};
    bool ready = false;
    ~Inflater() {
        if (ready)
            inflateEnd(&z);
    }
};

BlockReader::BlockReader(int fd, const std::string& path)
    : fd_(fd), path_(path), inflater_(new Inflater) {}

BlockReader::~BlockReader() { delete inflater_; }

bool BlockReader::fill(std::uint64_t at, std::size_t size) {
    if (at >= bufferAt_ && at + size <= bufferAt_ + buffer_.size())
        return true;
    buffer_.resize(std::max(size, kReadAhead));
    const std::size_t got = readAt(fd_, &buffer_[0], buffer_.size(), at, path_);
    buffer_.resize(got);
    bufferAt_ = at;
    return got >= size;
}

std::size_t BlockReader::read(std::uint64_t at, std::string& out) {
    out.clear();
    if (!fill(at, kHeader) && buffer_.empty())
        return 0; // the end of the file
    const auto* head = reinterpret_cast<const unsigned char*>(buffer_.data() + (at - bufferAt_));
    const std::size_t available = buffer_.size() - static_cast<std::size_t>(at - bufferAt_);
    const std::size_t size = blockSize(head, available);
    if (size == 0 || size < kHeader + 8)
        throw SeqArchiveError(path_ + ": not a BGZF block at byte " + std::to_string(at));
    if (!fill(at, size))
        throw SeqArchiveError(path_ + ": the BGZF block at byte " + std::to_string(at) + " is cut short");
    const auto* block = reinterpret_cast<const unsigned char*>(buffer_.data() + (at - bufferAt_));
    const std::size_t headerSize = 12 + little16(block + 10);
    const std::uint32_t crc = little32(block + size - 8);
    const std::uint32_t contentSize = little32(block + size - 4);
    if (contentSize > kMaxBlock)
        throw SeqArchiveError(path_ + ": corrupt BGZF block at byte " + std::to_string(at));
    out.resize(contentSize);
    if (!inflater_->ready) {
        if (inflateInit2(&inflater_->z, -15) != Z_OK)
            throw SeqArchiveError(path_ + ": cannot start the inflater");
        inflater_->ready = true;
    } else {
        inflateReset(&inflater_->z);
    }
    z_stream& z = inflater_->z;
    z.next_in = const_cast<Bytef*>(block + headerSize);
    z.avail_in = static_cast<uInt>(size - headerSize - 8);
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = contentSize;
    const int status = inflate(&z, Z_FINISH);
    if (status != Z_STREAM_END || z.avail_out != 0 ||
        crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(out.data()),
              static_cast<uInt>(out.size())) != crc)
        throw SeqArchiveError(path_ + ": corrupt BGZF block at byte " + std::to_string(at));
    return size;
}

} // namespace bgzf
} // namespace Ovik
