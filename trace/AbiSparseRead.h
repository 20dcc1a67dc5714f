#ifndef MODELFACTORY_TRACE_ABISPARSEREAD_H
#define MODELFACTORY_TRACE_ABISPARSEREAD_H

// Internal to the chromatogram reader: the parts of an ABI file that need not be read when the
// decoder is not to decode its samples. Most of such a file is its DATA entries (the raw and the
// analysed channels); the calls, their confidences and positions, and the comments are a few
// kilobytes beside them.

#include "trace/TraceFileBytes.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace Ovik {
namespace detail {

/// The byte ranges of the plain ABI file `file`, whose first bytes are `prefix`, that the decoder
/// does not read: with `withSamples` the data of the DATA entries other than the analysed channels
/// (numbers 9 to 12), without it the data of every DATA entry. Only ranges that lie wholly before
/// the directory (where every lookup of the decoder starts and walks forward), past the prefix, and
/// that no other entry's data shares; sorted and disjoint. None when the file is compressed, its
/// directory cannot be read, or it holds nothing to leave out. The decoder finds everything it
/// reads through the directory, so what these ranges hold is never looked at.
std::vector<std::pair<std::size_t, std::size_t>> abiUnreadRanges(TraceFileBytes& file, const std::string& prefix,
                                                                 bool withSamples);

} // namespace detail
} // namespace Ovik

#endif
