#ifndef MODELFACTORY_PLATFORM_SEQARCHIVE_FILEFORMAT_H
#define MODELFACTORY_PLATFORM_SEQARCHIVE_FILEFORMAT_H

#include <cstddef>
#include <string>
#include <string_view>

namespace Ovik {

/// How much of the start of a file or stream its format is judged from.
constexpr std::size_t kFormatPrefixSize = 64 * 1024;

/// The SALSource format constant whose layout `prefix` (the start of a file) has, or "".
/// With `truncated` set, the last, possibly cut, line is ignored.
const char* detectFormat(std::string_view prefix, bool truncated);

} // namespace Ovik

#endif
