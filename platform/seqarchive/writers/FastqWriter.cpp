// FASTQ: four lines a record, the '+' line bare, qualities as Phred+33 (scores above 93, which the
// encoding cannot carry, are written as 93), or, when named, as Phred+64 or Solexa+64 (up to 62). A sequence without confidences gets the default
// quality when one was set and is an error otherwise: a FASTQ file with made-up qualities is
// written only on request.
#include "../ArchiveWriter.h"
#include "../Messages.h"

#include <contracts/SeqArchive.h>

#include <algorithm>
#include <cmath>
#include <typeinfo>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Ovik {

namespace {

class FastqWriter : public ArchiveWriter {
public:
    FastqWriter(const OutputTarget& target, QualityEncoding encoding) : ArchiveWriter(target) {
        if (encoding == QualityEncoding::Phred33) {
            offset_ = 33;
            highest_ = 93;
        } else if (encoding == QualityEncoding::Phred64) {
            offset_ = 64;
            highest_ = 62;
        }
        for (int q = 0; q < 256; ++q) {
            int c;
            if (encoding == QualityEncoding::Phred33)
                c = (q > 93 ? 93 : q) + 33;
            else if (encoding == QualityEncoding::Phred64)
                c = (q > 62 ? 62 : q) + 64;
            else {
                // Solexa S = 10 log10(10^(Q/10) - 1); Q 0 has no Solexa score and takes the lowest, -5.
                int s = q == 0 ? -5 : static_cast<int>(std::lround(10.0 * std::log10(std::pow(10.0, q / 10.0) - 1.0)));
                s = s < -5 ? -5 : s > 62 ? 62 : s;
                c = s + 64;
            }
            chars_[q] = static_cast<char>(c);
        }
    }

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        static const std::vector<unsigned char> kNone;
        // The reader's own class is told apart without a cast across the libraries.
        const auto* na = typeid(seq) == typeid(Velm::NASequence) ? static_cast<const Velm::NASequence*>(&seq)
                                                                  : dynamic_cast<const Velm::NASequence*>(&seq);
        const std::vector<unsigned char>& confidences = na ? na->confidences() : kNone;
        const std::string& residues = seq.residues();
        if (confidences.empty() && !residues.empty() && defaultQuality_ < 0)
            throw SeqArchiveError(std::string(msg::kCannotWrite) + target() + ": " +
                                  msg::kNoQualities + "'" + cmn::inputExcerpt(seq.name()) + "'" + msg::kNoDefaultQuality);
        if (!confidences.empty() && confidences.size() != residues.size())
            throw SeqArchiveError(std::string(msg::kCannotWrite) + target() + ": " +
                                  msg::kQualityCount + "'" + cmn::inputExcerpt(seq.name()) + "' (" +
                                  std::to_string(confidences.size()) + " for " +
                                  std::to_string(residues.size()) + ")");
        std::string& out = entry_;
        out.clear();
        appendTitle(out, '@', seq, index);
        // A record of ordinary size is one write; a huge one goes out in pieces, never copied whole.
        constexpr std::size_t kPiece = 1u << 20;
        const bool whole = residues.size() <= kPiece;
        if (whole) {
            out += residues;
        } else {
            out_.write(out);
            out_.write(residues);
            out.clear();
        }
        out += "\n+\n";
        const int score = defaultQuality_ > 255 ? 255 : defaultQuality_;
        for (std::size_t pos = 0; pos < residues.size();) {
            const std::size_t n = std::min(kPiece, residues.size() - pos);
            const std::size_t start = out.size();
            out.resize(start + n);
            char* q = &out[start];
            if (confidences.empty())
                std::fill(q, q + n, chars_[score]);
            else
                encode(confidences.data() + pos, q, n);
            pos += n;
            if (pos < residues.size()) {
                out_.write(out);
                out.clear();
            }
        }
        out += '\n';
        out_.write(out);
    }

private:
    const std::string& target() const { return out_.target(); }

    // Scores into characters: a cap and an offset, sixteen at a time, for the Phred encodings;
    // the table for Solexa's.
    void encode(const unsigned char* scores, char* out, std::size_t n) const {
        std::size_t i = 0;
#if defined(__SSE2__)
        if (offset_ != 0) {
            const __m128i cap = _mm_set1_epi8(static_cast<char>(highest_));
            const __m128i shift = _mm_set1_epi8(static_cast<char>(offset_));
            for (; i + 16 <= n; i += 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scores + i));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_add_epi8(_mm_min_epu8(v, cap), shift));
            }
        }
#endif
        for (; i < n; ++i)
            out[i] = chars_[scores[i]];
    }

    std::string entry_;
    char chars_[256]; // score -> character
    unsigned char offset_ = 0;  // of a Phred encoding (0 for Solexa's)
    unsigned char highest_ = 0; // the highest score it carries
};

} // namespace

std::unique_ptr<ArchiveWriter> makeFastqWriter(const OutputTarget& target, QualityEncoding encoding) {
    return std::unique_ptr<ArchiveWriter>(new FastqWriter(target, encoding));
}

} // namespace Ovik
