#ifndef MODELFACTORY_TOOLS_PRINTABLE_H
#define MODELFACTORY_TOOLS_PRINTABLE_H

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
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return false;
    return true;
}

} // namespace mftool

#endif
