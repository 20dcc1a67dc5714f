#include "trace/AbiCommentTitle.h"

#include <cstdint>
#include <cstring>

namespace Ovik {
namespace detail {

namespace {

constexpr std::size_t entryBytes = 28;
constexpr std::size_t macBinaryHeaderBytes = 128;
constexpr std::size_t directoryOffsetAt = 26; // the root entry's data offset
constexpr std::uint16_t pascalString = 0x12;

std::uint32_t be32(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

enum class Lookup { Missing, Found, Other };

// The text of the entry `label` number 1, found as the decoder finds it: records walked from the
// directory's start, past its declared end too, as far as the data goes. Other: the entry is there
// but not as a Pascal string of at least one byte held whole in the data (what the decoder reads
// of it then is left to the decoder).
Lookup pascalEntry(const unsigned char* abif, std::size_t size, const char* label, std::string& text) {
    if (size < directoryOffsetAt + 4)
        return Lookup::Other;
    const std::uint64_t directory = be32(abif + directoryOffsetAt);
    for (std::uint64_t at = directory; at + 8 <= size; at += entryBytes) {
        if (std::memcmp(abif + at, label, 4) != 0 || be32(abif + at + 4) != 1)
            continue;
        if (at + entryBytes > size)
            return Lookup::Other;
        const unsigned char* entry = abif + at;
        const std::uint16_t type = static_cast<std::uint16_t>((entry[8] << 8) | entry[9]);
        const std::uint32_t dataSize = be32(entry + 16);
        if (type != pascalString || dataSize == 0)
            return Lookup::Other;
        // Four bytes or fewer are held in the offset field itself.
        const std::uint64_t offset = dataSize <= 4 ? at + 20 : be32(entry + 20);
        if (offset >= size)
            return Lookup::Other;
        const std::size_t length = abif[offset];
        if (offset + 1 + length > size)
            return Lookup::Other;
        const char* chars = reinterpret_cast<const char*>(abif + offset + 1);
        // The decoder keeps it as a C string.
        text.assign(chars, strnlen(chars, length));
        return Lookup::Found;
    }
    return Lookup::Missing;
}

} // namespace

bool abiCommentTitle(const unsigned char* data, std::size_t size, std::string& title) {
    std::size_t base = 0;
    if (size >= 4 && std::memcmp(data, "ABIF", 4) == 0)
        base = 0;
    else if (size >= macBinaryHeaderBytes + 4 && std::memcmp(data + macBinaryHeaderBytes, "ABIF", 4) == 0)
        base = macBinaryHeaderBytes;
    else
        return false;
    const unsigned char* abif = data + base;
    const std::size_t abifSize = size - base;
    std::string text;
    switch (pascalEntry(abif, abifSize, "CMNT", text)) {
    case Lookup::Found:
        title = "COMM=" + text.substr(0, text.find('\n'));
        return true;
    case Lookup::Other:
        return false;
    case Lookup::Missing:
        break;
    }
    if (pascalEntry(abif, abifSize, "SMPL", text) != Lookup::Found)
        return false;
    for (char& c : text)
        if (c == '\n')
            c = ' ';
    title = "NAME=" + text;
    return true;
}

} // namespace detail
} // namespace Ovik
