#include <contracts/GeneticCode.h>

#include <contracts/Common.h>
#include <contracts/FeatureLocation.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace Velm {

namespace {

// Bits of the unambiguous bases each IUPAC code stands for, in TCAG order (T=1, C=2, A=4, G=8).
int baseMask(char c) {
    switch (std::toupper(static_cast<unsigned char>(c))) {
    case 'T': case 'U': return 1;
    case 'C': return 2;
    case 'A': return 4;
    case 'G': return 8;
    case 'Y': return 1 | 2;
    case 'R': return 4 | 8;
    case 'W': return 1 | 4;
    case 'S': return 2 | 8;
    case 'K': return 1 | 8;
    case 'M': return 2 | 4;
    case 'B': return 1 | 2 | 8;
    case 'D': return 1 | 4 | 8;
    case 'H': return 1 | 2 | 4;
    case 'V': return 2 | 4 | 8;
    case 'N': return 15;
    default: return 0;
    }
}

} // namespace

// The NCBI tables in their own layout: 64 codons in TCAG order (TTT, TTC, TTA, TTG, TCT, ...).
// The stops line marks the codons that end translation at the end of a gene: in most codes the
// '*' of the amino acid line; in 27, 28 and 31 also codons that read as Q, W or E inside a gene.
struct GeneticCodeTables {
    std::vector<GeneticCode> codes;
    GeneticCodeTables() {
        struct Row { int id; const char* name; const char* aas; const char* starts; const char* stops; };
        static const Row rows[] = {
            {1, "Standard",
             "FFLLSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "---M---------------M---------------M----------------------------", nullptr},
            {2, "Vertebrate Mitochondrial",
             "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNKKSS**VVVVAAAADDEEGGGG",
             "--------------------------------MMMM---------------M------------", nullptr},
            {3, "Yeast Mitochondrial",
             "FFLLSSSSYY**CCWWTTTTPPPPHHQQRRRRIIMMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "----------------------------------MM---------------M------------", nullptr},
            {4, "Mold, Protozoan, and Coelenterate Mitochondrial and Mycoplasma/Spiroplasma",
             "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "--MM---------------M------------MMMM---------------M------------", nullptr},
            {5, "Invertebrate Mitochondrial",
             "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNKKSSSSVVVVAAAADDEEGGGG",
             "---M----------------------------MMMM---------------M------------", nullptr},
            {6, "Ciliate, Dasycladacean and Hexamita Nuclear",
             "FFLLSSSSYYQQCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-----------------------------------M----------------------------", nullptr},
            {9, "Echinoderm and Flatworm Mitochondrial",
             "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNNKSSSSVVVVAAAADDEEGGGG",
             "-----------------------------------M---------------M------------", nullptr},
            {10, "Euplotid Nuclear",
             "FFLLSSSSYY**CCCWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-----------------------------------M----------------------------", nullptr},
            {11, "Bacterial, Archaeal and Plant Plastid",
             "FFLLSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "---M---------------M------------MMMM---------------M------------", nullptr},
            {12, "Alternative Yeast Nuclear",
             "FFLLSSSSYY**CC*WLLLSPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-------------------M---------------M----------------------------", nullptr},
            {13, "Ascidian Mitochondrial",
             "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNKKSSGGVVVVAAAADDEEGGGG",
             "---M------------------------------MM---------------M------------", nullptr},
            {14, "Alternative Flatworm Mitochondrial",
             "FFLLSSSSYYY*CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNNKSSSSVVVVAAAADDEEGGGG",
             "-----------------------------------M----------------------------", nullptr},
            {15, "Blepharisma Macronuclear",
             "FFLLSSSSYY*QCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-----------------------------------M----------------------------", nullptr},
            {16, "Chlorophycean Mitochondrial",
             "FFLLSSSSYY*LCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-----------------------------------M----------------------------", nullptr},
            {21, "Trematode Mitochondrial",
             "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNNKSSSSVVVVAAAADDEEGGGG",
             "-----------------------------------M---------------M------------", nullptr},
            {22, "Scenedesmus obliquus Mitochondrial",
             "FFLLSS*SYY*LCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-----------------------------------M----------------------------", nullptr},
            {23, "Thraustochytrium Mitochondrial",
             "FF*LSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "--------------------------------M--M---------------M------------", nullptr},
            {24, "Rhabdopleuridae Mitochondrial",
             "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSSKVVVVAAAADDEEGGGG",
             "---M---------------M---------------M---------------M------------", nullptr},
            {25, "Candidate Division SR1 and Gracilibacteria",
             "FFLLSSSSYY**CCGWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "---M-------------------------------M---------------M------------", nullptr},
            {26, "Pachysolen tannophilus Nuclear",
             "FFLLSSSSYY**CC*WLLLAPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-------------------M---------------M----------------------------", nullptr},
            {27, "Karyorelict Nuclear",
             "FFLLSSSSYYQQCCWWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-----------------------------------M----------------------------",
             "--------------*-------------------------------------------------"},
            {28, "Condylostoma Nuclear",
             "FFLLSSSSYYQQCCWWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-----------------------------------M----------------------------",
             "----------**--*-------------------------------------------------"},
            {29, "Mesodinium Nuclear",
             "FFLLSSSSYYYYCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-----------------------------------M----------------------------", nullptr},
            {30, "Peritrich Nuclear",
             "FFLLSSSSYYEECC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-----------------------------------M----------------------------", nullptr},
            {31, "Blastocrithidia Nuclear",
             "FFLLSSSSYYEECCWWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "-----------------------------------M----------------------------",
             "----------**----------------------------------------------------"},
            {32, "Balanophoraceae Plastid",
             "FFLLSSSSYY*WCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
             "---M---------------M------------MMMM---------------M------------", nullptr},
            {33, "Cephalodiscidae Mitochondrial",
             "FFLLSSSSYYY*CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSSKVVVVAAAADDEEGGGG",
             "---M---------------M---------------M---------------M------------", nullptr},
        };
        for (const Row& r : rows)
            codes.push_back(GeneticCode(r.id, r.name, r.aas, r.starts, r.stops ? r.stops : r.aas));
    }
};

namespace {
const GeneticCodeTables& tables() {
    static const GeneticCodeTables t;
    return t;
}
} // namespace

GeneticCode::GeneticCode(int id, const char* name, const char* aas, const char* starts, const char* stops)
    : id_(id), name_(name), aas_(aas), starts_(starts), stops_(stops) {}

const GeneticCode& GeneticCode::byId(int id) {
    for (const GeneticCode& code : tables().codes)
        if (code.id_ == id) return code;
    throw TranslationError("no genetic code numbered " + std::to_string(id) +
                           " (NCBI defines 1-6, 9-16, 21-33)");
}

std::vector<int> GeneticCode::ids() {
    std::vector<int> out;
    for (const GeneticCode& code : tables().codes) out.push_back(code.id_);
    return out;
}

template <typename F>
bool GeneticCode::forEachReading(const char* codon, F f) {
    const int m0 = baseMask(codon[0]), m1 = baseMask(codon[1]), m2 = baseMask(codon[2]);
    if (!m0 || !m1 || !m2) return false;
    for (int a = 0; a < 4; ++a)
        if (m0 & (1 << a))
            for (int b = 0; b < 4; ++b)
                if (m1 & (1 << b))
                    for (int c = 0; c < 4; ++c)
                        if (m2 & (1 << c)) f(a * 16 + b * 4 + c);
    return true;
}

char GeneticCode::translateCodon(const char* codon) const {
    if (codon[0] == '-' && codon[1] == '-' && codon[2] == '-') return '-';
    char aa = 0;
    bool mixed = false;
    if (!forEachReading(codon, [&](int i) {
            if (!aa) aa = aas_[i];
            else if (aa != aas_[i]) mixed = true;
        }))
        return 'X';
    if (!mixed) return aa;
    // Readings that differ only between the two members of an ambiguous pair (B = D/N, Z = E/Q,
    // J = I/L) keep that letter, as the IUPAC protein codes allow.
    std::string seen;
    forEachReading(codon, [&](int i) {
        if (seen.find(aas_[i]) == std::string::npos) seen += aas_[i];
    });
    std::sort(seen.begin(), seen.end());
    if (seen == "DN") return 'B';
    if (seen == "EQ") return 'Z';
    if (seen == "IL") return 'J';
    return 'X';
}

bool GeneticCode::isStart(const char* codon) const {
    bool all = true;
    if (!forEachReading(codon, [&](int i) { all = all && starts_[i] == 'M'; })) return false;
    return all;
}

bool GeneticCode::isStop(const char* codon) const {
    bool all = true;
    if (!forEachReading(codon, [&](int i) { all = all && stops_[i] == '*'; })) return false;
    return all;
}

std::string GeneticCode::translate(const std::string& residues) const {
    std::string out;
    out.reserve(residues.size() / 3);
    for (std::size_t i = 0; i + 3 <= residues.size(); i += 3) out += translateCodon(residues.data() + i);
    return out;
}

Translation translate(const std::string& residues, const TranslationOptions& options) {
    const GeneticCode& code = GeneticCode::byId(options.table);
    Translation result;
    const std::size_t codons = residues.size() / 3;
    if (!options.cds) {
        for (std::size_t i = 0; i < codons; ++i) {
            const char* codon = residues.data() + 3 * i;
            char aa = code.translateCodon(codon);
            if (options.toStop && (aa == '*' || code.isStop(codon))) break;
            result.protein += aa;
        }
        return result;
    }
    if (residues.size() % 3 != 0 && !options.partialEnd)
        throw TranslationError("CDS length " + std::to_string(residues.size()) +
                               " is not a multiple of three");
    if (codons == 0) throw TranslationError("CDS has no complete codon");
    std::size_t last = codons; // codons to translate
    const char* lastCodon = residues.data() + 3 * (codons - 1);
    if (code.isStop(lastCodon) && residues.size() % 3 == 0) {
        --last;
    } else if (!options.partialEnd) {
        throw TranslationError("CDS does not end with a stop codon (last codon " +
                               std::string(lastCodon, 3) + ", table " + std::to_string(code.id()) + ")");
    }
    result.protein.reserve(last);
    for (std::size_t i = 0; i < last; ++i) {
        const char* codon = residues.data() + 3 * i;
        char aa = code.translateCodon(codon);
        if (i == 0 && !options.partialStart) {
            if (!code.isStart(codon))
                throw TranslationError("CDS does not begin with a start codon (first codon " +
                                       std::string(codon, 3) + ", table " + std::to_string(code.id()) + ")");
            aa = 'M';
        }
        if (aa == '*') {
            std::string message = "internal stop codon " + std::string(codon, 3) + " at codon " +
                                  std::to_string(i + 1);
            if (!options.lenient) throw TranslationError(message);
            result.problems.push_back(message);
        }
        result.protein += aa;
    }
    return result;
}

namespace {

long parseNumber(const std::string& text, const std::string& what) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') throw TranslationError("bad /" + what + " value '" + cmn::inputExcerpt(text) + "'");
    return value;
}

std::string trimmed(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

// The one-letter code of an amino acid named in /transl_except ("Sec", "Met", "TERM", "OTHER").
char aminoAcidLetter(const std::string& name) {
    static const char* const names[][2] = {
        {"Ala", "A"}, {"Arg", "R"}, {"Asn", "N"}, {"Asp", "D"}, {"Cys", "C"}, {"Gln", "Q"},
        {"Glu", "E"}, {"Gly", "G"}, {"His", "H"}, {"Ile", "I"}, {"Leu", "L"}, {"Lys", "K"},
        {"Met", "M"}, {"Phe", "F"}, {"Pro", "P"}, {"Ser", "S"}, {"Thr", "T"}, {"Trp", "W"},
        {"Tyr", "Y"}, {"Val", "V"}, {"Sec", "U"}, {"Pyl", "O"}, {"Asx", "B"}, {"Glx", "Z"},
        {"Xle", "J"}, {"Xaa", "X"}, {"OTHER", "X"}, {"TERM", "*"}};
    for (const auto& n : names)
        if (name == n[0]) return n[1][0];
    if (name.size() == 1 && std::isalpha(static_cast<unsigned char>(name[0])))
        return static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    throw TranslationError("unknown amino acid '" + name + "' in /transl_except");
}

} // namespace

Translation translateFeature(const Feature& feature, const Sequence& entry, int defaultTable) {
    if (entry.isProtein() || entry.moleculeType() == Sequence::MoleculeType::Protein)
        throw TranslationError("entry " + entry.name() + " is a protein: nothing to translate");
    const FeatureLocation location = FeatureLocation::parse(feature.location);
    std::string nucleotides = location.extract(residuesToExtract(entry));
    TranslationOptions options;
    bool found = false;
    const std::string table = qualifierValue(feature, "transl_table", &found);
    options.table = found ? static_cast<int>(parseNumber(trimmed(table), "transl_table")) : defaultTable;
    const std::string start = qualifierValue(feature, "codon_start", &found);
    long codonStart = found ? parseNumber(trimmed(start), "codon_start") : 1;
    if (codonStart < 1 || codonStart > 3)
        throw TranslationError("/codon_start must be 1, 2 or 3, not " + std::to_string(codonStart));
    options.cds = feature.key == "CDS";
    options.partialStart = location.partialStart() || codonStart != 1;
    options.partialEnd = location.partialEnd();
    options.lenient = true;

    // /transl_except=(pos:1002..1004,aa:Sec): codons read otherwise, found by their place in the
    // feature's own residues.
    std::vector<std::pair<std::size_t, char>> exceptions; // codon index in the trimmed residues
    std::vector<LocationPart> parts = location.parts();
    for (const auto& q : feature.qualifiers) {
        if (q.first != "transl_except") continue;
        const std::string v = trimmed(q.second);
        const std::size_t pos = v.find("pos:"), comma = v.find(",aa:");
        if (v.size() < 2 || v.front() != '(' || v.back() != ')' || pos == std::string::npos ||
            comma == std::string::npos || comma < pos)
            throw TranslationError("bad /transl_except value '" + cmn::inputExcerpt(v) + "'");
        const FeatureLocation where = FeatureLocation::parse(v.substr(pos + 4, comma - pos - 4));
        const char aa = aminoAcidLetter(v.substr(comma + 4, v.size() - 1 - comma - 4));
        const std::vector<LocationPart> wp = where.parts();
        if (wp.empty() || wp[0].isRemote())
            throw TranslationError("/transl_except names no position of this entry: " + v);
        // Offset of the codon's first base within the feature's residues.
        const long first = wp[0].reverse ? wp[0].end : wp[0].start;
        long offset = 0;
        bool located = false;
        for (const LocationPart& p : parts) {
            if (!p.isRemote() && first >= p.start && first <= p.end) {
                offset += p.reverse ? p.end - first : first - p.start;
                located = true;
                break;
            }
            offset += p.length();
        }
        if (!located) throw TranslationError("/transl_except position outside the feature: " + v);
        offset -= codonStart - 1;
        if (offset < 0 || offset % 3 != 0)
            throw TranslationError("/transl_except position out of frame: " + v);
        exceptions.emplace_back(static_cast<std::size_t>(offset / 3), aa);
    }
    nucleotides.erase(0, static_cast<std::size_t>(codonStart - 1));
    if (exceptions.empty()) return translate(nucleotides, options);

    // Translate with the exceptions in place: the named codons are taken out of the CDS checks.
    const GeneticCode& code = GeneticCode::byId(options.table);
    Translation result;
    TranslationOptions plain = options;
    plain.cds = false;
    std::string protein = translate(nucleotides, plain).protein;
    for (const auto& e : exceptions)
        if (e.first < protein.size()) protein[e.first] = e.second;
    const std::size_t codons = nucleotides.size() / 3;
    if (options.cds) {
        if (nucleotides.size() % 3 != 0 && !options.partialEnd)
            throw TranslationError("CDS length " + std::to_string(nucleotides.size()) + " is not a multiple of three");
        bool stopExcepted = false;
        for (const auto& e : exceptions) stopExcepted = stopExcepted || (e.first + 1 == codons && e.second == '*');
        if (codons && (stopExcepted || (nucleotides.size() % 3 == 0 && code.isStop(nucleotides.data() + 3 * (codons - 1)))))
            protein.pop_back();
        else if (!options.partialEnd)
            throw TranslationError("CDS does not end with a stop codon");
        if (!options.partialStart && !protein.empty()) {
            bool excepted = false;
            for (const auto& e : exceptions) excepted = excepted || e.first == 0;
            if (!excepted) {
                if (!code.isStart(nucleotides.data()))
                    throw TranslationError("CDS does not begin with a start codon");
                protein[0] = 'M';
            }
        }
        for (std::size_t i = 0; i < protein.size(); ++i)
            if (protein[i] == '*')
                result.problems.push_back("internal stop codon " + nucleotides.substr(3 * i, 3) +
                                          " at codon " + std::to_string(i + 1));
    }
    result.protein = protein;
    return result;
}

} // namespace Velm
