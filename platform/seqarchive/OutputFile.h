#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_OUTPUTFILE_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_OUTPUTFILE_H

#include <contracts/Common.h>
#include <contracts/Compression.h>

#include <cstddef>
#include <memory>
#include <string>

namespace Ovik {

/// Where a writer's bytes go: a file, or an open descriptor (standard output, a pipe).
struct OutputTarget {
    std::string path; ///< the file, or the name the descriptor goes by in messages
    int fd = -1;      ///< 0 or more: write to this descriptor, not to the file
    /// How a descriptor's bytes are compressed (a file's follows its name).
    cmn::Compression compression = cmn::Compression::None;

    // Implicit, so that a path is a target.
    OutputTarget(const std::string& file) : path(file) {}
    OutputTarget(int descriptor, const std::string& name,
                 cmn::Compression packed = cmn::Compression::None)
        : path(name), fd(descriptor), compression(packed) {}
};

/// A file written beside its target under a temporary name and renamed over the target only by
/// commit() (a cmn::ReplacingFile, which also writes devices and FIFOs straight through).
/// Destroyed without a successful commit(), or discarded, it removes the temporary file, so the
/// old target survives any failure. Write errors throw SeqArchiveError naming the target. A
/// target named ".gz", ".bz2", ".xz" or ".zst" is written compressed that way.
///
/// A descriptor target is written as the bytes come (in large pieces) and commit() only flushes:
/// what reached the descriptor cannot be taken back. The descriptor is not closed.
class OutputFile {
public:
    explicit OutputFile(const OutputTarget& target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const char* data, std::size_t size);
    void write(const std::string& s) { write(s.data(), s.size()); }
    /// Flushes, syncs and renames the file over the target.
    void commit();
    bool committed() const { return file_ ? file_->committed() : committed_; }
    /// The target's path (or the descriptor's name), for messages.
    const std::string& target() const { return target_; }
    /// False once a write failed (and threw) or the file was discarded.
    bool ok() const { return !failed_ && (!file_ || file_->ok()); }
    /// Removes the temporary file now; the target stays as it was. A descriptor keeps what it got.
    void discard();

private:
    [[noreturn]] void fail(int error);
    int fileError() const;
    void flush();

    std::string target_;
    std::unique_ptr<cmn::ReplacingFile> file_; // null for a descriptor target
    std::unique_ptr<cmn::OutputCompressor> packer_; // null for a plain target
    bool failed_ = false; ///< the encoder can fail while the file has not
    int fd_ = -1;
    std::string buffer_;
    bool committed_ = false;
};

} // namespace Ovik

#endif
