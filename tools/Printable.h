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

} // namespace mftool

#endif
