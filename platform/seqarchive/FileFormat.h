#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_FILEFORMAT_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_FILEFORMAT_H

#include <string>
#include <string_view>

namespace Ovik {

/// The SALSource format constant whose layout `prefix` (the start of a file) has, or "".
/// With `truncated` set, the last, possibly cut, line is ignored.
const char* detectFormat(std::string_view prefix, bool truncated);

} // namespace Ovik

#endif
