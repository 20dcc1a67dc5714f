#ifndef MODELFACTORY_TOOLS_STANDARDSTREAMS_H
#define MODELFACTORY_TOOLS_STANDARDSTREAMS_H

// "-" as a path: standard input to read, standard output to write.
//
// Sequence archives on standard input are read as they arrive, without a file between. Anything
// else (alignments, XML documents, chromatograms) goes to a private temporary file first, since
// those readers take whole files; so does input that `open` loads whole anyway.

#include <contracts/SeqArchive.h>

#include <memory>
#include <string>
#include <vector>

namespace mftool {

/// The path that stands for standard input or output.
inline bool isStandardStream(const std::string& path) { return path == "-"; }

/// A private folder under $TMPDIR (else /tmp), removed with the files made in it.
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
};

/// Standard input, looked at before it is read.
class StandardInput {
public:
    StandardInput();

    /// The archive format to read standard input in as it arrives: `format` when the archive layer
    /// knows it; with no format, the format of the first bytes, when detection takes them for a
    /// sequence archive too. "" when the input must go through a file (see spool()).
    std::string streamFormat(const std::string& format);
    /// The first bytes (up to 64 KiB, unpacked) in a file, for detection.
    std::string headFile();
    /// All of standard input (unpacked) in a file, for the readers that need one.
    std::string spool();
    /// An archive reading standard input in `format`; the stream is then used up.
    std::unique_ptr<Ovik::ISeqArchive> archive(const std::string& format, cmn::OpContext* ctx);

private:
    Ovik::SeqInputStream stream_;
    TempFolder folder_;
    std::string head_;
    bool complete_ = false; ///< the head file holds all of the input
};

/// Copies the file at `path` to standard output; false (with errno set) when it cannot.
bool copyToStandardOutput(const std::string& path);

} // namespace mftool

#endif
