#ifndef MODELFACTORY_TESTS_SUPPORT_TRACEWRITER_H
#define MODELFACTORY_TESTS_SUPPORT_TRACEWRITER_H

#include <string>

namespace mftest {

/// A small chromatogram the tests write themselves through io_lib's own writer.
struct TraceSample {
    std::string bases = "ACGTNACGTA";
    unsigned points = 100;
    std::string ident;    ///< stored where the format keeps one (ZTR, EXP)
    int leftCutoff = 0;
    int rightCutoff = 0;
};

/// io_lib format codes for the writer.
enum class TraceKind { SCF = 1, EXP = 5, ZTR = 7 };

/// Writes the trace to `path`; the channels are deterministic ramps, each base peaks in its own
/// channel at position 5 + 10 * index. Throws std::runtime_error when io_lib cannot write it.
void writeTrace(const std::string& path, TraceKind kind, const TraceSample& sample = TraceSample());

/// `bytes` compressed as gzip does, split into `members` streams written one after another (as
/// `cat a.gz b.gz` makes them). Throws std::runtime_error when zlib fails.
std::string gzipped(const std::string& bytes, unsigned members = 1);

} // namespace mftest

#endif
