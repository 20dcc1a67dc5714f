// GCG MSF: a header with one 'Name:' line per sequence, '//', then interleaved blocks of rows.
// The rows are interleaved, so the whole alignment is read at the first entry.
#include "../ArchiveReader.h"
#include "../Messages.h"
#include "../TextUtil.h"

#include <cctype>
#include <cstdlib>
#include <unordered_map>

namespace Ovik {

namespace {

using Type = Velm::Sequence::MoleculeType;

struct Row {
    std::string name;
    std::string residues;
    long length = -1;
    long check = -1;
};

class MsfReader : public ArchiveReader {
public:
    using ArchiveReader::ArchiveReader;

protected:
    bool hasMore() override {
        if (!loaded_) {
            loaded_ = true;
            if (!src_.skipBlank())
                return false;
            load();
        }
        return next_ < rows_.size();
    }

    boost::shared_ptr<Velm::Sequence> readEntry() override {
        Row& row = rows_[next_++];
        Type type = protein_ ? Type::Protein : text::guessType(row.residues);
        if (!protein_ && type == Type::Protein)
            type = Type::DNA;
        boost::shared_ptr<Velm::Sequence> seq = makeSequence(type);
        seq->setName(row.name);
        seq->setResidues(std::move(row.residues));
        row.residues = std::string();
        return seq;
    }

private:
    void load() {
        Line line;
        const unsigned long start = src_.lineNumber() + 1;
        std::unordered_map<std::string, std::size_t> index;
        for (;;) {
            if (!src_.next(line))
                src_.failAt(start, msg::kMissingMsfNames);
            std::string t = text::trim(line.data, line.size);
            if (t == "//")
                break;
            std::vector<std::string> tok = text::tokens(line);
            if (tok.size() >= 2 && tok[0] == "Name:") {
                Row row;
                row.name = tok[1];
                for (std::size_t i = 2; i + 1 < tok.size(); ++i) {
                    if (tok[i] == "Len:")
                        row.length = std::atol(tok[i + 1].c_str());
                    else if (tok[i] == "Check:")
                        row.check = std::atol(tok[i + 1].c_str());
                }
                index.emplace(row.name, rows_.size());
                rows_.push_back(std::move(row));
            } else {
                for (std::size_t i = 0; i + 1 < tok.size(); ++i)
                    if (tok[i] == "Type:")
                        protein_ = tok[i + 1] == "P";
            }
        }
        if (rows_.empty())
            src_.failAt(start, msg::kMissingMsfNames);
        while (src_.next(line)) {
            std::size_t i = 0;
            while (i < line.size && (line[i] == ' ' || line[i] == '\t'))
                ++i;
            if (i == line.size)
                continue;
            std::size_t b = i;
            while (i < line.size && line[i] != ' ' && line[i] != '\t')
                ++i;
            std::string first(line.data + b, i - b);
            auto it = index.find(first);
            if (it == index.end()) {
                bool ruler = true; // column-number lines between blocks
                for (std::size_t k = 0; k < line.size; ++k)
                    if (!std::isdigit(static_cast<unsigned char>(line[k])) && line[k] != ' ' && line[k] != '\t')
                        ruler = false;
                if (ruler)
                    continue;
                src_.fail(msg::kUnknownMsfRow + cmn::inputExcerpt(first));
            }
            text::appendResidues(rows_[it->second].residues, line.data + i, line.size - i);
        }
        for (const Row& row : rows_) {
            if (row.length >= 0 && static_cast<std::size_t>(row.length) != row.residues.size())
                warn(std::string(msg::kMsfLength) + row.name + " in " + src_.path() + ": the header says " +
                     std::to_string(row.length) + ", the rows hold " + std::to_string(row.residues.size()));
            else if (row.check >= 0 && static_cast<long>(text::gcgChecksum(row.residues)) != row.check)
                warn(std::string(msg::kChecksumMismatch) + row.name + " in " + src_.path());
        }
    }

    bool loaded_ = false;
    bool protein_ = false;
    std::vector<Row> rows_;
    std::size_t next_ = 0;
};

} // namespace

std::unique_ptr<ArchiveReader> makeMsfReader(LineSource&& source) {
    return std::unique_ptr<ArchiveReader>(new MsfReader(std::move(source)));
}

} // namespace Ovik
