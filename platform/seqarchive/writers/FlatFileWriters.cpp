// Writers of the annotated flat files: GenBank/GenPept, EMBL, Swiss-Prot/TrEMBL.
#include "../ArchiveWriter.h"
#include "../CrossFormat.h"
#include "../FeatureTable.h"
#include "../TextUtil.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace Ovik {

namespace {

using Type = Velm::Sequence::MoleculeType;

/// A field of the LOCUS or ID line: the annotation when it has the field's shape, else `fallback`
/// (a value from another format, or holding blanks or line ends, would break the line).
std::string lineField(const Velm::Sequence& seq, const char* key, const std::string& fallback,
                      bool (*shape)(const std::string&)) {
    std::string v = seq.annotation(key);
    return !v.empty() && shape(v) ? v : fallback;
}

bool isTopology(const std::string& v) { return v == "linear" || v == "circular"; }
bool isUpperCode(const std::string& v) {
    return v.size() == 3 && std::isupper(static_cast<unsigned char>(v[0])) &&
           std::isupper(static_cast<unsigned char>(v[1])) && std::isupper(static_cast<unsigned char>(v[2]));
}
bool isNumber(const std::string& v) {
    return !v.empty() && v.size() < 10 && v.find_first_not_of("0123456789") == std::string::npos;
}

/// The GenBank molecule word for an entry: EMBL's "genomic DNA" is GenBank's "DNA".
std::string genbankMolecule(const Velm::Sequence& seq, Type type) {
    std::string v = seq.annotation("molecule");
    const std::size_t space = v.rfind(' ');
    if (space != std::string::npos)
        v.erase(0, space + 1);
    bool word = !v.empty() && v.size() <= 7;
    for (char c : v)
        word = word && (std::isalpha(static_cast<unsigned char>(c)) || c == '-');
    if (word && (v.find("DNA") != std::string::npos || v.find("RNA") != std::string::npos))
        return v;
    return type == Type::RNA ? "RNA" : "DNA";
}

/// The EMBL molecule text: the entry's own when it fits in a field of the ID line.
std::string emblMolecule(const Velm::Sequence& seq, bool aa, Type type) {
    const std::string v = cmn::oneLineText(seq.annotation("molecule"));
    if (aa)
        return "protein";
    if (v.empty())
        return type == Type::RNA ? "RNA" : "genomic DNA";
    // An old-style ID line's "unspecified" (or any word naming no nucleic acid) has no place in
    // the new-style line's molecule field: EMBL's own word for it is "unassigned", of the kind
    // the entry's letters say.
    if (v.find(';') != std::string::npos ||
        (v.find("DNA") == std::string::npos && v.find("RNA") == std::string::npos))
        return type == Type::RNA ? "unassigned RNA" : "unassigned DNA";
    return v;
}

/// The entry's accession numbers, from whichever layout it was read in.
std::vector<std::string> accessions(const Velm::Sequence& seq, const std::string& name) {
    std::string all = seq.annotation("AC");
    if (all.empty())
        all = seq.annotation("ACCESSION");
    std::vector<std::string> out;
    for (std::string& t : text::tokens(all.data(), all.size())) {
        while (!t.empty() && (t.back() == ';' || t.back() == '.'))
            t.pop_back();
        if (!t.empty())
            out.push_back(t);
    }
    if (out.empty())
        out.push_back(seq.accession().empty() ? name : cmn::singleTokenName(seq.accession(), 0));
    return out;
}

std::string joinAccessions(const std::vector<std::string>& list, const char* separator, const char* end) {
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i)
        out += (i ? separator : "") + list[i];
    return out + end;
}

/// Writes `value` after `head` (already padded), continuation lines after `indent`, wrapping
/// each of its lines at `width`.
void appendField(std::string& out, const std::string& head, const std::string& indent,
                 const std::string& value, std::size_t width) {
    bool first = true;
    for (const std::string& line : text::splitLines(value))
        for (const std::string& piece : text::wrap(cmn::oneLineText(line), width)) {
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

/// GenBank lines that close a record after its feature table: a master record's WGS/TSA/TLS
/// ranges and a constructed entry's CONTIG. Readers take anything after FEATURES but before them
/// for the sequence.
bool isGenBankTrailer(const std::string& key) {
    for (const char* k : {"CONTIG", "WGS", "WGS_SCAFLD", "TSA", "TSA_SCAFLD", "TLS", "TLS_SCAFLD"})
        if (key == k)
            return true;
    return false;
}

/// The length a LOCUS or ID line gives: the residues', or the declared one of an entry whose
/// residues are absent.
std::size_t declaredOrActual(const Velm::Sequence& seq) {
    return seq.residuesAbsent() ? seq.declaredLength() : seq.length();
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
        const std::string name = text::tokenName(seq.name(), index + 1);
        const std::string topology = lineField(seq, "topology", "linear", isTopology);
        const std::string division = lineField(seq, "division", "UNA", isUpperCode);
        std::string date = lastEntryDate(seq);
        if (date.empty())
            date = text::today();
        // Built by hand, not in a fixed buffer: a long name must not cut the line short.
        char length[32];
        std::snprintf(length, sizeof length, " %11zu", declaredOrActual(seq));
        std::string out = "LOCUS       " + text::padded(name, 16) + length +
                          (aa ? " aa            " : " bp    " + text::padded(genbankMolecule(seq, type), 6) + "  ") +
                          text::padded(topology, 8) + " " + division + " " + date + "\n";
        const std::string indent(12, ' ');
        // The closing full stop is GenBank's; a description that already ends in one (EMBL's DE
        // lines often do) gets no second.
        const std::string& definition = seq.description();
        appendField(out, "DEFINITION  ", indent,
                    !definition.empty() && definition.back() == '.' ? definition : definition + ".", 67);
        appendField(out, "ACCESSION   ", indent, joinAccessions(accessions(seq, name), " ", ""), 67);
        Velm::PropertyList trailer;
        for (const auto& a : headerFor(FlatLayout::GenBank, seq)) {
            if (a.first == "ACCESSION")
                continue;
            if (isGenBankTrailer(a.first)) {
                trailer.push_back(a);
                continue;
            }
            bool sub = false;
            for (const char* k : kSubKeys)
                sub = sub || a.first == k;
            std::string head = (sub ? "  " : "") + a.first;
            head.resize(12, ' ');
            appendField(out, head, indent, a.second, 67);
        }
        const std::vector<Velm::Feature> features =
            featuresFor(FlatLayout::GenBank, seq, [this](const std::string& w) { warn(w); });
        // Written even when empty, as GenBank does: some readers lose the sequence of an entry
        // whose ORGANISM block runs straight into ORIGIN.
        out += "FEATURES             Location/Qualifiers\n";
        writeFeatures(out, features, "     ");
        for (const auto& a : trailer)
            appendField(out, text::padded(a.first, 12), indent, a.second, 67);
        out += "ORIGIN\n";
        appendBlocks(out_, out, r, 1);
        out += "//\n";
        out_.write(out);
    }

    AbsentResidues absentResidues() const override { return AbsentResidues::Declare; }

private:
    bool protein_;
};

class EmblWriter : public ArchiveWriter {
public:
    using ArchiveWriter::ArchiveWriter;

protected:
    AbsentResidues absentResidues() const override { return AbsentResidues::Declare; }

    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        const std::string& r = seq.residues();
        Type type = text::moleculeOf(seq);
        bool aa = type == Type::Protein;
        std::string name = text::tokenName(seq.name(), index + 1);
        std::replace(name.begin(), name.end(), ';', '_'); // ';' parts the ID line's fields
        std::string version = seq.annotation("sequence_version");
        if (!isNumber(version)) {
            // A GenBank VERSION "X56734.1" gives the sequence version.
            const std::string v = seq.annotation("VERSION");
            const std::size_t dot = v.find('.');
            version = dot == std::string::npos ? "" : v.substr(dot + 1, v.find_first_of(" \n", dot) - dot - 1);
            if (!isNumber(version))
                version = "1";
        }
        std::string out = "ID   " + name + "; SV " + version + "; " +
                          lineField(seq, "topology", "linear", isTopology) + "; " +
                          emblMolecule(seq, aa, type) + "; " + lineField(seq, "class", "STD", isUpperCode) +
                          "; " + lineField(seq, "division", "UNC", isUpperCode) + "; " +
                          std::to_string(declaredOrActual(seq)) + (aa ? " AA.\n" : " BP.\n");
        out += "XX\n";
        appendField(out, "AC   ", "AC   ", joinAccessions(accessions(seq, name), "; ", ";"), 75);
        out += "XX\n";
        appendField(out, "DE   ", "DE   ", seq.description(), 75);
        out += "XX\n";
        char group = 0;
        std::vector<std::string> contig; // CO closes the entry, after the feature table
        for (const auto& a : headerFor(FlatLayout::Embl, seq)) {
            if (a.first == "CO") {
                contig.push_back(a.second);
                continue;
            }
            if (group != 0 && (a.first[0] != group || a.first == "RN"))
                out += "XX\n";
            group = a.first[0];
            std::string head = a.first + "   ";
            appendField(out, head, head, a.second, 75);
        }
        if (group != 0)
            out += "XX\n";
        const std::vector<Velm::Feature> features =
            featuresFor(FlatLayout::Embl, seq, [this](const std::string& w) { warn(w); });
        if (!features.empty()) {
            out += "FH   Key             Location/Qualifiers\nFH\n";
            writeFeatures(out, features, "FT   ");
            out += "XX\n";
        }
        if (!contig.empty()) {
            // A constructed entry's CO stands where its sequence would, just before "//". Beside
            // written residues no order suits every reader (some end the body at CO, others at
            // SQ), so the residues are written and the CO line is left out, with a warning.
            if (r.empty()) {
                for (const std::string& c : contig)
                    appendField(out, "CO   ", "CO   ", c, 75);
                out += "//\n";
                out_.write(out);
                return;
            }
            warn("CO line of " + cmn::singleTokenName(seq.name(), 0) +
                 " left out: EMBL takes it in place of the sequence, which is written");
        }
        if (seq.residuesAbsent()) {
            // A master record: its ID line declares the length, and an SQ line without sequence
            // lines says there is none to give (readers refuse an entry that ends before SQ).
            out += "SQ   Sequence " + std::to_string(seq.declaredLength()) +
                   (aa ? " AA;\n" : " BP; 0 A; 0 C; 0 G; 0 T; 0 other;\n") + "//\n";
            out_.write(out);
            return;
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
        // The name fills a field of 24 columns; a longer one is still followed by a blank, or
        // readers would take it and the status for one word.
        std::snprintf(buf, sizeof buf, "%-12s%7zu AA.\n", reviewed_ ? "Reviewed;" : "Unreviewed;", r.size());
        std::string out = "ID   " + text::padded(name, 23) + " " + buf;
        appendField(out, "AC   ", "AC   ", joinAccessions(accessions(seq, name), "; ", ";"), 75);
        appendField(out, "DE   ", "DE   ", seq.description(), 75);
        for (const auto& a : headerFor(FlatLayout::Swiss, seq)) {
            std::string head = a.first + "   ";
            appendField(out, head, head, a.second, 75);
        }
        writeFeatures(out, featuresFor(FlatLayout::Swiss, seq, [this](const std::string& w) { warn(w); }),
                      "FT   ");
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
