#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_OUTPUTFILE_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_OUTPUTFILE_H

#include <contracts/Common.h>
#include <contracts/Compression.h>

#include <cstddef>
#include <memory>
#include <string>

namespace Ovik {

/// A file written beside its target under a temporary name and renamed over the target only by
/// commit() (a cmn::ReplacingFile, which also writes devices and FIFOs straight through).
/// Destroyed without a successful commit(), or discarded, it removes the temporary file, so the
/// old target survives any failure. Write errors throw SeqArchiveError naming the target. A
/// target named ".gz", ".bz2", ".xz" or ".zst" is written compressed that way.
class OutputFile {
public:
    explicit OutputFile(const std::string& target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const char* data, std::size_t size);
    void write(const std::string& s) { write(s.data(), s.size()); }
    /// Flushes, syncs and renames the file over the target.
    void commit();
    bool committed() const { return file_.committed(); }
    const std::string& target() const { return file_.target(); }
    /// False once a write failed (and threw) or the file was discarded.
    bool ok() const { return !failed_ && file_.ok(); }
    /// Removes the temporary file now; the target stays as it was.
    void discard() { file_.discard(); }

private:
    [[noreturn]] void fail();

    cmn::ReplacingFile file_;
    std::unique_ptr<cmn::OutputCompressor> packer_; // null for a plain target
    bool failed_ = false; ///< the encoder can fail while the file has not
};

} // namespace Ovik

#endif
