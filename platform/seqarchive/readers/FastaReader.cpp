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
    // The header is taken in pieces, never whole in the line buffer: a title of gigabytes costs
    // about its own size once.
    bool hasMore() override {
        while (src_.skipBlank()) {
            if (src_.peekLineStart() != ';')
                return true;
            Line piece;
            bool ended = false;
            while (src_.nextPiece(piece, ended) && !ended) {
            }
        }
        return false;
    }

    boost::shared_ptr<Velm::Sequence> readEntry() override {
        Line piece;
        bool ended = false;
        src_.nextPiece(piece, ended);
        const unsigned long start = src_.lineNumber();
        if (piece.size == 0 || piece[0] != '>')
            src_.fail(msg::kExpectedFasta);
        // The header is stored straight into the entry, made of the class the previous entry
        // needed: files hold one kind of molecule, and a wrong guess only costs a copy.
        boost::shared_ptr<Velm::Sequence> seq = makeSequence(lastType_);
        if (ended) {
            setTitle(*seq, piece.data + 1, piece.data + piece.size);
        } else {
            std::string title(piece.data + 1, piece.size - 1);
            src_.appendRestOfLine(title, ended);
            // Text never holds NUL (a short line is checked with its block as every line is).
            if (std::memchr(title.data(), '\0', title.size()))
                src_.failAt(start, msg::kBinaryContent);
            takeTitle(*seq, title); // the title's own bytes become the name or description
        }
        Line line;

        // Gathered in the scratch buffer, which keeps its room from entry to entry, and copied
        // out at their size (into the reused entry's own buffer when entries are recycled).
        std::string& residues = scratch_;
        residues.clear();
        // The residues so far, or the sample guessType() would look at, are all A, C, G, T, N.
        bool plainBases = true;
        // The next header is only looked at here, not read: it is taken in pieces as this one.
        while (src_.skipBlank()) {
            const char first = src_.peekLineStart();
            if (first == '>')
                break;
            src_.next(line);
            if (first == ';')
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
