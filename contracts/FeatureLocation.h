#ifndef MODELFACTORY_CONTRACTS_FEATURELOCATION_H
#define MODELFACTORY_CONTRACTS_FEATURELOCATION_H

#include <contracts/Export.h>
#include <contracts/Sequence.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace Velm {

/// A location text that is not INSDC syntax, or one that cannot be resolved against the entry at
/// hand (a part in another entry, a position past the end, an uncertain base).
class MF_API LocationError : public std::runtime_error {
public:
    explicit LocationError(const std::string& message) : std::runtime_error(message) {}
};

/// One contiguous stretch of a location, 1-based and inclusive, in the orientation it is read
/// (`reverse`: on the complementary strand, read from `end` down to `start`).
struct MF_API LocationPart {
    enum class Kind {
        Range,   ///< "12..78"
        Base,    ///< "34"
        Between, ///< "5933^5934": a site between two bases; no residues of its own
        Within   ///< "102.110": one base somewhere in that range
    };
    Kind kind = Kind::Range;
    std::string accession; ///< "AB123.1" for a part in another entry; "" for this entry
    long start = 0;
    long end = 0;
    bool startBefore = false; ///< "<" on the start: the feature begins before `start`
    bool endAfter = false;    ///< ">" on the end: the feature goes on after `end`
    bool reverse = false;

    bool isRemote() const { return !accession.empty(); }
    /// Residues the part covers (0 for a between-base site).
    long length() const { return kind == Kind::Between ? 0 : end - start + 1; }
};

/// A parsed feature location as the INSDC feature table defines it: ranges, single bases,
/// between-base sites, uncertain bases, join(), order(), complement() at any depth, partial ends
/// (< and >), parts in other entries (AB123.1:10..20) and the operators of protein entries
/// (bond(), one-of(), gap()). text() gives back the text it was parsed from.
class MF_API FeatureLocation {
public:
    enum class Strand { Forward, Reverse, Mixed, None };

    /// One element of the location tree: a part (a leaf) or an operator over its children.
    struct Node {
        enum class Type { Part, Join, Order, Complement, Bond, OneOf, Gap };
        Type type = Type::Part;
        LocationPart part;          // for Type::Part (reverse is always false here)
        std::vector<Node> children; // for operators
        std::string gapText;        // the text inside gap(...), kept as written
    };

    FeatureLocation();
    /// Throws LocationError with the offending column on anything INSDC does not define.
    static FeatureLocation parse(const std::string& text);

    /// The location written back: equal to the text it was parsed from (white space dropped).
    std::string text() const;
    const Node& root() const { return root_; }

    /// The parts in the order the feature reads them (complement() reverses its parts' order and
    /// sets their `reverse`); what extract() concatenates.
    std::vector<LocationPart> parts() const;
    /// Forward or Reverse when every part agrees, Mixed otherwise, None without parts.
    Strand strand() const;
    static const char* strandName(Strand strand);
    /// The feature's 5' end (its first part as read) is partial: '<' before a forward part, '>' after a
    /// reverse one.
    bool partialStart() const;
    /// The feature's 3' end is partial.
    bool partialEnd() const;
    /// True when a part lies in another entry.
    bool isRemote() const;
    /// The accessions of the other entries the location names, in order, each once.
    std::vector<std::string> remoteAccessions() const;
    /// Lowest start and highest end over the parts of this entry (0, 0 when there are none).
    long minPosition() const;
    long maxPosition() const;

    /// The feature's residues taken from its entry: parts in order, reverse parts reverse
    /// complemented; bond() gives the residues at its sites, in order (the two cysteines of a
    /// disulfide bond). Throws LocationError for a part in another entry (naming it), an uncertain
    /// base, an operator with no sequence of its own (one-of, gap) or a position past the end of
    /// `residues`. A between-base site gives no residues.
    std::string extract(const std::string& residues) const;

    /// The same feature once its entry, of `length` residues, is reverse complemented: positions
    /// mirrored and the strand turned ("3..6" of 20 residues is "complement(15..18)"), so that it
    /// takes from the reverse complemented entry the same residues, with the same partial ends. A part
    /// in another entry keeps its positions. Throws LocationError when a position lies past `length`.
    FeatureLocation reverseComplemented(long length) const;

private:
    Node root_;
};

/// The reverse complement with the IUPAC codes: A<->T (U), C<->G, R<->Y, K<->M, B<->V, D<->H; S, W, N
/// and anything else (gaps '-' and '.', '*', 'X') stay; case is kept. `rna` complements A to U.
MF_API std::string reverseComplement(const std::string& residues, bool rna = false);
/// True when the residues read as RNA: a U and no T.
MF_API bool looksLikeRna(const std::string& residues);

/// Turns a nucleotide entry into its reverse complement: residues (U for A when they read as RNA), confidences
/// reversed, every feature moved to the other strand (FeatureLocation::reverseComplemented). Name,
/// description and annotations stay; a chromatogram it was called from stays as recorded. Throws
/// std::invalid_argument for a protein, LocationError for a feature that does not fit the entry (the
/// entry is then left unchanged).
MF_API void reverseComplementEntry(Sequence& entry);

/// The sequence a feature of `entry` covers (see FeatureLocation::extract).
MF_API std::string extractFeature(const Feature& feature, const Sequence& entry);

/// The residues features of `entry` are taken from. Throws LocationError for an entry whose
/// residues are absent (a master or contig record, Sequence::residuesAbsent): its features lie on
/// residues the file does not hold.
MF_API const std::string& residuesToExtract(const Sequence& entry);

/// The name a feature's own entry goes by: its /locus_tag, /gene or /protein_id, else the entry's
/// name with the location ("NC_005816:87..959", the INSDC form of a place in another entry).
MF_API std::string featureName(const Feature& feature, const Sequence& entry);
/// "CDS NC_005816:join(1..5,9..20) /gene="pla" /note="..."": the key, where the feature lies, and
/// every qualifier as the flat files write it (quotes in a value doubled).
MF_API std::string featureDescription(const Feature& feature, const Sequence& entry);
/// The feature as an entry of its own: the residues extractFeature gives, named by featureName and
/// described by featureDescription, with the entry's molecule type (guessed from the residues when
/// the entry has none). Throws LocationError as extractFeature does.
MF_API boost::shared_ptr<Sequence> featureEntry(const Feature& feature, const Sequence& entry);

/// The first value of a qualifier, or "" (and `found` false).
MF_API std::string qualifierValue(const Feature& feature, const std::string& name, bool* found = nullptr);

} // namespace Velm

#endif
