// A feature taken out of its entry as an entry of its own.
#include <contracts/FeatureLocation.h>

#include <cctype>

namespace Velm {

namespace {

// The location as one word (a location wrapped over lines keeps no white space).
std::string compact(const std::string& location) {
    std::string out;
    out.reserve(location.size());
    for (char c : location)
        if (!std::isspace(static_cast<unsigned char>(c))) out += c;
    return out;
}

} // namespace

std::string featureName(const Feature& feature, const Sequence& entry) {
    static const char* const names[] = {"locus_tag", "gene", "protein_id"};
    for (const char* name : names) {
        bool found = false;
        std::string value = qualifierValue(feature, name, &found);
        if (found && !value.empty()) return value;
    }
    return entry.name() + ":" + compact(feature.location);
}

std::string featureDescription(const Feature& feature, const Sequence& entry) {
    std::string out = feature.key + " " + entry.name() + ":" + compact(feature.location);
    for (const auto& q : feature.qualifiers) {
        out += " /" + q.first;
        if (q.second.empty()) continue;
        out += "=\"";
        for (char c : q.second) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

boost::shared_ptr<Sequence> featureEntry(const Feature& feature, const Sequence& entry) {
    std::string residues = extractFeature(feature, entry);
    boost::shared_ptr<Sequence> out;
    if (entry.isProtein() || entry.moleculeType() == Sequence::MoleculeType::Protein) {
        out.reset(new Sequence(featureName(feature, entry), std::move(residues), Sequence::MoleculeType::Protein));
    } else {
        out.reset(new NASequence(featureName(feature, entry), residues));
        Sequence::MoleculeType type = entry.moleculeType();
        if (type == Sequence::MoleculeType::Unknown) type = Sequence::guessMoleculeType(out->residues());
        out->setMoleculeType(type);
    }
    out->setDescription(featureDescription(feature, entry));
    return out;
}

} // namespace Velm
