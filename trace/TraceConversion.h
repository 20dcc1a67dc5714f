#ifndef MODELFACTORY_TRACE_TRACECONVERSION_H
#define MODELFACTORY_TRACE_TRACECONVERSION_H

// Internal to the chromatogram reader: the format-name table and the copy of a decoded record into
// a Velm::TraceData. Written as a template over the record type so that this header needs no
// decoder header (only trace/*.cpp include those) while tests can still feed it hand-made records.

#include <contracts/Sequence.h>

#include <cstdint>

namespace Ovik {
namespace detail {

/// Lower-case chromatogram format names, indexed by the decoder's trace-type code.
inline constexpr const char* traceFormatNames[12] = {"unk", "scf", "abi", "alf", "pln", "exp",
                                                     "ctf", "ztr", "ztr1", "ztr2", "ztr3", "bio"};
inline constexpr int lastTraceFormatCode = 11;

/// The table name of `code`; "unk" for any code outside the table.
inline const char* traceFormatName(int code) {
    return code >= 0 && code <= lastTraceFormatCode ? traceFormatNames[code] : "unk";
}

/// Copies a decoded record into `data`, in the documented order: names, format, cutoffs and the
/// widened maximum, channels A C G T, confidences, the base positions twice (called and edited
/// start equal), the calls, then fixupBases. Returns false, having set nothing, when the record
/// has fewer than 2 sample points or 2 bases; otherwise whether the result is non-empty.
template <class DecodedRead>
bool fillTraceData(const DecodedRead& read, Velm::TraceData& data) {
    if (read.NPoints < 2 || read.NBases < 2)
        return false;
    if (read.trace_name)
        data.setTraceName(read.trace_name);
    if (read.info)
        data.setInfo(read.info);
    if (read.ident)
        data.setIdent(read.ident);
    data.setFormat(traceFormatName(read.format));
    data.maxTraceVal = static_cast<std::int32_t>(static_cast<std::uint16_t>(read.maxTraceVal));
    data.leftCutoff = read.leftCutoff;
    data.rightCutoff = read.rightCutoff;
    const unsigned points = static_cast<unsigned>(read.NPoints);
    const unsigned bases = static_cast<unsigned>(read.NBases);
    data.setTraces(points, read.traceA, read.traceC, read.traceG, read.traceT);
    data.setProbs(bases, read.prob_A, read.prob_C, read.prob_G, read.prob_T);
    data.setBasePos(bases, read.basePos);
    data.setEditBasePos(bases, read.basePos);
    data.setBases(bases, read.base);
    data.fixupBases();
    return !data.empty();
}

} // namespace detail
} // namespace Ovik

#endif
