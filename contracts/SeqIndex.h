#ifndef MODELFACTORY_CONTRACTS_SEQINDEX_H
#define MODELFACTORY_CONTRACTS_SEQINDEX_H

#include <contracts/Common.h>
#include <contracts/Export.h>
#include <contracts/Sequence.h>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Ovik {

/// One entry of a FASTA or FASTQ index: a line of the `.fai` file the field's tools share.
struct SeqIndexEntry {
    std::string name;            ///< the title's first word
    std::uint64_t length = 0;    ///< residues
    std::uint64_t offset = 0;    ///< of the first residue, in the (uncompressed) content
    std::uint64_t lineBases = 0; ///< residues a full line
    std::uint64_t lineBytes = 0; ///< bytes a full line, its line end included
    std::uint64_t qualityOffset = 0; ///< FASTQ: of the first quality
};

/// The index of a FASTA or FASTQ file: where each entry's residues (and qualities) begin and how
/// its lines are laid out, so that any region is read by seeking. Written and read as the `.fai`
/// file (name, length, offset, bases a line, bytes a line; FASTQ adds the quality offset; tab
/// separated, one entry a line, in file order) and, for a BGZF-compressed file, the `.gzi` file
/// (the compressed and uncompressed offset of every block after the first, as little-endian
/// 64-bit numbers after their count). Both are byte for byte what the field's faidx tools write.
///
/// Building follows those tools' rules, so that a file one of them refuses is refused here too:
/// every line of an entry but its last has the same length (a longer one is an error; after a
/// shorter one only a blank line or the next title may follow), no blank line inside an entry
/// (blank lines between entries are fine), FASTA and FASTQ titles are not mixed, and a name seen
/// before is kept at its first entry (a warning names the later one). Plain gzip cannot be sought
/// in: such a file is refused with the advice to recompress it with bgzip.
class MF_API SeqIndex {
public:
    SeqIndex();
    ~SeqIndex();
    SeqIndex(SeqIndex&&) noexcept;
    SeqIndex& operator=(SeqIndex&&) noexcept;
    SeqIndex(const SeqIndex&);
    SeqIndex& operator=(const SeqIndex&);

    /// Reads the whole file at `path` (plain or BGZF) once. Throws SeqArchiveError
    /// ("path:line: reason", or "path: reason") when the file cannot be read or indexed.
    /// Warnings (a repeated name) go to `ctx` when it is set.
    static SeqIndex build(const std::string& path, cmn::OpContext* ctx = nullptr);
    /// Reads an index file (`.fai`), ours or another tool's; for a BGZF file also give its
    /// `.gzi` (empty `gziPath` for none). Throws SeqArchiveError naming the file and line.
    static SeqIndex load(const std::string& faiPath, const std::string& gziPath = std::string());

    /// The `.fai` text.
    std::string faiText() const;
    /// The `.gzi` content (empty unless the file is BGZF).
    std::string gziBytes() const;
    /// Writes `faiPath` (and, for a BGZF file, `gziPath`), each replacing its old file only once
    /// complete. Throws SeqArchiveError naming the file and the system's reason.
    void write(const std::string& faiPath, const std::string& gziPath) const;

    bool fastq() const { return fastq_; }
    /// True when the indexed content is BGZF-compressed (blocks() then says where each block is).
    bool compressed() const { return compressed_; }
    /// (compressed offset, uncompressed offset) of every block, the first (0, 0) included.
    const std::vector<std::pair<std::uint64_t, std::uint64_t>>& blocks() const { return blocks_; }
    const std::vector<SeqIndexEntry>& entries() const { return entries_; }
    /// The entry of that name, or null.
    const SeqIndexEntry* find(const std::string& name) const;

private:
    void add(SeqIndexEntry&& entry, cmn::OpContext* ctx);
    friend class SeqIndexBuilder;

    std::vector<SeqIndexEntry> entries_;
    std::unordered_map<std::string, std::size_t> byName_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> blocks_;
    bool fastq_ = false;
    bool compressed_ = false;
};

/// A FASTA or FASTQ file read through its index: any entry or region is read by seeking to it,
/// without reading the rest of the file (for BGZF, only the blocks that hold the region are
/// inflated). Positions are 0-based, end exclusive; regions are clipped to the entry.
/// One object may serve one thread at a time.
class MF_API IndexedSeqArchive {
public:
    /// Opens `path` with the index beside it (`path.fai`, and `path.gzi` for BGZF). Throws
    /// SeqArchiveError when the file or its index cannot be read, or when the index does not fit
    /// the file.
    explicit IndexedSeqArchive(const std::string& path);
    /// Opens `path` with an index at hand (built in memory, say).
    IndexedSeqArchive(const std::string& path, SeqIndex index);
    ~IndexedSeqArchive();
    IndexedSeqArchive(const IndexedSeqArchive&) = delete;
    IndexedSeqArchive& operator=(const IndexedSeqArchive&) = delete;

    /// True when `path.fai` exists (the file then opens with the first constructor).
    static bool hasIndex(const std::string& path);

    const std::string& path() const { return path_; }
    const SeqIndex& index() const { return index_; }
    bool contains(const std::string& name) const { return index_.find(name) != nullptr; }
    /// The residues of [begin, end) of the entry (clipped to it). Throws SeqArchiveError for an
    /// unknown name and when the file does not hold what its index says.
    std::string fetch(const std::string& name, std::uint64_t begin, std::uint64_t end) const;
    /// FASTQ: the quality characters (as written, Phred+33) of the same region.
    std::string fetchQualities(const std::string& name, std::uint64_t begin, std::uint64_t end) const;
    /// The whole title line after its marker ('>' or '@'): the name and the description.
    std::string title(const std::string& name) const;
    /// The whole entry as a sequence: title, residues and, for FASTQ, qualities as confidences.
    boost::shared_ptr<Velm::Sequence> sequence(const std::string& name) const;

private:
    const SeqIndexEntry& entry(const std::string& name) const;
    std::string region(const SeqIndexEntry& entry, std::uint64_t start, std::uint64_t begin,
                       std::uint64_t end) const;
    /// `size` content bytes from content offset `offset` (fewer at the end of the file).
    std::string readContent(std::uint64_t offset, std::size_t size) const;

    std::string path_;
    SeqIndex index_;
    struct File;
    std::unique_ptr<File> file_;
};

} // namespace Ovik

#endif
