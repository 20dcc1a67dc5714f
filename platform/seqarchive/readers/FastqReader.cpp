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

#include <cmath>
#include <cstdio>

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
        boost::shared_ptr<Velm::Sequence> seq = readRecord();
        if (sampled_ < kSampleRecords && ++sampled_ == kSampleRecords)
            endSample();
        return seq;
    }

private:
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

    boost::shared_ptr<Velm::NASequence> readRecord() {
        Line line;
        src_.next(line);
        const unsigned long start = src_.lineNumber();
        if (line[0] != '@')
            src_.fail(msg::kExpectedFastq);
        title_.assign(line.data + 1, line.size - 1);
        // Reads are nucleotides: the class that keeps confidences, whatever the letters.
        boost::shared_ptr<Velm::NASequence> seq = boost::static_pointer_cast<Velm::NASequence>(
            makeSequence(Velm::Sequence::MoleculeType::DNA));
        setTitle(*seq, title_.data(), title_.data() + title_.size());

        scratch_.clear();
        // The bases so far, or the sample guessType() would look at, are all A, C, G, T or N.
        bool plain = true;
        for (;;) {
            if (!src_.next(line))
                src_.fail(msg::kFastqCut + std::to_string(start));
            if (line.size > 0 && line[0] == '+')
                break;
            if (line.size > 0 && line[0] == '@')
                src_.fail(msg::kFastqNoPlus + std::to_string(start));
            if (plain && scratch_.size() < text::kGuessSample) {
                // The usual line: nothing to check further, nothing to count later.
                if (text::plainBases(line.data, line.size)) {
                    scratch_.append(line.data, line.size);
                    continue;
                }
                plain = false;
            }
            unsigned char odd = 0;
            for (std::size_t i = 0; i < line.size; ++i)
                odd |= static_cast<unsigned char>(static_cast<unsigned char>(line[i]) <= ' ');
            if (odd)
                src_.fail(msg::kFastqSequenceChar + describe(firstOdd(line)));
            scratch_.append(line.data, line.size);
        }
        if (line.size > 1 && (line.size - 1 != title_.size() ||
                              title_.compare(0, title_.size(), line.data + 1, line.size - 1) != 0))
            src_.fail(msg::kFastqPlusName + cmn::inputExcerpt(std::string_view(line.data + 1, line.size - 1)));

        readQualities(seq->confidences(), start);
        const Velm::Sequence::MoleculeType type =
            plain && !scratch_.empty() ? Velm::Sequence::MoleculeType::DNA : text::guessType(scratch_);
        seq->setMoleculeType(type == Velm::Sequence::MoleculeType::RNA ? type
                                                                       : Velm::Sequence::MoleculeType::DNA);
        takeResidues(*seq, scratch_);
        return seq;
    }

    void readQualities(std::vector<unsigned char>& out, unsigned long start) {
        const std::size_t need = scratch_.size();
        out.resize(need);
        Line line;
        if (need == 0) {
            // An empty read may still have its (empty) quality line.
            if (src_.next(line) && !line.blank())
                src_.unget();
            return;
        }
        const unsigned long first = src_.lineNumber() + 1;
        std::size_t got = 0, lines = 0;
        while (got < need) {
            if (!src_.next(line))
                src_.fail(msg::kFastqCut + std::to_string(start) + " (" +
                                       std::to_string(got) + " of " + std::to_string(need) +
                                       " qualities)");
            if (got + line.size > need) {
                // A line after the first that overflows is most likely the next record's title.
                const std::size_t have = lines == 0 ? line.size : got;
                src_.failAt(first, msg::kFastqLength + std::to_string(have) + " qualities for " +
                                       std::to_string(need) + " bases");
            }
            const unsigned char* u = reinterpret_cast<const unsigned char*>(line.data);
            unsigned char* q = out.data() + got;
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
            if (bad)
                badQuality(line);
            got += line.size;
            ++lines;
        }
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
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char v = static_cast<unsigned char>(in[i] - offset);
            bad |= static_cast<unsigned char>(v > span);
            out[i] = v;
        }
        return bad;
    }

    static unsigned char firstOdd(const Line& line) {
        for (std::size_t i = 0; i < line.size; ++i)
            if (static_cast<unsigned char>(line[i]) <= ' ')
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
    std::string title_;
};

} // namespace

std::unique_ptr<ArchiveReader> makeFastqReader(LineSource&& source, QualityEncoding encoding) {
    return std::unique_ptr<ArchiveReader>(new FastqReader(std::move(source), encoding));
}

} // namespace Ovik
