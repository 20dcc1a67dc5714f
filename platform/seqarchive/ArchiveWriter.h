#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_ARCHIVEWRITER_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_ARCHIVEWRITER_H

#include "OutputFile.h"

#include <contracts/Sequence.h>

#include <memory>
#include <string>

namespace Ovik {

/// Writes the entries of one format into an OutputFile.
class ArchiveWriter {
public:
    explicit ArchiveWriter(const OutputTarget& target) : out_(target) {}
    virtual ~ArchiveWriter() = default;

    /// The quality written for the residues of a sequence that has no confidences (formats with
    /// qualities); negative makes such a sequence an error.
    void setDefaultQuality(int quality) { defaultQuality_ = quality; }

    void write(const Velm::Sequence& seq) {
        writeEntry(seq, count_);
        ++count_;
    }
    /// Writes what the format keeps until the end, then puts the file in place.
    void commit() {
        finish();
        out_.commit();
    }
    bool committed() const { return out_.committed(); }

protected:
    virtual void writeEntry(const Velm::Sequence& seq, std::size_t index) = 0;
    /// Appends `marker`, the name as one token ("seq<index + 1>" when it has none), the
    /// description on the same line and the line end.
    static void appendTitle(std::string& out, char marker, const Velm::Sequence& seq,
                            std::size_t index);
    virtual void finish() {}

    OutputFile out_;
    std::size_t count_ = 0;
    int defaultQuality_ = -1;
};

/// The writer for a writable format constant of SALSource.
std::unique_ptr<ArchiveWriter> makeWriter(const char* format, const OutputTarget& target);

std::unique_ptr<ArchiveWriter> makeFastaWriter(const OutputTarget& target);
std::unique_ptr<ArchiveWriter> makeFastqWriter(const OutputTarget& target);
std::unique_ptr<ArchiveWriter> makeGenBankWriter(const OutputTarget& target, bool protein);
std::unique_ptr<ArchiveWriter> makeEmblWriter(const OutputTarget& target);
std::unique_ptr<ArchiveWriter> makeSwissWriter(const OutputTarget& target, bool reviewed);
std::unique_ptr<ArchiveWriter> makeNbrfWriter(const OutputTarget& target);
std::unique_ptr<ArchiveWriter> makeGcgWriter(const OutputTarget& target);
std::unique_ptr<ArchiveWriter> makeMsfWriter(const OutputTarget& target);
std::unique_ptr<ArchiveWriter> makeRsfWriter(const OutputTarget& target);

} // namespace Ovik

#endif
