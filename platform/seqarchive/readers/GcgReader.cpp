// GCG single sequence: optional '!!NA_SEQUENCE 1.0' line, header text, the '..' line with
// Length/Type/Check, numbered sequence lines. A file may hold several such entries, each starting
// with its '!!' line.
#include "../ArchiveReader.h"
#include "../Messages.h"
#include "../TextUtil.h"

#include <cstdlib>

namespace Ovik {

namespace {

using Type = Velm::Sequence::MoleculeType;

bool endsWithDots(const Line& line) {
    std::string t = text::trim(line.data, line.size);
    return t.size() >= 2 && t.compare(t.size() - 2, 2, "..") == 0;
}

class GcgReader : public ArchiveReader {
public:
    using ArchiveReader::ArchiveReader;

protected:
    boost::shared_ptr<Velm::Sequence> readEntry() override {
        Line line;
        std::string description;
        unsigned long start = 0;
        bool sawBang = false;
        for (;;) {
            if (!src_.next(line))
                src_.failAt(start, msg::kMissingDots);
            if (start == 0)
                start = src_.lineNumber();
            if (line.startsWith("!!")) {
                if (sawBang || !description.empty())
                    src_.failAt(start, msg::kMissingDots);
                sawBang = true;
                continue;
            }
            if (endsWithDots(line))
                break;
            std::string t = text::trim(line.data, line.size);
            if (!t.empty())
                description += (description.empty() ? "" : " ") + t;
        }
        std::vector<std::string> t = text::tokens(line);
        std::string name, declaredType;
        long declaredLength = -1, declaredCheck = -1;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i] == "Length:" && i + 1 < t.size())
                declaredLength = std::atol(t[i + 1].c_str());
            else if (t[i] == "Type:" && i + 1 < t.size())
                declaredType = t[i + 1];
            else if (t[i] == "Check:" && i + 1 < t.size())
                declaredCheck = std::atol(t[i + 1].c_str());
        }
        if (!t.empty() && t[0] != "Length:" && t[0] != "..")
            name = t[0];
        if (name.empty())
            name = text::baseName(src_.path());

        scratch_.clear();
        while (src_.next(line)) {
            if (line.startsWith("!!")) {
                src_.unget();
                break;
            }
            text::appendResidues(scratch_, line.data, line.size);
        }

        if (declaredCheck >= 0 && static_cast<long>(text::gcgChecksum(scratch_)) != declaredCheck)
            warn(std::string(msg::kChecksumMismatch) + name + " in " + src_.path() + ": the file says " +
                 std::to_string(declaredCheck) + ", the sequence gives " +
                 std::to_string(text::gcgChecksum(scratch_)));
        if (declaredLength >= 0 && static_cast<std::size_t>(declaredLength) != scratch_.size())
            warn("GCG length mismatch for " + name + " in " + src_.path() + ": the file says " +
                 std::to_string(declaredLength) + ", the sequence has " + std::to_string(scratch_.size()));

        Type type = text::guessType(scratch_);
        if (declaredType == "P")
            type = Type::Protein;
        else if (declaredType == "N" && type == Type::Protein)
            type = Type::DNA;
        boost::shared_ptr<Velm::Sequence> seq = makeSequence(type);
        seq->setName(name);
        seq->setDescription(description);
        takeResidues(*seq, scratch_);
        return seq;
    }
};

} // namespace

std::unique_ptr<ArchiveReader> makeGcgReader(LineSource&& source) {
    return std::unique_ptr<ArchiveReader>(new GcgReader(std::move(source)));
}

} // namespace Ovik
