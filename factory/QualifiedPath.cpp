#include "factory/QualifiedPath.h"

#include <cstring>

namespace Ovik {

QualifiedPath::QualifiedPath(const char* path) {
    if (!path)
        return;
    const char* at = std::strchr(path, '@');
    if (at && at[1] == '@') {
        qualified = true;
        format.assign(path, at);
        file.assign(at + 2);
    } else {
        file.assign(path);
    }
}

} // namespace Ovik
