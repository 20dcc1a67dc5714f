#ifndef MODELFACTORY_TOOLS_OUTPUTNAMES_H
#define MODELFACTORY_TOOLS_OUTPUTNAMES_H

// The names of the files `convert --output-dir` writes: each input's stem, with the extension of
// the output format.

#include <string>

namespace mftool {

/// The file-name extension (without the dot) of files written in `format` (a name or alias --to
/// accepts, any case): one the factory reads back as that format, "fa" for FASTA, "gb" for
/// GenBank, "fq" for FASTQ; "" for a format without one (or that is not written).
std::string extensionForFormat(const std::string& format);

/// The file name of `path` without its folders, its compression extension (".gz", ...) and its
/// last extension: "runs/310.ab1" -> "310", "reads.fq.gz" -> "reads". A name that is all
/// extension (".hidden") is kept whole.
std::string stemOf(const std::string& path);

/// `folder` and `name` joined by one '/'.
std::string pathInFolder(const std::string& folder, const std::string& name);

} // namespace mftool

#endif
