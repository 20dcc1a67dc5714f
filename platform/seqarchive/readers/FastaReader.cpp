// FASTA: '>' header (name, then description), residue lines of any width; blank lines and
// ';' comment lines are skipped.
#include "../ArchiveReader.h"
#include "../Messages.h"
#include "../TextUtil.h"

#include <cstring>

namespace Ovik {

namespace {

class FastaReader : public ArchiveReader {
public:
    using ArchiveReader::ArchiveReader;

protected:
    bool hasMore() override {
        Line line;
        while (src_.next(line)) {
            if (!line.blank() && line[0] != ';') {
                src_.unget();
                return true;
            }
        }
        return false;
    }

    boost::shared_ptr<Velm::Sequence> readEntry() override {
        Line line;
        src_.next(line);
        if (line[0] != '>')
            src_.fail(msg::kExpectedFasta);
        // The header is stored straight into the entry, made of the class the previous entry
        // needed: files hold one kind of molecule, and a wrong guess only costs a copy.
        boost::shared_ptr<Velm::Sequence> seq = makeSequence(lastType_);
        setTitle(*seq, line.data + 1, line.data + line.size);

        // Gathered in the scratch buffer, which keeps its room from entry to entry, and copied
        // out at their size (into the reused entry's own buffer when entries are recycled).
        std::string& residues = scratch_;
        residues.clear();
        // The residues so far, or the sample guessType() would look at, are all A, C, G, T, N.
        bool plainBases = true;
        while (src_.next(line)) {
            if (line.size > 0 && line[0] == '>') {
                src_.unget();
                break;
            }
            if (line.size > 0 && line[0] == ';')
                continue;
            if (plainBases && residues.size() < text::kGuessSample)
                plainBases = text::appendNonSpaceBases(residues, line.data, line.size);
            else
                text::appendNonSpace(residues, line.data, line.size);
        }
        // Plain bases are DNA, as guessType() would judge them; anything else is judged from a
        // sample, which is enough to tell nucleotides from amino acids and keeps big entries fast.
        lastType_ = plainBases && !residues.empty() ? Velm::Sequence::MoleculeType::DNA
                                                    : text::guessType(residues);
        seq = retype(std::move(seq), lastType_);
        takeResidues(*seq, scratch_);
        return seq;
    }

private:
    Velm::Sequence::MoleculeType lastType_ = Velm::Sequence::MoleculeType::DNA;
};

} // namespace

std::unique_ptr<ArchiveReader> makeFastaReader(LineSource&& source) {
    return std::unique_ptr<ArchiveReader>(new FastaReader(std::move(source)));
}

} // namespace Ovik
