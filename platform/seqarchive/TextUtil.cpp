#include "TextUtil.h"

#include <contracts/Common.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Ovik {
namespace text {

bool equalNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b)))
            return false;
        if (*a == '\0')
            return true;
    }
}

std::size_t parseCount(const std::string& digits) {
    if (digits.empty() || digits.size() > 15)
        return 0;
    std::size_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    return value;
}

std::string trim(const char* s, std::size_t n) {
    std::size_t b = 0;
    while (b < n && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (n > b && (s[n - 1] == ' ' || s[n - 1] == '\t'))
        --n;
    return std::string(s + b, n - b);
}

std::string from(const Line& line, std::size_t col) {
    if (line.size <= col)
        return std::string();
    return trim(line.data + col, line.size - col);
}

std::vector<std::string> tokens(const char* s, std::size_t n) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < n) {
        while (i < n && std::isspace(static_cast<unsigned char>(s[i])))
            ++i;
        std::size_t b = i;
        while (i < n && !std::isspace(static_cast<unsigned char>(s[i])))
            ++i;
        if (i > b)
            out.emplace_back(s + b, i - b);
    }
    return out;
}

namespace {
// true for the bytes that a residue filter drops.
struct DropTable {
    bool space[256];
    bool spaceOrDigit[256];
    DropTable() {
        for (int c = 0; c < 256; ++c) {
            space[c] = c <= ' '; // whitespace and control characters are never residues
            spaceOrDigit[c] = space[c] || (c >= '0' && c <= '9');
        }
    }
};
const DropTable kDrop;

template <bool Digits>
bool anyDropped(const unsigned char* u, std::size_t n) {
    // A byte-wide OR over plain compares: vectorises, and most lines hold nothing to drop.
    unsigned char any = 0;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = u[i];
        any |= static_cast<unsigned char>((c <= ' ') | (Digits & (static_cast<unsigned char>(c - '0') < 10)));
    }
    return any != 0;
}

/// True when some byte is neither whitespace nor a digit.
bool anyNotDropped(const unsigned char* u, std::size_t n) {
    unsigned char any = 0;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = u[i];
        any |= static_cast<unsigned char>((c > ' ') & (static_cast<unsigned char>(c - '0') >= 10));
    }
    return any != 0;
}

template <bool Digits>
void appendFiltered(std::string& out, const char* s, std::size_t n, const bool* drop) {
    if (!anyDropped<Digits>(reinterpret_cast<const unsigned char*>(s), n)) {
        out.append(s, n);
        return;
    }
    // Branch-free compaction: every byte is stored, only the kept ones advance the cursor.
    std::size_t old = out.size();
    out.resize(old + n);
    char* d = &out[old];
    char* const first = d;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        *d = static_cast<char>(c);
        d += !drop[c];
    }
    out.resize(old + static_cast<std::size_t>(d - first));
}
} // namespace

const char* firstHighByte(const std::string& text) {
    // Eight bytes at a time: the usual entry has none, and its residues were just written.
    const char* p = text.data();
    const char* end = p + text.size();
    for (; end - p >= 8; p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ull)
            break;
    }
    for (; p < end; ++p)
        if (static_cast<unsigned char>(*p) > 127)
            return p;
    return nullptr;
}

void appendResidues(std::string& out, const char* s, std::size_t n) {
    appendFiltered<true>(out, s, n, kDrop.spaceOrDigit);
}

void appendNonSpace(std::string& out, const char* s, std::size_t n) {
    appendFiltered<false>(out, s, n, kDrop.space);
}

void appendGroupedResidues(std::string& out, const char* s, std::size_t n, std::size_t first) {
    // The usual layout: `first` columns of position and spaces, groups of ten residues separated
    // by one space, then nothing but spaces and digits. Groups are copied whole and the copy is
    // checked once; any other line goes through the byte-wise filter, with the same result.
    const bool* drop = kDrop.spaceOrDigit;
    const unsigned char* u = reinterpret_cast<const unsigned char*>(s);
    bool usual = n >= first;
    for (std::size_t i = 0; usual && i < first; ++i)
        usual = drop[u[i]];
    if (usual) {
        const std::size_t old = out.size();
        out.resize(old + (n - first));
        char* d = &out[old];
        std::size_t pos = first;
        while (pos < n && !drop[u[pos]]) {
            const std::size_t len = n - pos < 10 ? n - pos : 10;
            std::memcpy(d, s + pos, len);
            d += len;
            pos += len;
            if (pos < n && s[pos] == ' ')
                ++pos;
        }
        const std::size_t copied = static_cast<std::size_t>(d - &out[old]);
        if (!anyDropped<true>(reinterpret_cast<const unsigned char*>(&out[old]), copied) &&
            !(pos < n && anyNotDropped(u + pos, n - pos))) {
            out.resize(old + copied);
            return;
        }
        out.resize(old);
    }
    appendResidues(out, s, n);
}

bool pirCommentLine(const char* s, std::size_t n) {
    // Not isupper: the locale must not widen what counts as a comment.
    return n >= 2 && s[0] >= 'A' && s[0] <= 'Z' && s[1] == ';';
}

std::string gcgResidues(const std::string& residues, std::size_t& dropped) {
    std::string out;
    out.reserve(residues.size());
    int depth = 0;
    for (char c : residues) {
        const unsigned char u = static_cast<unsigned char>(c);
        // PIR marks: groups of uncertain order "(V,Q.K)", fragment ends and breaks '/', frame
        // marks '!'. Inside a group '.' and ',' only say whether the order is known.
        const bool mark = c == '(' || c == ')' || c == ',' || c == '/' || c == '!' || (c == '.' && depth > 0);
        if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        if (mark || u <= ' ' || u == 0x7F) {
            ++dropped;
            continue;
        }
        out += c;
    }
    return out;
}

unsigned gcgChecksum(const std::string& residues) {
    unsigned long sum = 0;
    std::size_t i = 0;
    for (unsigned char c : residues) {
        sum += static_cast<unsigned long>(i % 57 + 1) * static_cast<unsigned long>(std::toupper(c));
        ++i;
    }
    return static_cast<unsigned>(sum % 10000);
}

std::string crc64Hex(const std::string& residues) {
    static const struct Table {
        std::uint64_t v[256];
        Table() {
            for (unsigned i = 0; i < 256; ++i) {
                std::uint64_t part = i;
                for (int j = 0; j < 8; ++j)
                    part = (part & 1) ? (part >> 1) ^ 0xd800000000000000ULL : part >> 1;
                v[i] = part;
            }
        }
    } table;
    std::uint64_t crc = 0;
    for (unsigned char c : residues)
        crc = table.v[(crc ^ c) & 0xff] ^ (crc >> 8);
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(crc));
    return buf;
}

unsigned long proteinWeight(const std::string& residues) {
    // Average residue masses (the mass of the amino acid less one water).
    static const struct Masses {
        double m[26];
        Masses() {
            const double v[26] = {71.0788, 114.5962, 103.1388, 115.0886, 129.1155, 147.1766,
                                  57.0519, 137.1411, 113.1594, 0, 128.1741, 113.1594,
                                  131.1926, 114.1038, 237.3018, 97.1167, 128.1307, 156.1875,
                                  87.0782, 101.1051, 150.0388, 99.1326, 186.2132, 110.0,
                                  163.1760, 128.6231};
            for (int i = 0; i < 26; ++i)
                m[i] = v[i];
        }
    } masses;
    double total = 18.01528;
    for (unsigned char c : residues) {
        int u = std::toupper(c);
        if (u >= 'A' && u <= 'Z')
            total += masses.m[u - 'A'];
    }
    return static_cast<unsigned long>(total + 0.5);
}

std::vector<std::string> wrap(const std::string& value, std::size_t width, bool hard) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    const std::size_t n = value.size();
    while (n - pos > width) {
        std::size_t cut = std::string::npos;
        if (!hard) {
            std::size_t sp = value.rfind(' ', pos + width);
            if (sp != std::string::npos && sp > pos)
                cut = sp;
        }
        if (cut == std::string::npos) {
            out.push_back(value.substr(pos, width));
            pos += width;
        } else {
            out.push_back(value.substr(pos, cut - pos));
            pos = cut + 1;
        }
    }
    if (pos < n || out.empty())
        out.push_back(value.substr(pos));
    return out;
}

std::vector<std::string> splitLines(const std::string& value) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    for (;;) {
        std::size_t nl = value.find('\n', pos);
        out.push_back(value.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
        if (nl == std::string::npos)
            break;
        pos = nl + 1;
    }
    return out;
}

std::string tokenName(const std::string& name, std::size_t index) {
    return cmn::singleTokenName(name, index);
}

namespace {
// True when each of the n bytes is A, C, G, T or N in either case: the usual nucleotide entry,
// judged without counting. Sixteen bytes at a time where the machine has SSE2.
bool onlyPlainBases(const unsigned char* u, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i fold = _mm_set1_epi8(static_cast<char>(0xDF)); // clears the lower-case bit
    const __m128i a = _mm_set1_epi8('A'), c = _mm_set1_epi8('C'), g = _mm_set1_epi8('G'),
                  t = _mm_set1_epi8('T'), nn = _mm_set1_epi8('N');
    if (n >= 16) {
        // Misses are gathered and tested once: the last partial block is taken as the sixteen
        // bytes that end the range.
        __m128i hits = _mm_set1_epi8(-1);
        auto check = [&](const unsigned char* p) {
            const __m128i up = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), fold);
            const __m128i hit = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(up, a), _mm_cmpeq_epi8(up, c)),
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(up, g), _mm_cmpeq_epi8(up, t)), _mm_cmpeq_epi8(up, nn)));
            hits = _mm_and_si128(hits, hit);
        };
        for (; i + 16 <= n; i += 16)
            check(u + i);
        if (i < n)
            check(u + n - 16);
        return _mm_movemask_epi8(hits) == 0xFFFF;
    }
#endif
    for (; i < n; ++i) {
        const unsigned up = u[i] & 0xDFu;
        if (up != 'A' && up != 'C' && up != 'G' && up != 'T' && up != 'N')
            return false;
    }
    return true;
}
} // namespace

bool plainBases(const char* s, std::size_t n) {
    return onlyPlainBases(reinterpret_cast<const unsigned char*>(s), n);
}

bool appendNonSpaceBases(std::string& out, const char* s, std::size_t n) {
    if (onlyPlainBases(reinterpret_cast<const unsigned char*>(s), n)) {
        out.append(s, n);
        return true;
    }
    appendNonSpace(out, s, n);
    return false;
}

Velm::Sequence::MoleculeType guessType(const std::string& residues) {
    const std::size_t n = std::min<std::size_t>(residues.size(), kGuessSample);
    const unsigned char* u = reinterpret_cast<const unsigned char*>(residues.data());
    if (n > 0 && onlyPlainBases(u, n))
        return Velm::Sequence::MoleculeType::DNA;
    // Four counts in one 64-bit word, 16 bits each (at most kGuessSample bytes are looked at):
    // letters, A C G N, T, U (either case). One lookup and one register add per byte; a histogram in
    // memory serialises on its own stores, which made this the costliest step of short entries.
    static const struct Increments {
        std::uint64_t v[256];
        Increments() {
            for (int c = 0; c < 256; ++c) {
                const int up = c & 0xDF;
                const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
                std::uint64_t inc = letter ? 1 : 0;
                if (letter && (up == 'A' || up == 'C' || up == 'G' || up == 'N'))
                    inc |= std::uint64_t(1) << 16;
                if (letter && up == 'T')
                    inc |= std::uint64_t(1) << 32;
                if (letter && up == 'U')
                    inc |= std::uint64_t(1) << 48;
                v[c] = inc;
            }
        }
    } increments;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += increments.v[u[i]];
    const std::size_t letters = sum & 0xFFFF;
    const std::size_t acgn = (sum >> 16) & 0xFFFF;
    const std::size_t t = (sum >> 32) & 0xFFFF;
    const std::size_t uracil = sum >> 48;
    const std::size_t nucleotides = acgn + t + uracil;
    if (letters == 0)
        return Velm::Sequence::MoleculeType::Unknown;
    if (nucleotides * 10 >= letters * 9)
        return (uracil > 0 && t == 0) ? Velm::Sequence::MoleculeType::RNA
                                      : Velm::Sequence::MoleculeType::DNA;
    return Velm::Sequence::MoleculeType::Protein;
}

Velm::Sequence::MoleculeType moleculeOf(const Velm::Sequence& seq) {
    if (seq.isProtein())
        return Velm::Sequence::MoleculeType::Protein;
    if (seq.moleculeType() != Velm::Sequence::MoleculeType::Unknown)
        return seq.moleculeType();
    return guessType(seq.residues());
}

std::string baseName(const std::string& path) {
    std::string name = path;
    std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

std::string today() {
    static const char* const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d-%s-%04d", tm.tm_mday, months[tm.tm_mon], tm.tm_year + 1900);
    return buf;
}

} // namespace text
} // namespace Ovik
