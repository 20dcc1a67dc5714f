#include <contracts/FeatureLocation.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

namespace Velm {

namespace {

constexpr int kMaxDepth = 100;

struct Parser {
    std::string s; // the text without white space (locations may be wrapped over lines)
    std::size_t i = 0;
    int depth = 0; // operators open around the current position

    [[noreturn]] void fail(const std::string& what) const {
        throw LocationError("bad location '" + s + "' at column " + std::to_string(i + 1) + ": " + what);
    }
    bool eat(const char* word) {
        const std::size_t n = std::strlen(word);
        if (s.compare(i, n, word) == 0) {
            i += n;
            return true;
        }
        return false;
    }
    long number() {
        if (i < s.size() && s[i] == '?') fail("an unknown or uncertain position ('?'), which cannot be resolved");
        if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) fail("a position expected");
        long value = 0;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            if (value > (LONG_MAX - 9) / 10) fail("position too large");
            value = value * 10 + (s[i++] - '0');
        }
        return value;
    }
    FeatureLocation::Node node() {
        typedef FeatureLocation::Node::Type T;
        static const struct { const char* word; T type; } ops[] = {
            {"join(", T::Join}, {"order(", T::Order}, {"complement(", T::Complement},
            {"bond(", T::Bond}, {"one-of(", T::OneOf}, {"gap(", T::Gap}};
        FeatureLocation::Node n;
        for (const auto& op : ops) {
            if (!eat(op.word)) continue;
            n.type = op.type;
            if (op.type == T::Gap) {
                const std::size_t close = s.find(')', i);
                if (close == std::string::npos) fail("')' expected");
                n.gapText = s.substr(i, close - i);
                i = close + 1;
                return n;
            }
            // Real locations nest a few levels; a limit keeps a hostile text from exhausting the stack.
            if (++depth > kMaxDepth) fail("operators nested too deeply");
            for (;;) {
                n.children.push_back(node());
                if (eat(",")) continue;
                if (eat(")")) break;
                fail("',' or ')' expected");
            }
            if (op.type == T::Complement && n.children.size() != 1) fail("complement() takes one location");
            --depth;
            return n;
        }
        n.type = T::Part;
        LocationPart& p = n.part;
        // A part in another entry: "AB123.1:10..20".
        std::size_t j = i;
        while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_' || s[j] == '.'))
            ++j;
        if (j < s.size() && s[j] == ':' && j > i && std::isalpha(static_cast<unsigned char>(s[i]))) {
            p.accession = s.substr(i, j - i);
            i = j + 1;
        }
        if (eat("<")) p.startBefore = true;
        else if (eat(">")) p.endAfter = true; // only on a single base: ">123"
        p.start = number();
        if (eat("..")) {
            if (p.endAfter) fail("'>' belongs to the end of a range");
            p.kind = LocationPart::Kind::Range;
            if (eat(">")) p.endAfter = true;
            p.end = number();
            if (p.end < p.start) fail("range ends before it starts");
        } else if (eat("^")) {
            if (p.startBefore || p.endAfter) fail("a between-base site has no partial ends");
            p.kind = LocationPart::Kind::Between;
            p.end = number();
            if (p.end < p.start) fail("site ends before it starts");
        } else if (eat(".")) {
            if (p.startBefore || p.endAfter) fail("an uncertain base has no partial ends");
            p.kind = LocationPart::Kind::Within;
            p.end = number();
            if (p.end < p.start) fail("range ends before it starts");
        } else {
            p.kind = LocationPart::Kind::Base;
            p.end = p.start;
        }
        if (p.start < 1) fail("positions start at 1");
        return n;
    }
};

void writeNode(std::string& out, const FeatureLocation::Node& n) {
    typedef FeatureLocation::Node::Type T;
    if (n.type == T::Part) {
        const LocationPart& p = n.part;
        if (p.isRemote()) out += p.accession + ":";
        if (p.kind == LocationPart::Kind::Base) {
            if (p.startBefore) out += '<';
            else if (p.endAfter) out += '>';
            out += std::to_string(p.start);
            return;
        }
        if (p.startBefore) out += '<';
        out += std::to_string(p.start);
        out += p.kind == LocationPart::Kind::Range ? ".." : p.kind == LocationPart::Kind::Between ? "^" : ".";
        if (p.endAfter) out += '>';
        out += std::to_string(p.end);
        return;
    }
    static const char* const names[] = {"", "join", "order", "complement", "bond", "one-of", "gap"};
    out += names[static_cast<int>(n.type)];
    out += '(';
    if (n.type == T::Gap) {
        out += n.gapText;
    } else {
        for (std::size_t k = 0; k < n.children.size(); ++k) {
            if (k) out += ',';
            writeNode(out, n.children[k]);
        }
    }
    out += ')';
}

void collectParts(const FeatureLocation::Node& n, std::vector<LocationPart>& out) {
    typedef FeatureLocation::Node::Type T;
    if (n.type == T::Part) {
        out.push_back(n.part);
        return;
    }
    if (n.type == T::Complement) {
        std::vector<LocationPart> inner;
        for (const auto& c : n.children) collectParts(c, inner);
        for (auto it = inner.rbegin(); it != inner.rend(); ++it) {
            it->reverse = !it->reverse;
            out.push_back(*it);
        }
        return;
    }
    for (const auto& c : n.children) collectParts(c, out);
}

const char* withoutSequence(const FeatureLocation::Node& n) {
    typedef FeatureLocation::Node::Type T;
    if (n.type == T::OneOf) return "one-of()";
    if (n.type == T::Gap) return "gap()";
    for (const auto& c : n.children)
        if (const char* name = withoutSequence(c)) return name;
    return nullptr;
}

// The first T or U decides (an entry holding both is no nucleotide sequence anyway).
bool readsAsRna(const std::string& residues) {
    for (char c : residues) {
        if (c == 'T' || c == 't') return false;
        if (c == 'U' || c == 'u') return true;
    }
    return false;
}

struct ComplementTable {
    char dna[256];
    char rna[256];
    ComplementTable() {
        for (int c = 0; c < 256; ++c) dna[c] = rna[c] = static_cast<char>(c);
        static const char* const pairs[] = {"AT", "CG", "RY", "KM", "BV", "DH"};
        for (const char* p : pairs) {
            for (int lower = 0; lower < 2; ++lower) {
                const int off = lower ? 'a' - 'A' : 0;
                const char a = static_cast<char>(p[0] + off), b = static_cast<char>(p[1] + off);
                dna[static_cast<unsigned char>(a)] = b;
                dna[static_cast<unsigned char>(b)] = a;
                rna[static_cast<unsigned char>(a)] = b;
                rna[static_cast<unsigned char>(b)] = a;
            }
        }
        dna[static_cast<unsigned char>('U')] = 'A';
        dna[static_cast<unsigned char>('u')] = 'a';
        rna[static_cast<unsigned char>('U')] = 'A';
        rna[static_cast<unsigned char>('u')] = 'a';
        rna[static_cast<unsigned char>('A')] = 'U';
        rna[static_cast<unsigned char>('a')] = 'u';
    }
};

} // namespace

FeatureLocation::FeatureLocation() = default;

FeatureLocation FeatureLocation::parse(const std::string& text) {
    Parser parser;
    parser.s.reserve(text.size());
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) parser.s += c;
    if (parser.s.empty()) throw LocationError("empty location");
    FeatureLocation location;
    location.root_ = parser.node();
    if (parser.i != parser.s.size()) parser.fail("unexpected text after the location");
    return location;
}

std::string FeatureLocation::text() const {
    std::string out;
    writeNode(out, root_);
    return out;
}

std::vector<LocationPart> FeatureLocation::parts() const {
    std::vector<LocationPart> out;
    collectParts(root_, out);
    return out;
}

FeatureLocation::Strand FeatureLocation::strand() const {
    const std::vector<LocationPart> all = parts();
    if (all.empty()) return Strand::None;
    const bool reverse = all[0].reverse;
    for (const LocationPart& p : all)
        if (p.reverse != reverse) return Strand::Mixed;
    return reverse ? Strand::Reverse : Strand::Forward;
}

const char* FeatureLocation::strandName(Strand strand) {
    switch (strand) {
    case Strand::Forward: return "+";
    case Strand::Reverse: return "-";
    case Strand::Mixed: return "mixed";
    default: return "none";
    }
}

bool FeatureLocation::partialStart() const {
    const std::vector<LocationPart> all = parts();
    if (all.empty()) return false;
    return all.front().reverse ? all.front().endAfter : all.front().startBefore;
}

bool FeatureLocation::partialEnd() const {
    const std::vector<LocationPart> all = parts();
    if (all.empty()) return false;
    return all.back().reverse ? all.back().startBefore : all.back().endAfter;
}

bool FeatureLocation::isRemote() const {
    for (const LocationPart& p : parts())
        if (p.isRemote()) return true;
    return false;
}

std::vector<std::string> FeatureLocation::remoteAccessions() const {
    std::vector<std::string> out;
    for (const LocationPart& p : parts())
        if (p.isRemote() && std::find(out.begin(), out.end(), p.accession) == out.end())
            out.push_back(p.accession);
    return out;
}

long FeatureLocation::minPosition() const {
    long best = 0;
    for (const LocationPart& p : parts())
        if (!p.isRemote() && (best == 0 || p.start < best)) best = p.start;
    return best;
}

long FeatureLocation::maxPosition() const {
    long best = 0;
    for (const LocationPart& p : parts())
        if (!p.isRemote() && p.end > best) best = p.end;
    return best;
}

std::string FeatureLocation::extract(const std::string& residues) const {
    if (const char* op = withoutSequence(root_))
        throw LocationError("location " + text() + " has no sequence of its own (" + op + ")");
    const std::vector<std::string> remote = remoteAccessions();
    if (!remote.empty()) {
        std::string names;
        for (const std::string& a : remote) names += (names.empty() ? "" : ", ") + a;
        throw LocationError("location " + text() + " reaches into another entry (" + names +
                            "), which is not at hand");
    }
    // Judged once on the whole entry: a piece of an RNA entry may hold no U of its own.
    const bool rna = readsAsRna(residues);
    std::string out;
    for (const LocationPart& p : parts()) {
        if (p.kind == LocationPart::Kind::Within)
            throw LocationError("location " + text() + " has an uncertain base (" +
                                std::to_string(p.start) + "." + std::to_string(p.end) + ")");
        // A between-base site has no residues, but it must lie in the entry all the same.
        if (p.end > static_cast<long>(residues.size()))
            throw LocationError("location " + text() + " goes past the end of the entry (" +
                                std::to_string(residues.size()) + " residues)");
        if (p.kind == LocationPart::Kind::Between) continue;
        std::string piece = residues.substr(static_cast<std::size_t>(p.start - 1),
                                            static_cast<std::size_t>(p.end - p.start + 1));
        out += p.reverse ? reverseComplement(piece, rna) : piece;
    }
    return out;
}

std::string reverseComplement(const std::string& residues, bool rna) {
    static const ComplementTable table;
    const char* map = rna ? table.rna : table.dna;
    std::string out(residues.size(), '\0');
    const std::size_t n = residues.size();
    for (std::size_t k = 0; k < n; ++k) out[n - 1 - k] = map[static_cast<unsigned char>(residues[k])];
    return out;
}

bool looksLikeRna(const std::string& residues) {
    bool u = false;
    for (char c : residues) {
        if (c == 'T' || c == 't') return false;
        if (c == 'U' || c == 'u') u = true;
    }
    return u;
}

const std::string& residuesToExtract(const Sequence& entry) {
    if (entry.residuesAbsent())
        throw LocationError("entry " + entry.name() + " holds no residues (its record declares " +
                            std::to_string(entry.declaredLength()) +
                            ": a master or contig record): no feature sequence to take");
    return entry.residues();
}

std::string extractFeature(const Feature& feature, const Sequence& entry) {
    return FeatureLocation::parse(feature.location).extract(residuesToExtract(entry));
}

std::string qualifierValue(const Feature& feature, const std::string& name, bool* found) {
    for (const auto& q : feature.qualifiers) {
        if (q.first == name) {
            if (found) *found = true;
            return q.second;
        }
    }
    if (found) *found = false;
    return std::string();
}

} // namespace Velm
