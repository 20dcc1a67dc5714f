#ifndef MODELFACTORY_TRACE_ABICOMMENTTITLE_H
#define MODELFACTORY_TRACE_ABICOMMENTTITLE_H

// Internal to the chromatogram reader: the first line of the comments the decoder would make of
// an ABI file, found in the file's directory. The decoder builds its comments by looking up some
// twenty directory entries, each by a walk from the directory's start, which costs as much as
// decoding the samples; a sequence's description needs only the first line.

#include <cstddef>
#include <string>

namespace Ovik {
namespace detail {

/// The decoder's first comment line of the ABI file in `data` (ABIF, also behind a 128-byte
/// MacBinary header; its layout already checked): "COMM=" and the first line of its comment
/// (CMNT 1), or, without that entry, "NAME=" and its sample name (SMPL 1). False, `title` left
/// alone, when the entry the decoder would take is not a Pascal string held whole in the file, or
/// neither is there: the decoder's own comments then tell.
bool abiCommentTitle(const unsigned char* data, std::size_t size, std::string& title);

} // namespace detail
} // namespace Ovik

#endif
