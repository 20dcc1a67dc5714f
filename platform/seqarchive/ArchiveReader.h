#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_ARCHIVEREADER_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_ARCHIVEREADER_H

#include "FastqVariants.h"
#include "LineSource.h"
#include "Recycler.h"

#include <contracts/Common.h>
#include <contracts/RecordView.h>
#include <contracts/Sequence.h>

#include <boost/shared_ptr.hpp>

#include <memory>
#include <string>

namespace Ovik {

/// Reads the entries of one format, one at a time, from a LineSource. A reading error is latched:
/// once one entry failed, every later read fails the same way and atEnd() stays false.
class ArchiveReader {
public:
    explicit ArchiveReader(const std::string& path);
    /// Reads from a source already open (a stream, or the file the format was judged from).
    explicit ArchiveReader(LineSource&& source);
    virtual ~ArchiveReader() = default;

    bool atEnd();
    boost::shared_ptr<Velm::Sequence> read();
    /// The next entry as views (RecordView); false at the end. Fails as read() does.
    bool readView(RecordView& view);
    /// The entry the last view showed when it was read whole (view.sequence), else empty: a
    /// caller may keep it.
    const boost::shared_ptr<Velm::Sequence>& heldEntry() const { return held_; }
    /// The path every entry has as its source, shared among them.
    const boost::shared_ptr<const std::string>& sharedPath() const { return path_; }
    void setContext(cmn::OpContext* ctx) { ctx_ = ctx; }
    /// For callers that drop each entry before reading the next (iteration): nucleotide entries
    /// reuse the object of the entry last dropped, buffers included. Entries that are kept cost
    /// the same either way, but residues may then keep some spare capacity.
    void recycleEntries() { recycling_ = true; }

protected:
    /// True when another entry follows (default: a non-blank line follows).
    virtual bool hasMore() { return src_.skipBlank(); }
    /// Reads one entry; called only when hasMore() is true.
    virtual boost::shared_ptr<Velm::Sequence> readEntry() = 0;
    /// Reads one entry as views; called only when hasMore() is true. By default the entry is
    /// read whole and held until the next read.
    virtual void readEntryView(RecordView& view);
    /// Sets `view` to the entry read (held), made by readEntry().
    void viewEntry(boost::shared_ptr<Velm::Sequence> entry, RecordView& view);
    void warn(const std::string& text) const;
    /// A new sequence of the given molecule type with its source set to the path (when recycling,
    /// possibly the object of an entry dropped since, emptied).
    boost::shared_ptr<Velm::Sequence> makeSequence(Velm::Sequence::MoleculeType type) const;
    /// `seq`, made by makeSequence(seq's type), with its molecule type set to `type`; a new object
    /// of the class that type needs (name and description copied over) when the class differs.
    boost::shared_ptr<Velm::Sequence> retype(boost::shared_ptr<Velm::Sequence> seq,
                                             Velm::Sequence::MoleculeType type) const;
    /// Sets the name (up to the first space or tab) and the description (the rest), both trimmed,
    /// from a title line's text after its marker ('>' or '@').
    static void setTitle(Velm::Sequence& seq, const char* begin, const char* end);
    /// The split setTitle makes, as views into the title.
    static void splitTitle(const char* begin, const char* end, std::string_view& name,
                           std::string_view& description);
    /// As setTitle, for a title of any size: its own buffer becomes the larger of the name and
    /// the description (the smaller is copied), so the entry costs the title's size once and a
    /// half at most. `title` is left empty.
    static void takeTitle(Velm::Sequence& seq, std::string& title);
    /// Stores an exact-sized copy of `scratch` as the sequence's residues, so that a model holding
    /// many sequences uses no more memory than their residues (when recycling, a copy into the
    /// residues' own buffer).
    void takeResidues(Velm::Sequence& seq, const std::string& scratch) const;
    /// As above, but a big entry that fills `scratch` closely (a chromosome on one line) is moved
    /// into the sequence instead of copied, so that its residues are never held twice; `scratch`
    /// is then empty.
    void takeResidues(Velm::Sequence& seq, std::string& scratch) const;
    /// Throws "path:line: not a residue: byte 0xB6 ..." for a byte above 127 in `residues`.
    void refuseHighBytes(const std::string& residues) const;
    /// True when entries are recycled (recycleEntries()).
    bool recycling() const { return recycling_; }
    /// An annotated entry (GenBank and EMBL layouts) built from what its reader gathered; the
    /// molecule type is guessed from the residues when the header did not say.
    boost::shared_ptr<Velm::Sequence> makeAnnotatedEntry(Velm::Sequence::MoleculeType type,
                                                         const std::string& name,
                                                         const std::string& accession,
                                                         const std::string& description,
                                                         Velm::PropertyList&& annotations,
                                                         std::vector<Velm::Feature>&& features,
                                                         const std::string& residues) const;

    LineSource src_;
    cmn::OpContext* ctx_ = nullptr;
    std::string scratch_; // residue buffer reused from entry to entry

private:
    boost::shared_ptr<const std::string> path_; // shared by every entry read
    mutable Recycler<Velm::NASequence> spareEntries_;
    bool recycling_ = false;
    boost::shared_ptr<Velm::Sequence> held_; // the entry the last view shows
    bool ready_ = false; // hasMore() said yes and no entry was read since (atEnd() then read())
    std::string error_;
};

/// The reader for a format constant of SALSource (its text pointer) over `source`; throws for
/// formats that hold no sequence data.
std::unique_ptr<ArchiveReader> makeReader(const char* format, LineSource&& source);
/// The same over the file at `path`.
std::unique_ptr<ArchiveReader> makeReader(const char* format, const std::string& path);

// One reader per format family (readers/*.cpp).
std::unique_ptr<ArchiveReader> makeFastaReader(LineSource&& source);
std::unique_ptr<ArchiveReader> makeFastqReader(LineSource&& source,
                                               QualityEncoding encoding = QualityEncoding::Phred33);
std::unique_ptr<ArchiveReader> makeGenBankReader(LineSource&& source);
std::unique_ptr<ArchiveReader> makeEmblReader(LineSource&& source, bool swissLayout);
std::unique_ptr<ArchiveReader> makeNbrfReader(LineSource&& source);
std::unique_ptr<ArchiveReader> makeGcgReader(LineSource&& source);
std::unique_ptr<ArchiveReader> makeMsfReader(LineSource&& source);
std::unique_ptr<ArchiveReader> makeRsfReader(LineSource&& source);
std::unique_ptr<ArchiveReader> makeStadenReader(LineSource&& source);
std::unique_ptr<ArchiveReader> makeExperimentReader(LineSource&& source);

} // namespace Ovik

#endif
