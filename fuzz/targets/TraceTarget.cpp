// The chromatogram reader on arbitrary bytes: detection, then decoding.
#include "FuzzSupport.h"

#include <trace/TraceFile.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = mffuzz::writeInput("input.trace", data, size);
    const Ovik::TraceFile::FormatType format = Ovik::TraceFile::getFormat(path.c_str());
    Ovik::TraceFile reader;
    const boost::shared_ptr<Velm::TraceData> trace = reader.read(path.c_str(), nullptr);
    // Only files whose first bytes are a chromatogram's are decoded; what comes back is usable.
    mffuzz::require(!trace || format != Ovik::TraceFile::Unknown, "decoded a file detection refused");
    if (trace) {
        mffuzz::require(!trace->empty(), "an empty chromatogram reported as read");
        for (unsigned c = 0; c < 4; ++c)
            mffuzz::require(trace->channel(c).size() == trace->numPoints(), "channels differ in length");
        for (std::uint16_t position : trace->basePos())
            mffuzz::require(position < trace->numPoints(), "a base position past the samples");
    }
    return 0;
}
