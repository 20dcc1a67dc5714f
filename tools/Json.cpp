#include "Json.h"

#include <cmath>
#include <cstdio>

namespace mftool {

std::size_t utf8Length(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned long code = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

JsonWriter::JsonWriter(std::ostream& out) : out_(out) {}

std::string JsonWriter::quote(const std::string& text) {
    return '"' + escapeText(text, "\\ufffd", [](unsigned char c, std::string& out) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }) + '"';
}

void JsonWriter::newline() {
    out_ << '\n';
    for (std::size_t i = 0; i < levels_.size(); ++i)
        out_ << "  ";
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!levels_.empty()) {
        if (levels_.back().count++ > 0)
            out_ << ',';
        newline();
    }
}

JsonWriter& JsonWriter::beginObject() {
    beforeValue();
    out_ << '{';
    levels_.push_back({true, 0});
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    const bool empty = levels_.back().count == 0;
    levels_.pop_back();
    if (!empty)
        newline();
    out_ << '}';
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    beforeValue();
    out_ << '[';
    levels_.push_back({false, 0});
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    const bool empty = levels_.back().count == 0;
    levels_.pop_back();
    if (!empty)
        newline();
    out_ << ']';
    return *this;
}

JsonWriter& JsonWriter::key(const std::string& name) {
    beforeValue();
    out_ << quote(name) << ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) {
    beforeValue();
    out_ << quote(text);
    return *this;
}

JsonWriter& JsonWriter::value(const char* text) {
    if (!text)
        return null();
    return value(std::string(text));
}

JsonWriter& JsonWriter::value(bool flag) {
    beforeValue();
    out_ << (flag ? "true" : "false");
    return *this;
}

JsonWriter& JsonWriter::signedValue(long long number) {
    beforeValue();
    out_ << number;
    return *this;
}

JsonWriter& JsonWriter::unsignedValue(unsigned long long number) {
    beforeValue();
    out_ << number;
    return *this;
}

JsonWriter& JsonWriter::value(double number) {
    if (!std::isfinite(number))
        return null();
    beforeValue();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.10g", number);
    out_ << buffer;
    return *this;
}

JsonWriter& JsonWriter::null() {
    beforeValue();
    out_ << "null";
    return *this;
}

void JsonWriter::finish() { out_ << '\n' << std::flush; }

} // namespace mftool
