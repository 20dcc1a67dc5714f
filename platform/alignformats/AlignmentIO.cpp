#include "AlignmentIO.h"

#include <contracts/Compression.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Ovik {
namespace alignio {

const char* const kErrCannotOpen = "cannot open the file";
const char* const kErrEmptyFile = "the file is empty";
const char* const kErrFormatNotSupported = "format not supported by this source: ";
const char* const kErrQualifiedOther = "the path names another format: ";
const char* const kErrNotSequenceModel = "the model cannot hold sequences";
const char* const kErrNothingToSave = "nothing to save";
const char* const kErrUnequalRows = "rows of unequal length: ";
const char* const kErrEmptyRows = "the rows hold no residues";
const char* const kErrBadResidue = "a row holds a character the format cannot carry: ";
const char* const kErrCannotWrite = "cannot write the file: ";

namespace {

// Enough for every header we sniff (a NEXUS file may carry a long comment or TAXA block first).
const std::size_t kSniffBytes = 32 * 1024;

// The file's first bytes, shared with the other sniffers (see cmn::peekFileHead); false when
// the file cannot be read.
bool peekHead(const std::string& file, std::string_view& head, bool& complete) {
    return cmn::peekContentHead(file, kSniffBytes, head, complete);
}

bool namesFormat(const FormatTraits& traits, const std::string& format) {
    if (equalsNoCase(format, traits.name))
        return true;
    for (const char* const* alias = traits.aliases; alias && *alias; ++alias)
        if (equalsNoCase(format, *alias))
            return true;
    return false;
}

bool extensionMatches(const FormatTraits& traits, const std::string& file) {
    const std::size_t slash = file.find_last_of('/');
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    const std::string ext = file.substr(dot + 1);
    for (const char* const* known = traits.extensions; known && *known; ++known)
        if (equalsNoCase(ext, *known))
            return true;
    return false;
}

// Content decides; the extension only breaks a tie (no content to judge, or a weak sniff).
bool claims(const FormatTraits& traits, const std::string& file) {
    if (!cmn::isRegularFile(file)) {
        // Nothing to judge: a file yet to be written is ours by its extension.
        return extensionMatches(traits, file) && ::access(file.c_str(), F_OK) != 0;
    }
    std::string_view head;
    bool complete = false;
    if (!peekHead(file, head, complete))
        return false;
    if (head.empty())
        return extensionMatches(traits, file);
    switch (traits.sniff(head, complete)) {
    case Sniff::Yes: return true;
    case Sniff::Maybe: return extensionMatches(traits, file);
    case Sniff::No: break;
    }
    return false;
}

std::string baseName(const std::string& file) {
    const std::size_t slash = file.find_last_of('/');
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

void report(cmn::OpContext* ctx, const std::string& text) {
    if (ctx)
        ctx->error(text);
}

} // namespace

void ParseResult::fail(std::size_t line, const std::string& text) {
    if (!error.empty())
        return;
    errorLine = line;
    error = text;
}

std::string message(const std::string& file, std::size_t line, const std::string& detail) {
    if (line == 0)
        return file + ": " + detail;
    return file + ", line " + std::to_string(line) + ": " + detail;
}

LineWalker::LineWalker(std::string_view text) : rest_(text) {
    if (rest_.compare(0, 3, "\xEF\xBB\xBF") == 0)
        rest_.remove_prefix(3);
}

bool LineWalker::next(std::string_view& line) {
    if (rest_.empty())
        return false;
    const std::size_t end = rest_.find('\n');
    line = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return true;
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    LineWalker walker(text);
    for (std::string_view line; walker.next(line);)
        lines.emplace_back(line);
    return lines;
}

std::string_view firstNonBlankLine(std::string_view text) {
    LineWalker walker(text);
    for (std::string_view line; walker.next(line);)
        if (!(line = trimmed(line)).empty())
            return line;
    return std::string_view();
}

std::string_view trimmed(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string trim(const std::string& text) { return std::string(trimmed(text)); }

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> result;
    WordWalker walker(text);
    for (std::string_view word; walker.next(word);)
        result.emplace_back(word);
    return result;
}

bool WordWalker::next(std::string_view& word) {
    std::size_t i = 0;
    while (i < rest_.size() && isSpace(rest_[i]))
        ++i;
    std::size_t end = i;
    while (end < rest_.size() && !isSpace(rest_[end]))
        ++end;
    word = rest_.substr(i, end - i);
    rest_.remove_prefix(end);
    return !word.empty();
}

bool startsWithNoCase(std::string_view text, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (text.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool equalsNoCase(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && startsWithNoCase(a, b);
}

bool parseCount(std::string_view text, std::size_t& value) {
    if (text.empty() || text.size() > 12)
        return false;
    std::size_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + static_cast<std::size_t>(c - '0');
    }
    value = result;
    return true;
}

std::string dashGaps(const std::string& residues) {
    std::string out = residues;
    std::replace(out.begin(), out.end(), '.', '-');
    return out;
}

bool isResidueChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u > 32 && u < 127;
}

bool handles(const FormatTraits& traits, const char* path) {
    if (!path)
        return false;
    const cmn::QualifiedPath split(path);
    if (split.qualified)
        return namesFormat(traits, split.format);
    return claims(traits, split.file);
}

const char* getType(const FormatTraits& traits, const char* path) {
    if (!path)
        return "";
    const cmn::QualifiedPath split(path);
    if (split.qualified && !namesFormat(traits, split.format))
        return "";
    // Only a file that exists and is of the format is an alignment for us.
    std::string_view head;
    bool complete = false;
    if (!peekHead(split.file, head, complete) || head.empty())
        return "";
    if (split.qualified)
        return Velm::AlignModel::className;
    const Sniff sniff = traits.sniff(head, complete);
    if (sniff == Sniff::Yes || (sniff == Sniff::Maybe && extensionMatches(traits, split.file)))
        return Velm::AlignModel::className;
    return "";
}

Velm::FormatList formats(const FormatTraits& traits) {
    return Velm::FormatList{{traits.name, traits.description}};
}

void reportUnsupported(const FormatTraits& traits, const char* path, const char* format,
                       cmn::OpContext* ctx) {
    (void)traits;
    report(ctx, message(cmn::QualifiedPath(path).file, 0,
                        std::string(kErrFormatNotSupported) + (format ? format : "")));
}

bool retrieve(const FormatTraits& traits, const char* path, Velm::Model& model, cmn::OpContext* ctx,
              bool formatNamed) {
    const cmn::QualifiedPath split(path);
    if (split.qualified && !namesFormat(traits, split.format)) {
        report(ctx, message(split.file, 0, kErrQualifiedOther + split.format));
        return false;
    }
    Velm::BioModel* bio = dynamic_cast<Velm::BioModel*>(&model);
    if (!bio) {
        report(ctx, message(split.file, 0, kErrNotSequenceModel));
        return false;
    }
    // readWholeFile refuses a FIFO or device unread: a pipe without a writer would block for ever.
    std::string text, failure;
    if (!cmn::readWholeFile(split.file, text, failure)) {
        report(ctx, message(split.file, 0, failure.empty() ? kErrCannotOpen : failure));
        return false;
    }
    if (trim(text).empty()) {
        report(ctx, message(split.file, 0, kErrEmptyFile));
        return false;
    }
    ParseResult parsed;
    parsed.formatNamed = formatNamed || split.qualified;
    traits.parse(text, parsed);
    if (!parsed.ok()) {
        report(ctx, message(split.file, parsed.errorLine, parsed.error));
        return false;
    }
    // Rows are added only once the whole file has been read, so a bad file adds nothing.
    for (Row& row : parsed.rows) {
        boost::shared_ptr<Velm::Sequence> sequence(new Velm::Sequence);
        sequence->setName(row.name);
        const Velm::Sequence::MoleculeType type =
            parsed.type != Velm::Sequence::MoleculeType::Unknown
                ? parsed.type
                : Velm::Sequence::guessMoleculeType(row.residues);
        sequence->setMoleculeType(type);
        sequence->setResidues(std::move(row.residues));
        sequence->setSource(split.file);
        bio->addSeq(sequence);
    }
    model.setEncoding(traits.name);
    return true;
}

bool save(const FormatTraits& traits, const char* path, Velm::Model& model, cmn::OpContext* ctx) {
    const cmn::QualifiedPath split(path);
    if (split.qualified && !namesFormat(traits, split.format)) {
        report(ctx, message(split.file, 0, kErrQualifiedOther + split.format));
        return false;
    }
    const Velm::BioModel* bio = dynamic_cast<const Velm::BioModel*>(&model);
    if (!bio) {
        report(ctx, message(split.file, 0, kErrNotSequenceModel));
        return false;
    }
    const Velm::BioModel::SequenceList& sequences = bio->sequences();
    if (sequences.empty()) {
        report(ctx, message(split.file, 0, kErrNothingToSave));
        return false;
    }
    const std::size_t length = sequences.front()->length();
    WriteInput input;
    input.fileName = baseName(split.file);
    cmn::UniqueNames used;
    const std::size_t nameLength =
        traits.nameLength ? traits.nameLength(split.qualified ? split.format : std::string(traits.name))
                          : std::string::npos;
    bool allNucleotide = true;
    std::string sample;
    for (std::size_t i = 0; i < sequences.size(); ++i) {
        const Velm::Sequence& sequence = *sequences[i];
        if (sequence.length() != length) {
            report(ctx, message(split.file, 0,
                                kErrUnequalRows + cmn::inputExcerpt(sequence.name()) + " has " +
                                    std::to_string(sequence.length()) + " columns, " +
                                    sequences.front()->name() + " has " + std::to_string(length)));
            return false;
        }
        for (char c : sequence.residues())
            if (!isResidueChar(c) || std::strchr(traits.forbidden, c)) {
                report(ctx, message(split.file, 0, kErrBadResidue + cmn::inputExcerpt(sequence.name())));
                return false;
            }
        if (sequence.isProtein())
            input.protein = true;
        if (sequence.moleculeType() != Velm::Sequence::MoleculeType::DNA &&
            sequence.moleculeType() != Velm::Sequence::MoleculeType::RNA)
            allNucleotide = false;
        if (sample.size() < 100000)
            sample += sequence.residues();
        Row row;
        // An empty legal name means "use a generated one".
        const std::string legal = traits.legalName(sequence.name());
        row.name = used.claim(legal.empty() ? "seq" + std::to_string(i + 1) : legal, nameLength);
        row.residues = sequence.residues();
        input.rows.push_back(std::move(row));
    }
    if (length == 0) {
        report(ctx, message(split.file, 0, kErrEmptyRows));
        return false;
    }
    if (input.protein)
        input.type = Velm::Sequence::MoleculeType::Protein;
    else if (allNucleotide)
        input.type = sequences.front()->moleculeType();
    else
        input.type = Velm::Sequence::guessMoleculeType(sample);
    input.protein = input.type == Velm::Sequence::MoleculeType::Protein;

    std::ostringstream out;
    traits.write(out, input);
    int error = 0;
    if (!cmn::replaceFileContentsByName(split.file, out.str(), error)) {
        report(ctx, message(split.file, 0, kErrCannotWrite + std::string(std::strerror(error))));
        return false;
    }
    model.setEncoding(traits.name);
    return true;
}

} // namespace alignio
} // namespace Ovik
