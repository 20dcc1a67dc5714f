#ifndef MODELFACTORY_TRACE_TRACESHAPE_H
#define MODELFACTORY_TRACE_TRACESHAPE_H

// Internal to the chromatogram reader: checks of a whole file's layout made before the decoder
// sees it. The decoder trusts the counts, lengths and offsets a file declares: it allocates what
// they ask for and reads where they point, so a few corrupted bytes can make it allocate
// gigabytes or read outside its buffer. A file whose declared layout does not fit inside the file
// is refused here instead. The checks are deliberately only about sizes and offsets; anything
// finer is left to the decoder. ZTR zlib blocks are the one exception: their declared length can
// only be trusted once inflated, so they are inflated here (once) and handed over inflated.

#include "trace/TraceFileBytes.h"

#include <cstddef>

namespace Ovik {
namespace detail {

/// Why a layout was refused; None when it fits.
enum class ShapeFault {
    None,
    TruncatedHeader,   ///< the fixed header is cut short
    SectionOutside,    ///< a declared section lies (partly) past the end of the file
    ExpansionTooLarge, ///< a compressed block declares more (or other) output than it holds
    BadCount           ///< a count or element size no real file has
};

/// The largest decoded block accepted from one compressed block of a ZTR file. Real files
/// expand a few-fold; the bound only stops absurd declarations.
constexpr std::size_t maxZtrExpansionRatio = 1100;
constexpr std::size_t maxZtrBlockBytes = 256u * 1024u * 1024u;

/// ZTR: the header, then chunks of (type, metadata length, metadata, data length, data); each
/// chunk's parts within the file; no block in the extended run-length methods; a run-length block
/// decodes to exactly the length it declares; a zlib block declares a bounded length. What a zlib
/// block holds is checked by inflateZtrBlock, which every zlib block must go through before the
/// decoder sees it.
ShapeFault checkZtrShape(const unsigned char* data, std::size_t size);
/// Inflates a ZTR zlib block (method byte, declared length, stream) into `out`, `outLength` bytes:
/// the stream must end at exactly the declared length, and what it yields (inflated again while
/// it is itself a zlib block) must pass the block checks of checkZtrShape. A block of another
/// method gives None and leaves `out` empty; on a fault `out` is empty too.
ShapeFault inflateZtrBlock(const unsigned char* block, std::size_t length, MallocBuffer& out,
                           std::size_t& outLength);
/// SCF: the 128-byte header's sample, base, comment and private sections within the file.
ShapeFault checkScfShape(const unsigned char* data, std::size_t size);
/// ABI (ABIF, also behind a 128-byte MacBinary header): the directory, and the data of every
/// directory entry stored outside it, within the file; every count backed by elements of a size;
/// the same of the entries the decoder allocates by, wherever its lookup would find them.
ShapeFault checkAbiShape(const unsigned char* data, std::size_t size);

/// The check for the decoder's trace-type code (`code`, see trace/TraceFile.h); formats without a
/// check give None.
ShapeFault checkTraceShape(int code, const unsigned char* data, std::size_t size);

} // namespace detail
} // namespace Ovik

#endif
