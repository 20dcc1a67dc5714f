#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_LINESOURCE_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_LINESOURCE_H

#include <contracts/Compression.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace Ovik {

/// A line of input without its terminator (a CR before the LF is removed as well). Points into
/// the source's buffer and stays valid until the next call of next() that does not follow unget().
struct Line {
    const char* data = nullptr;
    std::size_t size = 0;

    bool empty() const { return size == 0; }
    char operator[](std::size_t i) const { return data[i]; }
    bool startsWith(const char* prefix) const;
    /// True when the line holds only spaces and tabs.
    bool blank() const;
    std::string str() const { return std::string(data, size); }
};

/// A line of `text` from `at` (a reader parsing in the buffer): its end without the line end (and
/// a CR before it), and where the next line starts; false when no line end follows in `text`.
inline bool lineAt(std::string_view text, std::size_t at, std::string_view& line, std::size_t& next) {
    const void* nl = std::memchr(text.data() + at, '\n', text.size() - at);
    if (!nl)
        return false;
    const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(nl) - text.data());
    std::size_t end = stop;
    if (end > at && text[end - 1] == '\r')
        --end;
    line = text.substr(at, end - at);
    next = stop + 1;
    return true;
}

/// Reads a file line by line through a large buffer; a compressed file (gzip, bzip2, xz or zstd,
/// known by its magic bytes) is decompressed on the way (cmn::InputStream). Memory is the buffer
/// plus about the longest line once. Content that holds NUL bytes in its first block, or in a line
/// longer than the buffer, is refused as binary before it is buffered.
class LineSource {
public:
    /// Throws SeqArchiveError naming the path and the reason when the file cannot be opened or is
    /// not a regular file (a FIFO or device is refused without being read).
    explicit LineSource(const std::string& path);
    /// Reads an input already open (standard input, a pipe: it need not be a regular file), whose
    /// first bytes were read ahead into `prefix`: the lines start with them. `name` stands for the
    /// path in messages. Throws SeqArchiveError when the prefix holds binary content.
    LineSource(cmn::InputStream&& in, const std::string& name, std::string_view prefix);
    ~LineSource();
    /// The buffer's storage moves along, so a line given out before still points at its bytes.
    LineSource(LineSource&& other) noexcept;
    LineSource(const LineSource&) = delete;
    LineSource& operator=(const LineSource&) = delete;
    LineSource& operator=(LineSource&&) = delete;

    /// The next line, or false at the end of the input. Throws on a read error.
    bool next(Line& line);
    /// The next piece of a line, for a reader that takes lines of any length without holding
    /// one whole: what the buffer holds of it, about a quarter of the buffer or more at a time.
    /// `ended` tells whether the piece ends its line (a CR before the LF is removed as by
    /// next()); the first piece of a line counts it in lineNumber(). False at the end of the
    /// input. A line is taken either whole (next()) or in pieces to its end; a line given back by
    /// unget() comes as one piece.
    bool nextPiece(Line& piece, bool& ended);
    /// Appends the rest of the line whose first piece nextPiece() gave (`ended` as it said) to
    /// `text`. A line of any length costs about its own size once (see GatheredText): neither
    /// the string's doubling nor the line buffer holds a second copy.
    void appendRestOfLine(std::string& text, bool ended);
    /// Makes the next call of next() return the last line again (one level). Not after consume().
    void unget();

    // For readers that parse a whole short record where it lies in the buffer, with no line
    // copied: they look at buffered(), take what they parsed with consume(), and leave anything
    // unusual (a record longer than the buffer holds, a wrapped one, a fault) to next().

    /// What the buffer holds from the start of the next line on, without reading; empty after
    /// unget() or part way through a line taken in pieces. Valid until the next call that reads.
    std::string_view buffered() const {
        if (pushedBack_ || inLine_)
            return std::string_view();
        return std::string_view(buf_.get() + pos_, end_ - pos_);
    }
    /// Reads more input after what buffered() holds (which moves to the front of the buffer, so
    /// that views taken before are void); false at the end of the input.
    bool readMore() { return !pushedBack_ && !inLine_ && refill(); }
    /// Takes the first `size` bytes of buffered(), `lines` whole lines, as read: lineNumber()
    /// counts them.
    void consume(std::size_t size, unsigned long lines) {
        pos_ += size;
        scanned_ = 0;
        lineNo_ += lines;
        last_ = Line();
    }
    /// Skips blank lines; true when a non-blank line follows (it is not consumed, nor read
    /// whole: only as far as its first character).
    bool skipBlank();
    /// After skipBlank() returned true: the first byte of the line that follows (not consumed).
    char peekLineStart() const;
    /// The number (1-based) of the line last returned.
    unsigned long lineNumber() const { return lineNo_; }
    const std::string& path() const { return path_; }
    /// Throws SeqArchiveError "path:line: reason" (line = lineNumber() unless given).
    [[noreturn]] void fail(const std::string& reason) const;
    [[noreturn]] void failAt(unsigned long line, const std::string& reason) const;

private:
    struct FreeBuffer {
        void operator()(char* p) const;
    };

    std::size_t fill(char* dest, std::size_t size);
    bool refill();

    std::string path_;
    cmn::InputStream in_;
    // Grown with realloc: pages past what was read are never touched, so a long line costs
    // about its own length, not the capacity (nor a copy, for large blocks).
    std::unique_ptr<char, FreeBuffer> buf_;
    std::size_t capacity_ = 0;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    std::size_t scanned_ = 0; // bytes after pos_ known to hold no line end
    bool started_ = false;    // the first block was read (and judged)
    bool eof_ = false;
    bool pushedBack_ = false;
    bool inLine_ = false; // nextPiece() gave part of a line and not its end
    Line last_;
    unsigned long lineNo_ = 0;
};

} // namespace Ovik

#endif
