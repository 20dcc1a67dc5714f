#ifndef MODELFACTORY_TOOLS_STANDARDSTREAMS_H
#define MODELFACTORY_TOOLS_STANDARDSTREAMS_H

// "-" as a path: standard input to read, standard output to write.
//
// Sequence archives on standard input are read as they arrive, without a file between. Anything
// else (alignments, XML documents, chromatograms) goes to a private temporary file first, since
// those readers take whole files; that copy is bounded (kStandardInputCopyLimit), and content that
// detection cannot place from its first bytes is refused before anything is copied.

#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>

#include "ToolContext.h"

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace mftool {

/// The path that stands for standard input or output.
inline bool isStandardStream(const std::string& path) { return path == "-"; }

/// Before anything is opened or written: a closed descriptor 0, 1 or 2 gets a placeholder that
/// fails every read and write (so no file opened later takes its place and receives the output),
/// and std::cout writes through a buffer that keeps the first write error of standard output.
void openStandardStreams();

/// The errno of the first failed write to standard output; 0 while none failed. A command that
/// writes as it goes stops once it is set.
int standardOutputError();

/// Flushes std::cout and closes standard output. Returns `status` when everything reached it;
/// otherwise reports the failure on `err` and returns ExitFailed, except for a broken pipe (the
/// reader left on purpose, as `| head` does), which ends quietly with a non-zero status.
int closeStandardOutput(int status, std::ostream& err);

/// Removes the files and folders of every TempFolder alive in the process. Async-signal-safe,
/// for the handler of termination signals, which then ends the process.
void removeTemporaryFolders() noexcept;

/// A private folder under $TMPDIR (else /tmp), removed with the files made in it: by its
/// destructor, and by removeTemporaryFolders() when a signal ends the process first.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    /// The path of a file `name` in the folder (not created); throws std::runtime_error when the
    /// folder cannot be made.
    std::string file(const std::string& name);

private:
    std::string path_;
    std::vector<std::string> files_;
    std::vector<int> slots_; ///< where the folder and its files are registered for the handler
};

/// The most of standard input copied to a file for the readers that take whole files.
constexpr std::size_t kStandardInputCopyLimit = std::size_t(256) << 20;

/// Standard input, looked at before it is read.
class StandardInput {
public:
    /// Reports through `ctx` name the tool's copies of standard input "-".
    explicit StandardInput(ToolContext& ctx);

    /// True when standard input holds nothing at all.
    bool empty();

    /// The archive format to read standard input in as it arrives: `format` when the archive layer
    /// knows it; with no format, the format of the first bytes, when detection takes them for a
    /// sequence archive too. "" when the input must go through a file (see spool()).
    std::string streamFormat(const std::string& format);
    /// The first bytes (up to 64 KiB, unpacked) in a file, for detection.
    std::string headFile();
    /// All of standard input (unpacked) in a file, for the readers that need one. Throws
    /// std::runtime_error, before copying anything, when no `format` is named and detection cannot
    /// tell what the first bytes are (binary noise, say), and once the copy would pass
    /// kStandardInputCopyLimit.
    std::string spool(const std::string& format = std::string());
    /// Every entry of standard input, read as an archive in `format`, in one sequence model.
    boost::shared_ptr<Velm::Model> readModel(const std::string& format, cmn::OpContext* ctx);
    /// An archive reading standard input in `format`; the stream is then used up.
    std::unique_ptr<Ovik::ISeqArchive> archive(const std::string& format, cmn::OpContext* ctx);

private:
    ToolContext& ctx_;
    Ovik::SeqInputStream stream_;
    TempFolder folder_;
    std::string head_;
    bool complete_ = false; ///< the head file holds all of the input
};

/// The compression --compress NAME asks of standard output (gz, bz2, xz, zst, or the names
/// gzip, bzip2, zstd); None when `name` is empty. Throws UsageError for any other name, for a
/// compression asked of a named file whose name says otherwise (a file is compressed as its
/// name ends), and for a --to `format` that names a compression.
cmn::Compression outputCompression(const std::string& name, const std::string& output,
                                   const std::string& format);
/// ".gz", ".bz2", ".xz", ".zst", or "" for None.
const char* compressionExtension(cmn::Compression compression);

/// Copies the file at `path` to standard output; false (with errno set) when it cannot.
bool copyToStandardOutput(const std::string& path);

} // namespace mftool

#endif
