#ifndef MODELFACTORY_TRACE_TRACEFILEBYTES_H
#define MODELFACTORY_TRACE_TRACEFILEBYTES_H

// Internal to the chromatogram reader: reading a file at exactly the path given, with no search
// paths, no compressed variants and no helper programs. A gzip file is inflated here, in memory.

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Ovik {
namespace detail {

/// How many leading bytes detection reads first: the decoder's classifier looks at no more than
/// the first ~1.6 KB.
constexpr std::size_t traceSignatureBytes = 2048;
/// How far detection reads into an experiment file to find the link to its trace.
constexpr std::size_t tracePrefixBytes = 8192;

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};
/// A malloc'ed buffer, as the decoder's in-memory files take ownership with free() semantics.
typedef std::unique_ptr<char, FreeDeleter> MallocBuffer;

/// Whole-file buffers of small files are recycled per thread (see TraceFileBytes.cpp). A buffer
/// of at least `bytes`; `capacity` receives its true size.
MallocBuffer takeBuffer(std::size_t bytes, std::size_t& capacity);
/// Keeps `buffer` (of `capacity` bytes) as the thread's spare when it is small enough; frees it
/// otherwise.
void keepBuffer(MallocBuffer buffer, std::size_t capacity);

/// True when `bytes` begin with the gzip signature.
bool startsGzip(std::string_view bytes);

class GzipReader;

/// An open regular file. Anything else (missing, a folder, a pipe, a device) is not "open", so a
/// FIFO can never block detection. The content of a file that starts with the gzip signature is
/// what it inflates to (one layer; members written one after another count as one stream):
/// everything read from it is inflated bytes, and a damaged or cut stream is a read failure.
class TraceFileBytes {
public:
    explicit TraceFileBytes(const char* path);
    ~TraceFileBytes();
    TraceFileBytes(const TraceFileBytes&) = delete;
    TraceFileBytes& operator=(const TraceFileBytes&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    /// Whether the file is gzip-compressed (its content then is what it inflates to).
    bool isCompressed() const { return gzip_ != nullptr; }

    /// The next `limit` bytes of the content, from its start on the first call (fewer at its end;
    /// "" on failure).
    std::string readNext(std::size_t limit);
    /// The whole content in a malloc'ed buffer, `prefix` (all read so far by readNext) included;
    /// empty on a read failure or when the content is larger than `maxBytes` (a compressed file
    /// is inflated no further than that). `sizeOut` receives the number of bytes.
    /// The buffer comes from takeBuffer; bufferCapacity() gives its size for keepBuffer.
    MallocBuffer readAll(const std::string& prefix, std::size_t maxBytes, std::size_t& sizeOut);
    /// As readAll for a plain (not compressed) file, with the bytes of `holes` not read: sorted,
    /// disjoint [begin, end) ranges past the prefix and inside the file, which the caller knows
    /// nobody reads (they hold whatever the recycled buffer held: clearing them would cost as
    /// much as reading them). Empty when
    /// the file is compressed, is not of the size it had when opened, or a read fails; readAll
    /// can still be called then.
    MallocBuffer readAllBut(const std::string& prefix, std::size_t maxBytes,
                            const std::vector<std::pair<std::size_t, std::size_t>>& holes, std::size_t& sizeOut);
    /// `count` bytes of a plain file from `offset` into `target`; false when the file is
    /// compressed or fewer are there. The position readNext and readAll go on from is kept.
    bool readAt(std::size_t offset, char* target, std::size_t count);
    /// The size of a plain file when it was opened; 0 for a compressed one.
    std::size_t plainSize() const { return gzip_ ? 0 : size_; }
    std::size_t bufferCapacity() const { return capacity_; }

private:
    /// Up to `count` bytes of content into `target`: fewer only at its end; -1 on a failure.
    long readContent(char* target, std::size_t count);

    int fd_ = -1;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::unique_ptr<GzipReader> gzip_;
};

} // namespace detail
} // namespace Ovik

#endif
