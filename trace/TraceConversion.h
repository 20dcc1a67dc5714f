#ifndef MODELFACTORY_TRACE_TRACECONVERSION_H
#define MODELFACTORY_TRACE_TRACECONVERSION_H

// Internal to the chromatogram reader: the format-name table and the copy of a decoded record into
// a Velm::TraceData. Written as a template over the record type so that this header needs no
// decoder header (only trace/*.cpp include those) while tests can still feed it hand-made records.

#include <contracts/Sequence.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

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

/// Moves the channel `samples` (malloc'ed by the decoder, possibly null) of `count` points into a
/// new vector and releases them: each channel's memory is free again before the next one is
/// copied, so that a conversion never holds the record's samples and all of its own at once (a
/// reader of many files in a row otherwise makes the heap grow and shrink for every file).
inline std::vector<std::uint16_t> takeChannel(unsigned short*& samples, unsigned count) {
    std::vector<std::uint16_t> channel(count, 0);
    if (samples) {
        std::copy(samples, samples + count, channel.begin());
        std::free(samples);
        samples = nullptr;
    }
    return channel;
}

/// Copies a decoded record into `data`, in the documented order: names, format, cutoffs and the
/// widened maximum, channels A C G T, confidences, the base positions twice (called and edited
/// start equal), the calls, then fixupBases. The channels are moved out of the record (see
/// takeChannel; its arrays are then null). Returns false, having set nothing, when the record
/// has fewer than 2 bases, or 1 sample point, or no samples while being a text record (plain
/// or experiment file, which are sequence text, not chromatograms); otherwise whether the result is
/// non-empty. A binary chromatogram with calls but no samples (what short-read instruments write)
/// is kept: its calls and confidences are the data, and they would otherwise be lost.
///
/// Without `withSamples` the checks are the same (they are about the file, whose sample count the
/// decoder gives even when it skips the samples) but no sample is kept: the record holds calls
/// only, its maximum and base positions 0.
template <class DecodedRead>
bool fillTraceData(DecodedRead& read, Velm::TraceData& data, bool withSamples = true) {
    const bool textRecord = read.format == 4 || read.format == 5; // pln, exp
    if (read.NBases < 2 || read.NPoints == 1 || read.NPoints < 0 || (read.NPoints == 0 && textRecord))
        return false;
    if (read.trace_name)
        data.setTraceName(read.trace_name);
    if (read.info)
        data.setInfo(read.info);
    if (read.ident)
        data.setIdent(read.ident);
    data.setFormat(traceFormatName(read.format));
    data.maxTraceVal =
        withSamples ? static_cast<std::int32_t>(static_cast<std::uint16_t>(read.maxTraceVal)) : 0;
    data.leftCutoff = read.leftCutoff;
    data.rightCutoff = read.rightCutoff;
    const unsigned points = withSamples ? static_cast<unsigned>(read.NPoints) : 0u;
    const unsigned bases = static_cast<unsigned>(read.NBases);
    std::vector<std::uint16_t> a = takeChannel(read.traceA, points);
    std::vector<std::uint16_t> c = takeChannel(read.traceC, points);
    std::vector<std::uint16_t> g = takeChannel(read.traceG, points);
    std::vector<std::uint16_t> t = takeChannel(read.traceT, points);
    data.adoptTraces(std::move(a), std::move(c), std::move(g), std::move(t));
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
