// Writes small chromatograms of each kind the decoder can write into the folder given, as seeds
// for the chromatogram target (the project keeps no binary chromatograms of its own).
#include "TraceWriter.h"

#include <cstdio>
#include <fstream>
#include <string>

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
        // An experiment file names its trace; the fuzz target reads only the one file, so the link
        // leads nowhere, but the reader's handling of the text is exercised.
        std::ofstream(folder + "/linked.exp") << "ID   seed\nLN   small.scf\nLT   SCF\nSQ\n     ACGTN\n//\n";
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
