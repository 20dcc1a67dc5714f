#include <contracts/Common.h>

#include <cstring>

namespace cmn {

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

} // namespace cmn
