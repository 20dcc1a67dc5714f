// Writers of the formats without annotation: FASTA, NBRF/PIR, GCG single sequence, GCG RSF.
#include "../ArchiveWriter.h"
#include "../TextUtil.h"

#include <contracts/SeqArchive.h>

#include <cstdio>

namespace Ovik {

namespace {

using Type = Velm::Sequence::MoleculeType;

void appendLines(std::string& out, const std::string& residues, std::size_t width, const char* indent) {
    for (std::size_t pos = 0; pos < residues.size(); pos += width) {
        out += indent;
        out.append(residues, pos, width);
        out += '\n';
    }
}

// FASTA has no place for qualities: the confidences of reads and chromatogram calls are left out,
// by design (FASTQ keeps them).
class FastaWriter : public ArchiveWriter {
public:
    using ArchiveWriter::ArchiveWriter;

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        std::string& out = entry_;
        out.clear();
        appendTitle(out, '>', seq, index);
        out_.write(out);
        // Residues go out in large pieces so that big entries are not copied whole.
        const std::string& r = seq.residues();
        for (std::size_t pos = 0; pos < r.size();) {
            out.clear();
            for (std::size_t k = 0; k < 1024 && pos < r.size(); ++k, pos += 60) {
                out.append(r, pos, 60);
                out += '\n';
            }
            out_.write(out);
        }
    }

private:
    std::string entry_;
};

class NbrfWriter : public ArchiveWriter {
public:
    using ArchiveWriter::ArchiveWriter;

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        std::string code = seq.annotation("pir_type");
        if (code.size() != 2) {
            switch (text::moleculeOf(seq)) {
            case Type::Protein: code = "P1"; break;
            case Type::RNA: code = "RL"; break;
            default: code = "DL"; break;
            }
        }
        std::string out = ">" + code + ";" + text::tokenName(seq.name(), index + 1) + "\n";
        std::string title = seq.description();
        for (char& c : title)
            if (c == '\n' || c == '\r')
                c = ' ';
        out += title + "\n";
        appendLines(out, seq.residues(), 60, "");
        if (seq.residues().empty() || out.back() != '\n')
            out += "*\n";
        else
            out.insert(out.size() - 1, "*");
        out_.write(out);
    }
};

// Numbered lines of 50 residues in blocks of 10, as GCG programs write them.
void appendGcgBlocks(std::string& out, const std::string& residues) {
    char num[32];
    for (std::size_t pos = 0; pos < residues.size(); pos += 50) {
        std::snprintf(num, sizeof num, "%8zu  ", pos + 1);
        out += num;
        for (std::size_t b = pos; b < pos + 50 && b < residues.size(); b += 10) {
            if (b > pos)
                out += ' ';
            out.append(residues, b, 10);
        }
        out += "\n\n";
    }
}

class GcgWriter : public ArchiveWriter {
public:
    using ArchiveWriter::ArchiveWriter;

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        bool protein = text::moleculeOf(seq) == Type::Protein;
        std::string name = text::tokenName(seq.name(), index + 1);
        std::string out = protein ? "!!AA_SEQUENCE 1.0\n" : "!!NA_SEQUENCE 1.0\n";
        out += "\n";
        // The header text must not end in "..", which would end the header early.
        std::string d = seq.description().empty() ? name : seq.description();
        for (char& c : d)
            if (c == '\n' || c == '\r')
                c = ' ';
        while (d.size() >= 2 && d.compare(d.size() - 2, 2, "..") == 0)
            d.pop_back();
        for (const std::string& piece : text::wrap(d, 75))
            out += piece + "\n";
        out += "\n";
        out += name + "  Length: " + std::to_string(seq.residues().size()) + "  " + text::today() +
               "  Type: " + (protein ? "P" : "N") + "  Check: " +
               std::to_string(text::gcgChecksum(seq.residues())) + "  ..\n\n";
        appendGcgBlocks(out, seq.residues());
        out_.write(out);
    }
};

class RsfWriter : public ArchiveWriter {
public:
    explicit RsfWriter(const OutputTarget& target) : ArchiveWriter(target) {
        out_.write("!!RICH_SEQUENCE 1.0\n..\n");
    }

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        std::string name = text::tokenName(seq.name(), index + 1);
        Type type = text::moleculeOf(seq);
        std::string out = "{\nname  " + name + "\n";
        if (!seq.description().empty()) {
            std::vector<std::string> lines = text::splitLines(seq.description());
            out += "descrip  " + lines[0] + "\n";
            for (std::size_t i = 1; i < lines.size(); ++i)
                out += "  " + lines[i] + "\n";
        }
        out += std::string("type  ") +
               (type == Type::Protein ? "PROTEIN" : type == Type::RNA ? "RNA" : "DNA") + "\n";
        out += "longname  " + name + "\n";
        if (!seq.accession().empty())
            out += "sequence-ID  " + seq.accession() + "\n";
        out += "checksum  " + std::to_string(text::gcgChecksum(seq.residues())) + "\n";
        out += "offset  0\n";
        for (const auto& a : seq.annotations()) {
            // Only keys written in this layout come back as they were.
            if (a.first.empty() || a.first.find_first_of(" \t") != std::string::npos ||
                !std::islower(static_cast<unsigned char>(a.first[0])) || a.first == "pir_type")
                continue;
            std::vector<std::string> lines = text::splitLines(a.second);
            out += a.first + "  " + lines[0] + "\n";
            for (std::size_t i = 1; i < lines.size(); ++i)
                out += "  " + lines[i] + "\n";
        }
        out += "sequence\n";
        appendLines(out, seq.residues(), 50, "  ");
        out += "}\n";
        out_.write(out);
    }
};

class MsfWriter : public ArchiveWriter {
public:
    explicit MsfWriter(const OutputTarget& target) : ArchiveWriter(target), path_(target.path) {}

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        // Rows are interleaved in the file, so they are kept until the end.
        rows_.push_back({text::tokenName(seq.name(), index + 1), seq.residues()});
        if (index == 0)
            protein_ = text::moleculeOf(seq) == Type::Protein;
    }

    void finish() override {
        std::size_t length = 0, width = 10;
        for (const auto& row : rows_) {
            length = std::max(length, row.second.size());
            width = std::max(width, row.first.size());
        }
        unsigned total = 0;
        std::vector<unsigned> checks;
        for (auto& row : rows_) {
            row.second.resize(length, '.'); // MSF rows all have the alignment's length
            checks.push_back(text::gcgChecksum(row.second));
            total = (total + checks.back()) % 10000;
        }
        char buf[256];
        std::string out = protein_ ? "!!AA_MULTIPLE_ALIGNMENT 1.0\n\n" : "!!NA_MULTIPLE_ALIGNMENT 1.0\n\n";
        std::snprintf(buf, sizeof buf, "  %s  MSF: %zu  Type: %s  %s  Check: %u  ..\n\n",
                      (text::baseName(path_) + ".msf").c_str(), length, protein_ ? "P" : "N",
                      text::today().c_str(), total);
        out += buf;
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            std::snprintf(buf, sizeof buf, " Name: %-*s  Len: %6zu  Check: %5u  Weight:  1.00\n",
                          static_cast<int>(width), rows_[i].first.c_str(), length, checks[i]);
            out += buf;
        }
        out += "\n//\n";
        for (std::size_t pos = 0; pos < length; pos += 50) {
            out += '\n';
            for (const auto& row : rows_) {
                std::snprintf(buf, sizeof buf, "%-*s  ", static_cast<int>(width), row.first.c_str());
                out += buf;
                for (std::size_t b = pos; b < pos + 50 && b < length; b += 10) {
                    if (b > pos)
                        out += ' ';
                    out.append(row.second, b, 10);
                }
                out += '\n';
            }
            if (out.size() > (1u << 20)) {
                out_.write(out);
                out.clear();
            }
        }
        out_.write(out);
    }

private:
    std::string path_;
    bool protein_ = false;
    std::vector<std::pair<std::string, std::string>> rows_;
};

} // namespace

void ArchiveWriter::appendTitle(std::string& out, char marker, const Velm::Sequence& seq,
                                std::size_t index) {
    out += marker;
    out += text::tokenName(seq.name(), index + 1);
    if (!seq.description().empty()) {
        out += ' ';
        const std::size_t start = out.size();
        out += seq.description();
        // The title is one line, whatever the description holds.
        for (std::size_t i = start; i < out.size(); ++i)
            if (out[i] == '\n' || out[i] == '\r')
                out[i] = ' ';
    }
    out += '\n';
}

std::unique_ptr<ArchiveWriter> makeFastaWriter(const OutputTarget& target) {
    return std::unique_ptr<ArchiveWriter>(new FastaWriter(target));
}
std::unique_ptr<ArchiveWriter> makeNbrfWriter(const OutputTarget& target) {
    return std::unique_ptr<ArchiveWriter>(new NbrfWriter(target));
}
std::unique_ptr<ArchiveWriter> makeGcgWriter(const OutputTarget& target) {
    return std::unique_ptr<ArchiveWriter>(new GcgWriter(target));
}
std::unique_ptr<ArchiveWriter> makeRsfWriter(const OutputTarget& target) {
    return std::unique_ptr<ArchiveWriter>(new RsfWriter(target));
}
std::unique_ptr<ArchiveWriter> makeMsfWriter(const OutputTarget& target) {
    return std::unique_ptr<ArchiveWriter>(new MsfWriter(target));
}

std::unique_ptr<ArchiveWriter> makeWriter(const char* format, const OutputTarget& target) {
    if (format == SALSource::FASTA)
        return makeFastaWriter(target);
    if (format == SALSource::FASTQ)
        return makeFastqWriter(target);
    if (format == SALSource::GB)
        return makeGenBankWriter(target, false);
    if (format == SALSource::GENPEPT)
        return makeGenBankWriter(target, true);
    if (format == SALSource::EMBL)
        return makeEmblWriter(target);
    if (format == SALSource::SW)
        return makeSwissWriter(target, true);
    if (format == SALSource::SPT)
        return makeSwissWriter(target, false);
    if (format == SALSource::NBRF)
        return makeNbrfWriter(target);
    if (format == SALSource::SSF)
        return makeGcgWriter(target);
    if (format == SALSource::MSF)
        return makeMsfWriter(target);
    if (format == SALSource::RSF)
        return makeRsfWriter(target);
    throw SeqArchiveError(std::string("Cannot create sequence file ") + target.path +
                          ": the format cannot be written: " + (format ? format : ""));
}

} // namespace Ovik
