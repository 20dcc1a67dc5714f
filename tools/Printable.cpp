#include "Printable.h"

#include "Json.h"

namespace mftool {

namespace {

void appendByte(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

} // namespace

std::string printable(const std::string& text, bool keepNewlines) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : utf8Length(text, i);
        // U+0080-U+009F are two bytes, C2 80 to C2 9F; some terminals obey them as controls.
        const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (length == 0 || c1) {
            for (std::size_t k = 0; k < (c1 ? 2u : 1u); ++k)
                appendByte(out, static_cast<unsigned char>(text[i + k]));
            i += c1 ? 2 : 1;
        } else if (length > 1) {
            out.append(text, i, length);
            i += length;
        } else {
            if (c == '\n' && keepNewlines)
                out += '\n';
            else if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c == '\t')
                out += "\\t";
            else if (c < 0x20 || c == 0x7F)
                appendByte(out, c);
            else
                out += static_cast<char>(c);
            ++i;
        }
    }
    return out;
}

} // namespace mftool
