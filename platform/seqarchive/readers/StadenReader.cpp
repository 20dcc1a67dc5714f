// Staden plain sequence: the whole file is one sequence; ';' lines are comments and an optional
// '<name---->' line names it (otherwise the file name does).
#include "../ArchiveReader.h"
#include "../Messages.h"
#include "../TextUtil.h"

#include <cstring>

namespace Ovik {

namespace {

// Plain sequence accepts any letters, so a binary file would otherwise read as the letters
// scattered through it: control bytes other than blanks mean the file is not text at all.
bool holdsBinary(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\v' && c != '\f')
            return true;
    }
    return false;
}

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
            if (holdsBinary(line.data, line.size))
                src_.fail(msg::kBinaryContent);
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

std::unique_ptr<ArchiveReader> makeStadenReader(LineSource&& source) {
    return std::unique_ptr<ArchiveReader>(new StadenReader(std::move(source)));
}

} // namespace Ovik
