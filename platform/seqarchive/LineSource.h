#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_LINESOURCE_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_LINESOURCE_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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

/// Reads a file line by line through a large buffer: plain files with read(), gzip files (known by
/// their magic bytes) through zlib. Memory is the buffer plus the longest line.
class LineSource {
public:
    /// Throws SeqArchiveError naming the path and the reason when the file cannot be opened.
    explicit LineSource(const std::string& path);
    /// Reads an open descriptor front to back (a pipe, standard input): it is never sought,
    /// reopened or closed, and need not be a regular file. gzip content is unpacked, anything else
    /// passes unchanged. `name` stands for the path in messages.
    LineSource(int fd, const std::string& name);
    ~LineSource();
    LineSource(LineSource&& other) noexcept;
    LineSource(const LineSource&) = delete;
    LineSource& operator=(const LineSource&) = delete;
    LineSource& operator=(LineSource&&) = delete;

    /// The next line, or false at the end of the input. Throws on a read error.
    bool next(Line& line);
    /// Makes the next call of next() return the last line again (one level).
    void unget();
    /// Skips blank lines; true when a non-blank line follows (it is not consumed).
    bool skipBlank();
    /// The number (1-based) of the line last returned.
    unsigned long lineNumber() const { return lineNo_; }
    const std::string& path() const { return path_; }
    /// Throws SeqArchiveError "path:line: reason" (line = lineNumber() unless given).
    [[noreturn]] void fail(const std::string& reason) const;
    [[noreturn]] void failAt(unsigned long line, const std::string& reason) const;

    /// The next `size` bytes of content (fewer at its end), read ahead without consuming them;
    /// `complete` tells whether they reach the end. Valid until the next call of any member.
    std::string_view peek(std::size_t size, bool& complete);
    /// Moves up to `size` bytes of content not yet consumed into `dest`, as they come (no line
    /// splitting); 0 at the end. Throws on a read error.
    std::size_t read(char* dest, std::size_t size);

    /// Reads up to `size` bytes from the start of a file (decompressed when gzip) into `out`.
    /// False when the file cannot be opened.
    static bool readPrefix(const std::string& path, std::size_t size, std::string& out);

private:
    std::size_t fill(char* dest, std::size_t size);
    bool refill();

    std::string path_;
    int fd_ = -1;
    void* gz_ = nullptr;
    std::vector<char> buf_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool pushedBack_ = false;
    Line last_;
    unsigned long lineNo_ = 0;
};

} // namespace Ovik

#endif
