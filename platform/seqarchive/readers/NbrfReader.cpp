// NBRF/PIR: '>P1;name', a title line, residues ending in '*'. Annotation lines ("C;" comments,
// and the other letter-and-';' lines of PIR exports) outside entries are skipped.
#include "../ArchiveReader.h"
#include "../Messages.h"
#include "../TextUtil.h"

#include <cstring>

namespace Ovik {

namespace {

using Type = Velm::Sequence::MoleculeType;

Type typeOfCode(const std::string& code) {
    if (code == "P1" || code == "F1")
        return Type::Protein;
    if (code == "RL" || code == "RC")
        return Type::RNA;
    if (code == "DL" || code == "DC" || code == "N1" || code == "N3")
        return Type::DNA;
    return Type::Unknown;
}

class NbrfReader : public ArchiveReader {
public:
    using ArchiveReader::ArchiveReader;

protected:
    bool hasMore() override {
        Line line;
        while (src_.next(line)) {
            if (line.blank() || text::pirCommentLine(line.data, line.size))
                continue;
            src_.unget();
            return true;
        }
        return false;
    }

    boost::shared_ptr<Velm::Sequence> readEntry() override {
        Line line;
        src_.next(line);
        if (line.size < 4 || line[0] != '>' || line[3] != ';')
            src_.fail(msg::kExpectedPir);
        const unsigned long start = src_.lineNumber();
        std::string code(line.data + 1, 2);
        std::string name = text::trim(line.data + 4, line.size - 4);
        if (!src_.next(line))
            src_.fail(msg::kExpectedPirTitle);
        std::string title = text::trim(line.data, line.size);

        scratch_.clear();
        bool ended = false;
        while (!ended) {
            if (!src_.next(line))
                src_.fail(msg::kTruncated + std::to_string(start));
            if (line.size > 0 && line[0] == '>')
                src_.fail(msg::kMissingStar);
            const void* star = std::memchr(line.data, '*', line.size);
            std::size_t n = star ? static_cast<std::size_t>(static_cast<const char*>(star) - line.data) : line.size;
            text::appendResidues(scratch_, line.data, n);
            ended = star != nullptr;
        }
        Type type = typeOfCode(code);
        if (type == Type::Unknown)
            type = text::guessType(scratch_);
        boost::shared_ptr<Velm::Sequence> seq = makeSequence(type);
        seq->setName(name);
        seq->setDescription(title);
        seq->annotations().emplace_back("pir_type", code);
        takeResidues(*seq, scratch_);
        return seq;
    }
};

} // namespace

std::unique_ptr<ArchiveReader> makeNbrfReader(LineSource&& source) {
    return std::unique_ptr<ArchiveReader>(new NbrfReader(std::move(source)));
}

} // namespace Ovik
