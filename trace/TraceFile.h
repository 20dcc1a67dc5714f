#ifndef MODELFACTORY_TRACE_TRACEFILE_H
#define MODELFACTORY_TRACE_TRACEFILE_H

#include <contracts/Common.h>
#include <contracts/DataModel.h>
#include <contracts/Export.h>
#include <contracts/Sequence.h>

#include <boost/shared_ptr.hpp>

namespace Ovik {

/// Reads DNA sequencing chromatograms (SCF, ABI, ZTR, experiment files, ...). Stateless.
/// Only the file at the path given is read (an experiment file's trace is taken from beside it),
/// each file once, and decoded from memory: no search-path variables, compressed variants, network
/// or helper programs. A gzip-compressed file (known by its first bytes, whatever its name) is
/// inflated in memory and taken for the chromatogram inside, up to 64 MiB of content (more is
/// refused: no chromatogram is that large, while a little compressed padding would cost gigabytes). Safe to call from several threads; the calls into the decoder are serialised inside.
class MF_API TraceFile {
public:
    /// Chromatogram kinds; the values are the trace-type codes of the decoder.
    enum FormatType {
        Unknown = 0,
        SCF = 1,
        ABI = 2,
        ALF = 3,
        PLN = 4,
        EXP = 5,
        CTF = 6,
        ZTR = 7,
        ZTR1 = 8,
        ZTR2 = 9,
        ZTR3 = 10,
        BIO = 11
    };

    TraceFile() {}
    TraceFile& operator=(const TraceFile&) { return *this; }

    /// The chromatogram kind of the file, judged from its first bytes only (never the whole file;
    /// of a gzip file, the first bytes it inflates to); 0 when it is not a chromatogram (plain
    /// sequence text, content compressed by other means, an experiment file without a trace link)
    /// or is not a regular file that can be opened.
    static FormatType getFormat(const char* path);
    /// True when `format` begins, ignoring case, with a chromatogram format name ("scf" ... "bio").
    static bool supports(const char* format);
    /// The eleven chromatogram formats, "SCF" first and "BIO" last.
    static Velm::FormatList getSupportedFormats();
    /// Decodes the file at exactly `path`; an empty pointer when it is not a usable chromatogram
    /// (fewer than 2 sample points or bases included). Files whose first bytes carry no
    /// chromatogram signature are refused without being read in full. Reports nothing through `ctx`.
    boost::shared_ptr<Velm::TraceData> read(const char* path, cmn::OpContext* ctx);

    /// What a chromatogram holds, in the parts read(path, ctx, parts) can leave out; Calls,
    /// Samples and Comments are the decoder's own section bits. CommentTitle, without Comments:
    /// the first line of the comments alone, which is what a sequence's description is made of.
    enum Part { Calls = 1, Samples = 2, Comments = 4, CommentTitle = 8, AllParts = Calls | Samples | Comments };
    /// As read(path, ctx), decoding only `parts` (the calls, with their confidences, clip points,
    /// names and format, always): without Samples the record holds no samples (hasSamples() is
    /// false, numPoints() 0, the base positions and maxTraceVal 0); without Comments no info (a
    /// sequence made from it has no description), or with CommentTitle the first line of it.
    /// Leaving out what a caller does not use saves most of the decoding of ABI and SCF files
    /// (of an ABI file the first comment line is found without decoding the comments); other
    /// kinds are decoded whole and the parts not asked for dropped. Which files read, and which
    /// do not, is the same as for read().
    boost::shared_ptr<Velm::TraceData> read(const char* path, cmn::OpContext* ctx, unsigned parts);
};

/// True when the file holds text that carries a sequence but no samples: what the decoder calls
/// plain sequence text (the "PLN" format: bare bases, such as a base caller's output), or an
/// experiment file without a trace link. Such a file never reads as a chromatogram; it opens as a
/// sequence. Judged from the first bytes, as getFormat judges them.
MF_API bool holdsTextWithoutSamples(const char* path);

} // namespace Ovik

#endif
