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
        // Name up to the first space or tab, then the description, both trimmed, without copies
        // of the header on the way.
        const char* p = line.data + 1;
        const char* end = line.data + line.size;
        while (p < end && (*p == ' ' || *p == '\t'))
            ++p;
        const char* nameEnd = p;
        while (nameEnd < end && *nameEnd != ' ' && *nameEnd != '\t')
            ++nameEnd;
        const char* desc = nameEnd;
        while (desc < end && (*desc == ' ' || *desc == '\t'))
            ++desc;
        while (end > desc && (end[-1] == ' ' || end[-1] == '\t'))
            --end;
        // The header is stored straight into the entry, made of the class the previous entry
        // needed: files hold one kind of molecule, and a wrong guess only costs a copy.
        boost::shared_ptr<Velm::Sequence> seq = makeSequence(lastType_);
        seq->setName(std::string(p, nameEnd));
        seq->setDescription(std::string(desc, end));

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

std::unique_ptr<ArchiveReader> makeFastaReader(const std::string& path) {
    return std::unique_ptr<ArchiveReader>(new FastaReader(path));
}

} // namespace Ovik
