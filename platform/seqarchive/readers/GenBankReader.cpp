// GenBank and GenPept: LOCUS ... FEATURES ... ORIGIN ... //, several records a file.
#include "../ArchiveReader.h"
#include "../FeatureTable.h"
#include "../Messages.h"
#include "../TextUtil.h"

#include <cctype>
#include <cstring>

namespace Ovik {

namespace {

bool isDate(const std::string& t) {
    return t.size() == 11 && t[2] == '-' && t[6] == '-' && std::isdigit(static_cast<unsigned char>(t[0]));
}

bool isDivision(const std::string& t) {
    if (t.size() != 3)
        return false;
    for (char c : t)
        if (!std::isupper(static_cast<unsigned char>(c)))
            return false;
    return true;
}

class GenBankReader : public ArchiveReader {
public:
    using ArchiveReader::ArchiveReader;

protected:
    boost::shared_ptr<Velm::Sequence> readEntry() override {
        Line line;
        src_.next(line);
        if (!line.startsWith("LOCUS"))
            src_.fail(msg::kExpectedLocus);
        const unsigned long start = src_.lineNumber();
        Velm::PropertyList annotations;
        Velm::Sequence::MoleculeType type = parseLocus(line, annotations);
        std::string name = locusName_;
        std::string accession, description;
        std::vector<Velm::Feature> features;
        FeatureParser featureParser(features);
        enum { Header, Features, Origin } section = Header;
        std::string* continued = nullptr; // the header value that continuation lines extend
        bool joinWithSpace = false;
        scratch_.clear();

        for (;;) {
            if (!src_.next(line))
                src_.fail(msg::kTruncated + std::to_string(start));
            if (line.size >= 2 && line[0] == '/' && line[1] == '/')
                break;
            if (line.empty())
                continue;
            if (line[0] != ' ') {
                if (line.startsWith("LOCUS"))
                    src_.fail(msg::kMissingEnd + std::to_string(start));
                featureParser.finish();
                continued = nullptr;
                std::string key = text::trim(line.data, std::min<std::size_t>(line.size, 12));
                std::string value = text::from(line, 12);
                if (line.startsWith("FEATURES")) {
                    section = Features;
                } else if (line.startsWith("ORIGIN")) {
                    section = Origin;
                } else if (line.startsWith("BASE COUNT")) {
                    section = Header; // recomputed on writing
                } else if (key == "DEFINITION") {
                    section = Header;
                    description = value;
                    continued = &description;
                    joinWithSpace = true;
                } else if (key == "ACCESSION") {
                    section = Header;
                    accession = value.substr(0, value.find(' '));
                    if (value.find(' ') != std::string::npos) {
                        annotations.emplace_back(key, value);
                        continued = &annotations.back().second;
                        joinWithSpace = false;
                    }
                } else {
                    section = Header;
                    key = key.substr(0, key.find(' '));
                    annotations.emplace_back(key, value);
                    continued = &annotations.back().second;
                    joinWithSpace = false;
                }
                continue;
            }
            switch (section) {
            case Features:
                featureParser.addLine(line.data, line.size, src_);
                break;
            case Origin:
                text::appendGroupedResidues(scratch_, line.data, line.size, 10);
                break;
            case Header:
                // A sub-keyword (ORGANISM, AUTHORS, ...; PUBMED is indented by three): any word in
                // the first 12 columns, which a continuation line leaves blank.
                std::string key = line.size >= 12 ? text::trim(line.data, 12) : std::string();
                if (!key.empty()) {
                    annotations.emplace_back(key, text::from(line, 12));
                    continued = &annotations.back().second;
                    joinWithSpace = false;
                } else if (continued) {
                    *continued += joinWithSpace ? ' ' : '\n';
                    *continued += text::from(line, 12);
                }
                break;
            }
        }
        featureParser.finish();
        // The definition's closing full stop belongs to the layout, not to the text.
        if (!description.empty() && description.back() == '.')
            description.pop_back();

        boost::shared_ptr<Velm::Sequence> seq = makeAnnotatedEntry(
            type, name, accession, description, std::move(annotations), std::move(features), scratch_);
        // A master or CONTIG-only record declares a length it holds no residues for.
        if (scratch_.empty())
            seq->setDeclaredLength(locusLength_);
        return seq;
    }

private:
    Velm::Sequence::MoleculeType parseLocus(const Line& line, Velm::PropertyList& annotations) {
        std::vector<std::string> t = text::tokens(line);
        locusName_ = t.size() > 1 ? t[1] : std::string();
        auto type = Velm::Sequence::MoleculeType::Unknown;
        std::size_t units = 0;
        for (std::size_t i = 2; i < t.size(); ++i)
            if (t[i] == "bp" || t[i] == "aa") {
                units = i;
                break;
            }
        locusLength_ = 0;
        if (units == 0)
            return type;
        locusLength_ = text::parseCount(t[units - 1]);
        if (t[units] == "aa")
            type = Velm::Sequence::MoleculeType::Protein;
        for (std::size_t i = units + 1; i < t.size(); ++i) {
            const std::string& v = t[i];
            if (v == "linear" || v == "circular") {
                annotations.emplace_back("topology", v);
            } else if (isDate(v)) {
                annotations.emplace_back("date", v);
            } else if (isDivision(v) && v.find("NA") == std::string::npos) {
                annotations.emplace_back("division", v);
            } else if (v.find("DNA") != std::string::npos || v.find("RNA") != std::string::npos) {
                annotations.emplace_back("molecule", v);
                if (type != Velm::Sequence::MoleculeType::Protein)
                    type = v.find("RNA") != std::string::npos ? Velm::Sequence::MoleculeType::RNA
                                                              : Velm::Sequence::MoleculeType::DNA;
            }
        }
        return type;
    }

    std::string locusName_;
    std::size_t locusLength_ = 0; // the LOCUS line's length, 0 when it has none
};

} // namespace

std::unique_ptr<ArchiveReader> makeGenBankReader(LineSource&& source) {
    return std::unique_ptr<ArchiveReader>(new GenBankReader(std::move(source)));
}

} // namespace Ovik
