#ifndef MODELFACTORY_CONTRACTS_SEQUENCE_H
#define MODELFACTORY_CONTRACTS_SEQUENCE_H

#include <contracts/Export.h>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Velm {

/// Ordered name/value pairs: feature qualifiers, entry annotations, model properties.
typedef std::vector<std::pair<std::string, std::string>> PropertyList;

/// One row of a feature table: key ("CDS"), location text ("join(12..78,134..202)") and
/// qualifiers in file order (name without the leading '/', value without quotes).
struct MF_API Feature {
    std::string key;
    std::string location;
    PropertyList qualifiers;

    bool operator==(const Feature& other) const;
    bool operator!=(const Feature& other) const { return !(*this == other); }
};

class TraceData;

/// A biological sequence: residues plus the annotation that sequence files carry.
///
/// Fields most entries leave empty (accession, annotations, features, chromatogram) live in one
/// block allocated when the first of them is set, or asked for through a non-const accessor: a
/// million short reads then cost little more than their names and residues.
class MF_API Sequence {
public:
    enum class MoleculeType { Unknown, DNA, RNA, Protein };

    Sequence();
    Sequence(const std::string& name, const std::string& residues,
             MoleculeType type = MoleculeType::Unknown);
    /// Copies every field, the rarely used ones included.
    Sequence(const Sequence& other);
    Sequence(Sequence&& other) noexcept;
    Sequence& operator=(const Sequence& other);
    Sequence& operator=(Sequence&& other) noexcept;
    virtual ~Sequence();

    /// True for an amino-acid sequence.
    virtual bool isProtein() const;

    const std::string& name() const { return name_; }
    void setName(const std::string& name) { name_ = name; }
    void setName(std::string&& name) { name_ = std::move(name); }
    /// Copies `size` characters into the name's own buffer (readers: no temporary string).
    void setName(const char* text, std::size_t size) { name_.assign(text, size); }
    const std::string& accession() const { return extra_ ? extra_->accession : noText(); }
    void setAccession(const std::string& accession);
    const std::string& description() const { return description_; }
    void setDescription(const std::string& description) { description_ = description; }
    void setDescription(std::string&& description) { description_ = std::move(description); }
    void setDescription(const char* text, std::size_t size) { description_.assign(text, size); }

    const std::string& residues() const { return residues_; }
    std::string& residues() { return residues_; }
    void setResidues(const std::string& residues) { residues_ = residues; }
    void setResidues(std::string&& residues) { residues_ = std::move(residues); }
    std::size_t length() const { return residues_.size(); }
    /// True for an entry whose file declares a length but holds none of its residues (a WGS, TSA or
    /// TLS master record, a CONTIG-only entry): absent, which is not the same as empty.
    bool residuesAbsent() const { return residues_.empty() && declaredLength() > 0; }
    /// The length the entry's header declares (LOCUS, ID) when its residues are absent; 0 when
    /// the file held them (length() is then the length).
    std::size_t declaredLength() const { return extra_ ? extra_->declaredLength : 0; }
    /// Marks the residues as absent from a record of `length` residues (0: present again).
    void setDeclaredLength(std::size_t length);

    MoleculeType moleculeType() const { return type_; }
    void setMoleculeType(MoleculeType type) { type_ = type; }
    /// "DNA", "RNA", "protein" or "unknown".
    static const char* moleculeTypeName(MoleculeType type);
    /// Guesses the molecule type from residue letters (mostly ACGTUN and gaps: nucleotide).
    static MoleculeType guessMoleculeType(const std::string& residues);

    /// Where the sequence came from (a path, as the reader had it).
    const std::string& source() const { return source_ ? *source_ : noText(); }
    void setSource(const std::string& source);
    /// Shares one path among the many entries a reader takes from the same file.
    void setSource(const boost::shared_ptr<const std::string>& source) { source_ = source; }

    /// Header fields of the entry that have no member of their own (keywords, organism,
    /// version, dates, ...), in file order, so that a round trip keeps them.
    const PropertyList& annotations() const { return extra_ ? extra_->annotations : noAnnotations(); }
    /// The annotations, to change (allocates the block of rarely used fields).
    PropertyList& annotations() { return extra().annotations; }
    /// The value of the first annotation of that name, or "".
    std::string annotation(const std::string& key) const;
    void setAnnotation(const std::string& key, const std::string& value);

    /// The feature table, in file order.
    const std::vector<Feature>& features() const { return extra_ ? extra_->features : noFeatures(); }
    /// The feature table, to change (allocates the block of rarely used fields).
    std::vector<Feature>& features() { return extra().features; }
    void addFeature(const Feature& feature) { extra().features.push_back(feature); }

protected:
    /// The fields most sequences leave empty.
    struct Extra {
        std::string accession;
        PropertyList annotations;
        std::vector<Feature> features;
        boost::shared_ptr<TraceData> trace; // NASequence's chromatogram
        std::size_t declaredLength = 0;     // of a record whose residues are absent
    };
    /// The block of rarely used fields, made on first use.
    Extra& extra();
    /// The block, or null when none was needed yet.
    const Extra* extraIfAny() const { return extra_.get(); }
    static const std::string& noText();

private:
    static const PropertyList& noAnnotations();
    static const std::vector<Feature>& noFeatures();

    std::string name_;
    std::string description_;
    std::string residues_;
    boost::shared_ptr<const std::string> source_; // immutable, so copies of a sequence share it
    std::unique_ptr<Extra> extra_;
    MoleculeType type_ = MoleculeType::Unknown;
};

/// A nucleotide sequence; one made from a chromatogram keeps its trace and per-base confidences.
class MF_API NASequence : public Sequence {
public:
    NASequence();
    NASequence(const std::string& name, const std::string& residues);
    NASequence(const NASequence& other);
    NASequence(NASequence&& other) noexcept;
    NASequence& operator=(const NASequence& other);
    NASequence& operator=(NASequence&& other) noexcept;
    ~NASequence() override;

    bool isProtein() const override { return false; }

    /// Builds a sequence from a chromatogram record: residues from the called bases, name from the
    /// record's ident (else its file name without folders and extension), confidences of the called
    /// bases. The record is kept, shared. Never returns an empty pointer for a non-null record.
    static boost::shared_ptr<NASequence> create(const boost::shared_ptr<TraceData>& trace);

    /// The chromatogram the sequence was made from, or an empty pointer.
    const boost::shared_ptr<TraceData>& trace() const {
        const Extra* extra = extraIfAny();
        return extra ? extra->trace : noTrace();
    }
    /// One confidence value per residue (empty when the sequence has none).
    /// Phred-scaled: -10 log10 of the chance that the residue is wrong (FASTQ qualities, the
    /// confidences of chromatogram calls).
    /// Kept apart and made on first use: most nucleotide sequences have none.
    const std::vector<unsigned char>& confidences() const {
        return hasConfidences() ? *confidences_ : noConfidences();
    }
    /// Whether the sequence holds confidences at all: a zero-length FASTQ read has them (none of
    /// them), a FASTA entry has none. Asking for them to change them, or setting a non-empty set,
    /// makes them held.
    bool hasConfidences() const { return confidences_ && !confidencesDropped_; }
    /// The confidences, to change (allocates their vector; they are held from then on).
    std::vector<unsigned char>& confidences();
    void setConfidences(const std::vector<unsigned char>& values);
    void setConfidences(std::vector<unsigned char>&& values);
    /// No confidences held any more. A buffer of at most `keepCapacity` values is kept for the
    /// next set (readers reuse entries).
    void dropConfidences(std::size_t keepCapacity = 0);

private:
    static const boost::shared_ptr<TraceData>& noTrace();
    static const std::vector<unsigned char>& noConfidences();

    std::unique_ptr<std::vector<unsigned char>> confidences_;
    bool confidencesDropped_ = false; // confidences_ is a kept buffer, not the sequence's values
};

/// A set of aligned rows. Rows are shared with whoever holds the sequences (an alignment model).
class MF_API Alignment {
public:
    typedef std::vector<boost::shared_ptr<Sequence>> Rows;

    Alignment();
    ~Alignment();

    void addRow(const boost::shared_ptr<Sequence>& row);
    const Rows& rows() const { return rows_; }
    std::size_t rowCount() const { return rows_.size(); }
    /// Length of the longest row (the number of columns).
    std::size_t length() const;
    /// True when every row has the same length.
    bool isFlush() const;
    void clear() { rows_.clear(); }

    /// Writes the rows as FASTA text, 60 residues a line; names become single words and
    /// descriptions one line, as the archive writers make them (cmn::singleTokenName,
    /// cmn::oneLineText). When `gap` is not null its first character
    /// replaces '-' in the output (some tools want '.'); null keeps the residues as they are.
    /// Returns the stream, whose state tells whether writing succeeded.
    std::ostream& writeFastA(std::ostream& out, const char* gap) const;

private:
    Rows rows_;
};

/// A decoded chromatogram: four signal channels, called bases with positions and confidences.
/// Setters copy their arrays; a null array is taken as zeros and never dereferenced.
class MF_API TraceData {
public:
    TraceData();
    ~TraceData();

    void setTraceName(const std::string& name) { traceName_ = name; }
    void setInfo(const std::string& info) { info_ = info; }
    void setIdent(const std::string& ident) { ident_ = ident; }
    void setFormat(const std::string& format) { format_ = format; }

    /// Copies `count` samples of each channel, in the order A, C, G, T.
    void setTraces(unsigned count, const unsigned short* a, const unsigned short* c,
                   const unsigned short* g, const unsigned short* t);
    /// Takes the four channels (A, C, G, T) over without copying them; channels of unequal
    /// length are cut to the shortest.
    void adoptTraces(std::vector<std::uint16_t> a, std::vector<std::uint16_t> c,
                     std::vector<std::uint16_t> g, std::vector<std::uint16_t> t);
    /// Copies `count` per-base confidences of each nucleotide.
    void setProbs(unsigned count, const char* a, const char* c, const char* g, const char* t);
    void setBasePos(unsigned count, const unsigned short* positions);
    void setEditBasePos(unsigned count, const unsigned short* positions);
    /// Copies `count` called bases (a null array gives N calls).
    void setBases(unsigned count, const char* bases);

    /// Normalises the calls to upper-case IUPAC codes (anything else, '-' included, becomes N) and
    /// clamps base positions into the sample range.
    void fixupBases();
    /// True when fewer than 2 bases, or a single sample point, are held. No samples at all is a
    /// record of calls (and confidences) only, as short-read instruments write them: not empty.
    bool empty() const;
    /// True when the record holds sample points (at least 2); false for a record of calls only.
    bool hasSamples() const { return numPoints() >= 2; }
    /// The text last given to setFormat.
    const std::string& formatName() const { return format_; }

    const std::string& traceName() const { return traceName_; }
    const std::string& info() const { return info_; }
    const std::string& ident() const { return ident_; }
    unsigned numPoints() const { return static_cast<unsigned>(traces_[0].size()); }
    unsigned numBases() const { return static_cast<unsigned>(bases_.size()); }
    /// Channel 0..3 = A, C, G, T.
    const std::vector<std::uint16_t>& channel(unsigned index) const { return traces_[index & 3]; }
    const std::vector<unsigned char>& probs(unsigned index) const { return probs_[index & 3]; }
    const std::vector<std::uint16_t>& basePos() const { return basePos_; }
    const std::vector<std::uint16_t>& editBasePos() const { return editBasePos_; }
    const std::string& bases() const { return bases_; }
    /// The confidence of each called base (the probability array of the base called; 0 for N).
    std::vector<unsigned char> calledConfidences() const;

    std::int32_t leftCutoff = 0;
    std::int32_t rightCutoff = 0;
    std::int32_t maxTraceVal = 0;

private:
    std::string traceName_;
    std::string info_;
    std::string ident_;
    std::string format_;
    std::vector<std::uint16_t> traces_[4];
    std::vector<unsigned char> probs_[4];
    std::vector<std::uint16_t> basePos_;
    std::vector<std::uint16_t> editBasePos_;
    std::string bases_;
};

} // namespace Velm

#endif
