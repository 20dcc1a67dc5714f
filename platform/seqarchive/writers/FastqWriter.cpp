// FASTQ: four lines a record, the '+' line bare, qualities as Phred+33 (scores above 93, which the
// encoding cannot carry, are written as 93). A sequence without confidences gets the default
// quality when one was set and is an error otherwise: a FASTQ file with made-up qualities is
// written only on request.
#include "../ArchiveWriter.h"
#include "../Messages.h"

#include <contracts/SeqArchive.h>

namespace Ovik {

namespace {

class FastqWriter : public ArchiveWriter {
public:
    using ArchiveWriter::ArchiveWriter;

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        static const std::vector<unsigned char> kNone;
        const auto* na = dynamic_cast<const Velm::NASequence*>(&seq);
        const std::vector<unsigned char>& confidences = na ? na->confidences() : kNone;
        const std::string& residues = seq.residues();
        if (confidences.empty() && !residues.empty() && defaultQuality_ < 0)
            throw SeqArchiveError(std::string(msg::kCannotWrite) + target() + ": " +
                                  msg::kNoQualities + "'" + seq.name() + "'" + msg::kNoDefaultQuality);
        if (!confidences.empty() && confidences.size() != residues.size())
            throw SeqArchiveError(std::string(msg::kCannotWrite) + target() + ": " +
                                  msg::kQualityCount + "'" + seq.name() + "' (" +
                                  std::to_string(confidences.size()) + " for " +
                                  std::to_string(residues.size()) + ")");
        std::string& out = entry_;
        out.clear();
        appendTitle(out, '@', seq, index);
        out += residues;
        out += "\n+\n";
        const std::size_t start = out.size();
        out.resize(start + residues.size());
        char* q = &out[start];
        if (confidences.empty()) {
            const int score = defaultQuality_ > 93 ? 93 : defaultQuality_;
            std::fill(q, q + residues.size(), static_cast<char>(score + 33));
        } else {
            for (std::size_t i = 0; i < confidences.size(); ++i)
                q[i] = static_cast<char>((confidences[i] > 93 ? 93 : confidences[i]) + 33);
        }
        out += '\n';
        out_.write(out);
    }

private:
    const std::string& target() const { return out_.target(); }

    std::string entry_;
};

} // namespace

std::unique_ptr<ArchiveWriter> makeFastqWriter(const OutputTarget& target) {
    return std::unique_ptr<ArchiveWriter>(new FastqWriter(target));
}

} // namespace Ovik
