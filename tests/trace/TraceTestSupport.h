#ifndef MODELFACTORY_TESTS_TRACE_TRACETESTSUPPORT_H
#define MODELFACTORY_TESTS_TRACE_TRACETESTSUPPORT_H

// Fixtures for the chromatogram reader: records built in memory and written with the decoder's own
// writer, and the decoder's own reading of a file to compare against.

#include <contracts/Sequence.h>

#include <memory>
#include <string>

#include <io_lib/Read.h>

namespace tracetest {

struct ReadRelease {
    void operator()(Read* read) const;
};
typedef std::unique_ptr<Read, ReadRelease> ReadPtr;

/// A record with `points` samples and `bases` calls, every array filled with a distinct pattern.
ReadPtr makeRead(int points, int bases);

/// Writes `read` to `path` with the decoder's writer in the given format (TT_SCF, TT_ZTR, TT_EXP).
bool writeRead(Read& read, const std::string& path, int format);

/// What the decoder itself makes of the file, from its bytes at exactly `path` (no search paths).
ReadPtr decodeDirectly(const std::string& path);

/// Expects `data` to hold exactly what `read` holds, field by field, with '-' calls as N.
void expectSameRecord(const Read& read, const Velm::TraceData& data);

} // namespace tracetest

#endif
