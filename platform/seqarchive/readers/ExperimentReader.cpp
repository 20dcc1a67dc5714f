// Staden experiment file: one reading as two-letter tags ("ID   name"), its sequence inline
// between an "SQ" line and "//", its confidences in "AV" lines. A multi-line value repeats its
// tag on every line. Read here when the linked trace is absent (or the file has no link): the
// chromatogram reader, which follows the link, cannot take such a file.
#include "../ArchiveReader.h"
#include "../Messages.h"
#include "../TextUtil.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace Ovik {

namespace {

bool tagLine(const Line& line) {
    return line.size >= 2 && line[0] >= 'A' && line[0] <= 'Z' && line[1] >= 'A' && line[1] <= 'Z' &&
           (line.size == 2 || line[2] == ' ' || line[2] == '\t');
}

class ExperimentReader : public ArchiveReader {
public:
    using ArchiveReader::ArchiveReader;

protected:
    boost::shared_ptr<Velm::Sequence> readEntry() override {
        Line line;
        std::string id, entryName;
        std::vector<unsigned char> confidences;
        unsigned long sequenceStart = 0;
        bool inSequence = false;
        scratch_.clear();
        while (src_.next(line)) {
            if (inSequence) {
                if (line.startsWith("//"))
                    inSequence = false;
                else if (line.size > 0 && (line[0] == ' ' || line[0] == '\t'))
                    text::appendResidues(scratch_, line.data, line.size);
                else if (!line.blank())
                    src_.fail(msg::kMissingEnd + std::to_string(sequenceStart));
                continue;
            }
            if (line.blank())
                continue;
            if (!tagLine(line))
                src_.fail(std::string(msg::kBadLine) + cmn::inputExcerpt(std::string_view(line.data, line.size)));
            const std::string value = text::from(line, 5);
            if (line.startsWith("ID")) {
                if (!id.empty())
                    src_.fail(msg::kSecondReading);
                id = firstWord(value);
            } else if (line.startsWith("EN")) {
                if (entryName.empty())
                    entryName = firstWord(value);
            } else if (line.startsWith("SQ")) {
                if (sequenceStart != 0)
                    src_.fail(msg::kSecondReading);
                sequenceStart = src_.lineNumber();
                inSequence = true;
            } else if (line.startsWith("AV")) {
                readConfidences(value, confidences);
            }
        }
        if (inSequence)
            src_.fail(msg::kMissingEnd + std::to_string(sequenceStart));
        if (sequenceStart == 0)
            src_.fail(msg::kNoExperimentSequence);

        // Staden's unknown base is '-', which the chromatogram route also reads as N.
        std::replace(scratch_.begin(), scratch_.end(), '-', 'N');
        boost::shared_ptr<Velm::Sequence> seq = makeSequence(Velm::Sequence::MoleculeType::DNA);
        seq->setName(!id.empty() ? id : !entryName.empty() ? entryName : text::baseName(src_.path()));
        takeResidues(*seq, scratch_);
        if (!confidences.empty()) {
            if (confidences.size() == seq->length())
                static_cast<Velm::NASequence&>(*seq).setConfidences(confidences);
            else
                warn(src_.path() + ": " + msg::kConfidenceCount + std::to_string(confidences.size()) +
                     " values for " + std::to_string(seq->length()) + " bases");
        }
        return seq;
    }

private:
    static std::string firstWord(const std::string& value) {
        return value.substr(0, value.find_first_of(" \t"));
    }

    // One value a base; a "a,c,g,t" group (one value per base type) counts as its highest.
    void readConfidences(const std::string& value, std::vector<unsigned char>& out) const {
        for (const std::string& word : text::tokens(value.data(), value.size())) {
            long best = 0;
            const char* p = word.c_str();
            for (;;) {
                char* end = nullptr;
                errno = 0;
                const long v = std::strtol(p, &end, 10);
                if (end == p || errno == ERANGE || (*end != ',' && *end != '\0'))
                    src_.fail(msg::kBadConfidence + cmn::inputExcerpt(word));
                best = std::max(best, v);
                if (*end == '\0')
                    break;
                p = end + 1;
            }
            out.push_back(static_cast<unsigned char>(std::min(best, 255L)));
        }
    }
};

} // namespace

std::unique_ptr<ArchiveReader> makeExperimentReader(LineSource&& source) {
    return std::unique_ptr<ArchiveReader>(new ExperimentReader(std::move(source)));
}

} // namespace Ovik
