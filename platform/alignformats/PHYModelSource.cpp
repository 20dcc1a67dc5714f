// PHYLIP alignments.
//
//    3 12                 <- row count and column count
//   Species_A  ACGTACGTAC GT
//   Species_B  ACG-ACGTAC GT
//
// Names are either strict (the first ten characters of the line, blanks allowed) or relaxed (the
// first word). Rows are sequential (each row complete, possibly over several lines) or
// interleaved (a block of named lines, then blocks of unnamed lines in row order). The file does
// not say which, so the reader tries the four readings and keeps the first that fits the header
// exactly; when none does it reports the reading that got furthest.

#include <contracts/AlignFormats.h>

#include "AlignmentIO.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ostream>

namespace Ovik {

const char* const PHYModelSource::PHY_ALN_Format = "PHYLIP";

namespace {

using alignio::ParseResult;
using alignio::Row;
using alignio::Sniff;

const char* const kErrNoHeader = "no PHYLIP header: expected the row and column counts";
const char* const kErrZeroCounts = "the header gives no rows or no columns";
const char* const kErrMissingRows = "the header gives ";
const char* const kErrTruncatedBlock = "truncated block: expected ";
const char* const kErrBadName = "a row without a name";
const char* const kErrBadResidue = "unexpected character in the residues of ";
const char* const kErrTooLong = "more residues than the header's ";
const char* const kErrTooShort = "fewer residues than the header's ";
const char* const kErrTrailing = "text after the last row";

const std::size_t kStrictWidth = 10;

// Characters a PHYLIP row never holds but names often do; they tell names from residues.
const char* const kNotResidue = "_|:,;()[]'\"";

bool isPhylipResidue(char c) {
    return alignio::isResidueChar(c) && !std::strchr(kNotResidue, c);
}

bool parseHeader(std::string_view line, std::size_t& rows, std::size_t& columns) {
    alignio::WordWalker words(line);
    std::string_view word;
    if (!words.next(word) || !alignio::parseCount(word, rows) || !words.next(word) ||
        !alignio::parseCount(word, columns))
        return false;
    // Options after the counts are single letters (I, S, ...) in old PHYLIP programs.
    while (words.next(word))
        if (word.size() != 1 || !std::isalpha(static_cast<unsigned char>(word[0])))
            return false;
    return true;
}

struct Line {
    std::size_t number;
    const std::string* text;
};

// One reading of the body: sequential or interleaved, strict or relaxed names.
class Reading {
public:
    Reading(const std::vector<Line>& body, std::size_t rows, std::size_t columns, bool interleaved,
            bool strict)
        : body_(body), rowCount_(rows), columns_(columns), interleaved_(interleaved),
          strict_(strict) {}

    void run(ParseResult& result) {
        result_ = &result;
        if (interleaved_)
            readInterleaved();
        else
            readSequential();
        if (result.ok())
            checkTrailing();
    }

private:
    bool atEnd() const { return next_ >= body_.size(); }
    bool blank(std::size_t i) const { return alignio::trim(*body_[i].text).empty(); }
    std::size_t lastNumber() const { return body_.empty() ? 1 : body_.back().number; }
    void skipBlank() {
        while (!atEnd() && blank(next_))
            ++next_;
    }

    bool appendResidues(Row& row, const std::string& text, std::size_t number) {
        for (char c : text) {
            if (alignio::isSpace(c))
                continue;
            if (!isPhylipResidue(c)) {
                result_->fail(number, kErrBadResidue + cmn::inputExcerpt(row.name));
                return false;
            }
            row.residues += c;
        }
        if (row.residues.size() > columns_) {
            result_->fail(number, kErrTooLong + std::to_string(columns_) + " in " + row.name);
            return false;
        }
        return true;
    }

    bool readNamed(Row& row) {
        const Line& line = body_[next_++];
        const std::string& text = *line.text;
        std::string rest;
        if (strict_) {
            row.name = alignio::trim(text.substr(0, std::min(kStrictWidth, text.size())));
            rest = text.size() > kStrictWidth ? text.substr(kStrictWidth) : std::string();
            if (alignio::isSpace(text[0]))
                row.name.clear();
        } else {
            std::size_t end = 0;
            while (end < text.size() && !alignio::isSpace(text[end]))
                ++end;
            row.name = text.substr(0, end);
            rest = text.substr(end);
        }
        if (row.name.empty()) {
            result_->fail(line.number, kErrBadName);
            return false;
        }
        return appendResidues(row, rest, line.number);
    }

    void missingRows(std::size_t found) {
        result_->fail(lastNumber(), kErrMissingRows + std::to_string(rowCount_) + " rows, found " +
                                        std::to_string(found));
    }

    void readSequential() {
        for (std::size_t r = 0; r < rowCount_; ++r) {
            skipBlank();
            if (atEnd())
                return missingRows(r);
            Row row;
            if (!readNamed(row))
                return;
            while (row.residues.size() < columns_) {
                skipBlank();
                if (atEnd()) {
                    result_->fail(lastNumber(), kErrTooShort + std::to_string(columns_) + " in " +
                                                    row.name + " (" +
                                                    std::to_string(row.residues.size()) + ")");
                    return;
                }
                const Line& line = body_[next_++];
                if (!appendResidues(row, *line.text, line.number))
                    return;
            }
            result_->rows.push_back(std::move(row));
        }
    }

    // Reads one block of rowCount_ lines. Blank lines may separate blocks but not split one.
    bool readBlock(bool named) {
        skipBlank();
        if (atEnd()) {
            if (named) {
                missingRows(0);
            } else {
                const Row& shortRow = *std::find_if(
                    result_->rows.begin(), result_->rows.end(),
                    [this](const Row& row) { return row.residues.size() < columns_; });
                result_->fail(lastNumber(), kErrTooShort + std::to_string(columns_) + " in " +
                                                shortRow.name + " (" +
                                                std::to_string(shortRow.residues.size()) + ")");
            }
            return false;
        }
        for (std::size_t r = 0; r < rowCount_; ++r) {
            if (atEnd() || blank(next_)) {
                const std::size_t number = atEnd() ? lastNumber() : body_[next_].number;
                if (named && r == 0)
                    missingRows(0);
                else if (named)
                    result_->fail(number, kErrMissingRows + std::to_string(rowCount_) +
                                              " rows, found " + std::to_string(r));
                else
                    result_->fail(number, kErrTruncatedBlock + std::to_string(rowCount_) +
                                              " rows, found " + std::to_string(r));
                return false;
            }
            if (named) {
                Row row;
                if (!readNamed(row))
                    return false;
                result_->rows.push_back(std::move(row));
            } else {
                const Line& line = body_[next_++];
                if (!appendResidues(result_->rows[r], *line.text, line.number))
                    return false;
            }
        }
        return true;
    }

    void readInterleaved() {
        if (!readBlock(true))
            return;
        auto incomplete = [this]() {
            for (const Row& row : result_->rows)
                if (row.residues.size() < columns_)
                    return true;
            return false;
        };
        while (incomplete())
            if (!readBlock(false))
                return;
    }

    // Anything but blank lines or a further data set's header after the last row means the
    // header's counts are wrong.
    void checkTrailing() {
        skipBlank();
        if (atEnd())
            return;
        std::size_t rows = 0, columns = 0;
        if (parseHeader(*body_[next_].text, rows, columns))
            return;
        result_->fail(body_[next_].number, kErrTrailing);
        result_->rows.clear();
    }

    const std::vector<Line>& body_;
    std::size_t rowCount_;
    std::size_t columns_;
    bool interleaved_;
    bool strict_;
    std::size_t next_ = 0;
    ParseResult* result_ = nullptr;
};

void parsePhylip(const std::string& text, ParseResult& result) {
    const std::vector<std::string> lines = alignio::splitLines(text);
    std::size_t i = 0;
    while (i < lines.size() && alignio::trim(lines[i]).empty())
        ++i;
    std::size_t rows = 0, columns = 0;
    if (i == lines.size() || !parseHeader(lines[i], rows, columns)) {
        result.fail(i < lines.size() ? i + 1 : lines.size(), kErrNoHeader);
        return;
    }
    if (rows == 0 || columns == 0) {
        result.fail(i + 1, kErrZeroCounts);
        return;
    }
    std::vector<Line> body;
    for (std::size_t j = i + 1; j < lines.size(); ++j)
        body.push_back(Line{j + 1, &lines[j]});

    ParseResult best;
    bool haveBest = false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        ParseResult candidate;
        Reading(body, rows, columns, attempt < 2, attempt % 2 == 0).run(candidate);
        if (candidate.ok()) {
            result.rows = std::move(candidate.rows);
            return;
        }
        if (!haveBest || candidate.errorLine > best.errorLine) {
            best = std::move(candidate);
            haveBest = true;
        }
    }
    result.fail(best.errorLine, best.error);
}

Sniff sniffPhylip(std::string_view head, bool complete) {
    // Line by line, without splitting the head: only the header and the first row count.
    alignio::LineWalker walker(head);
    std::string_view line;
    while (walker.next(line) && alignio::trimmed(line).empty()) {
    }
    std::size_t rows = 0, columns = 0;
    if (!parseHeader(line, rows, columns) || rows == 0 || columns == 0)
        return Sniff::No; // most files fail here
    // The first row should read as a name and residues, in one of the two name styles.
    bool found = false;
    while (!found && walker.next(line))
        found = !alignio::trimmed(line).empty();
    if (!found)
        return complete ? Sniff::No : Sniff::Maybe;
    if (walker.atEnd() && !complete)
        return Sniff::Maybe; // the row may be cut by the sniff limit
    if (alignio::isSpace(line[0]))
        return Sniff::No;
    auto residuesOnly = [](std::string_view text) {
        bool any = false;
        for (char c : text) {
            if (alignio::isSpace(c))
                continue;
            if (!isPhylipResidue(c))
                return false;
            any = true;
        }
        return any;
    };
    const bool strict = line.size() > kStrictWidth && residuesOnly(line.substr(kStrictWidth));
    const std::size_t end = line.find_first_of(" \t");
    const bool relaxed = end != std::string_view::npos && residuesOnly(line.substr(end));
    return strict || relaxed ? Sniff::Yes : Sniff::Maybe;
}

std::string legalPhylipName(const std::string& name) {
    std::string legal = alignio::trim(name);
    // Blanks too: relaxed readers end a name at the first blank, even in the strict layout.
    std::replace_if(legal.begin(), legal.end(), [](char c) { return !alignio::isResidueChar(c); }, '_');
    return legal;
}

void writePhylip(std::ostream& out, const alignio::WriteInput& input) {
    const std::size_t kColumns = 60, kGroup = 10;
    bool strict = true;
    // A blank after the ten-character field keeps the file readable as relaxed PHYLIP too.
    std::size_t width = kStrictWidth + 1;
    for (const Row& row : input.rows)
        if (row.name.size() > kStrictWidth)
            strict = false;
    std::vector<std::string> names;
    for (const Row& row : input.rows) {
        if (!strict)
            width = std::max(width, row.name.size() + 2);
        names.push_back(row.name);
    }
    const std::size_t length = input.rows.front().residues.size();
    out << ' ' << input.rows.size() << ' ' << length << '\n';
    for (std::size_t start = 0; start < length; start += kColumns) {
        if (start > 0)
            out << '\n';
        const std::size_t n = std::min(kColumns, length - start);
        for (std::size_t r = 0; r < input.rows.size(); ++r) {
            if (start == 0)
                out << names[r] << std::string(width - names[r].size(), ' ');
            const std::string residues = alignio::dashGaps(input.rows[r].residues.substr(start, n));
            for (std::size_t g = 0; g < n; g += kGroup)
                out << (g > 0 ? " " : "") << residues.substr(g, std::min(kGroup, n - g));
            out << '\n';
        }
    }
}

// Written under PHYLIP-STRICT (a PHYLIP-STRICT@@FILE path), names are cut to the strict ten
// characters and made unique within them, for readers that know no other layout.
std::size_t phylipNameLength(const std::string& format) {
    return alignio::equalsNoCase(format, "PHYLIP-STRICT") ? kStrictWidth : std::string::npos;
}

const char* const kAliases[] = {"PHY", "PHYLIP-RELAXED", "PHYLIP-STRICT", nullptr};
const char* const kExtensions[] = {"phy", "phylip", nullptr};

const alignio::FormatTraits kPhylip = {
    PHYModelSource::PHY_ALN_Format, "PHYLIP alignment, sequential or interleaved", kAliases,
    kExtensions, kNotResidue, sniffPhylip, parsePhylip, legalPhylipName, writePhylip,
    phylipNameLength};

} // namespace

OVIK_ALIGNMENT_SOURCE_MEMBERS(PHYModelSource, kPhylip, "PHYModelSource")

} // namespace Ovik
