// Writes the demo's chromatogram with io_lib's own writer: a synthetic read of 150 bases with
// peaks that broaden and fade along the read, a little cross-talk between channels, confidences
// that are low at both ends, and clip points around the good middle part. Deterministic.
//
// usage: mf_demo_data OUT [scf|ztr]
#include <io_lib/Read.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A small fixed generator, so the demo file is the same on every machine.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed) {}
    double uniform() {
        state_ = state_ * 1664525u + 1013904223u;
        return (state_ >> 8) / 16777216.0;
    }

private:
    std::uint32_t state_;
};

const int kBases = 150;
const int kSpacing = 12;
const int kFirstPeak = 24;

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUT [scf|ztr]\n", argv[0]);
        return 2;
    }
    const std::string kind = argc == 3 ? argv[2] : "scf";
    if (kind != "scf" && kind != "ztr") {
        std::fprintf(stderr, "%s: unknown trace kind '%s' (scf or ztr)\n", argv[0], kind.c_str());
        return 2;
    }

    Random random(20240611u);
    const char* order = "ACGT";
    std::string calls(kBases, 'A');
    for (char& base : calls)
        base = order[static_cast<int>(random.uniform() * 4) & 3];

    std::vector<int> positions(kBases);
    for (int b = 0; b < kBases; ++b)
        positions[b] = kFirstPeak + b * kSpacing + static_cast<int>(random.uniform() * 5) - 2;
    const int points = positions.back() + 40;

    std::vector<double> signal[4];
    for (auto& channel : signal)
        channel.assign(points, 0.0);
    for (int b = 0; b < kBases; ++b) {
        const double along = static_cast<double>(b) / kBases;
        const double height = (1700 - 900 * along) * (0.65 + 0.35 * random.uniform()) *
                              (b < 6 ? 0.3 + 0.12 * b : 1.0); // the first peaks rise slowly
        const double width = 2.6 + 2.2 * along;
        const int channel = static_cast<int>(std::strchr(order, calls[b]) - order);
        for (int c = 0; c < 4; ++c) {
            // Cross-talk: a small peak in the other channels, larger towards the end of the read.
            const double peak = c == channel ? height : height * (0.02 + 0.12 * along) * random.uniform();
            for (int x = std::max(0, positions[b] - 20); x < std::min(points, positions[b] + 20); ++x) {
                const double d = (x - positions[b]) / width;
                signal[c][x] += peak * std::exp(-0.5 * d * d);
            }
        }
    }

    Read* read = read_allocate(points, kBases);
    if (!read) {
        std::fprintf(stderr, "%s: out of memory\n", argv[0]);
        return 1;
    }
    unsigned short* traces[4] = {read->traceA, read->traceC, read->traceG, read->traceT};
    int maxValue = 0;
    for (int c = 0; c < 4; ++c)
        for (int x = 0; x < points; ++x) {
            const double noise = 12 * random.uniform();
            const int value = static_cast<int>(std::lround(signal[c][x] + noise));
            traces[c][x] = static_cast<unsigned short>(std::min(value, 65535));
            maxValue = std::max(maxValue, value);
        }
    char* probs[4] = {read->prob_A, read->prob_C, read->prob_G, read->prob_T};
    for (int b = 0; b < kBases; ++b) {
        // Good in the middle of the read, poor at both ends.
        const double edge = std::min(b, kBases - 1 - b);
        const double quality = std::min(1.0, edge / 18.0);
        const int confidence = static_cast<int>(6 + quality * (34 + 16 * random.uniform()));
        read->base[b] = calls[b];
        read->basePos[b] = static_cast<std::uint_least16_t>(positions[b]);
        for (int c = 0; c < 4; ++c)
            probs[c][b] = static_cast<char>(order[c] == calls[b] ? confidence : 0);
    }
    read->maxTraceVal = static_cast<unsigned short>(std::min(maxValue, 65535));
    read->leftCutoff = 12;   // bases 1-12 clipped
    read->rightCutoff = 136; // bases 136-150 clipped
    read->ident = strdup("demo_read_1");

    std::vector<char> path(argv[1], argv[1] + std::strlen(argv[1]) + 1);
    const int rc = write_reading(path.data(), read, kind == "ztr" ? TT_ZTR : TT_SCF);
    read_deallocate(read);
    if (rc != 0) {
        std::fprintf(stderr, "%s: io_lib could not write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
