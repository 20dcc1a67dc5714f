// The chromatogram reader on arbitrary bytes: detection, then decoding.
#include "FuzzSupport.h"

#include <trace/TraceFile.h>

#include <algorithm>

namespace {

// An experiment file names the trace it is read with. An input holding this line is an experiment
// file (before it) and its linked trace (after it), written beside it as "linked.trace", so that
// both, and what one lays over the other, are fuzzed together.
const std::string kLinkedTraceMarker = "\n#linked.trace#\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* end = data + size;
    const std::uint8_t* marker = std::search(data, end, kLinkedTraceMarker.begin(), kLinkedTraceMarker.end());
    const std::uint8_t* linked = marker == end ? end : marker + kLinkedTraceMarker.size();
    mffuzz::writeInput("linked.trace", linked, static_cast<std::size_t>(end - linked));
    const std::string path = mffuzz::writeInput("input.trace", data, static_cast<std::size_t>(marker - data));

    const Ovik::TraceFile::FormatType format = Ovik::TraceFile::getFormat(path.c_str());
    Ovik::TraceFile reader;
    const boost::shared_ptr<Velm::TraceData> trace = reader.read(path.c_str(), nullptr);
    // Only files whose first bytes are a chromatogram's are decoded; what comes back is usable.
    mffuzz::require(!trace || format != Ovik::TraceFile::Unknown, "decoded a file detection refused");
    mffuzz::require(!trace || !Ovik::holdsTextWithoutSamples(path.c_str()), "samples read from plain text");
    if (trace) {
        mffuzz::require(!trace->empty(), "an empty chromatogram reported as read");
        for (unsigned c = 0; c < 4; ++c)
            mffuzz::require(trace->channel(c).size() == trace->numPoints(), "channels differ in length");
        // A record of calls only has no samples for its positions to point into (they are 0).
        for (std::uint16_t position : trace->basePos())
            mffuzz::require(trace->hasSamples() ? position < trace->numPoints() : position == 0,
                            "a base position past the samples");
    }
    return 0;
}
