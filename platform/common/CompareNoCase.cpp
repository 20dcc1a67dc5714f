#include "contracts/Common.h"

#include <cctype>

namespace cmn {

int compareNoCase(const char* a, const char* b, unsigned n) {
    for (unsigned i = 0; i < n; ++i) {
        // Through unsigned char: toupper of a negative char is undefined.
        const int ca = std::toupper(static_cast<unsigned char>(a[i]));
        const int cb = std::toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
    return 0;
}

} // namespace cmn
