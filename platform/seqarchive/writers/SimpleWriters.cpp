// Writers of the formats without annotation: FASTA, NBRF/PIR, GCG single sequence, GCG RSF.
#include "../ArchiveWriter.h"
#include "../TextUtil.h"

#include <contracts/Common.h>
#include <contracts/SeqArchive.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace Ovik {

namespace {

using Type = Velm::Sequence::MoleculeType;

// `width` 0: one line.
void appendLines(std::string& out, const std::string& residues, std::size_t width, const char* indent) {
    if (width == 0)
        width = residues.size();
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
        if (lineWidth_ == 0) {
            // One line, written from the residues themselves.
            if (!r.empty()) {
                out_.write(r);
                out_.write("\n", 1);
            }
            return;
        }
        for (std::size_t pos = 0; pos < r.size();) {
            out.clear();
            for (std::size_t k = 0; k < 1024 && pos < r.size(); ++k, pos += lineWidth_) {
                out.append(r, pos, lineWidth_);
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
        if (code.size() != 2 || !std::isalnum(static_cast<unsigned char>(code[0])) ||
            !std::isalnum(static_cast<unsigned char>(code[1]))) {
            switch (text::moleculeOf(seq)) {
            case Type::Protein: code = "P1"; break;
            case Type::RNA: code = "RL"; break;
            default: code = "DL"; break;
            }
        }
        std::string out = ">" + code + ";" + text::tokenName(seq.name(), index + 1) + "\n";
        out += cmn::oneLineText(seq.description()) + "\n";
        appendLines(out, seq.residues(), lineWidth_, "");
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

/// The GCG writers (single sequence, RSF, MSF): residues as GCG files hold them, with a warning
/// for what was left out.
class GcgFamilyWriter : public ArchiveWriter {
public:
    using ArchiveWriter::ArchiveWriter;

protected:
    // GCG readers take an entry without residues for a damaged file.
    AbsentResidues absentResidues() const override { return AbsentResidues::Refuse; }

    std::string gcgResidues(const Velm::Sequence& seq, const std::string& name) const {
        std::size_t dropped = 0;
        std::string r = text::gcgResidues(seq.residues(), dropped);
        if (dropped > 0)
            warn(name + ": " + std::to_string(dropped) +
                 " characters that are not residues (PIR uncertainty marks, breaks, frame marks) left out");
        return r;
    }
};

class GcgWriter : public GcgFamilyWriter {
public:
    using GcgFamilyWriter::GcgFamilyWriter;

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        bool protein = text::moleculeOf(seq) == Type::Protein;
        std::string name = text::tokenName(seq.name(), index + 1);
        const std::string residues = gcgResidues(seq, name);
        std::string out = protein ? "!!AA_SEQUENCE 1.0\n" : "!!NA_SEQUENCE 1.0\n";
        out += "\n";
        const std::string d = seq.description().empty() ? name : cmn::oneLineText(seq.description());
        for (std::string piece : text::wrap(d, 75)) {
            // No header line may end in "..", which ends the header, or begin with "!!", which
            // begins an entry.
            while (piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "..") == 0)
                piece.pop_back();
            out += (piece.compare(0, 2, "!!") == 0 ? " " : "") + piece + "\n";
        }
        out += "\n";
        out += name + "  Length: " + std::to_string(residues.size()) + "  " + text::today() +
               "  Type: " + (protein ? "P" : "N") + "  Check: " +
               std::to_string(text::gcgChecksum(residues)) + "  ..\n\n";
        appendGcgBlocks(out, residues);
        out_.write(out);
    }
};

// The lines of a multi-line RSF value: one-line text each, blank lines dropped (the reader skips
// them), and a line of "}" alone joined to the one before (it would end the entry).
std::vector<std::string> rsfLines(const std::string& value) {
    std::vector<std::string> out;
    for (const std::string& line : text::splitLines(value)) {
        const std::string t = text::trim(cmn::oneLineText(line));
        if (t.empty())
            continue;
        if (t == "}" && !out.empty())
            out.back() += " }";
        else
            out.push_back(t);
    }
    if (out.empty())
        out.emplace_back();
    return out;
}

bool rsfOwnKey(const std::string& key) {
    static const char* const own[] = {"name", "descrip", "type", "longname", "sequence-ID", "sequence-id",
                                      "checksum", "offset", "sequence", "pir_type"};
    for (const char* k : own)
        if (key == k)
            return true;
    return false;
}

class RsfWriter : public GcgFamilyWriter {
public:
    explicit RsfWriter(const OutputTarget& target) : GcgFamilyWriter(target) {
        out_.write("!!RICH_SEQUENCE 1.0\n..\n");
    }

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        std::string name = text::tokenName(seq.name(), index + 1);
        Type type = text::moleculeOf(seq);
        const std::string residues = gcgResidues(seq, name);
        std::string out = "{\nname  " + name + "\n";
        if (!seq.description().empty()) {
            std::vector<std::string> lines = rsfLines(seq.description());
            out += "descrip  " + lines[0] + "\n";
            for (std::size_t i = 1; i < lines.size(); ++i)
                out += "  " + lines[i] + "\n";
        }
        out += std::string("type  ") +
               (type == Type::Protein ? "PROTEIN" : type == Type::RNA ? "RNA" : "DNA") + "\n";
        out += "longname  " + name + "\n";
        if (!seq.accession().empty())
            out += "sequence-ID  " + text::tokenName(seq.accession(), index + 1) + "\n";
        out += "checksum  " + std::to_string(text::gcgChecksum(residues)) + "\n";
        out += "offset  0\n";
        for (const auto& a : seq.annotations()) {
            // Only keys written in this layout come back as they were; the layout's own keys
            // are written above.
            if (a.first.empty() || text::tokenName(a.first, 0) != a.first ||
                !std::islower(static_cast<unsigned char>(a.first[0])) || rsfOwnKey(a.first))
                continue;
            std::vector<std::string> lines = rsfLines(a.second);
            out += a.first + "  " + lines[0] + "\n";
            for (std::size_t i = 1; i < lines.size(); ++i)
                out += "  " + lines[i] + "\n";
        }
        out += "sequence\n";
        appendLines(out, residues, 50, "  ");
        out += "}\n";
        out_.write(out);
    }
};

class MsfWriter : public GcgFamilyWriter {
public:
    using GcgFamilyWriter::GcgFamilyWriter;

protected:
    void writeEntry(const Velm::Sequence& seq, std::size_t index) override {
        // Rows are interleaved in the file, so they are kept until the end. Rows are found by
        // name, so each name is made unique.
        const std::string name = names_.claim(text::tokenName(seq.name(), index + 1));
        rows_.push_back({name, gcgResidues(seq, name)});
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
        // Names go in by hand, not through a fixed buffer: a long one must not cut a line short.
        std::snprintf(buf, sizeof buf, "  MSF: %zu  Type: %s  %s  Check: %u  ..\n\n", length,
                      protein_ ? "P" : "N", text::today().c_str(), total);
        out += "  " + text::tokenName(text::baseName(out_.target()) + ".msf", 0) + buf;
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            std::snprintf(buf, sizeof buf, "  Len: %6zu  Check: %5u  Weight:  1.00\n", length, checks[i]);
            out += " Name: " + text::padded(rows_[i].first, width) + buf;
        }
        out += "\n//\n";
        for (std::size_t pos = 0; pos < length; pos += 50) {
            out += '\n';
            for (const auto& row : rows_) {
                out += text::padded(row.first, width) + "  ";
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
    bool protein_ = false;
    cmn::UniqueNames names_;
    std::vector<std::pair<std::string, std::string>> rows_;
};

} // namespace

template <typename Map>
void ArchiveWriter::appendMapped(std::string& out, const char* data, std::size_t size, Map map) {
    // Past this the text goes out in pieces of this size: `out` never holds a huge title whole.
    constexpr std::size_t kPiece = 1u << 16;
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = std::min(kPiece, size - at);
        const std::size_t start = out.size();
        out.resize(start + n);
        char* dest = &out[start];
        for (std::size_t i = 0; i < n; ++i)
            dest[i] = map(static_cast<unsigned char>(data[at + i]));
        at += n;
        if (at < size) {
            out_.write(out);
            out.clear();
        }
    }
}

void ArchiveWriter::appendTitle(std::string& out, char marker, const Velm::Sequence& seq,
                                std::size_t index) {
    out += marker;
    // Short names go through the shared rule; a huge one is put in place as that rule would
    // have it (trimmed, blanks as '_'), streamed in pieces rather than copied whole.
    const std::string& name = seq.name();
    auto blank = [](unsigned char c) { return c <= ' ' || c == 0x7F; };
    // The usual name is one token already: it goes as it is.
    const bool token = !name.empty() && name.size() <= 4096 && std::none_of(name.begin(), name.end(), [&](char c) {
        return blank(static_cast<unsigned char>(c));
    });
    if (token) {
        out += name;
    } else if (name.size() <= 4096) {
        out += text::tokenName(name, index + 1);
    } else {
        std::size_t b = 0, e = name.size();
        while (b < e && blank(static_cast<unsigned char>(name[b])))
            ++b;
        while (e > b && blank(static_cast<unsigned char>(name[e - 1])))
            --e;
        if (b == e)
            out += "seq" + std::to_string(index + 1);
        else
            appendMapped(out, name.data() + b, e - b, [&](unsigned char c) { return blank(c) ? '_' : char(c); });
    }
    const std::string& description = seq.description();
    if (!description.empty()) {
        out += ' ';
        // The title is one line, whatever the description holds: control characters become spaces.
        auto control = [](unsigned char c) { return c < 0x20 || c == 0x7F; };
        if (description.size() <= 4096 && std::none_of(description.begin(), description.end(), [&](char c) {
                return control(static_cast<unsigned char>(c));
            }))
            out += description; // the usual one, as it is
        else
            appendMapped(out, description.data(), description.size(),
                         [&](unsigned char c) { return control(c) ? ' ' : char(c); });
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
    if (fastq::isVariant(format))
        return makeFastqWriter(target, fastq::encodingOf(format));
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
