// FASTA: '>' header (name, then description), residue lines of any width; blank lines and
// ';' comment lines are skipped.
#include "../ArchiveReader.h"
#include "../GatheredText.h"
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
        Short entry;
        if (findShort(entry)) {
            // Plain bases: DNA, as guessType() judges them.
            lastType_ = Velm::Sequence::MoleculeType::DNA;
            boost::shared_ptr<Velm::Sequence> seq = makeSequence(lastType_);
            setTitle(*seq, entry.title.data(), entry.title.data() + entry.title.size());
            if (recycling())
                seq->residues().assign(entry.residues.data(), entry.residues.size());
            else
                seq->setResidues(std::string(entry.residues));
            src_.consume(entry.size, 2);
            return seq;
        }
        return readLines();
    }

    void readEntryView(RecordView& view) override {
        Short entry;
        if (!findShort(entry)) {
            viewEntry(readLines(), view);
            return;
        }
        lastType_ = Velm::Sequence::MoleculeType::DNA;
        splitTitle(entry.title.data(), entry.title.data() + entry.title.size(), view.name, view.description);
        view.accession = std::string_view();
        view.residues = entry.residues;
        view.qualities = std::string_view();
        view.hasQualities = false;
        view.moleculeType = lastType_;
        view.sequence = nullptr;
        src_.consume(entry.size, 2);
    }

private:
    // An entry of one header and one line of plain bases (A, C, G, T, N in either case), found
    // whole in the line buffer and followed by the next header or the end of the input: the
    // usual short read, parsed where it lies.
    struct Short {
        std::string_view title; // after the '>'
        std::string_view residues;
        std::size_t size = 0; // bytes of the two lines, line ends included
    };

    // False, with nothing taken, for every other entry: those go line by line (readLines).
    bool findShort(Short& entry) {
        // Entries up to this size are completed by one more read, which never grows the buffer.
        constexpr std::size_t kShortEntry = 1u << 15;
        std::string_view text = src_.buffered();
        bool ended = false; // the input holds no more than `text`
        for (int attempt = 0;; ++attempt) {
            if (text.empty() || text[0] != '>')
                return false;
            std::size_t p = 0;
            const bool whole = lineAt(text, 1, entry.title, p) && lineAt(text, p, entry.residues, p);
            // What follows must be the next header, or nothing.
            if (whole && (p < text.size() || ended)) {
                if (p < text.size() && text[p] != '>')
                    return false;
                entry.size = p;
                break;
            }
            if (attempt > 0 || text.size() >= kShortEntry)
                return false;
            // Reading more moves the buffered text, at the end of the input as well.
            ended = !src_.readMore();
            if (ended && !whole)
                return false;
            text = src_.buffered();
        }
        // A long header is checked for NUL bytes by readLines(), as the line buffer never is.
        constexpr std::size_t kShortTitle = 1u << 14;
        return entry.title.size() < kShortTitle && !entry.residues.empty() && entry.residues[0] != '>' &&
               entry.residues[0] != ';' &&
               text::plainBases(entry.residues.data(), entry.residues.size());
    }

    // Any entry, piece by piece and line by line.
    boost::shared_ptr<Velm::Sequence> readLines() {
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

        // Gathered in the scratch buffer, which keeps its room from entry to entry, and copied
        // out at their size (into the reused entry's own buffer when entries are recycled).
        std::string& residues = scratch_;
        residues.clear();
        // The residues so far, or the sample guessType() would look at, are all A, C, G, T, N.
        bool plainBases = true;
        // Lines are taken in pieces and the next header only looked at, not read: a chromosome on
        // one line is never held in the line buffer as well as in the entry. Past a few MiB the
        // residues gather apart (GatheredText), so that the string's doubling costs no second copy.
        GatheredText gathered(residues);
        while (src_.skipBlank()) {
            const char first = src_.peekLineStart();
            if (first == '>')
                break;
            do {
                src_.nextPiece(piece, ended);
                if (first == ';')
                    continue;
                if (plainBases && residues.size() < text::kGuessSample) {
                    plainBases = text::appendNonSpaceBases(residues, piece.data, piece.size);
                } else if (!gathered.chunked() && residues.size() + piece.size <= GatheredText::kInString) {
                    text::appendNonSpace(residues, piece.data, piece.size);
                } else {
                    filtered_.clear();
                    text::appendNonSpace(filtered_, piece.data, piece.size);
                    gathered.append(filtered_.data(), filtered_.size());
                }
            } while (!ended);
        }
        gathered.finish();
        // Plain bases are DNA, as guessType() would judge them; anything else is judged from a
        // sample, which is enough to tell nucleotides from amino acids and keeps big entries fast.
        lastType_ = plainBases && !residues.empty() ? Velm::Sequence::MoleculeType::DNA
                                                    : text::guessType(residues);
        seq = retype(std::move(seq), lastType_);
        takeResidues(*seq, scratch_);
        return seq;
    }

    std::string filtered_; // a piece without its blanks, on its way into a gathered entry
    Velm::Sequence::MoleculeType lastType_ = Velm::Sequence::MoleculeType::DNA;
};

} // namespace

std::unique_ptr<ArchiveReader> makeFastaReader(LineSource&& source) {
    return std::unique_ptr<ArchiveReader>(new FastaReader(std::move(source)));
}

} // namespace Ovik
