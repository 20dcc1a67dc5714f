// Clustal multiple alignments.
//
//   CLUSTAL W (1.81) multiple sequence alignment
//
//   seq1      ACGT-ACGT 8
//   seq2      ACGTTACGT 9
//             **** ****
//
// Rows of a block are matched to the first block's rows by position and must repeat their names.
// Lines that begin with a blank are conservation lines; a trailing number is a residue count.

#include <contracts/AlignFormats.h>

#include "AlignmentIO.h"

#include <algorithm>
#include <cctype>
#include <ostream>

namespace Ovik {

const char* const MMSAModelSource::MSA_ALN_Format = "CLUSTAL";

namespace {

using alignio::ParseResult;
using alignio::Row;
using alignio::Sniff;

const char* const kErrNoHeader = "no CLUSTAL header line";
const char* const kErrNoRows = "no alignment rows";
const char* const kErrNoResidues = "row without residues: ";
const char* const kErrUnexpectedName = "unexpected row name ";
const char* const kErrExtraRow = "more rows in this block than in the first: ";
const char* const kErrTruncatedBlock = "truncated block: expected ";
const char* const kErrBadConservation = "unexpected text in a conservation line";

// The first words other aligners put on the same layout's header line ("MUSCLE (3.8) multiple
// sequence alignment", "Kalign (2.0) alignment in ClustalW format", "MSAPROBS version 0.9.7
// multiple sequence alignment"); CLUSTAL's own are matched by prefix (CLUSTAL W, CLUSTALW, ...).
const char* const kOtherAligners[] = {"MUSCLE", "PROBCONS", "MSAPROBS", "KALIGN", "BIOPYTHON"};

bool isHeader(std::string_view line) {
    if (alignio::startsWithNoCase(line, "CLUSTAL"))
        return true;
    const std::vector<std::string> words = alignio::words(line);
    if (words.size() < 2)
        return false; // a lone word is more likely a row name than a program's header
    for (const char* program : kOtherAligners)
        if (alignio::equalsNoCase(words[0], program))
            return true;
    return false;
}

Sniff sniffClustal(std::string_view head, bool) {
    const std::string_view first = alignio::firstNonBlankLine(head);
    return !first.empty() && isHeader(first) ? Sniff::Yes : Sniff::No;
}

std::string truncatedBlock(std::size_t expected, std::size_t found) {
    return kErrTruncatedBlock + std::to_string(expected) + " rows, found " + std::to_string(found);
}

void parseClustal(const std::string& text, ParseResult& result) {
    const std::vector<std::string> lines = alignio::splitLines(text);
    std::size_t i = 0;
    while (i < lines.size() && alignio::trim(lines[i]).empty())
        ++i;
    // A named format takes whatever first line the writing program put there.
    if (i == lines.size() || (!result.formatNamed && !isHeader(alignio::trim(lines[i])))) {
        result.fail(i < lines.size() ? i + 1 : lines.size(), kErrNoHeader);
        return;
    }
    std::vector<Row>& rows = result.rows;
    std::vector<std::size_t> lastLine;   // where each row was last continued
    std::size_t blocks = 0, position = 0;
    bool inBlock = false;
    for (++i; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t number = i + 1;
        if (alignio::trim(line).empty()) {
            if (inBlock && blocks > 1 && position != rows.size()) {
                result.fail(number, truncatedBlock(rows.size(), position));
                return;
            }
            inBlock = false;
            continue;
        }
        if (alignio::isSpace(line[0])) {
            for (char c : line)
                if (!alignio::isSpace(c) && c != '*' && c != ':' && c != '.') {
                    result.fail(number, kErrBadConservation);
                    return;
                }
            continue;
        }
        std::vector<std::string> fields = alignio::words(line);
        std::size_t count = 0;
        if (fields.size() >= 3 && alignio::parseCount(fields.back(), count))
            fields.pop_back();
        if (fields.size() < 2) {
            result.fail(number, kErrNoResidues + cmn::inputExcerpt(fields[0]));
            return;
        }
        const std::string& name = fields[0];
        // A block that follows another without a blank line starts with the first row's name.
        if (inBlock && position > 0 && !rows.empty() && name == rows[0].name &&
            (blocks == 1 || position == rows.size())) {
            if (blocks > 1 && position != rows.size()) {
                result.fail(number, truncatedBlock(rows.size(), position));
                return;
            }
            inBlock = false;
        }
        if (!inBlock) {
            inBlock = true;
            ++blocks;
            position = 0;
        }
        std::string residues;
        for (std::size_t f = 1; f < fields.size(); ++f)
            residues += fields[f];
        if (blocks == 1) {
            rows.push_back(Row{name, residues});
            lastLine.push_back(number);
        } else {
            if (position >= rows.size()) {
                result.fail(number, kErrExtraRow + cmn::inputExcerpt(name));
                return;
            }
            if (rows[position].name != name) {
                result.fail(number, kErrUnexpectedName + cmn::inputExcerpt(name) + " (expected " +
                                        rows[position].name + ")");
                return;
            }
            rows[position].residues += residues;
            lastLine[position] = number;
        }
        ++position;
    }
    if (rows.empty()) {
        result.fail(lines.size(), kErrNoRows);
        return;
    }
    if (inBlock && blocks > 1 && position != rows.size()) {
        result.fail(lines.size(), truncatedBlock(rows.size(), position));
        return;
    }
    for (std::size_t r = 1; r < rows.size(); ++r)
        if (rows[r].residues.size() != rows[0].residues.size()) {
            result.fail(lastLine[r], alignio::kErrUnequalRows + cmn::inputExcerpt(rows[r].name) + " has " +
                                         std::to_string(rows[r].residues.size()) + " columns, " +
                                         rows[0].name + " has " +
                                         std::to_string(rows[0].residues.size()));
            return;
        }
}

std::string legalClustalName(const std::string& name) {
    std::string legal = alignio::trim(name);
    std::replace_if(legal.begin(), legal.end(), [](char c) { return !alignio::isResidueChar(c); },
                    '_');
    return legal;
}

void writeClustal(std::ostream& out, const alignio::WriteInput& input) {
    const std::size_t kColumns = 60;
    std::size_t width = 10;
    for (const Row& row : input.rows)
        width = std::max(width, row.name.size());
    width += 6;
    out << "CLUSTAL multiple sequence alignment\n\n\n";
    const std::size_t length = input.rows.front().residues.size();
    for (std::size_t start = 0; start < length; start += kColumns) {
        const std::size_t n = std::min(kColumns, length - start);
        for (const Row& row : input.rows)
            out << row.name << std::string(width - row.name.size(), ' ')
                << row.residues.substr(start, n) << '\n';
        std::string marks(n, ' ');
        for (std::size_t c = 0; c < n; ++c) {
            const char first = static_cast<char>(
                std::toupper(static_cast<unsigned char>(input.rows.front().residues[start + c])));
            bool same = first != '-';
            for (const Row& row : input.rows)
                same = same && std::toupper(static_cast<unsigned char>(row.residues[start + c])) ==
                                   static_cast<unsigned char>(first);
            if (same)
                marks[c] = '*';
        }
        out << std::string(width, ' ') << marks << "\n\n";
    }
}

const char* const kAliases[] = {"CLUSTALW", "ALN", nullptr};
const char* const kExtensions[] = {"aln", "clustal", "clw", nullptr};

const alignio::FormatTraits kClustal = {
    MMSAModelSource::MSA_ALN_Format, "Clustal multiple sequence alignment", kAliases, kExtensions, "",
    sniffClustal, parseClustal, legalClustalName, writeClustal};

} // namespace

OVIK_ALIGNMENT_SOURCE_MEMBERS(MMSAModelSource, kClustal, "MMSAModelSource")

} // namespace Ovik
