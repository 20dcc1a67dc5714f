#include "LineSource.h"

#include "Messages.h"

#include <contracts/SeqArchive.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Ovik {

namespace {
constexpr std::size_t kBufferSize = 1u << 17;

std::string systemError(int err) { return std::strerror(err); }
} // namespace

bool Line::startsWith(const char* prefix) const {
    std::size_t n = std::strlen(prefix);
    return size >= n && std::memcmp(data, prefix, n) == 0;
}

bool Line::blank() const {
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] != ' ' && data[i] != '\t')
            return false;
    return true;
}

LineSource::LineSource(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw SeqArchiveError(std::string(msg::kCannotOpen) + path + ": " + systemError(errno));
    struct stat st;
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw SeqArchiveError(std::string(msg::kCannotOpen) + path + ": " + systemError(EISDIR));
    }
    unsigned char magic[2] = {0, 0};
    ssize_t got = ::pread(fd_, magic, 2, 0);
    if (got == 2 && magic[0] == 0x1f && magic[1] == 0x8b) {
        // zlib takes over the descriptor and closes it with gzclose.
        gzFile gz = gzdopen(fd_, "rb");
        if (!gz) {
            ::close(fd_);
            fd_ = -1;
            throw SeqArchiveError(std::string(msg::kCannotOpen) + path + ": " + msg::kCorrupt);
        }
        fd_ = -1;
        gzbuffer(gz, 256 * 1024);
        gz_ = gz;
    }
    buf_.resize(kBufferSize);
}

LineSource::LineSource(int fd, const std::string& name) : path_(name) {
    // zlib reads what is not gzip unchanged; working on a copy of the descriptor leaves the
    // caller's open when this source closes.
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        throw SeqArchiveError(std::string(msg::kCannotOpen) + name + ": " + systemError(errno));
    gzFile gz = gzdopen(own, "rb");
    if (!gz) {
        ::close(own);
        throw SeqArchiveError(std::string(msg::kCannotOpen) + name + ": " + systemError(ENOMEM));
    }
    gzbuffer(gz, 256 * 1024);
    gz_ = gz;
    buf_.resize(kBufferSize);
}

LineSource::LineSource(LineSource&& other) noexcept
    : path_(std::move(other.path_)), fd_(other.fd_), gz_(other.gz_), buf_(std::move(other.buf_)),
      pos_(other.pos_), end_(other.end_), eof_(other.eof_), pushedBack_(other.pushedBack_),
      last_(other.last_), lineNo_(other.lineNo_) {
    // The buffer's storage moved with it, so a line given out before still points at its bytes.
    other.fd_ = -1;
    other.gz_ = nullptr;
    other.pos_ = other.end_ = 0;
    other.eof_ = true;
}

LineSource::~LineSource() {
    if (gz_)
        gzclose(static_cast<gzFile>(gz_));
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t LineSource::fill(char* dest, std::size_t size) {
    if (gz_) {
        gzFile gz = static_cast<gzFile>(gz_);
        int got = gzread(gz, dest, static_cast<unsigned>(size));
        int errnum = Z_OK;
        const char* text = got <= 0 ? gzerror(gz, &errnum) : nullptr;
        // A stream cut short reads as Z_BUF_ERROR at its end, not as a clean end of file.
        if (got < 0 || (got == 0 && errnum != Z_OK))
            fail(std::string(msg::kCorrupt) + " (" + (text ? text : "") + ")");
        return static_cast<std::size_t>(got);
    }
    for (;;) {
        ssize_t got = ::read(fd_, dest, size);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            fail("read error: " + systemError(errno));
    }
}

bool LineSource::refill() {
    if (eof_)
        return false;
    // Keep the partial line at the front; grow only when one line fills the whole buffer.
    std::size_t keep = end_ - pos_;
    if (keep > 0 && pos_ > 0)
        std::memmove(buf_.data(), buf_.data() + pos_, keep);
    pos_ = 0;
    end_ = keep;
    if (buf_.size() - end_ < kBufferSize / 2)
        buf_.resize(buf_.size() * 2);
    std::size_t got = fill(buf_.data() + end_, buf_.size() - end_);
    if (got == 0) {
        eof_ = true;
        return false;
    }
    end_ += got;
    return true;
}

bool LineSource::next(Line& line) {
    if (pushedBack_) {
        pushedBack_ = false;
        ++lineNo_;
        line = last_;
        return true;
    }
    for (;;) {
        const char* start = buf_.data() + pos_;
        const void* nl = std::memchr(start, '\n', end_ - pos_);
        if (nl) {
            const char* stop = static_cast<const char*>(nl);
            std::size_t len = static_cast<std::size_t>(stop - start);
            pos_ += len + 1;
            if (len > 0 && start[len - 1] == '\r')
                --len;
            last_.data = start;
            last_.size = len;
            break;
        }
        if (!refill()) {
            if (pos_ == end_)
                return false;
            // The last line has no terminator.
            const char* s = buf_.data() + pos_;
            std::size_t len = end_ - pos_;
            pos_ = end_;
            if (len > 0 && s[len - 1] == '\r')
                --len;
            last_.data = s;
            last_.size = len;
            break;
        }
    }
    ++lineNo_;
    line = last_;
    return true;
}

std::string_view LineSource::peek(std::size_t size, bool& complete) {
    while (end_ - pos_ < size && refill()) {
    }
    complete = eof_ && end_ - pos_ <= size;
    return std::string_view(buf_.data() + pos_, std::min(size, end_ - pos_));
}

std::size_t LineSource::read(char* dest, std::size_t size) {
    pushedBack_ = false;
    if (pos_ < end_) {
        const std::size_t n = std::min(size, end_ - pos_);
        std::memcpy(dest, buf_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    if (eof_)
        return 0;
    const std::size_t got = fill(dest, size);
    eof_ = got == 0;
    return got;
}

void LineSource::unget() {
    pushedBack_ = true;
    --lineNo_;
}

bool LineSource::skipBlank() {
    Line line;
    while (next(line)) {
        if (!line.blank()) {
            unget();
            return true;
        }
    }
    return false;
}

void LineSource::fail(const std::string& reason) const { failAt(lineNo_, reason); }

void LineSource::failAt(unsigned long line, const std::string& reason) const {
    throw SeqArchiveError(path_ + ":" + std::to_string(line) + ": " + reason);
}

bool LineSource::readPrefix(const std::string& path, std::size_t size, std::string& out) {
    out.clear();
    gzFile gz = gzopen(path.c_str(), "rb"); // reads plain files unchanged
    if (!gz)
        return false;
    out.resize(size);
    std::size_t total = 0;
    while (total < size) {
        int got = gzread(gz, &out[total], static_cast<unsigned>(size - total));
        if (got <= 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    gzclose(gz);
    out.resize(total);
    return true;
}

} // namespace Ovik
