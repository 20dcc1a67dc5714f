// GCG RSF: '!!RICH_SEQUENCE 1.0', header text up to '..', then one '{' ... '}' block per entry
// with "key value" fields; the residues follow the 'sequence' field.
#include "../ArchiveReader.h"
#include "../Messages.h"
#include "../TextUtil.h"

#include <cctype>

namespace Ovik {

namespace {

using Type = Velm::Sequence::MoleculeType;

class RsfReader : public ArchiveReader {
public:
    using ArchiveReader::ArchiveReader;

protected:
    bool hasMore() override {
        if (!headerDone_) {
            headerDone_ = true;
            Line line;
            const unsigned long start = src_.lineNumber() + 1;
            bool any = false;
            while (src_.next(line)) {
                if (line.blank())
                    continue;
                any = true;
                std::string t = text::trim(line.data, line.size);
                if (t.size() >= 2 && t.compare(t.size() - 2, 2, "..") == 0)
                    return src_.skipBlank();
                if (t == "{")
                    src_.fail(msg::kMissingDots);
            }
            if (any)
                src_.failAt(start, msg::kMissingDots);
            return false;
        }
        return src_.skipBlank();
    }

    boost::shared_ptr<Velm::Sequence> readEntry() override {
        Line line;
        src_.next(line);
        if (text::trim(line.data, line.size) != "{")
            src_.fail(msg::kExpectedBrace);
        const unsigned long start = src_.lineNumber();
        std::string name, accession, description, type;
        Velm::PropertyList annotations;
        std::string* continued = nullptr;
        bool inSequence = false;
        scratch_.clear();
        for (;;) {
            if (!src_.next(line))
                src_.fail(msg::kTruncated + std::to_string(start));
            std::string t = text::trim(line.data, line.size);
            if (t == "}")
                break;
            if (inSequence) {
                text::appendResidues(scratch_, line.data, line.size);
                continue;
            }
            if (t.empty())
                continue;
            if (line[0] == ' ' || line[0] == '\t') {
                if (continued)
                    *continued += (continued->empty() ? "" : "\n") + t;
                continue;
            }
            std::size_t sp = t.find_first_of(" \t");
            std::string key = t.substr(0, sp);
            std::string value = sp == std::string::npos ? std::string() : text::trim(t.substr(sp));
            continued = nullptr;
            if (key == "sequence") {
                inSequence = true;
            } else if (key == "name") {
                name = value;
            } else if (key == "descrip") {
                description = value;
                continued = &description;
            } else if (key == "type") {
                type = value;
            } else if (key == "sequence-ID" || key == "sequence-id") {
                accession = value;
            } else if (key == "checksum" || key == "longname" || key == "offset") {
                // recomputed on writing
            } else {
                annotations.emplace_back(key, value);
                continued = &annotations.back().second;
            }
        }
        for (char& c : type)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        Type mol = type == "PROTEIN" ? Type::Protein
                   : type == "RNA"   ? Type::RNA
                   : type == "DNA"   ? Type::DNA
                                     : text::guessType(scratch_);
        boost::shared_ptr<Velm::Sequence> seq = makeSequence(mol);
        seq->setName(name);
        seq->setAccession(accession);
        seq->setDescription(description);
        if (!annotations.empty())
            seq->annotations() = std::move(annotations);
        takeResidues(*seq, scratch_);
        return seq;
    }

private:
    bool headerDone_ = false;
};

} // namespace

std::unique_ptr<ArchiveReader> makeRsfReader(LineSource&& source) {
    return std::unique_ptr<ArchiveReader>(new RsfReader(std::move(source)));
}

} // namespace Ovik
