// Recognising an archive format from the first 64 KiB of a file.
#include <contracts/SeqArchive.h>

#include "FileFormat.h"
#include "TextUtil.h"

#include <contracts/Common.h>
#include <contracts/Compression.h>

#include <cctype>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Ovik {

namespace {

constexpr std::size_t kPrefixSize = kFormatPrefixSize;
// Most files name their format on their first line; a small first read settles those, so that
// detection over many (or huge) files reads a few KiB, not 64.
constexpr std::size_t kQuickPrefixSize = 4 * 1024;

// True when the first non-blank line is complete and starts with a marker that names a format
// by itself; a longer prefix cannot change what such a line decides.
bool headLineMarked(std::string_view buf) {
    std::size_t start = buf.find_first_not_of(" \t\r\n");
    if (start == std::string::npos || buf.find('\n', start) == std::string::npos)
        return false;
    for (const char* marker : {">", "LOCUS ", "ID   ", "!!", "@"})
        if (buf.compare(start, std::strlen(marker), marker) == 0)
            return true;
    return false;
}

struct View {
    const char* data;
    std::size_t size;
    bool startsWith(const char* p) const {
        std::size_t n = std::strlen(p);
        return size >= n && std::memcmp(data, p, n) == 0;
    }
    bool contains(const char* p) const {
        std::size_t n = std::strlen(p);
        if (n > size)
            return false;
        for (std::size_t i = 0; i + n <= size; ++i)
            if (std::memcmp(data + i, p, n) == 0)
                return true;
        return false;
    }
    std::string trimmed() const { return text::trim(data, size); }
    // Without leading and trailing blanks (as trimmed(), without a copy).
    std::string_view trimmedView() const {
        std::size_t b = 0, e = size;
        while (b < e && (data[b] == ' ' || data[b] == '\t'))
            ++b;
        while (e > b && (data[e - 1] == ' ' || data[e - 1] == '\t'))
            --e;
        return std::string_view(data + b, e - b);
    }
    bool blank() const {
        for (std::size_t i = 0; i < size; ++i)
            if (data[i] != ' ' && data[i] != '\t')
                return false;
        return true;
    }
};

// The line starting at `pos` without its line end; false when it is the incomplete last line of
// a prefix cut short (`dropLast`) or there is none.
bool lineAt(std::string_view buf, std::size_t pos, bool dropLast, View& line, std::size_t& next) {
    if (pos >= buf.size())
        return false;
    std::size_t nl = buf.find('\n', pos);
    if (nl == std::string::npos) {
        if (dropLast)
            return false;
        line = {buf.data() + pos, buf.size() - pos};
        next = buf.size();
        return true;
    }
    std::size_t len = nl - pos;
    if (len > 0 && buf[pos + len - 1] == '\r')
        --len;
    line = {buf.data() + pos, len};
    next = nl + 1;
    return true;
}

std::vector<View> splitLines(std::string_view buf, bool dropLast) {
    std::vector<View> lines;
    View line{nullptr, 0};
    for (std::size_t pos = 0, next = 0; lineAt(buf, pos, dropLast, line, next); pos = next)
        lines.push_back(line);
    return lines;
}

bool residueLine(std::string_view t) {
    if (t.empty())
        return false;
    for (unsigned char c : t)
        if (!std::isalpha(c) && c != '-' && c != '*' && c != '.')
            return false;
    return true;
}

bool knownExtension(std::string ext) {
    static const char* const known[] = {"fa",  "fasta", "fna", "faa", "fas", "gb",  "gbk", "gp",  "embl",
                                        "emb", "seq",   "sta", "pir", "ssf", "msf", "rsf", "swl", "spt",
                                        "ab1", "abi",   "scf", "ztr", "exp", "txt", "gz",  "aln", "nex",
                                        "phy", "gcg",   "dat", "pln", "sdn", "xml", "fsa"};
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* k : known)
        if (ext == k)
            return true;
    return false;
}

// One file name or database reference a line.
bool fileReference(std::string_view t) {
    if (t.empty() || t.size() > 1024 || t.find_first_of(" \t") != std::string::npos)
        return false;
    if (t.find_first_of("/\\") != std::string::npos || (t.find(':') != std::string::npos && t.find(':') > 0))
        return true;
    std::size_t dot = t.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == t.size() || t.size() - dot - 1 > 8)
        return false;
    std::string ext(t.substr(dot + 1));
    for (unsigned char c : ext)
        if (!std::isalnum(c))
            return false;
    if (knownExtension(ext))
        return true;
    for (unsigned char c : t)
        if (!std::isalpha(c) && c != '.' && c != '-' && c != '*')
            return true; // digits, '_', ... never occur in residue text
    return false;
}

// Text has no NUL and at most 1% other control bytes (line ends, tabs and form feeds aside).
// Every probed file goes through this, so it counts sixteen bytes at a time where the machine
// has SSE2.
bool looksBinary(std::string_view buf) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(buf.data());
    const std::size_t n = buf.size();
    std::size_t control = 0, i = 0;
#if defined(__SSE2__)
    const __m128i highestControl = _mm_set1_epi8(0x1F);
    const __m128i nul = _mm_setzero_si128();
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), tab = _mm_set1_epi8('\t'),
                  ff = _mm_set1_epi8('\f');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, nul)) != 0)
            return true;
        const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(v, highestControl), v); // v <= 0x1F
        const __m128i allowed = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                                             _mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, ff)));
        // Text seldom has any: the count (a library call on machines without POPCNT) is rare.
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(allowed, low)));
        if (mask != 0)
            control += static_cast<std::size_t>(__builtin_popcount(mask));
    }
#endif
    for (; i < n; ++i) {
        const unsigned char c = p[i];
        if (c == 0)
            return true;
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f')
            ++control;
    }
    return control * 100 > n;
}

const char* emblFamily(const View& id) {
    if (id.contains("Unreviewed;"))
        return SALSource::SPT;
    if (id.contains("Reviewed;"))
        return SALSource::SW;
    if (id.contains("; SV "))
        return SALSource::EMBL;
    // Old layouts: "ID   CYC_HUMAN  STANDARD;  PRT;  104 AA." is Swiss-Prot.
    if (id.contains("PRT;") && id.contains(" AA."))
        return SALSource::SW;
    return SALSource::EMBL;
}

// The first line from `pos` on that `skip` does not pass over; false when the prefix ends first.
template <class Skip>
bool firstLineFrom(std::string_view buf, std::size_t pos, bool truncated, Skip skip, View& line) {
    for (std::size_t next = 0; lineAt(buf, pos, truncated, line, next); pos = next)
        if (!skip(line))
            return true;
    return false;
}

// Tags of the experiment-file layout that EMBL and Swiss-Prot entries never use.
bool experimentTag(const View& line) {
    static const char* const kTags[] = {"EN", "LN", "LT", "AV", "QL", "QR", "SL", "SR",
                                        "CF", "CS", "ON", "TN", "TG", "AQ", "CH", "PN"};
    if (line.size < 3 || line.data[2] != ' ')
        return false;
    for (const char* tag : kTags)
        if (line.data[0] == tag[0] && line.data[1] == tag[1])
            return true;
    return false;
}

// An experiment file begins as EMBL does ("ID   name"), but its ID line names the reading alone
// (one word, no ';') and the file carries tags of its own or a bare "SQ" line before the
// residues (EMBL's reads "SQ   Sequence ..."). Looked for up to the end of the first entry.
bool experimentLayout(std::string_view buf, const View& head, std::size_t pos, bool truncated) {
    const std::string_view id = View{head.data + 5, head.size - 5}.trimmedView();
    if (id.empty() || id.find_first_of(" \t;") != std::string_view::npos)
        return false;
    View line{nullptr, 0};
    for (std::size_t next = 0; lineAt(buf, pos, truncated, line, next); pos = next) {
        if (line.startsWith("//"))
            return false;
        if (experimentTag(line) || (line.startsWith("SQ") && View{line.data + 2, line.size - 2}.blank()))
            return true;
    }
    return false;
}

// The format a first non-blank line names by itself; null when it names none.
const char* headLineFormat(const View& head) {
    if (head.startsWith(">")) {
        if (head.size >= 4 && head.data[3] == ';' && std::isupper(static_cast<unsigned char>(head.data[1])) &&
            std::isalnum(static_cast<unsigned char>(head.data[2])))
            return SALSource::NBRF;
        return SALSource::FASTA;
    }
    if (head.startsWith("LOCUS "))
        return head.contains(" aa ") ? SALSource::GENPEPT : SALSource::GB;
    if (head.startsWith("ID   "))
        return emblFamily(head);
    if (head.startsWith("!!RICH_SEQUENCE"))
        return SALSource::RSF;
    if (head.startsWith("!!AA_MULTIPLE_ALIGNMENT") || head.startsWith("!!NA_MULTIPLE_ALIGNMENT"))
        return SALSource::MSF;
    if (head.startsWith("!!AA_SEQUENCE") || head.startsWith("!!NA_SEQUENCE"))
        return SALSource::SSF;
    return nullptr;
}

// FASTQ: an '@' title line, sequence lines (none for an empty read), then a '+' line. A prefix
// that ends inside the sequence of a long read still counts.
bool fastqLayout(std::string_view buf, std::size_t pos, bool truncated) {
    View line{nullptr, 0};
    std::size_t next = 0;
    if (!lineAt(buf, pos, truncated, line, next) || !line.startsWith("@") || line.size < 2)
        return false;
    for (pos = next; lineAt(buf, pos, truncated, line, next); pos = next) {
        if (line.startsWith("+"))
            return true;
        if (line.size > 0 && !residueLine(std::string_view(line.data, line.size)))
            return false;
    }
    return truncated;
}

} // namespace

const char* detectFormat(std::string_view buf, bool truncated) {
    // Many Windows programs open their text with a UTF-8 byte-order mark; the readers skip it.
    if (buf.substr(0, 3) == "\xEF\xBB\xBF")
        buf.remove_prefix(3);
    if (buf.empty() || looksBinary(buf))
        return "";
    // Most files name their format on their first non-blank line: that is decided before the rest
    // is split into lines.
    View head{nullptr, 0};
    std::size_t pos = 0, next = 0;
    while (lineAt(buf, pos, truncated, head, next) && head.blank())
        pos = next;
    if (pos >= buf.size())
        return "";
    if (!lineAt(buf, pos, truncated, head, next)) {
        // The first line goes on past the probe (a title of megabytes): its start is all there
        // is to judge, and the reader checks the rest.
        lineAt(buf, pos, false, head, next);
        if (head.startsWith("@") && head.size >= 2)
            return SALSource::FASTQ;
        const char* format = headLineFormat(head);
        return format ? format : "";
    }
    if (head.startsWith("ID   ") && experimentLayout(buf, head, next, truncated))
        return SALSource::EXPERIMENT;
    if (const char* format = headLineFormat(head))
        return format;
    if (head.startsWith("@") && fastqLayout(buf, pos, truncated))
        return SALSource::FASTQ;
    // NBRF/PIR exports may open with "C;" comment lines.
    View entry{nullptr, 0};
    if (text::pirCommentLine(head.data, head.size) &&
        firstLineFrom(buf, next, truncated,
                      [](const View& l) { return l.blank() || text::pirCommentLine(l.data, l.size); }, entry) &&
        headLineFormat(entry) == SALSource::NBRF)
        return SALSource::NBRF;

    std::vector<View> lines = splitLines(buf, truncated);
    std::size_t first = 0;
    while (first < lines.size() && lines[first].blank())
        ++first;

    // GCG files without their '!!' line: the header ends at a line ending in "..".
    for (std::size_t i = first; i < lines.size() && i < first + 200; ++i) {
        const std::string_view t = lines[i].trimmedView();
        if (t.size() < 2 || t.substr(t.size() - 2) != "..")
            continue;
        if (lines[i].contains("MSF:"))
            return SALSource::MSF;
        if (lines[i].contains("Length:") || lines[i].contains("Check:"))
            return SALSource::SSF;
    }

    // Query/result listings.
    for (std::size_t i = first; i < lines.size(); ++i)
        if (lines[i].startsWith("Query="))
            return SALSource::QUERY;
    {
        std::string t = head.trimmed();
        if (t.size() > 5 && text::equalNoCase(t.substr(0, 5).c_str(), "QUERY") &&
            (t[5] == ':' || t[5] == '=' || t[5] == ' ' || t[5] == '\t'))
            return SALSource::QUERY;
    }

    // Staden: optional ';' comments and '<name---->' line, then residue lines only.
    std::size_t i = first;
    bool comments = false;
    while (i < lines.size() && lines[i].startsWith(";")) {
        comments = true;
        ++i;
    }
    if (i < lines.size() && lines[i].startsWith(">") && comments)
        return SALSource::FASTA; // FASTA with old-style ';' comments first
    bool named = false;
    if (i < lines.size() && lines[i].startsWith("<")) {
        std::string t = lines[i].trimmed();
        std::size_t close = t.find('>');
        if (close == std::string::npos || t.substr(0, close).find_first_of(" \t") != std::string::npos)
            return "";
        named = true;
        ++i;
    }
    bool allResidues = true, allReferences = true;
    std::size_t residueLines = 0, entries = 0;
    for (std::size_t k = i; k < lines.size() && (allResidues || allReferences); ++k) {
        const std::string_view t = lines[k].trimmedView();
        if (t.empty())
            continue;
        if (t[0] == ';') {
            allReferences = false;
            continue;
        }
        if (t[0] != '#') {
            ++entries;
            if (allResidues && residueLine(t))
                ++residueLines;
            else
                allResidues = false;
            if (allReferences && !fileReference(t))
                allReferences = false;
        }
    }
    if (!named && !comments && entries > 0 && allReferences)
        return SALSource::LST;
    if (allResidues && (residueLines > 0 || named))
        return SALSource::STADEN;
    return "";
}

std::string SeqArchive::GetFileFormat(const std::string& path) {
    // Judged on the file's content: a compressed file's first bytes are inflated (only as far as
    // asked); plain files share the bytes the other sniffers of the same file read.
    std::string_view head;
    bool complete = false;
    if (!cmn::peekContentHead(path, kQuickPrefixSize, head, complete))
        return "";
    if (complete)
        return detectFormat(head, false); // the whole file
    // A marked first line settles most files on the small prefix; every other file is judged
    // on the large one only.
    if (headLineMarked(head)) {
        const char* quick = detectFormat(head, true);
        if (*quick)
            return quick;
    }
    if (!cmn::peekContentHead(path, kPrefixSize, head, complete))
        return "";
    return detectFormat(head, !complete);
}

} // namespace Ovik
