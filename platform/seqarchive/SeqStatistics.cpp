#include <contracts/SeqStatistics.h>

#include <array>
#include <cmath>

namespace Ovik {

namespace {

// Lengths below this are counted in a vector: reads, the common case, cost no map lookup.
constexpr std::size_t kShortLengths = 1u << 16;

constexpr std::size_t kTables = 4;

// Counts the bytes of `data` into the four histograms at `tables`, each byte's table in turn.
void countBytes(const unsigned char* data, std::size_t size, std::uint64_t* tables) {
    std::size_t i = 0;
    for (; i + kTables <= size; i += kTables) {
        ++tables[data[i]];
        ++tables[256 + data[i + 1]];
        ++tables[512 + data[i + 2]];
        ++tables[768 + data[i + 3]];
    }
    for (; i < size; ++i)
        ++tables[data[i]];
}

const std::array<double, 256>& errorOfQuality() {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> error{};
        for (std::size_t q = 0; q < error.size(); ++q)
            error[q] = std::pow(10.0, -static_cast<double>(q) / 10.0);
        return error;
    }();
    return table;
}

} // namespace

SeqStatistics::SeqStatistics() : residueBytes_(kTables * 256, 0), qualityBytes_(kTables * 256, 0) {}

void SeqStatistics::add(const Velm::Sequence& sequence) {
    static const std::vector<unsigned char> none;
    const auto* nucleotide = dynamic_cast<const Velm::NASequence*>(&sequence);
    add(sequence.residues(), nucleotide ? nucleotide->confidences() : none, sequence.moleculeType());
}

void SeqStatistics::add(std::string_view residues, const std::vector<unsigned char>& qualities,
                        Velm::Sequence::MoleculeType type) {
    if (count_ == 0)
        type_ = type;
    addLength(residues.size());
    countBytes(reinterpret_cast<const unsigned char*>(residues.data()), residues.size(),
               residueBytes_.data());
    if (qualities.empty())
        return;
    countBytes(qualities.data(), qualities.size(), qualityBytes_.data());
    qualified_ += qualities.size();
}

std::uint64_t SeqStatistics::residuesOf(unsigned char c) const {
    std::uint64_t n = 0;
    for (std::size_t t = 0; t < kTables; ++t)
        n += residueBytes_[t * 256 + c];
    return n;
}

std::uint64_t SeqStatistics::qualitiesOf(unsigned char q) const {
    std::uint64_t n = 0;
    for (std::size_t t = 0; t < kTables; ++t)
        n += qualityBytes_[t * 256 + q];
    return n;
}

std::uint64_t SeqStatistics::gaps() const {
    return residuesOf('-') + residuesOf('.') + residuesOf(' ');
}

void SeqStatistics::addLength(std::uint64_t length) {
    if (count_ == 0 || length < min_)
        min_ = length;
    if (length > max_)
        max_ = length;
    ++count_;
    total_ += length;
    if (length < kShortLengths) {
        if (shortLengths_.size() <= length)
            shortLengths_.resize(static_cast<std::size_t>(length) + 1, 0);
        ++shortLengths_[static_cast<std::size_t>(length)];
    } else {
        ++longLengths_[length];
    }
}

double SeqStatistics::meanLength() const {
    return count_ ? static_cast<double>(total_) / static_cast<double>(count_) : 0.0;
}

std::uint64_t SeqStatistics::lengthAt(std::uint64_t index) const {
    std::uint64_t seen = 0;
    for (std::size_t length = 0; length < shortLengths_.size(); ++length) {
        seen += shortLengths_[length];
        if (index < seen)
            return length;
    }
    for (const auto& entry : longLengths_) {
        seen += entry.second;
        if (index < seen)
            return entry.first;
    }
    return max_;
}

double SeqStatistics::medianOf(std::uint64_t first, std::uint64_t size) const {
    if (size == 0)
        return 0.0;
    if (size % 2 == 1)
        return static_cast<double>(lengthAt(first + size / 2));
    return (static_cast<double>(lengthAt(first + size / 2 - 1)) +
            static_cast<double>(lengthAt(first + size / 2))) / 2.0;
}

double SeqStatistics::quartile(int which) const {
    if (count_ == 0)
        return 0.0;
    if (which == 2)
        return medianOf(0, count_);
    // The halves share the middle length when the count is odd.
    const std::uint64_t half = (count_ + 1) / 2;
    return which == 1 ? medianOf(0, half) : medianOf(count_ - half, half);
}

std::uint64_t SeqStatistics::n50() const {
    std::uint64_t sum = 0;
    // From the longest down: the map's lengths first, then the short ones.
    for (auto entry = longLengths_.rbegin(); entry != longLengths_.rend(); ++entry) {
        sum += entry->first * entry->second;
        if (sum * 2 >= total_)
            return entry->first;
    }
    for (std::size_t length = shortLengths_.size(); length-- > 0;) {
        sum += length * shortLengths_[length];
        if (shortLengths_[length] && sum * 2 >= total_)
            return length;
    }
    return 0;
}

double SeqStatistics::gcPercent() const {
    const std::uint64_t gc = residuesOf('G') + residuesOf('C') + residuesOf('g') + residuesOf('c');
    return total_ ? 100.0 * static_cast<double>(gc) / static_cast<double>(total_) : 0.0;
}

double SeqStatistics::q20Percent() const {
    std::uint64_t atLeast = 0;
    for (unsigned q = 20; q < 256; ++q)
        atLeast += qualitiesOf(static_cast<unsigned char>(q));
    return total_ && qualified_ ? 100.0 * static_cast<double>(atLeast) / static_cast<double>(total_) : 0.0;
}

double SeqStatistics::q30Percent() const {
    std::uint64_t atLeast = 0;
    for (unsigned q = 30; q < 256; ++q)
        atLeast += qualitiesOf(static_cast<unsigned char>(q));
    return total_ && qualified_ ? 100.0 * static_cast<double>(atLeast) / static_cast<double>(total_) : 0.0;
}

double SeqStatistics::meanQuality() const {
    if (!qualified_)
        return 0.0;
    const std::array<double, 256>& error = errorOfQuality();
    double sum = 0;
    for (unsigned q = 0; q < 256; ++q)
        sum += error[q] * static_cast<double>(qualitiesOf(static_cast<unsigned char>(q)));
    // Every residue at Phred 0 gives -0: shown as 0.
    return -10.0 * std::log10(sum / static_cast<double>(qualified_)) + 0.0;
}

} // namespace Ovik
