// An entry turned over onto its other strand, features included.
#include <contracts/FeatureLocation.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace Velm {

namespace {

typedef FeatureLocation::Node Node;

// Positions p of an entry of `length` residues are p' = length + 1 - p on the other strand.
long mirrored(long position, long length, const std::string& location) {
    if (position > length)
        throw LocationError("location " + location + " goes past the end of the entry (" +
                            std::to_string(length) + " residues)");
    return length + 1 - position;
}

// A node whose residues, taken from the reverse complement of the entry, are the reverse
// complement of what `n` takes from the entry.
Node turned(const Node& n, long length, const std::string& location) {
    typedef Node::Type T;
    Node out = n;
    switch (n.type) {
    case T::Part: {
        if (n.part.isRemote()) {
            // Another entry is not turned: its part is read on its other strand instead.
            Node c;
            c.type = T::Complement;
            c.children.push_back(n);
            return c;
        }
        LocationPart& p = out.part;
        const long start = mirrored(n.part.end, length, location);
        const long end = mirrored(n.part.start, length, location);
        p.start = start;
        p.end = end;
        // "<" (begins before) on the first base becomes ">" (goes on after) on the last, and back.
        p.startBefore = n.part.endAfter;
        p.endAfter = n.part.startBefore;
        return out;
    }
    case T::Join:
    case T::Order:
    case T::Bond: // a bond's sites are read in order, as a join's parts
        out.children.clear();
        for (auto it = n.children.rbegin(); it != n.children.rend(); ++it)
            out.children.push_back(turned(*it, length, location));
        return out;
    case T::Complement: {
        Node inner = turned(n.children.front(), length, location);
        // complement(complement(x)) is x.
        if (inner.type == T::Complement) return inner.children.front();
        out.children.assign(1, std::move(inner));
        return out;
    }
    case T::OneOf:
        out.children.clear();
        for (const Node& c : n.children) out.children.push_back(turned(c, length, location));
        return out;
    case T::Gap:
        return out;
    }
    return out;
}

// complement(n), written without a complement that cancels another.
Node complemented(Node n) {
    typedef Node::Type T;
    if (n.type == T::Complement) return std::move(n.children.front());
    if (n.type == T::Join || n.type == T::Order) {
        bool all = !n.children.empty();
        for (const Node& c : n.children) all = all && c.type == T::Complement;
        if (all) {
            // complement(join(complement(a),complement(b))) is join(b,a).
            Node out;
            out.type = n.type;
            for (auto it = n.children.rbegin(); it != n.children.rend(); ++it)
                out.children.push_back(std::move(it->children.front()));
            return out;
        }
    }
    Node c;
    c.type = T::Complement;
    c.children.push_back(std::move(n));
    return c;
}

} // namespace

FeatureLocation FeatureLocation::reverseComplemented(long length) const {
    // turned() reads the reverse complement of the feature; complemented once more, the feature
    // reads as it did, now from the other strand.
    FeatureLocation out;
    out.root_ = complemented(turned(root_, length, text()));
    return out;
}

void reverseComplementEntry(Sequence& entry) {
    if (entry.isProtein() || entry.moleculeType() == Sequence::MoleculeType::Protein)
        throw std::invalid_argument("entry " + entry.name() + " is a protein: it has no reverse complement");
    const long length = static_cast<long>(entry.length());
    // Every location is turned before anything changes, so a failure leaves the entry as it was.
    // (Read through the const accessors: the non-const ones would allocate for an entry without.)
    const Sequence& read = entry;
    std::vector<std::string> locations;
    locations.reserve(read.features().size());
    for (const Feature& f : read.features())
        locations.push_back(FeatureLocation::parse(f.location).reverseComplemented(length).text());
    // Judged by the letters, not the molecule type: mRNA entries are mostly written with T.
    entry.setResidues(reverseComplement(entry.residues(), looksLikeRna(entry.residues())));
    if (!read.features().empty()) {
        std::vector<Feature>& features = entry.features();
        for (std::size_t i = 0; i < features.size(); ++i) features[i].location = std::move(locations[i]);
    }
    if (auto* na = dynamic_cast<NASequence*>(&entry)) {
        if (!static_cast<const NASequence*>(na)->confidences().empty()) {
            std::vector<unsigned char>& q = na->confidences();
            std::reverse(q.begin(), q.end());
        }
    }
}

} // namespace Velm
