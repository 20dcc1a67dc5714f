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
    std::size_t size = feature.key.size() + entry.name().size() + feature.location.size() + 2;
    for (const auto& q : feature.qualifiers) size += q.first.size() + q.second.size() + 5;
    std::string out;
    out.reserve(size);
    out += feature.key;
    out += ' ';
    out += entry.name();
    out += ':';
    out += compact(feature.location);
    for (const auto& q : feature.qualifiers) {
        out += " /";
        out += q.first;
        if (q.second.empty()) continue;
        out += "=\"";
        // Runs between quotes are copied whole; each quote is doubled.
        std::size_t from = 0;
        for (std::size_t quote; (quote = q.second.find('"', from)) != std::string::npos; from = quote + 1)
            out.append(q.second, from, quote + 1 - from).push_back('"');
        out.append(q.second, from, std::string::npos);
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
