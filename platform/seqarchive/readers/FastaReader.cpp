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
        std::string header = text::trim(line.data + 1, line.size - 1);
        std::size_t cut = header.find_first_of(" \t");
        std::string name = header.substr(0, cut);
        std::string description = cut == std::string::npos ? std::string() : text::trim(header.substr(cut));

        scratch_.clear();
        while (src_.next(line)) {
            if (line.size > 0 && line[0] == '>') {
                src_.unget();
                break;
            }
            if (line.size > 0 && line[0] == ';')
                continue;
            text::appendNonSpace(scratch_, line.data, line.size);
        }
        // A sample is enough to tell nucleotides from amino acids and keeps big entries fast.
        auto type = text::guessType(scratch_);
        boost::shared_ptr<Velm::Sequence> seq = makeSequence(type);
        seq->setName(name);
        seq->setDescription(description);
        takeResidues(*seq, scratch_);
        return seq;
    }
};

} // namespace

std::unique_ptr<ArchiveReader> makeFastaReader(const std::string& path) {
    return std::unique_ptr<ArchiveReader>(new FastaReader(path));
}

} // namespace Ovik
