// EMBL, Swiss-Prot and TrEMBL: two-letter line codes, ID ... FT ... SQ ... //, several entries.
#include "../ArchiveReader.h"
#include "../FeatureTable.h"
#include "../Messages.h"
#include "../TextUtil.h"

#include <cstring>

namespace Ovik {

namespace {

using Type = Velm::Sequence::MoleculeType;

Type moleculeFromText(const std::string& v) {
    if (v.find("RNA") != std::string::npos)
        return Type::RNA;
    if (v.find("DNA") != std::string::npos)
        return Type::DNA;
    if (v == "protein" || v == "PRT")
        return Type::Protein;
    return Type::Unknown;
}

class EmblReader : public ArchiveReader {
public:
    EmblReader(LineSource&& source, bool swiss) : ArchiveReader(std::move(source)), swiss_(swiss) {}

protected:
    boost::shared_ptr<Velm::Sequence> readEntry() override {
        Line line;
        src_.next(line);
        if (!line.startsWith("ID"))
            src_.fail(msg::kExpectedId);
        const unsigned long start = src_.lineNumber();
        Velm::PropertyList annotations;
        std::string name;
        Type type = parseId(line, name, annotations);
        std::string accession, description;
        std::vector<Velm::Feature> features;
        FeatureParser featureParser(features);
        bool inSequence = false;
        std::string lastCode;
        scratch_.clear();

        for (;;) {
            if (!src_.next(line))
                src_.fail(msg::kTruncated + std::to_string(start));
            if (line.startsWith("//"))
                break;
            if (line.blank())
                continue;
            if (inSequence && line[0] == ' ') {
                text::appendGroupedResidues(scratch_, line.data, line.size, 5);
                continue;
            }
            if (line.size < 2)
                src_.fail(std::string(msg::kBadLine) + cmn::inputExcerpt(std::string_view(line.data, line.size)));
            if (line[0] == 'F' && line[1] == 'T') {
                // The bulk of an annotated entry: straight to the feature table.
                featureParser.addLine(line.data, line.size, src_);
                lastCode = "FT";
                continue;
            }
            std::string code(line.data, 2);
            std::string value = text::from(line, 5);
            if (code == "ID") {
                src_.fail(msg::kMissingEnd + std::to_string(start));
            } else if (code == "XX" || code == "FH") {
                // layout only
            } else if (code == "FT") {
                featureParser.addLine(line.data, line.size, src_);
            } else if (code == "SQ") {
                inSequence = true;
            } else if (code == "AC") {
                if (accession.empty())
                    accession = value.substr(0, value.find_first_of("; "));
                if (lastCode == "AC")
                    annotations.back().second += " " + value;
                else
                    annotations.emplace_back("AC", value);
            } else if (code == "DE") {
                description += (description.empty() ? "" : " ") + value;
            } else if (code == "  ") {
                src_.fail(std::string(msg::kBadLine) + cmn::inputExcerpt(std::string_view(line.data, line.size)));
            } else if (code == lastCode && !annotations.empty() && annotations.back().first == code) {
                annotations.back().second += "\n" + value;
            } else {
                annotations.emplace_back(code, value);
            }
            lastCode = code;
        }
        featureParser.finish();
        // An AC line naming only the primary accession adds nothing.
        for (auto it = annotations.begin(); it != annotations.end(); ++it)
            if (it->first == "AC" && (it->second == accession + ";" || it->second == accession)) {
                annotations.erase(it);
                break;
            }

        boost::shared_ptr<Velm::Sequence> seq = makeAnnotatedEntry(
            type, name, accession, description, std::move(annotations), std::move(features), scratch_);
        // A master or CO-only entry declares a length it holds no residues for.
        if (scratch_.empty())
            seq->setDeclaredLength(idLength_);
        return seq;
    }

private:
    Type parseId(const Line& line, std::string& name, Velm::PropertyList& annotations) {
        std::string rest = text::from(line, 2);
        std::vector<std::string> t = text::tokens(rest.data(), rest.size());
        if (t.empty())
            src_.fail(msg::kExpectedId);
        if (swiss_ && (t.size() < 2 || (t[1] != "Reviewed;" && t[1] != "Unreviewed;")))
            splitGluedStatus(t);
        name = t[0];
        if (!name.empty() && name.back() == ';')
            name.pop_back();
        Type type = Type::Unknown;
        const std::string& last = t.back();
        bool aa = last == "AA." || last == "AA";
        // "... 1859 BP." or "... 205 AA.": the count before the unit.
        idLength_ = t.size() >= 2 && (aa || last == "BP." || last == "BP") ? text::parseCount(t[t.size() - 2]) : 0;
        if (swiss_ || aa) {
            if (t.size() > 1 && (t[1] == "Reviewed;" || t[1] == "Unreviewed;"))
                annotations.emplace_back("status", t[1].substr(0, t[1].size() - 1));
            if (aa)
                type = Type::Protein;
        }
        if (rest.find("; SV ") != std::string::npos) {
            // ID   X56734; SV 1; linear; mRNA; STD; PLN; 1859 BP.
            std::vector<std::string> f;
            std::size_t pos = 0;
            for (;;) {
                std::size_t semi = rest.find(';', pos);
                f.push_back(text::trim(rest.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos)));
                if (semi == std::string::npos)
                    break;
                pos = semi + 1;
            }
            if (f.size() >= 7) {
                annotations.emplace_back("sequence_version", f[1].substr(f[1].find(' ') + 1));
                annotations.emplace_back("topology", f[2]);
                annotations.emplace_back("molecule", f[3]);
                annotations.emplace_back("class", f[4]);
                annotations.emplace_back("division", f[5]);
                if (type == Type::Unknown)
                    type = moleculeFromText(f[3]);
            }
        } else if (!swiss_ && !aa && t.size() >= 4) {
            // ID   U87107     standard; DNA; SYN; 8840 BP.
            std::string mol = t[2].substr(0, t[2].find(';'));
            std::string div = t[3].substr(0, t[3].find(';'));
            annotations.emplace_back("molecule", mol);
            annotations.emplace_back("division", div);
            type = moleculeFromText(mol);
        }
        return type;
    }

    // Files written by earlier versions put a name of 24 characters or more straight against the
    // status ("ID   uniprot|P48347|14310_ARATHReviewed;"): the two words are parted again.
    static void splitGluedStatus(std::vector<std::string>& t) {
        for (const char* status : {"Unreviewed;", "Reviewed;"}) {
            const std::size_t n = std::strlen(status);
            if (t[0].size() > n && t[0].compare(t[0].size() - n, n, status) == 0) {
                t.insert(t.begin() + 1, status);
                t[0].erase(t[0].size() - n);
                return;
            }
        }
    }

    bool swiss_;
    std::size_t idLength_ = 0; // the ID line's length, 0 when it has none
};

} // namespace

std::unique_ptr<ArchiveReader> makeEmblReader(LineSource&& source, bool swissLayout) {
    return std::unique_ptr<ArchiveReader>(new EmblReader(std::move(source), swissLayout));
}

} // namespace Ovik
