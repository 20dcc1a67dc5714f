#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_OUTPUTFILE_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_OUTPUTFILE_H

#include <cstddef>
#include <string>

namespace Ovik {

/// A file written beside its target under a temporary name and renamed over the target only by
/// commit(). Destroyed without a successful commit(), it removes the temporary file, so the old
/// target survives any failure. Write errors throw SeqArchiveError naming the target.
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
    bool committed() const { return committed_; }
    const std::string& tempPath() const { return temp_; }

private:
    void flush();
    [[noreturn]] void fail(int err);
    void discard();

    std::string target_;
    std::string temp_;
    int fd_ = -1;
    std::string buf_;
    bool committed_ = false;
};

} // namespace Ovik

#endif
