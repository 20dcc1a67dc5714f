#ifndef MODELFACTORY_TOOLS_PRINTABLE_H
#define MODELFACTORY_TOOLS_PRINTABLE_H

#include <cstdint>
#include <cstring>
#include <string>

namespace mftool {

/// `text` made safe for a terminal: control characters (C0, DEL, and the C1 range U+0080-U+009F)
/// and bytes that are not valid UTF-8 are written as \n, \r, \t or \xHH (each byte), so that a
/// name or description read from a file can neither start a line nor send an escape code.
/// Everything else, backslashes and other characters included, is kept. With `keepNewlines`,
/// newlines pass unchanged (for text that is laid out in lines on purpose).
std::string printable(const std::string& text, bool keepNewlines = false);

/// True when every byte of `text` is printable ASCII (0x20-0x7E): printable(text) is then `text`.
inline bool isPlainAscii(const std::string& text) {
    // Eight bytes at a time (a name per output line makes this hot): a byte is out of range when
    // its low seven bits plus 0x60 do not reach 0x80 (below 0x20), plus 1 do (0x7F), or its own
    // high bit is set. No sum carries into the next byte.
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL, high = 0x8080808080808080ULL;
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    const char* p = text.data();
    std::size_t n = text.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t x;
        std::memcpy(&x, p, 8);
        const std::uint64_t bits = x & low7;
        if (((bits + ones) | x | ~(bits + ones * 0x60)) & high)
            return false;
    }
    for (; n > 0; ++p, --n)
        if (static_cast<unsigned char>(*p) < 0x20 || static_cast<unsigned char>(*p) >= 0x7F)
            return false;
    return true;
}

} // namespace mftool

#endif
