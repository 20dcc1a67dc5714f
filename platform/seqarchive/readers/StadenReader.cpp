// Staden plain sequence: the whole file is one sequence; ';' lines are comments and an optional
// '<name---->' line names it (otherwise the file name does).
#include "../ArchiveReader.h"
#include "../Messages.h"
#include "../TextUtil.h"

#include <cstring>

namespace Ovik {

namespace {

class StadenReader : public ArchiveReader {
public:
    using ArchiveReader::ArchiveReader;

protected:
    boost::shared_ptr<Velm::Sequence> readEntry() override {
        Line line;
        std::string name, description;
        scratch_.clear();
        while (src_.next(line)) {
            if (line.size > 0 && line[0] == ';') {
                std::string comment = text::trim(line.data + 1, line.size - 1);
                if (description.empty())
                    description = comment;
                continue;
            }
            std::size_t from = 0;
            if (line.size > 0 && line[0] == '<' && scratch_.empty() && name.empty()) {
                const void* close = std::memchr(line.data, '>', line.size);
                if (close) {
                    std::size_t end = static_cast<std::size_t>(static_cast<const char*>(close) - line.data);
                    name.assign(line.data + 1, end - 1);
                    while (!name.empty() && name.back() == '-')
                        name.pop_back();
                    name = text::trim(name);
                    from = end + 1;
                }
            }
            text::appendResidues(scratch_, line.data + from, line.size - from);
        }
        if (name.empty())
            name = text::baseName(src_.path());
        boost::shared_ptr<Velm::Sequence> seq =
            makeSequence(text::guessType(scratch_));
        seq->setName(name);
        seq->setDescription(description);
        takeResidues(*seq, scratch_);
        return seq;
    }
};

} // namespace

std::unique_ptr<ArchiveReader> makeStadenReader(const std::string& path) {
    return std::unique_ptr<ArchiveReader>(new StadenReader(path));
}

} // namespace Ovik
