// The extension table and the case-insensitive comparison on arbitrary texts. The input is split
// at its first NUL into two texts; the first byte also gives the comparison length.
#include "FuzzSupport.h"

#include <factory/CompareNoCase.h>
#include <factory/ExtensionTable.h>

#include <algorithm>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string a = input.substr(0, split);
    const std::string b = split == std::string::npos ? std::string() : input.substr(split + 1).c_str();
    const unsigned n = size == 0 ? 0 : data[0];

    const int ab = Ovik::compareNoCase(a.c_str(), b.c_str(), n);
    const int ba = Ovik::compareNoCase(b.c_str(), a.c_str(), n);
    mffuzz::require(ab >= -1 && ab <= 1, "comparison out of range");
    mffuzz::require(ab == -ba, "comparison not antisymmetric");
    mffuzz::require(Ovik::compareNoCase(a.c_str(), a.c_str(), n) == 0, "a text differs from itself");

    const char* ext = Ovik::extensionOf(a.c_str());
    if (ext) {
        mffuzz::require(ext > a.c_str() && ext[-1] == '.', "extension not after a dot");
        mffuzz::require(std::strchr(ext, '.') == nullptr, "extension not after the last dot");
    } else {
        mffuzz::require(a.find('.') == std::string::npos, "no extension although a dot is present");
    }

    if (const Ovik::ExtensionEntry* row = Ovik::findExtension(a.c_str())) {
        // The row agrees with the key over the shorter of the two lengths.
        const std::size_t m = std::min<std::size_t>(row->length, a.size());
        mffuzz::require(m > 0, "a row found for an empty key");
        mffuzz::require(Ovik::compareNoCase(a.c_str(), row->ext, static_cast<unsigned>(m)) == 0,
                        "a row that does not agree with the key");
    }
    if (ext)
        Ovik::findExtension(ext);
    if (const Ovik::ExtensionEntry* row = Ovik::findArchiveEntry(a.c_str()))
        mffuzz::require(row->format != nullptr, "a saving rule without an archive format");
    return 0;
}
