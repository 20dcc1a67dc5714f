#ifndef MODELFACTORY_TRACE_TRACEFILEBYTES_H
#define MODELFACTORY_TRACE_TRACEFILEBYTES_H

// Internal to the chromatogram reader: reading a file at exactly the path given, with no search
// paths, no compressed variants and no helper programs.

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>

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

/// An open regular file. Anything else (missing, a folder, a pipe, a device) is not "open", so a
/// FIFO can never block detection.
class TraceFileBytes {
public:
    explicit TraceFileBytes(const char* path);
    ~TraceFileBytes();
    TraceFileBytes(const TraceFileBytes&) = delete;
    TraceFileBytes& operator=(const TraceFileBytes&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    /// Size reported when the file was opened.
    std::size_t size() const { return size_; }

    /// The next `limit` bytes of the file, from its start on the first call (fewer at its end;
    /// "" on failure).
    std::string readNext(std::size_t limit);
    /// The whole file in a malloc'ed buffer, `prefix` (all read so far by readNext) included;
    /// empty on a read failure or when the file is larger than `maxBytes`. `sizeOut` receives
    /// the number of bytes.
    /// The buffer comes from takeBuffer; bufferCapacity() gives its size for keepBuffer.
    MallocBuffer readAll(const std::string& prefix, std::size_t maxBytes, std::size_t& sizeOut);
    std::size_t bufferCapacity() const { return capacity_; }

private:
    int fd_ = -1;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace detail
} // namespace Ovik

#endif
