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
        lastType_ = text::guessType(scratch_);
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
