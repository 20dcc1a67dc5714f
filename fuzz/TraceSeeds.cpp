// Writes small chromatograms of each kind the decoder can write into the folder given, as seeds
// for the chromatogram target (the project keeps no binary chromatograms of its own): plain,
// gzip-compressed, and experiment files together with the trace they link to.
#include "TraceWriter.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The experiment file and its linked trace in one input, as the target splits them.
std::string linkedPair(const std::string& experiment, const std::string& trace) {
    return experiment + "\n#linked.trace#\n" + trace;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    mftest::TraceSample small;
    small.bases = "ACGTN";
    small.points = 60;
    small.ident = "seed";
    mftest::TraceSample wide;
    wide.bases = "ACGTACGTACGTACGTRYKM";
    wide.points = 220;
    wide.leftCutoff = 2;
    wide.rightCutoff = 15;
    try {
        mftest::writeTrace(folder + "/small.scf", mftest::TraceKind::SCF, small);
        mftest::writeTrace(folder + "/wide.scf", mftest::TraceKind::SCF, wide);
        mftest::writeTrace(folder + "/small.ztr", mftest::TraceKind::ZTR, small);
        mftest::writeTrace(folder + "/wide.ztr", mftest::TraceKind::ZTR, wide);
        const std::string scf = readAll(folder + "/wide.scf");
        const std::string ztr = readAll(folder + "/small.ztr");
        writeAll(folder + "/wide.scf.gz", mftest::gzipped(scf));
        writeAll(folder + "/small.ztr.gz", mftest::gzipped(ztr, 2));
        // Experiment files: one whose link leads nowhere, and pairs with the trace they link to.
        writeAll(folder + "/linked.exp", "ID   seed\nLN   small.scf\nLT   SCF\nSQ\n     ACGTN\n//\n");
        const std::string edited = "ID   seed\nLN   linked.trace\nLT   SCF\nQL   2\nQR   18\nSL   3\nSR   17\n"
                                   "AV   10 20 30 40 50 11 21 31 41 51 12 22 32 42 52 13 23 33 43 53\n"
                                   "SQ\n     ACGTACGTAC GTACGTRYKN\n//";
        writeAll(folder + "/pair-scf.exp", linkedPair(edited, scf));
        writeAll(folder + "/pair-ztr-gz.exp", linkedPair("ID   z\nLN   linked.trace\nLT   ZTR", mftest::gzipped(ztr)));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
