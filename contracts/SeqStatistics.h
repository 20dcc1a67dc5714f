#ifndef MODELFACTORY_CONTRACTS_SEQSTATISTICS_H
#define MODELFACTORY_CONTRACTS_SEQSTATISTICS_H

#include <contracts/Export.h>
#include <contracts/Sequence.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

namespace Ovik {

/// The summary figures of a set of sequences, defined as the field's statistics tools define them
/// (column names in brackets), so that a table of ours reads like theirs:
/// - count (num_seqs), total (sum_len), shortest (min_len), mean (avg_len), longest (max_len);
/// - quartiles of the lengths (Q1, Q2, Q3): Q2 is the median (the mean of the two middle lengths
///   for an even count); Q1 and Q3 are the medians of the lower and the upper half, each half
///   taking the middle length too when the count is odd;
/// - gaps (sum_gap): residues that are '-', '.' or ' ';
/// - N50: the length of the sequence at which, adding the lengths from the longest down, half of
///   the total is first reached;
/// - GC (GC(%)): residues G or C (either case) per hundred residues of the total;
/// - Q20(%) and Q30(%): residues with a Phred quality of at least 20 and 30 per hundred residues;
/// - mean quality (AvgQual): the Phred value of the mean error probability of all residues with a
///   quality (the mean of the scores themselves would hide the bad bases);
/// - the molecule type of the first sequence.
/// Memory is bounded by the number of distinct lengths, never by the residues: sequences are
/// looked at and let go.
class MF_API SeqStatistics {
public:
    SeqStatistics();

    /// Adds one sequence: its residues and, for a nucleotide sequence that has them, its
    /// confidences as Phred qualities.
    void add(const Velm::Sequence& sequence);
    /// Adds one sequence given by its residues and its qualities (`qualities` may be empty; else
    /// one Phred value per residue).
    void add(std::string_view residues, const std::vector<unsigned char>& qualities,
             Velm::Sequence::MoleculeType type);

    std::uint64_t count() const { return count_; }
    std::uint64_t totalLength() const { return total_; }
    std::uint64_t minLength() const { return count_ ? min_ : 0; }
    std::uint64_t maxLength() const { return max_; }
    double meanLength() const;
    /// Q1, Q2 and Q3 (0 without sequences).
    double quartile(int which) const;
    std::uint64_t n50() const;
    std::uint64_t gaps() const;
    /// 0 without residues.
    double gcPercent() const;
    /// True when some residue had a quality.
    bool hasQualities() const { return qualified_ != 0; }
    /// Per hundred residues of the total (0 without qualities).
    double q20Percent() const;
    double q30Percent() const;
    /// 0 without qualities.
    double meanQuality() const;
    /// The molecule type of the first sequence added (Unknown before).
    Velm::Sequence::MoleculeType moleculeType() const { return type_; }

private:
    void addLength(std::uint64_t length);
    /// The length at position `index` (0-based) of the lengths in ascending order.
    std::uint64_t lengthAt(std::uint64_t index) const;
    /// The median of the sorted lengths from position `first`, `size` of them.
    double medianOf(std::uint64_t first, std::uint64_t size) const;

    /// How many residues (qualities) had each byte value, over all four tables.
    std::uint64_t residuesOf(unsigned char c) const;
    std::uint64_t qualitiesOf(unsigned char q) const;

    std::uint64_t count_ = 0;
    std::uint64_t total_ = 0;
    std::uint64_t min_ = 0;
    std::uint64_t max_ = 0;
    std::uint64_t qualified_ = 0;
    // Byte histograms of the residues and of the qualities; the figures are read off them. Four
    // tables, used in turn, so that runs of one letter do not wait on one counter.
    std::vector<std::uint64_t> residueBytes_;
    std::vector<std::uint64_t> qualityBytes_;
    Velm::Sequence::MoleculeType type_ = Velm::Sequence::MoleculeType::Unknown;
    // How many sequences have each length: short lengths by index, the rest in a map.
    std::vector<std::uint64_t> shortLengths_;
    std::map<std::uint64_t, std::uint64_t> longLengths_;
};

} // namespace Ovik

#endif
