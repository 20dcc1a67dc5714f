// NEXUS files: the first DATA (or CHARACTERS) block is the alignment.
//
//   #NEXUS
//   BEGIN DATA;
//     DIMENSIONS NTAX=2 NCHAR=8;
//     FORMAT DATATYPE=DNA MISSING=? GAP=- MATCHCHAR=. INTERLEAVE;
//     MATRIX
//       'taxon one'  ACGT-ACG
//       taxon_two    ..A.-..T      [underscores in unquoted names are blanks]
//     ;
//   END;
//
// Comments [...] may nest and appear anywhere outside quotes. A TAXA block before the data gives
// the taxa (and their order) when the data block has no NTAX or TAXLABELS of its own. Other
// blocks are skipped.

#include <contracts/AlignFormats.h>

#include "AlignmentIO.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <ostream>

namespace Ovik {

const char* const NexusModelSource::NEX_ALN_Format = "NEXUS";

namespace {

using alignio::ParseResult;
using alignio::Row;
using alignio::Sniff;

const char* const kErrNoHeader = "no #NEXUS header";
const char* const kErrNoData = "no DATA or CHARACTERS block";
const char* const kErrNoMatrix = "the DATA block has no MATRIX";
const char* const kErrUnterminatedComment = "unterminated comment";
const char* const kErrUnterminatedQuote = "unterminated quoted name";
const char* const kErrUnexpectedEnd = "unexpected end of file";
const char* const kErrNoDimensions = "MATRIX before DIMENSIONS NTAX and NCHAR";
const char* const kErrTranspose = "transposed matrices are not supported";
const char* const kErrUnknownTaxon = "taxon not in TAXLABELS: ";
const char* const kErrTooManyTaxa = "more taxa than NTAX: ";
const char* const kErrRepeatedTaxon = "taxon appears twice: ";
const char* const kErrTooLong = "more characters than NCHAR in ";
const char* const kErrTooShort = "fewer characters than NCHAR in ";
const char* const kErrTaxaCount = "NTAX is ";
const char* const kErrMatchFirst = "MATCHCHAR in the first taxon: ";
const char* const kErrBadSymbol = "unexpected character in the matrix: ";

// A character-level reader over the whole text that keeps the line number.
class Cursor {
public:
    explicit Cursor(const std::string& text) : text_(text) {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0)
            pos_ = 3;
    }
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    char take() {
        const char c = text_[pos_++];
        if (c == '\n')
            ++line_;
        return c;
    }
    std::size_t line() const { return line_; }

    // Skips a comment that starts at the cursor; false (with an error) when it never ends.
    bool skipComment(ParseResult& result) {
        const std::size_t start = line_;
        int depth = 0;
        do {
            if (atEnd()) {
                result.fail(start, kErrUnterminatedComment);
                return false;
            }
            const char c = take();
            if (c == '[')
                ++depth;
            else if (c == ']')
                --depth;
        } while (depth > 0);
        return true;
    }

    // Skips blanks and comments; with `stopAtNewline` a line end is left for the caller.
    bool skipSpace(ParseResult& result, bool stopAtNewline = false) {
        while (!atEnd()) {
            const char c = peek();
            if (c == '[') {
                if (!skipComment(result))
                    return false;
            } else if (alignio::isSpace(c) && !(stopAtNewline && c == '\n')) {
                take();
            } else {
                break;
            }
        }
        return true;
    }

    // A command-level token: ';', '=', a quoted text or a word. Empty at the end of the text.
    bool token(ParseResult& result, std::string& out, bool& quoted) {
        out.clear();
        quoted = false;
        if (!skipSpace(result))
            return false;
        if (atEnd())
            return true;
        const char c = peek();
        if (c == ';' || c == '=' || c == ',') {
            out = std::string(1, take());
            return true;
        }
        if (c == '\'' || c == '"') {
            quoted = true;
            return readQuoted(result, out);
        }
        while (!atEnd()) {
            const char d = peek();
            if (alignio::isSpace(d) || d == ';' || d == '=' || d == '[' || d == ',' || d == '\'')
                break;
            out += take();
        }
        return true;
    }

    // A quoted text; a doubled quote stands for one.
    bool readQuoted(ParseResult& result, std::string& out) {
        const std::size_t start = line_;
        const char quote = take();
        while (true) {
            if (atEnd()) {
                result.fail(start, kErrUnterminatedQuote);
                return false;
            }
            const char c = take();
            if (c == quote) {
                if (peek() == quote) {
                    out += take();
                    continue;
                }
                return true;
            }
            out += c;
        }
    }

    // A taxon name in the matrix: quoted, or a word whose underscores are blanks.
    bool readName(ParseResult& result, std::string& out) {
        out.clear();
        if (peek() == '\'')
            return readQuoted(result, out);
        while (!atEnd()) {
            const char c = peek();
            if (alignio::isSpace(c) || c == ';' || c == '[')
                break;
            out += take() == '_' ? ' ' : c;
        }
        return true;
    }

private:
    const std::string& text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

bool tokenIs(const std::string& token, const char* word) { return alignio::equalsNoCase(token, word); }

struct DataFormat {
    std::size_t ntax = 0;
    std::size_t nchar = 0;
    char gap = '-';
    char missing = '?';
    char match = '\0';
    bool interleaved = false;
    std::vector<std::string> taxa;   // TAXLABELS, in order
};

class NexusReader {
public:
    NexusReader(const std::string& text, ParseResult& result) : in_(text), result_(result) {}

    void run() {
        std::string tok;
        bool quoted = false;
        if (!in_.token(result_, tok, quoted))
            return;
        if (!tokenIs(tok, "#NEXUS")) {
            result_.fail(in_.line(), kErrNoHeader);
            return;
        }
        while (true) {
            if (!in_.token(result_, tok, quoted))
                return;
            if (tok.empty())
                break;
            if (quoted || !tokenIs(tok, "BEGIN")) {
                if (!skipCommand())
                    return;
                continue;
            }
            std::string block;
            if (!in_.token(result_, block, quoted) || !skipCommand())
                return;
            if (tokenIs(block, "DATA") || tokenIs(block, "CHARACTERS")) {
                readData();
                return;
            }
            if (!readBlock(tokenIs(block, "TAXA")))
                return;
        }
        result_.fail(in_.line(), kErrNoData);
    }

private:
    bool endOfFile() {
        result_.fail(in_.line(), kErrUnexpectedEnd);
        return false;
    }

    // Skips the rest of the current command, up to and including its ';'.
    bool skipCommand() { return readCommand(nullptr); }

    // The words of the current command up to its ';' (which is consumed).
    bool commandWords(std::vector<std::pair<std::string, bool>>& out) {
        out.clear();
        return readCommand(&out);
    }

    // Reads up to the current command's ';', keeping its words when `out` is given.
    bool readCommand(std::vector<std::pair<std::string, bool>>* out) {
        std::string tok;
        bool quoted = false;
        while (true) {
            if (!in_.token(result_, tok, quoted))
                return false;
            if (tok.empty())
                return endOfFile();
            if (!quoted && tok == ";")
                return true;
            if (out)
                out->emplace_back(tok, quoted);
        }
    }

    // A block other than DATA; a TAXA block's dimensions and labels are kept.
    bool readBlock(bool taxa) {
        std::string tok;
        bool quoted = false;
        std::vector<std::pair<std::string, bool>> words;
        while (true) {
            if (!in_.token(result_, tok, quoted))
                return false;
            if (tok.empty())
                return endOfFile();
            if (!quoted && (tokenIs(tok, "END") || tokenIs(tok, "ENDBLOCK")))
                return skipCommand();
            if (quoted || tok == ";")
                continue;
            if (taxa && tokenIs(tok, "DIMENSIONS")) {
                if (!commandWords(words))
                    return false;
                dimensions(words);
            } else if (taxa && tokenIs(tok, "TAXLABELS")) {
                if (!commandWords(words))
                    return false;
                taxlabels(words);
            } else if (!skipCommand()) {
                return false;
            }
        }
    }

    // NAME=VALUE pairs of a command; a NAME without '=' gets "".
    static std::map<std::string, std::string> settings(
        const std::vector<std::pair<std::string, bool>>& words) {
        std::map<std::string, std::string> result;
        for (std::size_t i = 0; i < words.size(); ++i) {
            std::string key = words[i].first;
            std::transform(key.begin(), key.end(), key.begin(),
                           [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
            if (i + 2 < words.size() && words[i + 1].first == "=" && !words[i + 1].second) {
                result[key] = words[i + 2].first;
                i += 2;
            } else {
                result[key] = std::string();
            }
        }
        return result;
    }

    void dimensions(const std::vector<std::pair<std::string, bool>>& words) {
        const auto values = settings(words);
        std::size_t n = 0;
        auto found = values.find("NTAX");
        if (found != values.end() && alignio::parseCount(found->second, n))
            format_.ntax = n;
        found = values.find("NCHAR");
        if (found != values.end() && alignio::parseCount(found->second, n))
            format_.nchar = n;
    }

    void taxlabels(const std::vector<std::pair<std::string, bool>>& words) {
        format_.taxa.clear();
        for (const auto& word : words) {
            std::string name = word.first;
            if (!word.second)
                std::replace(name.begin(), name.end(), '_', ' ');
            format_.taxa.push_back(name);
        }
    }

    bool formatCommand(const std::vector<std::pair<std::string, bool>>& words) {
        const auto values = settings(words);
        for (const auto& entry : values) {
            const std::string& key = entry.first;
            const std::string& value = entry.second;
            if (key == "DATATYPE") {
                if (tokenIs(value, "DNA") || tokenIs(value, "NUCLEOTIDE"))
                    result_.type = Velm::Sequence::MoleculeType::DNA;
                else if (tokenIs(value, "RNA"))
                    result_.type = Velm::Sequence::MoleculeType::RNA;
                else if (tokenIs(value, "PROTEIN"))
                    result_.type = Velm::Sequence::MoleculeType::Protein;
            } else if (key == "GAP" && value.size() == 1) {
                format_.gap = value[0];
            } else if (key == "MISSING" && value.size() == 1) {
                format_.missing = value[0];
            } else if (key == "MATCHCHAR" && value.size() == 1) {
                format_.match = value[0];
            } else if (key == "INTERLEAVE") {
                format_.interleaved = value.empty() || tokenIs(value, "YES");
            } else if (key == "TRANSPOSE") {
                result_.fail(in_.line(), kErrTranspose);
                return false;
            }
        }
        return true;
    }

    void readData() {
        std::string tok;
        bool quoted = false;
        std::vector<std::pair<std::string, bool>> words;
        while (true) {
            if (!in_.token(result_, tok, quoted))
                return;
            if (tok.empty()) {
                endOfFile();
                return;
            }
            if (quoted || tok == ";")
                continue;
            if (tokenIs(tok, "END") || tokenIs(tok, "ENDBLOCK")) {
                result_.fail(in_.line(), kErrNoMatrix);
                return;
            }
            if (tokenIs(tok, "MATRIX")) {
                readMatrix();
                return;
            }
            if (!commandWords(words))
                return;
            if (tokenIs(tok, "DIMENSIONS"))
                dimensions(words);
            else if (tokenIs(tok, "FORMAT") && !formatCommand(words))
                return;
            else if (tokenIs(tok, "TAXLABELS"))
                taxlabels(words);
        }
    }

    std::size_t rowFor(const std::string& name, bool& isNew) {
        isNew = false;
        const auto found = index_.find(name);
        if (found != index_.end())
            return found->second;
        if (!format_.taxa.empty()) {
            result_.fail(in_.line(), kErrUnknownTaxon + cmn::inputExcerpt(name));
            return npos;
        }
        if (result_.rows.size() >= format_.ntax) {
            result_.fail(in_.line(), kErrTooManyTaxa + cmn::inputExcerpt(name));
            return npos;
        }
        isNew = true;
        index_[name] = result_.rows.size();
        result_.rows.push_back(Row{name, std::string()});
        seen_.push_back(false);
        return result_.rows.size() - 1;
    }

    // Adds one matrix symbol to a row, mapping gap, missing and match characters.
    bool addSymbol(std::size_t row, char c) {
        Row& target = result_.rows[row];
        if (target.residues.size() >= format_.nchar) {
            result_.fail(in_.line(), kErrTooLong + target.name);
            return false;
        }
        char symbol = c;
        if (c == format_.gap) {
            symbol = '-';
        } else if (format_.match != '\0' && c == format_.match) {
            // The match character copies the first row of the matrix (not of TAXLABELS).
            if (firstRow_ == npos)
                firstRow_ = row;
            if (row == firstRow_) {
                result_.fail(in_.line(), kErrMatchFirst + target.name);
                return false;
            }
            const std::string& first = result_.rows[firstRow_].residues;
            const std::size_t column = target.residues.size();
            // In an interleaved matrix the first row may not have reached this column yet.
            if (column >= first.size()) {
                result_.fail(in_.line(), kErrMatchFirst + target.name);
                return false;
            }
            symbol = first[column];
        } else if (c == format_.missing && !std::isalpha(static_cast<unsigned char>(c))) {
            symbol = '?';
        }
        target.residues += symbol;
        return true;
    }

    // Reads symbols of one row: to the end of the line (interleaved) or until NCHAR are read.
    bool readSymbols(std::size_t row) {
        while (true) {
            if (!format_.interleaved && result_.rows[row].residues.size() == format_.nchar) {
                // The row is complete; more symbols on its line mean NCHAR is wrong.
                if (!in_.skipSpace(result_, true))
                    return false;
                if (!in_.atEnd() && in_.peek() != '\n' && in_.peek() != ';') {
                    result_.fail(in_.line(), kErrTooLong + cmn::inputExcerpt(result_.rows[row].name));
                    return false;
                }
                return true;
            }
            if (!in_.skipSpace(result_, format_.interleaved))
                return false;
            if (in_.atEnd())
                return true;   // the caller reports the missing ';'
            const char c = in_.peek();
            if (c == ';' || c == '\n')
                return true;
            if (c == '(' || c == '{') {
                // A set of states in one column: kept as unknown.
                const char close = c == '(' ? ')' : '}';
                const std::size_t start = in_.line();
                while (!in_.atEnd() && in_.peek() != close && in_.peek() != ';')
                    in_.take();
                if (in_.peek() != close) {
                    result_.fail(start, kErrBadSymbol + std::string(1, c));
                    return false;
                }
                in_.take();
                if (!addSymbol(row, '?'))
                    return false;
                continue;
            }
            if (c == '\'' || !alignio::isResidueChar(c)) {
                if (!format_.interleaved)
                    return true;   // the next name begins; the row is checked by the caller
                result_.fail(in_.line(), kErrBadSymbol + std::string(1, c));
                return false;
            }
            in_.take();
            if (!addSymbol(row, c))
                return false;
        }
    }

    void readMatrix() {
        if (format_.nchar == 0 || (format_.ntax == 0 && format_.taxa.empty())) {
            result_.fail(in_.line(), kErrNoDimensions);
            return;
        }
        if (format_.ntax == 0)
            format_.ntax = format_.taxa.size();
        for (const std::string& name : format_.taxa) {
            index_[name] = result_.rows.size();
            result_.rows.push_back(Row{name, std::string()});
            seen_.push_back(false);
        }
        while (true) {
            if (!in_.skipSpace(result_))
                return;
            if (in_.atEnd()) {
                endOfFile();
                return;
            }
            if (in_.peek() == ';')
                break;
            std::string name;
            if (!in_.readName(result_, name))
                return;
            bool isNew = false;
            const std::size_t row = rowFor(name, isNew);
            if (row == npos)
                return;
            if (!format_.interleaved && seen_[row]) {
                result_.fail(in_.line(), kErrRepeatedTaxon + cmn::inputExcerpt(name));
                return;
            }
            seen_[row] = true;
            if (firstRow_ == npos)
                firstRow_ = row;
            if (!readSymbols(row))
                return;
            if (!format_.interleaved && result_.rows[row].residues.size() < format_.nchar) {
                result_.fail(in_.line(), kErrTooShort + cmn::inputExcerpt(name));
                return;
            }
        }
        const std::size_t end = in_.line();
        std::size_t present = 0;
        for (bool seen : seen_)
            present += seen ? 1 : 0;
        if (present != format_.ntax || result_.rows.size() != format_.ntax) {
            result_.fail(end, kErrTaxaCount + std::to_string(format_.ntax) + ", the matrix has " +
                                  std::to_string(present));
            return;
        }
        for (const Row& row : result_.rows)
            if (row.residues.size() != format_.nchar) {
                result_.fail(end, (row.residues.size() < format_.nchar ? kErrTooShort : kErrTooLong) +
                                      row.name);
                return;
            }
    }

    static const std::size_t npos = static_cast<std::size_t>(-1);
    Cursor in_;
    ParseResult& result_;
    DataFormat format_;
    std::map<std::string, std::size_t> index_;
    std::vector<bool> seen_;
    std::size_t firstRow_ = npos;
};

void parseNexus(const std::string& text, ParseResult& result) {
    NexusReader(text, result).run();
    if (!result.ok())
        result.rows.clear();
}

Sniff sniffNexus(std::string_view head, bool complete) {
    std::size_t i = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (i < head.size() && alignio::isSpace(head[i]))
        ++i;
    if (!alignio::startsWithNoCase(head.substr(i, 6), "#NEXUS"))
        return Sniff::No;
    // Look for "begin data" or "begin characters" among the words, one word at a time.
    alignio::WordWalker words(head.substr(i));
    std::string_view word, following;
    for (words.next(word); !word.empty(); word = following) {
        words.next(following);
        if (word.size() == 5 && alignio::startsWithNoCase(word, "BEGIN") &&
            (alignio::startsWithNoCase(following, "DATA;") ||
             (following.size() == 4 && alignio::startsWithNoCase(following, "DATA")) ||
             alignio::startsWithNoCase(following, "CHARACTERS")))
            return Sniff::Yes;
    }
    return complete ? Sniff::No : Sniff::Maybe;
}

std::string legalNexusName(const std::string& name) {
    std::string legal = alignio::trim(name);
    std::replace_if(legal.begin(), legal.end(),
                    [](char c) { return !alignio::isResidueChar(c) && c != ' '; }, '_');
    return legal;
}

// Names that read back unchanged without quotes: no blanks, no underscores (read as blanks) and
// none of the NEXUS punctuation ( ) [ ] { } / \ , ; : = * ' " ` + - < > (which ends a word).
// Any other name is quoted, an inner quote doubled.
std::string nexusName(const std::string& name) {
    bool plain = !name.empty();
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr(".|!#$%&@^~?", c))
            plain = false;
    if (plain)
        return name;
    std::string quoted = "'";
    for (char c : name) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted + "'";
}

// The rows' letters choose between DNA and RNA: nucleotide databases spell mRNA with T, and a
// reader told RNA rejects T (one told DNA rejects U).
const char* nucleotideDataType(const alignio::WriteInput& input) {
    bool t = false, u = false;
    for (const Row& row : input.rows)
        for (char c : row.residues) {
            t = t || c == 'T' || c == 't';
            u = u || c == 'U' || c == 'u';
        }
    return u && !t ? "RNA" : "DNA";
}

void writeNexus(std::ostream& out, const alignio::WriteInput& input) {
    std::vector<std::string> names;
    std::size_t width = 0;
    for (const Row& row : input.rows) {
        names.push_back(nexusName(row.name));
        width = std::max(width, names.back().size());
    }
    out << "#NEXUS\n\nBEGIN DATA;\n";
    out << "  DIMENSIONS NTAX=" << input.rows.size()
        << " NCHAR=" << input.rows.front().residues.size() << ";\n";
    out << "  FORMAT";
    switch (input.type) {
    case Velm::Sequence::MoleculeType::DNA:
    case Velm::Sequence::MoleculeType::RNA: out << " DATATYPE=" << nucleotideDataType(input); break;
    case Velm::Sequence::MoleculeType::Protein: out << " DATATYPE=PROTEIN"; break;
    case Velm::Sequence::MoleculeType::Unknown: break;
    }
    out << " MISSING=? GAP=-;\n  MATRIX\n";
    for (std::size_t r = 0; r < input.rows.size(); ++r)
        out << "    " << names[r] << std::string(width - names[r].size() + 2, ' ')
            << alignio::dashGaps(input.rows[r].residues) << '\n';
    out << "  ;\nEND;\n";
}

const char* const kAliases[] = {"NEX", nullptr};
const char* const kExtensions[] = {"nex", "nexus", "nxs", nullptr};

const alignio::FormatTraits kNexus = {NexusModelSource::NEX_ALN_Format,
                                    "NEXUS character matrix (DATA block)",
                                    kAliases,
                                    kExtensions,
                                    "()[]{};'\"",
                                    sniffNexus,
                                    parseNexus,
                                    legalNexusName,
                                    writeNexus};

} // namespace

OVIK_ALIGNMENT_SOURCE_MEMBERS(NexusModelSource, kNexus, "NexusModelSource")

} // namespace Ovik
