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

Sequence::Sequence(const Sequence& other)
    : name_(other.name_), description_(other.description_), residues_(other.residues_),
      source_(other.source_), extra_(other.extra_ ? new Extra(*other.extra_) : nullptr),
      type_(other.type_) {}

Sequence::Sequence(Sequence&& other) noexcept = default;

Sequence& Sequence::operator=(const Sequence& other) {
    if (this != &other) {
        name_ = other.name_;
        description_ = other.description_;
        residues_ = other.residues_;
        source_ = other.source_;
        extra_.reset(other.extra_ ? new Extra(*other.extra_) : nullptr);
        type_ = other.type_;
    }
    return *this;
}

Sequence& Sequence::operator=(Sequence&& other) noexcept = default;

Sequence::~Sequence() = default;

const std::string& Sequence::noText() {
    static const std::string none;
    return none;
}

const PropertyList& Sequence::noAnnotations() {
    static const PropertyList none;
    return none;
}

const std::vector<Feature>& Sequence::noFeatures() {
    static const std::vector<Feature> none;
    return none;
}

Sequence::Extra& Sequence::extra() {
    if (!extra_)
        extra_.reset(new Extra);
    return *extra_;
}

void Sequence::setAccession(const std::string& accession) {
    // An empty accession needs no block of its own.
    if (extra_ || !accession.empty())
        extra().accession = accession;
}

void Sequence::setDeclaredLength(std::size_t length) {
    if (extra_ || length != 0)
        extra().declaredLength = length;
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
    for (const auto& entry : annotations())
        if (entry.first == key)
            return entry.second;
    return std::string();
}

void Sequence::setAnnotation(const std::string& key, const std::string& value) {
    PropertyList& list = annotations();
    for (auto& entry : list)
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    list.emplace_back(key, value);
}

NASequence::NASequence() { setMoleculeType(MoleculeType::DNA); }

NASequence::NASequence(const std::string& name, const std::string& residues)
    : Sequence(name, residues, MoleculeType::DNA) {}

NASequence::NASequence(const NASequence& other)
    : Sequence(other),
      confidences_(other.hasConfidences() ? new std::vector<unsigned char>(*other.confidences_) : nullptr) {}

NASequence::NASequence(NASequence&& other) noexcept = default;

NASequence& NASequence::operator=(const NASequence& other) {
    if (this != &other) {
        Sequence::operator=(other);
        confidences_.reset(other.hasConfidences() ? new std::vector<unsigned char>(*other.confidences_)
                                                  : nullptr);
        confidencesDropped_ = false;
    }
    return *this;
}

NASequence& NASequence::operator=(NASequence&& other) noexcept = default;

NASequence::~NASequence() = default;

const std::vector<unsigned char>& NASequence::noConfidences() {
    static const std::vector<unsigned char> none;
    return none;
}

std::vector<unsigned char>& NASequence::confidences() {
    if (!confidences_)
        confidences_.reset(new std::vector<unsigned char>);
    confidencesDropped_ = false;
    return *confidences_;
}

void NASequence::setConfidences(const std::vector<unsigned char>& values) {
    if (hasConfidences() || !values.empty())
        confidences() = values;
}

void NASequence::setConfidences(std::vector<unsigned char>&& values) {
    if (hasConfidences() || !values.empty())
        confidences() = std::move(values);
}

void NASequence::dropConfidences(std::size_t keepCapacity) {
    if (!confidences_)
        return;
    if (confidences_->capacity() > keepCapacity) {
        confidences_.reset();
    } else {
        confidences_->clear();
        confidencesDropped_ = true;
    }
}

const boost::shared_ptr<TraceData>& NASequence::noTrace() {
    static const boost::shared_ptr<TraceData> none;
    return none;
}

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
    sequence->extra().trace = trace;
    return sequence;
}

} // namespace Velm
