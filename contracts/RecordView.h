#ifndef MODELFACTORY_CONTRACTS_RECORDVIEW_H
#define MODELFACTORY_CONTRACTS_RECORDVIEW_H

#include <contracts/Sequence.h>

#include <string_view>

namespace Ovik {

/// One entry of an archive as views into the reader's own buffers, for loops that look at each
/// entry once and build nothing of their own per entry (Ovik::nextRecordView).
///
/// Every view stays valid until the next call on the same archive (another view, an entry, atEnd,
/// close) and never past the archive's life. The texts are what an entry read by
/// createSequence() would hold: name and description split and trimmed as there, residues as they
/// are, qualities as the entry's confidences.
struct RecordView {
    std::string_view name;
    std::string_view description;
    /// Empty for the formats that have none (FASTA, FASTQ).
    std::string_view accession;
    std::string_view residues;
    /// One Phred score a residue, as bytes of values 0 to 93 (not offset by 33); empty when the
    /// entry has none (see hasQualities).
    std::string_view qualities;
    /// True for an entry with qualities (every FASTQ read, an empty one included).
    bool hasQualities = false;
    Velm::Sequence::MoleculeType moleculeType = Velm::Sequence::MoleculeType::Unknown;
    /// The whole entry, for formats whose entries carry more (features, annotations) and for the
    /// entries a reader did build: valid as the views are. Null when the entry was parsed where
    /// it lay in the input (the usual short FASTA and FASTQ record).
    const Velm::Sequence* sequence = nullptr;
};

} // namespace Ovik

#endif
