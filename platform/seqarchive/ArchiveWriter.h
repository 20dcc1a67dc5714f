#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_ARCHIVEWRITER_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_ARCHIVEWRITER_H

#include "FastqVariants.h"
#include "OutputFile.h"

#include <contracts/Common.h>
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
    /// Residues a sequence line holds in the formats whose lines may have any length (FASTA,
    /// NBRF/PIR); 0 puts each sequence on one line.
    void setLineWidth(std::size_t width) { lineWidth_ = width; }

    /// What a format does with an entry whose residues are absent (a master or CONTIG-only
    /// record, Velm::Sequence::residuesAbsent): say so as its own records do, write it empty with a
    /// warning, or refuse it, when its readers reject an entry without residues.
    enum class AbsentResidues { Declare, WriteEmpty, Refuse };

    void write(const Velm::Sequence& seq) {
        if (seq.residuesAbsent())
            checkAbsentResidues(seq, count_);
        writeEntry(seq, count_);
        ++count_;
    }
    /// Writes what the format keeps until the end, then puts the file in place. A failure throws
    /// and removes the temporary file; a later commit throws it again. Committed or discarded, it
    /// does nothing.
    void commit();
    /// Removes the temporary file unless the file is already in place.
    void discard();
    /// True until the file is committed, discarded or has failed to commit.
    bool open() const { return state_ == State::Open; }
    /// False once a write failed: what the file holds is incomplete.
    bool ok() const { return out_.ok(); }
    /// Where the writer's warnings go (something of an entry that the format cannot hold was
    /// left out); null drops them.
    void setContext(cmn::OpContext* ctx) { ctx_ = ctx; }

protected:
    virtual void writeEntry(const Velm::Sequence& seq, std::size_t index) = 0;
    /// Appends `marker`, the name as one token ("seq<index + 1>" when it has none), the
    /// description on the same line and the line end.
    /// A title of over 64 KiB goes out through the file in pieces as it is made: what `out`
    /// held before is written first, and `out` is left with the title's last piece.
    void appendTitle(std::string& out, char marker, const Velm::Sequence& seq, std::size_t index);
    virtual void finish() {}
    virtual AbsentResidues absentResidues() const { return AbsentResidues::WriteEmpty; }
    void warn(const std::string& text) const {
        if (ctx_)
            ctx_->warning(out_.target() + ": " + text);
    }

    OutputFile out_;
    std::size_t count_ = 0;
    int defaultQuality_ = -1;
    std::size_t lineWidth_ = 60;
    cmn::OpContext* ctx_ = nullptr;

private:
    /// Appends `size` bytes of `data`, each through `map`, writing `out` to the file between pieces.
    template <typename Map>
    void appendMapped(std::string& out, const char* data, std::size_t size, Map map);
    /// Throws SeqArchiveError for a format that refuses the entry; warns for one that writes it empty.
    void checkAbsentResidues(const Velm::Sequence& seq, std::size_t index) const;

    enum class State { Open, Committed, Discarded, Failed };
    State state_ = State::Open;
    std::string failure_;
};

/// The writer for a writable format constant of SALSource.
std::unique_ptr<ArchiveWriter> makeWriter(const char* format, const OutputTarget& target);

std::unique_ptr<ArchiveWriter> makeFastaWriter(const OutputTarget& target);
std::unique_ptr<ArchiveWriter> makeFastqWriter(const OutputTarget& target,
                                               QualityEncoding encoding = QualityEncoding::Phred33);
std::unique_ptr<ArchiveWriter> makeGenBankWriter(const OutputTarget& target, bool protein);
std::unique_ptr<ArchiveWriter> makeEmblWriter(const OutputTarget& target);
std::unique_ptr<ArchiveWriter> makeSwissWriter(const OutputTarget& target, bool reviewed);
std::unique_ptr<ArchiveWriter> makeNbrfWriter(const OutputTarget& target);
std::unique_ptr<ArchiveWriter> makeGcgWriter(const OutputTarget& target);
std::unique_ptr<ArchiveWriter> makeMsfWriter(const OutputTarget& target);
std::unique_ptr<ArchiveWriter> makeRsfWriter(const OutputTarget& target);

} // namespace Ovik

#endif
