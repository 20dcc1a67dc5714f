// Writers of the annotated flat files: GenBank/GenPept, EMBL, Swiss-Prot/TrEMBL.
#include "../ArchiveWriter.h"
#include "../FeatureTable.h"
#include "../TextUtil.h"

#include <cctype>
#include <cstdio>

namespace Ovik {

namespace {

using Type = Velm::Sequence::MoleculeType;

std::string annotationOr(const Velm::Sequence& seq, const char* key, const std::string& fallback) {
    std::string v = seq.annotation(key);
    return v.empty() ? fallback : v;
}

bool upperKey(const std::string& key, std::size_t minSize, std::size_t maxSize) {
    if (key.size() < minSize || key.size() > maxSize)
        return false;
    for (char c : key)
        if (!std::isupper(static_cast<unsigned char>(c)) && c != '*' && c != '_')
            return false;
    return true;
}

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    return s;
}

/// Writes `value` after `head` (already padded), continuation lines after `indent`, wrapping
/// each of its lines at `width`.
void appendField(std::string& out, const std::string& head, const std::string& indent,
                 const std::string& value, std::size_t width) {
    bool first = true;
    for (const std::string& line : text::splitLines(value))
        for (const std::string& piece : text::wrap(line, width)) {
            out += (first ? head : indent) + piece;
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            out += '\n';
            first = false;
        }
}

// Sequence lines in blocks of 10, 60 a line; `number` 0: none, 1: GenBank (left), 2: EMBL (right).
void appendBlocks(OutputFile& file, std::string& out, const std::string& r, int number) {
    char buf[32];
    for (std::size_t pos = 0; pos < r.size(); pos += 60) {
        std::size_t start = out.size();
        if (number == 1) {
            std::snprintf(buf, sizeof buf, "%9zu", pos + 1);
            out += buf;
        } else {
            out += "    ";
        }
        for (std::size_t b = pos; b < pos + 60 && b < r.size(); b += 10) {
            out += ' ';
            out.append(r, b, 10);
        }
        if (number == 2) {
            out.resize(start + 70, ' ');
            std::snprintf(buf, sizeof buf, "%10zu", std::min(pos + 60, r.size()));
            out += buf;
        }
        out += '\n';
        if (out.size() > (1u << 20)) {
            file.write(out);
            out.clear();
        }
    }
}

const char* const kSubKeys[] = {"ORGANISM", "AUTHORS", "CONSRTM", "TITLE", "JOURNAL",
                                "MEDLINE",  "PUBMED",  "REMARK"};

class GenBankWriter : public ArchiveWriter {
public:
    GenBankWriter(const OutputTarget& target, bool protein) : ArchiveWriter(target), protein_(protein) {}

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        const std::string& r = seq.residues();
        Type type = text::moleculeOf(seq);
        bool aa = protein_ || type == Type::Protein;
        std::string mol = annotationOr(seq, "molecule", type == Type::RNA ? "RNA" : "DNA");
        char buf[256];
        std::string out;
        if (aa)
            std::snprintf(buf, sizeof buf, "LOCUS       %-16s %11zu aa            %-8s %s %s\n",
                          text::tokenName(seq.name(), index + 1).c_str(), r.size(),
                          annotationOr(seq, "topology", "linear").c_str(),
                          annotationOr(seq, "division", "UNA").c_str(),
                          annotationOr(seq, "date", text::today()).c_str());
        else
            std::snprintf(buf, sizeof buf, "LOCUS       %-16s %11zu bp    %-6s  %-8s %s %s\n",
                          text::tokenName(seq.name(), index + 1).c_str(), r.size(), mol.c_str(),
                          annotationOr(seq, "topology", "linear").c_str(),
                          annotationOr(seq, "division", "UNA").c_str(),
                          annotationOr(seq, "date", text::today()).c_str());
        out += buf;
        const std::string indent(12, ' ');
        appendField(out, "DEFINITION  ", indent, oneLine(seq.description()) + ".", 67);
        std::string accession = annotationOr(seq, "ACCESSION",
                                             seq.accession().empty() ? text::tokenName(seq.name(), index + 1)
                                                                     : seq.accession());
        appendField(out, "ACCESSION   ", indent, accession, 67);
        for (const auto& a : seq.annotations()) {
            if (a.first == "ACCESSION" || !upperKey(a.first, 3, 10))
                continue;
            bool sub = false;
            for (const char* k : kSubKeys)
                sub = sub || a.first == k;
            std::string head = (sub ? "  " : "") + a.first;
            head.resize(12, ' ');
            appendField(out, head, indent, a.second, 67);
        }
        if (!seq.features().empty()) {
            out += "FEATURES             Location/Qualifiers\n";
            writeFeatures(out, seq.features(), "     ");
        }
        out += "ORIGIN\n";
        appendBlocks(out_, out, r, 1);
        out += "//\n";
        out_.write(out);
    }

private:
    bool protein_;
};

// Two-letter codes that the EMBL and Swiss-Prot writers produce themselves.
bool ownCode(const std::string& key) {
    return key == "ID" || key == "AC" || key == "DE" || key == "XX" || key == "FH" || key == "FT" ||
           key == "SQ";
}

class EmblWriter : public ArchiveWriter {
public:
    using ArchiveWriter::ArchiveWriter;

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        const std::string& r = seq.residues();
        Type type = text::moleculeOf(seq);
        bool aa = type == Type::Protein;
        std::string name = text::tokenName(seq.name(), index + 1);
        std::string mol = annotationOr(seq, "molecule",
                                       aa ? "protein" : type == Type::RNA ? "RNA" : "genomic DNA");
        std::string out = "ID   " + name + "; SV " + annotationOr(seq, "sequence_version", "1") + "; " +
                          annotationOr(seq, "topology", "linear") + "; " + mol + "; " +
                          annotationOr(seq, "class", "STD") + "; " + annotationOr(seq, "division", "UNC") +
                          "; " + std::to_string(r.size()) + (aa ? " AA.\n" : " BP.\n");
        out += "XX\n";
        std::string ac = annotationOr(seq, "AC", (seq.accession().empty() ? name : seq.accession()) + ";");
        appendField(out, "AC   ", "AC   ", ac, 75);
        out += "XX\n";
        appendField(out, "DE   ", "DE   ", oneLine(seq.description()), 75);
        out += "XX\n";
        char group = 0;
        for (const auto& a : seq.annotations()) {
            if (!upperKey(a.first, 2, 2) || ownCode(a.first))
                continue;
            if (group != 0 && (a.first[0] != group || a.first == "RN"))
                out += "XX\n";
            group = a.first[0];
            std::string head = a.first + "   ";
            appendField(out, head, head, a.second, 75);
        }
        if (group != 0)
            out += "XX\n";
        if (!seq.features().empty()) {
            out += "FH   Key             Location/Qualifiers\nFH\n";
            writeFeatures(out, seq.features(), "FT   ");
            out += "XX\n";
        }
        if (aa) {
            out += "SQ   Sequence " + std::to_string(r.size()) + " AA;\n";
        } else {
            std::size_t a = 0, c = 0, g = 0, t = 0;
            for (char ch : r)
                switch (ch) {
                case 'a': case 'A': ++a; break;
                case 'c': case 'C': ++c; break;
                case 'g': case 'G': ++g; break;
                case 't': case 'T': case 'u': case 'U': ++t; break;
                default: break;
                }
            out += "SQ   Sequence " + std::to_string(r.size()) + " BP; " + std::to_string(a) + " A; " +
                   std::to_string(c) + " C; " + std::to_string(g) + " G; " + std::to_string(t) + " T; " +
                   std::to_string(r.size() - a - c - g - t) + " other;\n";
        }
        appendBlocks(out_, out, r, 2);
        out += "//\n";
        out_.write(out);
    }
};

class SwissWriter : public ArchiveWriter {
public:
    SwissWriter(const OutputTarget& target, bool reviewed) : ArchiveWriter(target), reviewed_(reviewed) {}

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        const std::string& r = seq.residues();
        std::string name = text::tokenName(seq.name(), index + 1);
        char buf[256];
        std::snprintf(buf, sizeof buf, "ID   %-24s%-12s%7zu AA.\n", name.c_str(),
                      reviewed_ ? "Reviewed;" : "Unreviewed;", r.size());
        std::string out = buf;
        std::string ac = annotationOr(seq, "AC", (seq.accession().empty() ? name : seq.accession()) + ";");
        appendField(out, "AC   ", "AC   ", ac, 75);
        appendField(out, "DE   ", "DE   ", oneLine(seq.description()), 75);
        for (const auto& a : seq.annotations()) {
            if (!upperKey(a.first, 2, 2) || ownCode(a.first))
                continue;
            std::string head = a.first + "   ";
            appendField(out, head, head, a.second, 75);
        }
        writeFeatures(out, seq.features(), "FT   ");
        std::snprintf(buf, sizeof buf, "SQ   SEQUENCE %5zu AA;  %lu MW;  %s CRC64;\n", r.size(),
                      text::proteinWeight(r), text::crc64Hex(r).c_str());
        out += buf;
        appendBlocks(out_, out, r, 0);
        out += "//\n";
        out_.write(out);
    }

private:
    bool reviewed_;
};

} // namespace

std::unique_ptr<ArchiveWriter> makeGenBankWriter(const OutputTarget& target, bool protein) {
    return std::unique_ptr<ArchiveWriter>(new GenBankWriter(target, protein));
}
std::unique_ptr<ArchiveWriter> makeEmblWriter(const OutputTarget& target) {
    return std::unique_ptr<ArchiveWriter>(new EmblWriter(target));
}
std::unique_ptr<ArchiveWriter> makeSwissWriter(const OutputTarget& target, bool reviewed) {
    return std::unique_ptr<ArchiveWriter>(new SwissWriter(target, reviewed));
}

} // namespace Ovik
