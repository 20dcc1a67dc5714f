#include "CrossFormat.h"

#include <contracts/Common.h>

#include <cctype>
#include <cstring>

namespace Ovik {

namespace {

// ---- small text helpers -------------------------------------------------------------------------

bool isDigits(const std::string& s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

std::string trimmed(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t") + 1 - b);
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    for (;;) {
        std::size_t at = s.find(sep, pos);
        out.push_back(s.substr(pos, at == std::string::npos ? std::string::npos : at - pos));
        if (at == std::string::npos)
            return out;
        pos = at + 1;
    }
}

// Lines of a multi-line value joined into one text.
std::string joined(const std::string& value) {
    std::string out;
    for (const std::string& line : split(value, '\n')) {
        std::string t = trimmed(line);
        if (!t.empty())
            out += (out.empty() ? "" : " ") + t;
    }
    return out;
}

std::string withoutSuffix(std::string s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    while (s.size() >= n && s.compare(s.size() - n, n, suffix) == 0)
        s.erase(s.size() - n);
    return trimmed(s);
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

bool isGenBankKey(const std::string& key) {
    if (key.size() < 3 || key.size() > 10)
        return false;
    for (char c : key)
        if (!std::isupper(static_cast<unsigned char>(c)) && c != '_')
            return false;
    return true;
}

bool isLineCode(const std::string& key) {
    return key.size() == 2 && std::isupper(static_cast<unsigned char>(key[0])) &&
           std::isupper(static_cast<unsigned char>(key[1]));
}

bool isDate(const std::string& s) {
    return s.size() >= 11 && std::isdigit(static_cast<unsigned char>(s[0])) &&
           std::isdigit(static_cast<unsigned char>(s[1])) && s[2] == '-' && s[6] == '-' &&
           std::isalpha(static_cast<unsigned char>(s[3])) && isDigits(s.substr(7, 4));
}

// ---- references, keywords, organism: one neutral form -------------------------------------------

struct Reference {
    std::string number;
    std::vector<std::pair<std::string, std::string>> ranges; // (from, to)
    std::string scope;    // what the reference is cited for (Swiss-Prot RP)
    std::string remark;   // EMBL RC, GenBank REMARK
    std::string group;    // RG, CONSRTM
    std::vector<std::string> authors; // "Smith J.A." each
    std::string title;
    std::string journal;
    std::vector<std::pair<std::string, std::string>> xrefs; // ("PUBMED", "123"), ("DOI", "10.1/x")
};

struct Header {
    std::string keywords;  // "a; b" (no final full stop)
    std::string source;    // the organism as named in full ("Homo sapiens (human)")
    std::string species;   // the scientific name alone
    std::string lineage;   // "Eukaryota; ...; Homo." lines joined with '\n'
    std::string comment;   // lines joined with '\n'
    std::string version;   // "X56734.1"
    std::string contig;    // a constructed entry's CONTIG (GenBank) or CO (EMBL) location
    std::vector<Reference> refs;
};

// A location continued over several lines, as one text: the lines meet without a blank.
std::string locationText(const std::string& value) {
    std::string out;
    for (const std::string& line : split(value, '\n'))
        out += trimmed(line);
    return out;
}

// "1-1859, 1900-2000" (EMBL RP): true with the ranges when the text is nothing else.
bool parseRanges(const std::string& text, std::vector<std::pair<std::string, std::string>>& out) {
    std::vector<std::pair<std::string, std::string>> ranges;
    for (const std::string& part : split(joined(text), ',')) {
        const std::string t = trimmed(part);
        const std::size_t dash = t.find('-');
        if (dash == std::string::npos || !isDigits(t.substr(0, dash)) || !isDigits(t.substr(dash + 1)))
            return false;
        ranges.emplace_back(t.substr(0, dash), t.substr(dash + 1));
    }
    out = ranges;
    return !out.empty();
}

// GenBank "Smith,J.A., Jones,K. and Doe,J." and EMBL "Smith J.A., Jones K., Doe J.;" alike.
std::vector<std::string> parseAuthors(const std::string& value, bool genbank) {
    std::string text = withoutSuffix(joined(value), ";");
    if (genbank) {
        const std::size_t and_ = text.rfind(" and ");
        if (and_ != std::string::npos)
            text.replace(and_, 5, ", ");
    }
    std::vector<std::string> out;
    for (const std::string& part : split(text, ',')) {
        std::string t = trimmed(part);
        if (t.empty())
            continue;
        // In GenBank "Smith,J.A." the comma sits inside an author: the part after it is initials.
        if (genbank && !out.empty() && out.back().find(' ') == std::string::npos &&
            t.find(' ') == std::string::npos && t.find('.') != std::string::npos) {
            out.back() += " " + t;
            continue;
        }
        out.push_back(t);
    }
    return out;
}

// Swiss "PubMed=123; DOI=10.1/x;" and EMBL "PUBMED; 123.\nDOI; 10.1/x." alike.
void parseXrefs(const std::string& value, Reference& ref) {
    for (const std::string& line : split(value, '\n')) {
        const std::string t = trimmed(line);
        if (t.find('=') != std::string::npos) {
            for (const std::string& item : split(t, ';')) {
                const std::size_t eq = item.find('=');
                if (eq == std::string::npos)
                    continue;
                std::string db = trimmed(item.substr(0, eq));
                for (char& c : db)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                const std::string id = trimmed(item.substr(eq + 1));
                if (!db.empty() && !id.empty())
                    ref.xrefs.emplace_back(db, id);
            }
        } else {
            const std::size_t semi = t.find(';');
            if (semi == std::string::npos)
                continue;
            std::string db = trimmed(t.substr(0, semi));
            for (char& c : db)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            const std::string id = withoutSuffix(trimmed(t.substr(semi + 1)), ".");
            if (!db.empty() && !id.empty())
                ref.xrefs.emplace_back(db, id);
        }
    }
}

std::string appendText(const std::string& to, const std::string& text) {
    if (text.empty())
        return to;
    return to.empty() ? text : to + "; " + text;
}

Header readGenBankHeader(const Velm::Sequence& seq) {
    Header h;
    for (const auto& a : seq.annotations()) {
        const std::string& k = a.first;
        const std::string& v = a.second;
        if (k == "KEYWORDS") {
            h.keywords = withoutSuffix(joined(v), ".");
        } else if (k == "CONTIG") {
            h.contig = locationText(v);
        } else if (k == "SOURCE") {
            // The line's closing full stop is the layout's; a name's own ("thale cress.") stays.
            std::string text = trimmed(joined(v));
            if (!text.empty() && text.back() == '.')
                text.pop_back();
            h.source = trimmed(text);
        } else if (k == "ORGANISM") {
            const std::size_t nl = v.find('\n');
            h.species = trimmed(v.substr(0, nl));
            if (nl != std::string::npos)
                h.lineage = v.substr(nl + 1);
        } else if (k == "COMMENT") {
            h.comment = v;
        } else if (k == "VERSION") {
            h.version = trimmed(v.substr(0, v.find_first_of(" \n")));
        } else if (k == "REFERENCE") {
            Reference r;
            const std::string t = joined(v);
            r.number = t.substr(0, t.find(' '));
            const std::size_t open = t.find('(');
            if (open != std::string::npos) {
                std::string inner = withoutSuffix(t.substr(open + 1), ")");
                const std::size_t sp = inner.find(' ');
                for (const std::string& part : split(sp == std::string::npos ? "" : inner.substr(sp + 1), ';')) {
                    const std::vector<std::string> w = split(trimmed(part), ' ');
                    if (w.size() == 3 && w[1] == "to" && isDigits(w[0]) && isDigits(w[2]))
                        r.ranges.emplace_back(w[0], w[2]);
                }
            }
            h.refs.push_back(r);
        } else if (!h.refs.empty()) {
            Reference& r = h.refs.back();
            if (k == "AUTHORS")
                r.authors = parseAuthors(v, true);
            else if (k == "CONSRTM")
                r.group = joined(v);
            else if (k == "TITLE")
                r.title = joined(v);
            else if (k == "JOURNAL")
                r.journal = joined(v);
            else if (k == "PUBMED" || k == "MEDLINE")
                r.xrefs.emplace_back(k, joined(v));
            else if (k == "REMARK")
                r.remark = appendText(r.remark, joined(v));
        }
    }
    return h;
}

Header readLineCodeHeader(const Velm::Sequence& seq) {
    Header h;
    for (const auto& a : seq.annotations()) {
        const std::string& k = a.first;
        const std::string& v = a.second;
        if (k == "KW") {
            h.keywords = withoutSuffix(joined(v), ".");
        } else if (k == "CO") {
            h.contig = locationText(v);
        } else if (k == "OS") {
            h.source = withoutSuffix(joined(v), ".");
            h.species = trimmed(h.source.substr(0, h.source.find(" (")));
        } else if (k == "OC") {
            h.lineage = v;
        } else if (k == "CC") {
            h.comment = v;
        } else if (k == "SV") {
            h.version = joined(v);
        } else if (k == "RN") {
            // "[1]", maybe followed by evidence ("[1] {ECO:0000313|EMBL:BAJ87517.1}").
            Reference r;
            const std::string t = joined(v);
            const std::size_t open = t.find('['), close = t.find(']');
            if (open != std::string::npos && close != std::string::npos && close > open)
                r.number = t.substr(open + 1, close - open - 1);
            h.refs.push_back(r);
        } else if (!h.refs.empty()) {
            Reference& r = h.refs.back();
            if (k == "RP") {
                if (!parseRanges(v, r.ranges))
                    r.scope = withoutSuffix(joined(v), ".");
            } else if (k == "RC") {
                r.remark = appendText(r.remark, withoutSuffix(joined(v), ";"));
            } else if (k == "RX") {
                parseXrefs(v, r);
            } else if (k == "RG") {
                r.group = withoutSuffix(joined(v), ";");
            } else if (k == "RA") {
                r.authors = parseAuthors(v, false);
            } else if (k == "RT") {
                std::string t = withoutSuffix(joined(v), ";");
                if (t.size() >= 2 && t.front() == '"' && t.back() == '"')
                    t = t.substr(1, t.size() - 2);
                r.title = t;
            } else if (k == "RL") {
                r.journal = r.journal.empty() ? joined(v) : r.journal + " " + joined(v);
            }
        }
    }
    return h;
}

void renderGenBank(const Header& h, bool protein, Velm::PropertyList& out) {
    if (!h.version.empty())
        out.emplace_back("VERSION", h.version);
    if (!h.keywords.empty())
        out.emplace_back("KEYWORDS", h.keywords + ".");
    if (!h.source.empty() || !h.species.empty()) {
        out.emplace_back("SOURCE", h.source.empty() ? h.species : h.source);
        std::string organism = h.species.empty() ? h.source : h.species;
        if (!h.lineage.empty())
            organism += "\n" + h.lineage;
        out.emplace_back("ORGANISM", organism);
    }
    for (std::size_t i = 0; i < h.refs.size(); ++i) {
        const Reference& r = h.refs[i];
        std::string head = isDigits(r.number) ? r.number : std::to_string(i + 1);
        if (!r.ranges.empty()) {
            head += std::string("  (") + (protein ? "residues" : "bases");
            for (std::size_t i = 0; i < r.ranges.size(); ++i)
                head += (i ? "; " : " ") + r.ranges[i].first + " to " + r.ranges[i].second;
            head += ")";
        }
        out.emplace_back("REFERENCE", head);
        if (!r.authors.empty()) {
            std::string authors;
            for (std::size_t i = 0; i < r.authors.size(); ++i) {
                std::string a = r.authors[i];
                const std::size_t sp = a.rfind(' ');
                if (sp != std::string::npos)
                    a[sp] = ',';
                authors += (i == 0 ? "" : i + 1 == r.authors.size() ? " and " : ", ") + a;
            }
            out.emplace_back("AUTHORS", authors);
        }
        if (!r.group.empty())
            out.emplace_back("CONSRTM", r.group);
        if (!r.title.empty())
            out.emplace_back("TITLE", r.title);
        if (!r.journal.empty())
            out.emplace_back("JOURNAL", r.journal);
        for (const auto& x : r.xrefs)
            if (x.first == "PUBMED" || x.first == "MEDLINE")
                out.emplace_back(x.first, x.second);
        const std::string remark = appendText(r.scope, r.remark);
        if (!remark.empty())
            out.emplace_back("REMARK", remark);
    }
    if (!h.comment.empty())
        out.emplace_back("COMMENT", h.comment);
    if (!h.contig.empty())
        out.emplace_back("CONTIG", h.contig);
}

// Swiss-Prot "PubMed=123; DOI=10.1/x;" on one line; EMBL "PUBMED; 123." a line each.
std::string xrefLines(const Reference& r, bool swiss) {
    std::string rx;
    for (const auto& x : r.xrefs) {
        if (swiss) {
            const std::string db = x.first == "PUBMED" ? "PubMed" : x.first;
            rx += (rx.empty() ? "" : " ") + db + "=" + x.second + ";";
        } else {
            rx += (rx.empty() ? "" : "\n") + x.first + "; " + x.second + ".";
        }
    }
    return rx;
}

void renderLineCodes(const Header& h, bool swiss, Velm::PropertyList& out) {
    if (!h.source.empty() || !h.species.empty())
        out.emplace_back("OS", (h.source.empty() ? h.species : h.source) + (swiss ? "." : ""));
    if (!h.lineage.empty())
        out.emplace_back("OC", h.lineage);
    for (std::size_t i = 0; i < h.refs.size(); ++i) {
        const Reference& r = h.refs[i];
        out.emplace_back("RN", "[" + (isDigits(r.number) ? r.number : std::to_string(i + 1)) + "]");
        if (swiss && !r.scope.empty())
            out.emplace_back("RP", r.scope + ".");
        if (!swiss && !r.ranges.empty()) {
            std::string rp;
            for (const auto& range : r.ranges)
                rp += (rp.empty() ? "" : ", ") + range.first + "-" + range.second;
            out.emplace_back("RP", rp);
        }
        if (!swiss && !r.remark.empty())
            out.emplace_back("RC", r.remark);
        if (!r.xrefs.empty())
            out.emplace_back("RX", xrefLines(r, swiss));
        if (!r.group.empty())
            out.emplace_back("RG", r.group + (swiss ? ";" : ""));
        if (!r.authors.empty()) {
            std::string ra;
            for (const std::string& a : r.authors)
                ra += (ra.empty() ? "" : ", ") + a;
            out.emplace_back("RA", ra + ";");
        }
        out.emplace_back("RT", r.title.empty() ? std::string(";") : "\"" + r.title + "\";");
        if (!r.journal.empty())
            out.emplace_back("RL", r.journal);
    }
    if (!h.keywords.empty())
        out.emplace_back("KW", h.keywords + ".");
    if (!h.comment.empty())
        out.emplace_back("CC", h.comment);
    if (!swiss && !h.contig.empty())
        out.emplace_back("CO", h.contig);
}

// ---- line codes kept between EMBL and Swiss-Prot --------------------------------------------------

bool oneOf(const std::string& key, std::initializer_list<const char*> keys) {
    for (const char* k : keys)
        if (key == k)
            return true;
    return false;
}

// An EMBL DT line: "12-SEP-1991 (Rel. 29, Created)" or "... (Rel. 81, Last updated, Version 13)".
bool emblDate(const std::string& line) {
    return isDate(line) && contains(line, "(Rel.") &&
           (contains(line, ", Created)") || contains(line, ", Last updated, Version"));
}

// A Swiss-Prot DT line, new ("01-JAN-1990, integrated into UniProtKB/Swiss-Prot.") or old
// ("01-FEB-1995 (Rel. 31, Created)", "... Last sequence update)", "... Last annotation update)").
bool swissDate(const std::string& line) {
    if (!isDate(line))
        return false;
    return contains(line, "integrated into") || contains(line, "sequence version") ||
           contains(line, "entry version") ||
           (contains(line, "(Rel.") &&
            (contains(line, ", Created)") || contains(line, "Last sequence update)") ||
             contains(line, "Last annotation update)")));
}

// The DT lines the target can read, translated where the meaning is the same.
std::string datesFor(bool swiss, const std::string& value) {
    std::string out;
    for (std::string line : split(value, '\n')) {
        line = trimmed(line);
        if (swiss && !swissDate(line) && emblDate(line)) {
            // EMBL's entry update is Swiss-Prot's annotation update; its version has no place.
            line = line.substr(0, line.find(", Last updated")) + ", Last annotation update)";
        }
        if (swiss ? swissDate(line) : emblDate(line))
            out += (out.empty() ? "" : "\n") + line;
    }
    return out;
}

void passLineCodes(const Velm::Sequence& seq, bool swiss, Velm::PropertyList& out) {
    for (const auto& a : seq.annotations()) {
        const std::string& k = a.first;
        if (!isLineCode(k))
            continue;
        if (swiss ? !oneOf(k, {"DT", "GN", "OS", "OG", "OC", "OX", "OH", "RN", "RP", "RC", "RX", "RG", "RA",
                               "RT", "RL", "CC", "DR", "PE", "KW"})
                  : !oneOf(k, {"PR", "DT", "KW", "OS", "OC", "OG", "RN", "RC", "RP", "RX", "RG", "RA", "RT",
                               "RL", "DR", "CC", "AH", "AS", "CO", "SV"}))
            continue;
        std::string value = a.second;
        if (k == "DT") {
            value = datesFor(swiss, value);
        } else if (k == "RP") {
            // EMBL's RP holds base ranges, Swiss-Prot's what the reference is cited for.
            std::vector<std::pair<std::string, std::string>> ranges;
            if (parseRanges(value, ranges) == swiss)
                value.clear();
        } else if (k == "RX") {
            Reference r;
            parseXrefs(value, r);
            value = xrefLines(r, swiss);
        } else if (k == "RC" && swiss) {
            // Swiss-Prot's RC is a list of TOKEN=value; pairs; EMBL's is free text.
            const std::string t = joined(value);
            if (t.find('=') == std::string::npos || t.back() != ';')
                value.clear();
        }
        if (!value.empty())
            out.emplace_back(k, value);
    }
}

// ---- feature tables --------------------------------------------------------------------------

struct SwissKey {
    const char* key;
    const char* insdcKey;   // the INSDC key it becomes
    const char* kind;       // /region_name, /site_type, /bond_type or /sec_str_type value
};

// Swiss-Prot feature keys, their INSDC counterparts and the names UniProt gives them.
const SwissKey kSwissKeys[] = {
    {"SIGNAL", "sig_peptide", nullptr},     {"TRANSIT", "transit_peptide", nullptr},
    {"PROPEP", "propeptide", nullptr},      {"CHAIN", "mat_peptide", nullptr},
    {"PEPTIDE", "mat_peptide", nullptr},    {"DISULFID", "Bond", "disulfide"},
    {"CROSSLNK", "Bond", "xlink"},          {"HELIX", "SecStr", "helix"},
    {"STRAND", "SecStr", "sheet"},          {"TURN", "SecStr", "turn"},
    {"ACT_SITE", "Site", "active"},         {"BINDING", "Site", "binding"},
    {"METAL", "Site", "metal-binding"},     {"MOD_RES", "Site", "modified"},
    {"CARBOHYD", "Site", "glycosylation"},  {"LIPID", "Site", "lipid-binding"},
    {"MUTAGEN", "Site", "mutagenized"},     {"SITE", "Site", "other"},
    {"DOMAIN", "Region", "Domain"},         {"REGION", "Region", "Region of interest"},
    {"REPEAT", "Region", "Repeat"},         {"TOPO_DOM", "Region", "Topological domain"},
    {"TRANSMEM", "Region", "Transmembrane"}, {"INTRAMEM", "Region", "Intramembrane"},
    {"ZN_FING", "Region", "Zinc finger"},   {"DNA_BIND", "Region", "DNA binding"},
    {"CA_BIND", "Region", "Calcium binding"}, {"NP_BIND", "Region", "Nucleotide binding"},
    {"COILED", "Region", "Coiled coil"},    {"MOTIF", "Region", "Motif"},
    {"COMPBIAS", "Region", "Compositional bias"}, {"VAR_SEQ", "Region", "Alternative sequence"},
    {"VARIANT", "Region", "Natural variant"}, {"CONFLICT", "Region", "Sequence conflict"},
    {"UNSURE", "Region", "Sequence uncertainty"}, {"NON_STD", "Region", "Non-standard residue"},
    {"NON_CONS", "Region", "Non-adjacent residues"}, {"NON_TER", "Region", "Non-terminal residue"},
    {"INIT_MET", "Region", "Initiator methionine"},
};

const SwissKey* swissKey(const std::string& key) {
    for (const SwissKey& k : kSwissKeys)
        if (key == k.key)
            return &k;
    return nullptr;
}

std::string qualifier(const Velm::Feature& f, const char* name) {
    for (const auto& q : f.qualifiers)
        if (q.first == name)
            return q.second;
    return std::string();
}

// A Swiss-Prot position: digits, optionally after '<', '>' or '?', or '?' alone.
bool swissPosition(const std::string& p) {
    if (p == "?")
        return true;
    std::size_t i = (!p.empty() && (p[0] == '<' || p[0] == '>' || p[0] == '?')) ? 1 : 0;
    return isDigits(p.substr(i));
}

bool validSwissLocation(const std::string& location) {
    std::string loc = location;
    const std::size_t colon = loc.find(':');
    if (colon != std::string::npos)
        loc = loc.substr(colon + 1);
    const std::size_t dots = loc.find("..");
    if (dots == std::string::npos)
        return swissPosition(loc);
    return swissPosition(loc.substr(0, dots)) && swissPosition(loc.substr(dots + 2));
}

// An INSDC location of one simple range (or a bond between two residues) as Swiss-Prot writes it.
bool insdcToSwissLocation(const std::string& location, std::string& out) {
    std::string loc = location;
    if (startsWith(loc, "bond(") && loc.back() == ')') {
        const std::vector<std::string> ends = split(loc.substr(5, loc.size() - 6), ',');
        if (ends.size() == 1)
            loc = ends[0];
        else if (ends.size() == 2)
            loc = ends[0] + ".." + ends[1];
        else
            return false;
    }
    if (loc.find(':') != std::string::npos || !validSwissLocation(loc) || loc.find('?') != std::string::npos)
        return false;
    out = loc;
    return true;
}

// Feature keys are one word of letters, digits and _ - ' * ("5'UTR", "D-loop", "misc_feature").
bool insdcKey(const std::string& key) {
    for (char c : key)
        if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr("_-'*", c))
            return false;
    return !key.empty();
}

void sanitizeQualifiers(Velm::Feature& f) {
    for (auto& q : f.qualifiers) {
        for (char& c : q.first)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
                c = '_';
        q.second = cmn::oneLineText(q.second);
    }
}

Velm::Feature swissToInsdc(const Velm::Feature& f, const SwissKey& k, const std::string& location) {
    Velm::Feature g;
    g.key = k.insdcKey;
    g.location = location;
    const std::string insdc(k.insdcKey);
    if (insdc == "Bond") {
        const std::size_t dots = location.find("..");
        const std::string ends =
            dots == std::string::npos ? location : location.substr(0, dots) + "," + location.substr(dots + 2);
        g.location = "bond(" + ends + ")";
        g.qualifiers.emplace_back("bond_type", k.kind);
    } else if (insdc == "SecStr") {
        g.qualifiers.emplace_back("sec_str_type", k.kind);
    } else if (insdc == "Site") {
        g.qualifiers.emplace_back("site_type", k.kind);
    } else if (insdc == "Region") {
        g.qualifiers.emplace_back("region_name", k.kind);
    }
    std::string note = qualifier(f, "note");
    const std::string id = qualifier(f, "id");
    if (!id.empty())
        note = appendText(note, "FTId=" + id);
    if (!note.empty())
        g.qualifiers.emplace_back("note", note);
    return g;
}

// The Swiss-Prot key an INSDC feature of a protein stands for; null when it has none (features
// of the nucleotide sequence, the whole protein).
const char* insdcToSwissKey(const Velm::Feature& f) {
    const std::string& key = f.key;
    if (key == "Bond")
        return qualifier(f, "bond_type") == "disulfide" ? "DISULFID" : "CROSSLNK";
    if (key == "SecStr") {
        const std::string t = qualifier(f, "sec_str_type");
        return t == "sheet" ? "STRAND" : t == "turn" ? "TURN" : "HELIX";
    }
    if (key == "Site" || key == "Region") {
        const std::string kind = qualifier(f, key == "Site" ? "site_type" : "region_name");
        for (const SwissKey& k : kSwissKeys)
            if (key == k.insdcKey && k.kind && kind == k.kind)
                return k.key;
        if (key == "Site")
            return kind == "phosphorylation" || kind == "acetylation" || kind == "methylation" ||
                           kind == "amidation" || kind == "hydroxylation"
                       ? "MOD_RES"
                       : "SITE";
        return "REGION";
    }
    if (key == "variation")
        return "VARIANT";
    for (const SwissKey& k : kSwissKeys)
        if (key == k.insdcKey && !k.kind)
            return k.key;
    return nullptr;
}

Velm::Feature insdcToSwiss(const Velm::Feature& f, const char* key, const std::string& location) {
    Velm::Feature g;
    g.key = key;
    g.location = location;
    std::string note;
    if (f.key == "Region") {
        const std::string name = qualifier(f, "region_name");
        const SwissKey* k = swissKey(key);
        if (!k || !k->kind || name != k->kind)
            note = name;
    }
    for (const char* name : {"product", "name", "note"})
        note = appendText(note, qualifier(f, name));
    if (!note.empty())
        g.qualifiers.emplace_back("note", cmn::oneLineText(note));
    const std::string evidence = qualifier(f, "evidence");
    if (!evidence.empty())
        g.qualifiers.emplace_back("evidence", cmn::oneLineText(evidence));
    return g;
}

// ---- INSDC location grammar ------------------------------------------------------------------

class LocationParser {
public:
    explicit LocationParser(const std::string& s) : s_(s) {}
    bool run() { return location() && pos_ == s_.size(); }

private:
    bool location() {
        static const char* const ops[] = {"complement(", "join(", "order(", "bond(", "one-of("};
        for (const char* op : ops)
            if (s_.compare(pos_, std::strlen(op), op) == 0) {
                pos_ += std::strlen(op);
                if (!location())
                    return false;
                while (peek() == ',') {
                    ++pos_;
                    if (!location())
                        return false;
                }
                return take(')');
            }
        if (s_.compare(pos_, 4, "gap(") == 0) {
            pos_ += 4;
            while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_]))))
                ++pos_;
            return take(')');
        }
        // A remote entry: ACCESSION[.VERSION]:range
        std::size_t save = pos_;
        while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_' ||
                                    s_[pos_] == '.' || s_[pos_] == '-'))
            ++pos_;
        if (peek() == ':' && pos_ > save && std::isalpha(static_cast<unsigned char>(s_[save])))
            ++pos_;
        else
            pos_ = save;
        return range();
    }

    bool range() {
        if (!position())
            return false;
        if (s_.compare(pos_, 2, "..") == 0) {
            pos_ += 2;
            return position();
        }
        if (peek() == '^' || peek() == '.') {
            ++pos_;
            return position();
        }
        return true;
    }

    bool position() {
        if (peek() == '(') { // (102.110): one of the positions between
            ++pos_;
            if (!digits() || !take('.') || !digits())
                return false;
            return take(')');
        }
        if (peek() == '<' || peek() == '>')
            ++pos_;
        return digits();
    }

    bool digits() {
        const std::size_t start = pos_;
        while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
        return pos_ > start;
    }

    char peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }
    bool take(char c) {
        if (peek() != c)
            return false;
        ++pos_;
        return true;
    }

    const std::string& s_;
    std::size_t pos_ = 0;
};

} // namespace

bool validInsdcLocation(const std::string& location) { return LocationParser(location).run(); }

bool swissToInsdcLocation(const std::string& location, std::string& out) {
    std::string remote, loc = location;
    const std::size_t colon = loc.find(':');
    if (colon != std::string::npos) {
        remote = loc.substr(0, colon + 1);
        loc = loc.substr(colon + 1);
    }
    if (!validSwissLocation(loc))
        return false;
    const std::size_t dots = loc.find("..");
    std::string from = loc.substr(0, dots);
    std::string to = dots == std::string::npos ? from : loc.substr(dots + 2);
    // An uncertain position ("?31") is its number; an unknown one ('?') is a partial end at
    // the other, known end: the nearest location the INSDC grammar can state.
    auto number = [](const std::string& p) {
        const std::size_t digit = p.find_first_of("0123456789");
        return digit == std::string::npos ? std::string() : p.substr(digit);
    };
    if (from.size() > 1 && from[0] == '?')
        from.erase(0, 1);
    if (to.size() > 1 && to[0] == '?')
        to.erase(0, 1);
    if (from == "?" && to == "?")
        return false;
    if (from == "?")
        from = "<" + number(to);
    if (to == "?")
        to = ">" + number(from);
    out = remote + (from == to ? from : from + ".." + to);
    return validInsdcLocation(out);
}

Velm::PropertyList headerFor(FlatLayout target, const Velm::Sequence& seq) {
    Velm::PropertyList out;
    bool genbankFields = false, lineCodes = false;
    for (const auto& a : seq.annotations()) {
        genbankFields = genbankFields || isGenBankKey(a.first);
        lineCodes = lineCodes || isLineCode(a.first);
    }
    const bool protein = seq.isProtein();
    if (target == FlatLayout::GenBank) {
        for (const auto& a : seq.annotations())
            if (isGenBankKey(a.first))
                out.push_back(a);
        if (lineCodes)
            renderGenBank(readLineCodeHeader(seq), protein, out);
        return out;
    }
    const bool swiss = target == FlatLayout::Swiss;
    if (genbankFields)
        renderLineCodes(readGenBankHeader(seq), swiss, out);
    passLineCodes(seq, swiss, out);
    return out;
}

std::vector<Velm::Feature> featuresFor(FlatLayout target, const Velm::Sequence& seq,
                                       const WarningSink& warn) {
    std::vector<Velm::Feature> out;
    auto leaveOut = [&](const Velm::Feature& f, const char* why) {
        if (warn)
            warn("feature " + cmn::oneLineText(f.key) + " at " + cmn::oneLineText(f.location) + " of " +
                 cmn::singleTokenName(seq.name(), 0) + " left out: " + why);
    };
    for (const Velm::Feature& f : seq.features()) {
        const SwissKey* sk = swissKey(f.key);
        const std::string location = cmn::oneLineText(f.location);
        if (target == FlatLayout::Swiss) {
            if (sk) {
                if (!validSwissLocation(location)) {
                    leaveOut(f, "the location is not a Swiss-Prot position range");
                    continue;
                }
                Velm::Feature g;
                g.key = f.key;
                g.location = location;
                // Swiss-Prot knows these three, each once a feature.
                for (const char* name : {"note", "evidence", "id"}) {
                    std::string value;
                    for (const auto& q : f.qualifiers)
                        if (q.first == name)
                            value = appendText(value, cmn::oneLineText(q.second));
                    if (!value.empty())
                        g.qualifiers.emplace_back(name, value);
                }
                out.push_back(std::move(g));
                continue;
            }
            const char* key = insdcToSwissKey(f);
            if (!key)
                continue; // describes the nucleotide sequence or the whole protein
            std::string swissLocation;
            if (!insdcToSwissLocation(location, swissLocation)) {
                leaveOut(f, "Swiss-Prot has no form for the location");
                continue;
            }
            out.push_back(insdcToSwiss(f, key, swissLocation));
            continue;
        }
        if (sk) {
            std::string insdc;
            if (!swissToInsdcLocation(location, insdc)) {
                leaveOut(f, "no end of the location is known");
                continue;
            }
            out.push_back(swissToInsdc(f, *sk, insdc));
            continue;
        }
        Velm::Feature g = f;
        g.key = cmn::singleTokenName(f.key, 0);
        if (f.key.empty() || !insdcKey(g.key)) {
            leaveOut(f, "the key is not a feature key");
            continue;
        }
        g.location = location;
        if (!validInsdcLocation(g.location) && !swissToInsdcLocation(g.location, g.location)) {
            leaveOut(f, "the location is not valid in the feature table");
            continue;
        }
        sanitizeQualifiers(g);
        out.push_back(std::move(g));
    }
    return out;
}

std::string lastEntryDate(const Velm::Sequence& seq) {
    std::string date = seq.annotation("date");
    if (isDate(date))
        return date.substr(0, 11);
    date.clear();
    for (const auto& a : seq.annotations())
        if (a.first == "DT")
            for (const std::string& line : split(a.second, '\n')) {
                const std::string t = trimmed(line);
                if (isDate(t))
                    date = t.substr(0, 11);
            }
    return date;
}

} // namespace Ovik
