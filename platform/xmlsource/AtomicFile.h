#ifndef MODELFACTORY_PLATFORM_XMLSOURCE_ATOMICFILE_H
#define MODELFACTORY_PLATFORM_XMLSOURCE_ATOMICFILE_H

#include <string>

namespace Velm {
namespace xmlsource {

/// Replaces `path` by `content` only once all of it is written: a temporary file beside the
/// target is written, flushed and renamed over it. On failure `error` holds the system's reason,
/// the temporary file is removed and the original file is untouched.
bool writeFileAtomically(const std::string& path, const std::string& content, std::string& error);

} // namespace xmlsource
} // namespace Velm

#endif
