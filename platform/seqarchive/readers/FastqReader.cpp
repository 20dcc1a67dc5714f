// FASTQ: an '@' title line, the sequence (one line or wrapped over several), a '+' line (bare or
// repeating the title), then exactly as many quality characters as there are bases (one line or
// wrapped). Quality lines may begin with '@' or '+', so the sequence's length, not the look of a
// line, tells where the qualities end. Blank lines between records and at the end are skipped.
//
// Qualities are kept as Phred scores in the sequence's confidences. FASTQ is Phred+33: the old
// Phred+64 and Solexa encodings are read only when the caller names them (fastq-illumina,
// fastq-solexa), since a guess from the characters misreads modern high-quality reads. A Phred+33
// file whose first records all look like Phred+64 gets one warning naming the format to use.
#include "../ArchiveReader.h"
#include "../Messages.h"
#include "../TextUtil.h"

#include <contracts/SeqArchive.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <cstdint>
#include <cstdio>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Ovik {

namespace {

// The records looked at for the Phred+64 warning: enough to meet the low qualities of a Phred+33
// file; nothing is held back for it.
constexpr std::size_t kSampleRecords = 1000;
// Marks a character that is not a quality in the encoding.
constexpr unsigned char kInvalid = 0xFF;

using Encoding = QualityEncoding;

std::string describe(unsigned char c) {
    char text[16];
    if (c > ' ' && c < 127)
        std::snprintf(text, sizeof text, "'%c'", c);
    else
        std::snprintf(text, sizeof text, "0x%02X", c);
    return text;
}

// A '+' line repeats its title. Kept whole for that check, a title of gigabytes would cost twice
// its size: past this many bytes only its length and a 64-bit hash (FNV-1a) are kept.
constexpr std::size_t kKeptTitle = 1u << 16;

constexpr std::uint64_t kHashStart = 14695981039346656037ull;

// Goes on from `hash` over `n` more bytes: a text hashed in pieces hashes as a whole.
std::uint64_t hashOf(std::uint64_t hash, const char* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 1099511628211ull;
    }
    return hash;
}

class FastqReader : public ArchiveReader {
public:
    FastqReader(LineSource&& source, Encoding encoding) : ArchiveReader(std::move(source)) {
        setEncoding(encoding);
    }

protected:
    bool hasMore() override {
        if (src_.skipBlank())
            return true;
        endSample();
        return false;
    }

    boost::shared_ptr<Velm::Sequence> readEntry() override {
        boost::shared_ptr<Velm::Sequence> seq;
        Short record;
        if (findShort(record)) {
            boost::shared_ptr<Velm::NASequence> na = boost::static_pointer_cast<Velm::NASequence>(
                makeSequence(Velm::Sequence::MoleculeType::DNA));
            std::vector<unsigned char>& confidences = na->confidences();
            confidences.resize(record.residues.size());
            if (takeShort(record, confidences.data())) {
                setTitle(*na, record.title.data(), record.title.data() + record.title.size());
                if (recycling())
                    na->residues().assign(record.residues.data(), record.residues.size());
                else
                    na->setResidues(std::string(record.residues));
                na->setMoleculeType(typeOf(record, na->residues()));
                seq = std::move(na);
            }
        }
        if (!seq)
            seq = readRecord();
        if (sampled_ < kSampleRecords && ++sampled_ == kSampleRecords)
            endSample();
        return seq;
    }

    void readEntryView(RecordView& view) override {
        Short record;
        if (findShort(record)) {
            scores_.resize(record.residues.size());
            if (takeShort(record, reinterpret_cast<unsigned char*>(&scores_[0]))) {
                splitTitle(record.title.data(), record.title.data() + record.title.size(), view.name,
                           view.description);
                view.accession = std::string_view();
                view.residues = record.residues;
                view.qualities = scores_;
                view.hasQualities = true;
                if (record.plain) {
                    view.moleculeType = Velm::Sequence::MoleculeType::DNA;
                } else {
                    guessed_.assign(record.residues.data(), record.residues.size());
                    view.moleculeType = typeOf(record, guessed_);
                }
                view.sequence = nullptr;
                if (sampled_ < kSampleRecords && ++sampled_ == kSampleRecords)
                    endSample();
                return;
            }
        }
        // Anything else is read as an entry, with every check and message of the full reader.
        viewEntry(readEntry(), view);
    }

private:
    // A record of four lines found whole in the line buffer: title (after the '@'), bases on one
    // line, a '+' line that is bare or repeats the title, and as many qualities on one line.
    struct Short {
        std::string_view title;
        std::string_view residues;
        std::string_view qualities;
        std::size_t size = 0; // bytes the four lines take, line ends included
        bool plain = false;   // the bases are all A, C, G, T or N
    };

    // Finds the next record as a Short where the buffer holds it, reading more once when it is cut
    // by the buffer's end; false (nothing taken) for any record the line-by-line reader must
    // judge: a long or wrapped one, an empty read, one at the end of a file without its last line
    // end, and every fault.
    bool findShort(Short& r) {
        // Records up to this size are completed by one more read, which never grows the buffer.
        constexpr std::size_t kShortRecord = 1u << 15;
        std::string_view text = src_.buffered();
        std::string_view plus;
        for (int attempt = 0;; ++attempt) {
            if (text.empty() || text[0] != '@')
                return false;
            std::size_t p = 0;
            if (lineAt(text, 1, r.title, p) && lineAt(text, p, r.residues, p) && lineAt(text, p, plus, p) &&
                lineAt(text, p, r.qualities, p)) {
                r.size = p;
                break;
            }
            if (attempt > 0 || text.size() >= kShortRecord || !src_.readMore())
                return false;
            text = src_.buffered();
        }
        // A long title is checked for NUL bytes by the line-by-line reader.
        if (r.title.size() > kKeptTitle)
            return false;
        const std::size_t n = r.residues.size();
        if (n == 0 || r.residues[0] == '+' || r.residues[0] == '@' || plus.empty() || plus[0] != '+' ||
            r.qualities.size() != n)
            return false;
        if (plus.size() > 1 && plus.substr(1) != r.title)
            return false;
        r.plain = text::plainBases(r.residues.data(), n);
        if (!r.plain) {
            unsigned char odd = 0;
            for (const char ch : r.residues) {
                const unsigned char c = static_cast<unsigned char>(ch);
                odd |= static_cast<unsigned char>(c <= ' ' || c > 127);
            }
            if (odd)
                return false;
        }
        return true;
    }

    // Converts the qualities of a record findShort() found into `scores` and takes its four lines;
    // false, with nothing taken, when a quality is out of range (the line-by-line reader then
    // reports it).
    bool takeShort(const Short& r, unsigned char* scores) {
        if (convertInto(r.qualities.data(), r.qualities.size(), scores))
            return false;
        src_.consume(r.size, 4);
        return true;
    }

    // The molecule type of a record's bases, `residues`, as readRecord() judges it.
    static Velm::Sequence::MoleculeType typeOf(const Short& r, const std::string& residues) {
        if (r.plain)
            return Velm::Sequence::MoleculeType::DNA;
        const Velm::Sequence::MoleculeType type = text::guessType(residues);
        return type == Velm::Sequence::MoleculeType::RNA ? type : Velm::Sequence::MoleculeType::DNA;
    }

    // Phred+33 characters that all lie at or above '@' (where Phred+64 puts a score of 0), some
    // above 'J' (where no Phred+33 score of current instruments lies), look like an old file.
    void endSample() {
        if (warned_ || encoding_ != Encoding::Phred33 || highest_ == 0)
            return;
        warned_ = true;
        sampled_ = kSampleRecords;
        if (lowest_ >= ';' && highest_ > 'J')
            warn(src_.path() + ": " + msg::kFastqLooksPhred64 +
                 (lowest_ < '@' ? "fastq-solexa" : "fastq-illumina") + msg::kFastqReadAsPhred33);
    }

    void setEncoding(Encoding encoding) {
        encoding_ = encoding;
        offset_ = encoding == Encoding::Phred33 ? 33 : encoding == Encoding::Phred64 ? 64 : 0;
        for (int c = 0; c < 256; ++c) {
            int q = -1;
            if (c < '!' || c > '~')
                q = -1;
            else if (encoding == Encoding::Phred33)
                q = c - 33;
            else if (encoding == Encoding::Phred64)
                q = c >= '@' ? c - 64 : -1;
            else if (c >= ';')
                q = static_cast<int>(std::lround(10.0 * std::log10(std::pow(10.0, (c - 64) / 10.0) + 1.0)));
            table_[c] = q < 0 ? kInvalid : static_cast<unsigned char>(q);
        }
    }

    // Lines are taken in pieces: a read, a title or a '+' line of gigabytes is never held whole
    // in the line buffer as well as in the entry.
    boost::shared_ptr<Velm::NASequence> readRecord() {
        Line piece;
        bool ended = false;
        src_.nextPiece(piece, ended);
        const unsigned long start = src_.lineNumber();
        if (piece.size == 0 || piece[0] != '@')
            src_.fail(msg::kExpectedFastq);
        title_.assign(piece.data + 1, piece.size - 1);
        src_.appendRestOfLine(title_, ended);
        // Text never holds NUL (a short title is checked with its block as every line is).
        if (title_.size() > kKeptTitle && std::memchr(title_.data(), '\0', title_.size()))
            src_.failAt(start, msg::kBinaryContent);
        titleSize_ = title_.size();
        // Reads are nucleotides: the class that keeps confidences, whatever the letters.
        boost::shared_ptr<Velm::NASequence> seq = boost::static_pointer_cast<Velm::NASequence>(
            makeSequence(Velm::Sequence::MoleculeType::DNA));
        if (titleSize_ <= kKeptTitle) {
            setTitle(*seq, title_.data(), title_.data() + title_.size());
        } else {
            titleHash_ = hashOf(kHashStart, title_.data(), title_.size());
            takeTitle(*seq, title_); // the title's own bytes become the name or description
        }

        scratch_.clear();
        // The bases so far, or the sample guessType() would look at, are all A, C, G, T or N.
        bool plain = true;
        for (;;) {
            if (!src_.nextPiece(piece, ended))
                src_.fail(msg::kFastqCut + std::to_string(start));
            if (piece.size > 0 && piece[0] == '+')
                break;
            if (piece.size > 0 && piece[0] == '@')
                src_.fail(msg::kFastqNoPlus + std::to_string(start));
            for (;;) {
                addBases(piece, plain);
                if (ended)
                    break;
                src_.nextPiece(piece, ended);
            }
        }
        checkPlusLine(piece, ended);

        readQualities(seq->confidences(), start);
        const Velm::Sequence::MoleculeType type =
            plain && !scratch_.empty() ? Velm::Sequence::MoleculeType::DNA : text::guessType(scratch_);
        seq->setMoleculeType(type == Velm::Sequence::MoleculeType::RNA ? type
                                                                       : Velm::Sequence::MoleculeType::DNA);
        takeResidues(*seq, scratch_);
        return seq;
    }

    void addBases(const Line& piece, bool& plain) {
        if (plain && scratch_.size() < text::kGuessSample) {
            // The usual line: nothing to check further, nothing to count later.
            if (text::plainBases(piece.data, piece.size)) {
                scratch_.append(piece.data, piece.size);
                return;
            }
            plain = false;
        }
        unsigned char odd = 0;
        for (std::size_t i = 0; i < piece.size; ++i) {
            const unsigned char c = static_cast<unsigned char>(piece[i]);
            odd |= static_cast<unsigned char>(c <= ' ' || c > 127);
        }
        if (odd)
            src_.fail(msg::kFastqSequenceChar + describe(firstOdd(piece)));
        scratch_.append(piece.data, piece.size);
    }

    // The '+' line (its first piece given) repeats the title or is bare.
    void checkPlusLine(Line piece, bool ended) {
        const std::string first(piece.data + 1, std::min<std::size_t>(piece.size - 1, 2 * cmn::kExcerptBytes));
        std::size_t size = 0;
        bool same = true;
        std::uint64_t hash = kHashStart;
        const char* data = piece.data + 1;
        std::size_t n = piece.size - 1;
        for (;;) {
            if (titleSize_ <= kKeptTitle)
                same = same && size + n <= title_.size() && std::memcmp(title_.data() + size, data, n) == 0;
            else
                hash = hashOf(hash, data, n);
            size += n;
            if (ended || !src_.nextPiece(piece, ended))
                break;
            data = piece.data;
            n = piece.size;
        }
        if (size > 0 && (size != titleSize_ || (titleSize_ <= kKeptTitle ? !same : hash != titleHash_)))
            src_.fail(msg::kFastqPlusName + cmn::inputExcerpt(first, size));
    }

    void readQualities(std::vector<unsigned char>& out, unsigned long start) {
        const std::size_t need = scratch_.size();
        out.resize(need);
        Line piece;
        if (need == 0) {
            // An empty read may still have its (empty) quality line.
            if (src_.next(piece) && !piece.blank())
                src_.unget();
            return;
        }
        const unsigned long first = src_.lineNumber() + 1;
        std::size_t got = 0, lines = 0;
        bool ended = true;
        while (got < need) {
            if (!src_.nextPiece(piece, ended))
                src_.fail(msg::kFastqCut + std::to_string(start) + " (" +
                                       std::to_string(got) + " of " + std::to_string(need) +
                                       " qualities)");
            std::size_t lineSize = 0;
            for (;;) {
                lineSize += piece.size;
                if (got + piece.size > need) {
                    // A line after the first that overflows is most likely the next record's title.
                    if (lines == 0)
                        while (!ended && src_.nextPiece(piece, ended))
                            lineSize += piece.size;
                    const std::size_t have = lines == 0 ? lineSize : got;
                    src_.failAt(first, msg::kFastqLength + std::to_string(have) + " qualities for " +
                                           std::to_string(need) + " bases");
                }
                convertQualities(piece, out.data() + got);
                got += piece.size;
                if (ended)
                    break;
                src_.nextPiece(piece, ended);
            }
            ++lines;
        }
    }

    void convertQualities(const Line& line, unsigned char* q) {
        if (convertInto(line.data, line.size, q))
            badQuality(line);
    }

    // The scores of `size` quality characters into `q`; non-zero when one is out of range.
    unsigned char convertInto(const char* data, std::size_t size, unsigned char* q) {
        const Line line{data, size};
        const unsigned char* u = reinterpret_cast<const unsigned char*>(line.data);
        unsigned char bad = 0;
        if (offset_ != 0) {
            bad = subtractOffset(u, q, line.size, offset_);
        } else {
            for (std::size_t i = 0; i < line.size; ++i) {
                const unsigned char v = table_[u[i]];
                bad |= static_cast<unsigned char>(v == kInvalid);
                q[i] = v;
            }
        }
        if (sampled_ < kSampleRecords && encoding_ == Encoding::Phred33) {
            unsigned char low = 0xFF, high = 0;
            for (std::size_t i = 0; i < line.size; ++i) {
                low = u[i] < low ? u[i] : low;
                high = u[i] > high ? u[i] : high;
            }
            lowest_ = low < lowest_ ? low : lowest_;
            highest_ = high > highest_ ? high : highest_;
        }
        return bad;
    }

    [[noreturn]] void badQuality(const Line& line) const {
        for (std::size_t i = 0; i < line.size; ++i) {
            const unsigned char c = static_cast<unsigned char>(line[i]);
            if (table_[c] == kInvalid) {
                std::string reason = msg::kFastqQualityChar + describe(c);
                if (c >= '!' && c <= '~')
                    reason += encoding_ == Encoding::Phred64 ? " (below the Phred+64 range)"
                                                             : " (below the Solexa range)";
                src_.fail(reason);
            }
        }
        src_.fail(msg::kFastqQualityChar);
    }

    // An offset alone (Phred+33, Phred+64): a subtraction and a range check, which the compiler
    // does many bytes at a time once it knows the two arrays apart. Non-zero when a character is
    // out of range.
    static unsigned char subtractOffset(const unsigned char* __restrict in, unsigned char* __restrict out,
                                        std::size_t n, unsigned char offset) {
        const unsigned char span = static_cast<unsigned char>('~' - offset);
        unsigned char bad = 0;
        std::size_t i = 0;
#if defined(__SSE2__)
        // Sixteen at a time whatever the optimiser does (a build at -O2 keeps the loop below
        // byte by byte): the largest score so far tells whether one was out of range.
        const __m128i shift = _mm_set1_epi8(static_cast<char>(offset));
        const __m128i most = _mm_set1_epi8(static_cast<char>(span));
        __m128i highest = _mm_setzero_si128();
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), shift);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
            highest = _mm_max_epu8(highest, v);
        }
        bad = static_cast<unsigned char>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(highest, most), most)) != 0xFFFF);
#endif
        for (; i < n; ++i) {
            const unsigned char v = static_cast<unsigned char>(in[i] - offset);
            bad |= static_cast<unsigned char>(v > span);
            out[i] = v;
        }
        return bad;
    }

    static unsigned char firstOdd(const Line& line) {
        for (std::size_t i = 0; i < line.size; ++i)
            if (static_cast<unsigned char>(line[i]) <= ' ' || static_cast<unsigned char>(line[i]) > 127)
                return static_cast<unsigned char>(line[i]);
        return 0;
    }

    Encoding encoding_ = Encoding::Phred33;
    unsigned char offset_ = 0; // of the encoding, when an offset is all it takes
    unsigned char table_[256]; // character -> score (Solexa's, and for the messages)
    unsigned char lowest_ = 0xFF; // of the quality characters of the first records
    unsigned char highest_ = 0;
    std::size_t sampled_ = 0;
    bool warned_ = false;
    std::string title_;          // of the record being read, when kKeptTitle bytes or fewer
    std::size_t titleSize_ = 0;
    std::uint64_t titleHash_ = 0; // of a longer title
    std::string scores_;          // the qualities of the record last viewed
    std::string guessed_;         // the bases of a viewed record whose type is guessed
};

} // namespace

std::unique_ptr<ArchiveReader> makeFastqReader(LineSource&& source, QualityEncoding encoding) {
    return std::unique_ptr<ArchiveReader>(new FastqReader(std::move(source), encoding));
}

} // namespace Ovik
