#include <contracts/Blast.h>

#include <algorithm>
#include <ostream>

namespace Velm {

const char* const BlastModel::className = "BlastModel";

BlastModel::BlastModel() = default;

bool BlastModel::empty() const { return BioModel::empty() && hits_.empty(); }

void BlastModel::clear() {
    BioModel::clear();
    hits_.clear();
}

void BlastModel::dump(std::ostream& out, int indent) const {
    BioModel::dump(out, indent);
    const std::string pad(indent > 0 ? static_cast<std::size_t>(indent) : 0, ' ');
    if (!program_.empty())
        out << pad << "  program: " << program_ << '\n';
    if (!database_.empty())
        out << pad << "  database: " << database_ << '\n';
    for (const auto& hit : hits_)
        out << pad << "  hit " << hit.query << " -> " << hit.subject << " score " << hit.score
            << " e-value " << hit.evalue << " identities " << hit.identities << '/'
            << hit.alignLength << '\n';
}

std::vector<BlastHit> BlastModel::bestHits(std::size_t count) const {
    std::vector<BlastHit> sorted(hits_);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const BlastHit& a, const BlastHit& b) { return a.evalue < b.evalue; });
    if (sorted.size() > count)
        sorted.resize(count);
    return sorted;
}

} // namespace Velm
