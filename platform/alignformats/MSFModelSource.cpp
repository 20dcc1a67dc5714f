// GCG MSF multiple alignments.
//
//   !!AA_MULTIPLE_ALIGNMENT 1.0          <- optional
//   any text
//     x.msf  MSF: 99  Type: P  ...  Check: 1234 ..     <- the divider line ends with ".."
//    Name: seq1  Len: 99  Check: 7236  Weight: 1.00
//    Name: seq2  ...
//   //
//   seq1  GLTPFNGYTA ATWTRT....
//   seq2  ...
//
// Rows are found by name in every block; position rulers (numbers only) are skipped. '.' and '~'
// are gaps. A row whose Name: line gives a length shorter than the alignment's is padded with
// gaps, as GCG means it.

#include <contracts/AlignFormats.h>

#include "AlignmentIO.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <iomanip>
#include <map>
#include <ostream>

namespace Ovik {

const char* const MSFModelSource::MSF_ALN_Format = "MSF-ALN";

namespace {

using alignio::ParseResult;
using alignio::Row;
using alignio::Sniff;

const char* const kErrNoDivider = "no MSF divider line (\"MSF: <length> ... ..\")";
const char* const kErrBadLength = "the MSF line gives no alignment length";
const char* const kErrNoNames = "no Name: lines";
const char* const kErrNoEnd = "no // line after the Name: lines";
const char* const kErrBadNameLine = "a Name: line without a name";
const char* const kErrDuplicateName = "duplicate row name ";
const char* const kErrUnknownRow = "unknown row name ";
const char* const kErrRowLength = "row length disagrees with the header: ";

bool isDivider(std::string_view line) {
    const std::string_view text = alignio::trimmed(line);
    return text.find("MSF:") != std::string_view::npos && text.size() >= 2 &&
           text.compare(text.size() - 2, 2, "..") == 0;
}

bool isRuler(const std::string& line) {
    for (char c : line)
        if (!alignio::isSpace(c) && !std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// The value after `key` among the words of a line ("Len:" -> "99"), or "".
std::string valueAfter(const std::vector<std::string>& fields, const char* key) {
    for (std::size_t i = 0; i + 1 < fields.size(); ++i)
        if (fields[i] == key)
            return fields[i + 1];
    return std::string();
}

// The line of `text` that holds position `at`, without its line end.
std::string_view lineAround(std::string_view text, std::size_t at) {
    const std::size_t begin = at == 0 ? 0 : text.rfind('\n', at - 1) + 1; // npos + 1 == 0
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos)
        end = text.size();
    std::string_view line = text.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

Sniff sniffMsf(std::string_view head, bool) {
    if (head.compare(0, 3, "\xEF\xBB\xBF") == 0)
        head.remove_prefix(3);
    // An MSF file opens with its "!!..._MULTIPLE_ALIGNMENT" line or has its divider ("... MSF:
    // <n> ... .."), or at least "Name:" lines and the "//" after them. The words are looked for
    // by their ':' (which sequence letters never are) rather than by walking every line: most
    // heads hold none, and a long head is passed over at the speed of a byte search. A "RecName:"
    // is no "Name:" line.
    if (alignio::startsWithNoCase(head, "!!AA_MULTIPLE_ALIGNMENT") ||
        alignio::startsWithNoCase(head, "!!NA_MULTIPLE_ALIGNMENT"))
        return Sniff::Yes;
    // Texts with many ':' (annotations, dates) make the word tests below frequent: they compare
    // bytes in place.
    auto endsWith = [&head](std::size_t colon, const char* word, std::size_t length) {
        if (colon < length)
            return false;
        for (std::size_t i = 0; i < length; ++i)
            if (head[colon - length + i] != word[i])
                return false;
        return true;
    };
    bool names = false;
    for (std::size_t at = head.find(':'); at != std::string_view::npos; at = head.find(':', at + 1)) {
        if (endsWith(at, "MSF", 3) && isDivider(lineAround(head, at)))
            return Sniff::Yes;
        if (!names && endsWith(at, "Name", 4))
            names = alignio::trimmed(lineAround(head, at)).compare(0, 5, "Name:") == 0;
    }
    if (!names)
        return Sniff::No;
    for (std::size_t at = head.find("//"); at != std::string_view::npos; at = head.find("//", at + 1))
        if (alignio::trimmed(lineAround(head, at)) == "//")
            return Sniff::Maybe;
    return Sniff::No;
}

void parseMsf(const std::string& text, ParseResult& result) {
    const std::vector<std::string> lines = alignio::splitLines(text);
    std::size_t i = 0;
    while (i < lines.size() && !isDivider(lines[i]))
        ++i;
    if (i == lines.size()) {
        result.fail(lines.size(), kErrNoDivider);
        return;
    }
    const std::vector<std::string> header = alignio::words(lines[i]);
    std::size_t length = 0;
    if (!alignio::parseCount(valueAfter(header, "MSF:"), length) || length == 0) {
        result.fail(i + 1, kErrBadLength);
        return;
    }
    const std::string type = valueAfter(header, "Type:");
    if (type == "P" || type == "p")
        result.type = Velm::Sequence::MoleculeType::Protein;

    std::vector<Row>& rows = result.rows;
    std::vector<std::size_t> declared;   // the Len: of each row
    std::vector<std::size_t> lastLine;
    std::map<std::string, std::size_t> index;
    bool ended = false;
    for (++i; i < lines.size() && !ended; ++i) {
        const std::string trimmed = alignio::trim(lines[i]);
        if (trimmed == "//" || trimmed.compare(0, 2, "//") == 0) {
            ended = true;
            break;
        }
        if (trimmed.compare(0, 5, "Name:") != 0)
            continue;
        const std::vector<std::string> fields = alignio::words(trimmed.substr(5));
        if (fields.empty()) {
            result.fail(i + 1, kErrBadNameLine);
            return;
        }
        const std::string& name = fields[0];
        if (index.count(name)) {
            result.fail(i + 1, kErrDuplicateName + cmn::inputExcerpt(name));
            return;
        }
        std::size_t len = length;
        alignio::parseCount(valueAfter(fields, "Len:"), len);
        index[name] = rows.size();
        rows.push_back(Row{name, std::string()});
        declared.push_back(len);
        lastLine.push_back(i + 1);
    }
    if (!ended) {
        result.fail(lines.size(), kErrNoEnd);
        return;
    }
    if (rows.empty()) {
        result.fail(i + 1, kErrNoNames);
        return;
    }
    for (++i; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (isRuler(line))
            continue;
        const std::vector<std::string> fields = alignio::words(line);
        const auto found = index.find(fields[0]);
        if (found == index.end()) {
            result.fail(i + 1, kErrUnknownRow + cmn::inputExcerpt(fields[0]));
            return;
        }
        Row& row = rows[found->second];
        for (std::size_t f = 1; f < fields.size(); ++f)
            for (char c : fields[f])
                row.residues += (c == '.' || c == '~') ? '-' : c;
        lastLine[found->second] = i + 1;
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        Row& row = rows[r];
        const std::size_t have = row.residues.size();
        if (have == length)
            continue;
        if (have < length && have == declared[r]) {
            row.residues.append(length - have, '-');
            continue;
        }
        result.fail(lastLine[r], kErrRowLength + row.name + " has " + std::to_string(have) +
                                     " residues, expected " +
                                     std::to_string(declared[r] < length ? declared[r] : length));
        return;
    }
}

std::string legalMsfName(const std::string& name) {
    std::string legal = alignio::trim(name);
    std::replace_if(legal.begin(), legal.end(), [](char c) { return !alignio::isResidueChar(c); },
                    '_');
    return legal;
}

// The GCG checksum of one row as written.
unsigned checksum(const std::string& residues) {
    unsigned long sum = 0;
    for (std::size_t i = 0; i < residues.size(); ++i)
        sum += ((i % 57) + 1) * static_cast<unsigned long>(
                                    std::toupper(static_cast<unsigned char>(residues[i])));
    return static_cast<unsigned>(sum % 10000);
}

std::string today() {
    static const char* const months[] = {"January", "February", "March",     "April",
                                         "May",     "June",     "July",      "August",
                                         "September", "October", "November", "December"};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char clock[8];
    std::snprintf(clock, sizeof clock, "%02d:%02d", local.tm_hour % 24, local.tm_min % 60);
    return std::string(months[local.tm_mon % 12]) + " " + std::to_string(local.tm_mday) + ", " +
           std::to_string(local.tm_year + 1900) + "  " + clock;
}

void writeMsf(std::ostream& out, const alignio::WriteInput& input) {
    const std::size_t kColumns = 50, kGroup = 10;
    const std::size_t length = input.rows.front().residues.size();
    std::vector<std::string> written;
    std::vector<unsigned> checks;
    unsigned total = 0;
    std::size_t width = 0;
    for (const Row& row : input.rows) {
        std::string residues = row.residues;
        std::replace(residues.begin(), residues.end(), '-', '.');
        checks.push_back(checksum(residues));
        total = (total + checks.back()) % 10000;
        written.push_back(std::move(residues));
        width = std::max(width, row.name.size());
    }
    const char type = input.protein ? 'P' : 'N';
    out << (input.protein ? "!!AA_MULTIPLE_ALIGNMENT 1.0" : "!!NA_MULTIPLE_ALIGNMENT 1.0")
        << "\n\n";
    out << ' ' << (input.fileName.empty() ? std::string("alignment.msf") : input.fileName)
        << "  MSF: " << length << "  Type: " << type << "  " << today() << "  Check: " << total
        << " ..\n\n";
    for (std::size_t r = 0; r < input.rows.size(); ++r)
        out << " Name: " << input.rows[r].name
            << std::string(width - input.rows[r].name.size(), ' ') << "  Len: " << std::setw(6)
            << length << "  Check: " << std::setw(4) << checks[r] << "  Weight:  1.00\n";
    out << "\n//\n";
    for (std::size_t start = 0; start < length; start += kColumns) {
        out << '\n';
        const std::size_t n = std::min(kColumns, length - start);
        for (std::size_t r = 0; r < input.rows.size(); ++r) {
            out << input.rows[r].name << std::string(width - input.rows[r].name.size() + 2, ' ');
            for (std::size_t g = 0; g < n; g += kGroup)
                out << (g > 0 ? " " : "") << written[r].substr(start + g, std::min(kGroup, n - g));
            out << '\n';
        }
    }
}

const char* const kAliases[] = {"MSF", "GCG-MSF", nullptr};
const char* const kExtensions[] = {"msf", nullptr};

const alignio::FormatTraits kMsf = {MSFModelSource::MSF_ALN_Format,
                                  "GCG MSF multiple sequence alignment",
                                  kAliases,
                                  kExtensions,
                                  "",
                                  sniffMsf,
                                  parseMsf,
                                  legalMsfName,
                                  writeMsf};

} // namespace

OVIK_ALIGNMENT_SOURCE_MEMBERS(MSFModelSource, kMsf, "MSFModelSource")

} // namespace Ovik
