#include <contracts/Sequence.h>

#include <algorithm>
#include <cctype>

namespace Velm {

TraceData::TraceData() = default;
TraceData::~TraceData() = default;

template <typename T, typename Source>
static void copyArray(std::vector<T>& target, unsigned count, const Source* source) {
    if (source)
        target.assign(source, source + count);
    else
        target.assign(count, T());
}

void TraceData::setTraces(unsigned count, const unsigned short* a, const unsigned short* c,
                          const unsigned short* g, const unsigned short* t) {
    const unsigned short* channels[4] = {a, c, g, t};
    for (int i = 0; i < 4; ++i)
        copyArray(traces_[i], count, channels[i]);
}

void TraceData::adoptTraces(std::vector<std::uint16_t> a, std::vector<std::uint16_t> c,
                            std::vector<std::uint16_t> g, std::vector<std::uint16_t> t) {
    std::vector<std::uint16_t>* channels[4] = {&a, &c, &g, &t};
    std::size_t shortest = a.size();
    for (auto* channel : channels)
        shortest = std::min(shortest, channel->size());
    for (int i = 0; i < 4; ++i) {
        channels[i]->resize(shortest);
        traces_[i] = std::move(*channels[i]);
    }
}

void TraceData::setProbs(unsigned count, const char* a, const char* c, const char* g, const char* t) {
    const char* channels[4] = {a, c, g, t};
    for (int i = 0; i < 4; ++i) {
        if (channels[i])
            probs_[i].assign(reinterpret_cast<const unsigned char*>(channels[i]),
                             reinterpret_cast<const unsigned char*>(channels[i]) + count);
        else
            probs_[i].assign(count, 0);
    }
}

void TraceData::setBasePos(unsigned count, const unsigned short* positions) {
    copyArray(basePos_, count, positions);
}

void TraceData::setEditBasePos(unsigned count, const unsigned short* positions) {
    copyArray(editBasePos_, count, positions);
}

void TraceData::setBases(unsigned count, const char* bases) {
    if (bases)
        bases_.assign(bases, count);
    else
        bases_.assign(count, 'N');
}

static char normaliseBase(char base) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(base)));
    switch (upper) {
    case 'A': case 'C': case 'G': case 'T': case 'U':
    case 'R': case 'Y': case 'K': case 'M': case 'S': case 'W':
    case 'B': case 'D': case 'H': case 'V': case 'N':
        return upper;
    default:
        return 'N';
    }
}

void TraceData::fixupBases() {
    for (char& base : bases_)
        base = normaliseBase(base);
    const unsigned points = numPoints();
    const std::uint16_t last = points ? static_cast<std::uint16_t>(std::min<unsigned>(points - 1, 0xFFFF)) : 0;
    for (auto* positions : {&basePos_, &editBasePos_})
        for (auto& pos : *positions)
            pos = std::min(pos, last);
}

bool TraceData::empty() const { return numPoints() == 1 || numBases() < 2; }

std::vector<unsigned char> TraceData::calledConfidences() const {
    std::vector<unsigned char> confidences(bases_.size(), 0);
    for (std::size_t i = 0; i < bases_.size(); ++i) {
        int channel = -1;
        switch (bases_[i]) {
        case 'A': case 'a': channel = 0; break;
        case 'C': case 'c': channel = 1; break;
        case 'G': case 'g': channel = 2; break;
        case 'T': case 't': case 'U': case 'u': channel = 3; break;
        default: break;
        }
        if (channel >= 0 && i < probs_[channel].size())
            confidences[i] = probs_[channel][i];
    }
    return confidences;
}

} // namespace Velm
