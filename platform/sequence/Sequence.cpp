#include <contracts/Sequence.h>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <cctype>

namespace Velm {

bool Feature::operator==(const Feature& other) const {
    return key == other.key && location == other.location && qualifiers == other.qualifiers;
}

Sequence::Sequence() = default;

Sequence::Sequence(const std::string& name, const std::string& residues, MoleculeType type)
    : name_(name), residues_(residues), type_(type) {}

Sequence::~Sequence() = default;

const std::string& Sequence::noSource() {
    static const std::string none;
    return none;
}

void Sequence::setSource(const std::string& source) {
    if (source.empty())
        source_.reset();
    else
        source_ = boost::make_shared<const std::string>(source);
}

bool Sequence::isProtein() const { return type_ == MoleculeType::Protein; }

const char* Sequence::moleculeTypeName(MoleculeType type) {
    switch (type) {
    case MoleculeType::DNA: return "DNA";
    case MoleculeType::RNA: return "RNA";
    case MoleculeType::Protein: return "protein";
    case MoleculeType::Unknown: break;
    }
    return "unknown";
}

Sequence::MoleculeType Sequence::guessMoleculeType(const std::string& residues) {
    // Nucleotide when nearly every letter is a base or N, as most tools judge it; U without T is RNA.
    std::size_t letters = 0, nucleotides = 0, u = 0, t = 0;
    for (unsigned char c : residues) {
        if (!std::isalpha(c))
            continue;
        ++letters;
        switch (std::toupper(c)) {
        case 'A': case 'C': case 'G': case 'N': ++nucleotides; break;
        case 'T': ++nucleotides; ++t; break;
        case 'U': ++nucleotides; ++u; break;
        default: break;
        }
    }
    if (letters == 0)
        return MoleculeType::Unknown;
    if (nucleotides * 10 >= letters * 9)
        return (u > 0 && t == 0) ? MoleculeType::RNA : MoleculeType::DNA;
    return MoleculeType::Protein;
}

std::string Sequence::annotation(const std::string& key) const {
    for (const auto& entry : annotations_)
        if (entry.first == key)
            return entry.second;
    return std::string();
}

void Sequence::setAnnotation(const std::string& key, const std::string& value) {
    for (auto& entry : annotations_)
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    annotations_.emplace_back(key, value);
}

NASequence::NASequence() { setMoleculeType(MoleculeType::DNA); }

NASequence::NASequence(const std::string& name, const std::string& residues)
    : Sequence(name, residues, MoleculeType::DNA) {}

static std::string baseName(const std::string& path) {
    std::string name = path;
    std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

boost::shared_ptr<NASequence> NASequence::create(const boost::shared_ptr<TraceData>& trace) {
    boost::shared_ptr<NASequence> sequence(new NASequence);
    if (!trace)
        return sequence;
    std::string name = trace->ident();
    if (name.empty())
        name = baseName(trace->traceName());
    sequence->setName(name);
    sequence->setResidues(trace->bases());
    sequence->setConfidences(trace->calledConfidences());
    if (!trace->info().empty())
        sequence->setDescription(trace->info().substr(0, trace->info().find('\n')));
    sequence->trace_ = trace;
    return sequence;
}

} // namespace Velm
