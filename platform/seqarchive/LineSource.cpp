#include "LineSource.h"

#include "GatheredText.h"
#include "Messages.h"

#include <contracts/SeqArchive.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Ovik {

namespace {
constexpr std::size_t kBufferSize = 1u << 19;
constexpr std::size_t kMaxRead = 4u << 20;

// The UTF-8 byte-order mark many Windows programs put before their text: not part of the first
// line. How many bytes of it `data` begins with.
std::size_t byteOrderMark(const char* data, std::size_t size) {
    return size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}
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
    // A FIFO or device is refused, never read (a pipe without a writer would block for ever).
    int error = 0;
    const int fd = cmn::openRegularFile(path, error);
    if (fd < 0)
        throw SeqArchiveError(std::string(msg::kCannotOpen) + path + ": " + cmn::openErrorText(error));
    try {
        in_.open(fd, path); // owns the descriptor from here
        in_.readAhead();    // lines are taken in order to the end: inflating can run alongside
    } catch (const cmn::InputError& failure) {
        throw SeqArchiveError(std::string(msg::kCannotOpen) + failure.what());
    }
    buf_.reset(static_cast<char*>(std::malloc(kBufferSize)));
    if (!buf_)
        throw std::bad_alloc();
    capacity_ = kBufferSize;
}

LineSource::LineSource(cmn::InputStream&& in, const std::string& name, std::string_view prefix)
    : path_(name), in_(std::move(in)) {
    in_.readAhead();
    // Text never holds NUL, as the first block of a file is judged.
    if (std::memchr(prefix.data(), '\0', prefix.size()))
        failAt(1, msg::kBinaryContent);
    capacity_ = std::max(kBufferSize, 2 * prefix.size());
    buf_.reset(static_cast<char*>(std::malloc(capacity_)));
    if (!buf_)
        throw std::bad_alloc();
    std::memcpy(buf_.get(), prefix.data(), prefix.size());
    end_ = prefix.size();
    pos_ = byteOrderMark(buf_.get(), end_);
    started_ = true;
}

LineSource::LineSource(LineSource&& other) noexcept
    : path_(std::move(other.path_)), in_(std::move(other.in_)), buf_(std::move(other.buf_)),
      capacity_(other.capacity_), pos_(other.pos_), end_(other.end_), scanned_(other.scanned_),
      started_(other.started_), eof_(other.eof_), pushedBack_(other.pushedBack_),
      last_(other.last_), lineNo_(other.lineNo_) {
    other.capacity_ = other.pos_ = other.end_ = other.scanned_ = 0;
    other.eof_ = true;
}

LineSource::~LineSource() = default;

void LineSource::FreeBuffer::operator()(char* p) const { std::free(p); }

std::size_t LineSource::fill(char* dest, std::size_t size) {
    try {
        return in_.read(dest, size);
    } catch (const cmn::InputError& failure) {
        // The text is "path: reason" (a corrupt or truncated compressed stream, a read error).
        const std::string text = failure.what();
        fail(std::string(msg::kCorrupt) + " (" + text.substr(std::min(text.size(), path_.size() + 2)) + ")");
    }
}

bool LineSource::refill() {
    if (eof_)
        return false;
    // Keep the partial line at the front; grow only when one line fills the whole buffer.
    std::size_t keep = end_ - pos_;
    if (keep > 0 && pos_ > 0)
        std::memmove(buf_.get(), buf_.get() + pos_, keep);
    pos_ = 0;
    end_ = keep;
    if (capacity_ > kBufferSize && keep < kBufferSize / 2) {
        // The long line that grew the buffer is behind us: give its memory back.
        if (char* shrunk = static_cast<char*>(std::realloc(buf_.get(), kBufferSize))) {
            buf_.release();
            buf_.reset(shrunk);
            capacity_ = kBufferSize;
        }
    }
    if (capacity_ - end_ < kBufferSize / 2) {
        char* grown = static_cast<char*>(std::realloc(buf_.get(), capacity_ * 2));
        if (!grown)
            throw std::bad_alloc();
        buf_.release();
        buf_.reset(grown);
        capacity_ *= 2;
    }
    // Reads are bounded, so that a long line is not followed by as much read-ahead.
    const std::size_t room = std::min(capacity_ - end_, kMaxRead);
    std::size_t got = fill(buf_.get() + end_, room);
    if (got == 0) {
        eof_ = true;
        return false;
    }
    // Text never holds NUL: binary content is refused on its first block, and wherever a line
    // outgrows the buffer, before it is held whole.
    if ((!started_ || keep >= kBufferSize / 2) && std::memchr(buf_.get() + end_, '\0', got))
        failAt(lineNo_ + 1, msg::kBinaryContent);
    if (!started_)
        pos_ = byteOrderMark(buf_.get(), got);
    started_ = true;
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
        const char* start = buf_.get() + pos_;
        const void* nl = std::memchr(start + scanned_, '\n', end_ - pos_ - scanned_);
        if (nl) {
            const char* stop = static_cast<const char*>(nl);
            std::size_t len = static_cast<std::size_t>(stop - start);
            pos_ += len + 1;
            scanned_ = 0;
            if (len > 0 && start[len - 1] == '\r')
                --len;
            last_.data = start;
            last_.size = len;
            break;
        }
        scanned_ = end_ - pos_; // a long line is scanned once, not again after every read
        if (!refill()) {
            scanned_ = 0;
            if (pos_ == end_)
                return false;
            // The last line has no terminator.
            const char* s = buf_.get() + pos_;
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

bool LineSource::nextPiece(Line& piece, bool& ended) {
    if (pushedBack_) {
        pushedBack_ = false;
        ++lineNo_;
        piece = last_;
        ended = true;
        return true;
    }
    // Pieces stay below the size at which refill() grows the buffer.
    constexpr std::size_t kPiece = kBufferSize / 4;
    for (;;) {
        const char* start = buf_.get() + pos_;
        const std::size_t have = end_ - pos_;
        if (const void* nl = std::memchr(start + scanned_, '\n', have - scanned_)) {
            std::size_t len = static_cast<std::size_t>(static_cast<const char*>(nl) - start);
            pos_ += len + 1;
            scanned_ = 0;
            if (len > 0 && start[len - 1] == '\r')
                --len;
            piece.data = start;
            piece.size = len;
            break;
        }
        if (have >= kPiece) {
            // A last CR may come before the LF that ends the line: it waits for the next piece.
            const std::size_t give = start[have - 1] == '\r' ? have - 1 : have;
            pos_ += give;
            scanned_ = 0;
            piece.data = start;
            piece.size = give;
            ended = false;
            if (!inLine_)
                ++lineNo_;
            inLine_ = true;
            return true;
        }
        scanned_ = have;
        if (!refill()) {
            scanned_ = 0;
            const char* s = buf_.get() + pos_;
            std::size_t len = end_ - pos_;
            if (len == 0 && !inLine_)
                return false;
            pos_ = end_;
            if (len > 0 && s[len - 1] == '\r')
                --len;
            piece.data = s;
            piece.size = len;
            break;
        }
    }
    ended = true;
    if (!inLine_)
        ++lineNo_;
    inLine_ = false;
    last_ = piece;
    return true;
}

void LineSource::appendRestOfLine(std::string& text, bool ended) {
    GatheredText gathered(text);
    Line piece;
    while (!ended && nextPiece(piece, ended))
        gathered.append(piece.data, piece.size);
    gathered.finish();
}

char LineSource::peekLineStart() const { return pushedBack_ ? (last_.size ? last_[0] : '\0') : buf_.get()[pos_]; }

void LineSource::unget() {
    pushedBack_ = true;
    --lineNo_;
}

bool LineSource::skipBlank() {
    if (pushedBack_) {
        if (!last_.blank())
            return true;
        pushedBack_ = false;
        ++lineNo_;
    }
    // Looked at byte by byte only as far as the first one that is not blank: a line of
    // gigabytes after the blank ones is not read whole here.
    for (;;) {
        const char* b = buf_.get();
        std::size_t i = pos_;
        while (i < end_ && (b[i] == ' ' || b[i] == '\t'))
            ++i;
        if (i + 1 < end_ && b[i] == '\r' && b[i + 1] == '\n')
            ++i;
        if (i < end_ && b[i] == '\n') {
            pos_ = i + 1;
            scanned_ = 0;
            ++lineNo_;
            continue;
        }
        // Anything else is not blank; a CR last in the buffer may still end a blank line.
        if (i < end_ && !(b[i] == '\r' && i + 1 == end_))
            return true;
        // Blanks up to the end of what is read: keep them (a line may go on) and read on.
        scanned_ = 0;
        if (!refill()) {
            if (pos_ < end_)
                ++lineNo_; // a last line of blanks without its line end
            pos_ = end_;
            return false;
        }
    }
}

void LineSource::fail(const std::string& reason) const { failAt(lineNo_, reason); }

void LineSource::failAt(unsigned long line, const std::string& reason) const {
    throw SeqArchiveError(path_ + ":" + std::to_string(line) + ": " + reason);
}

} // namespace Ovik
