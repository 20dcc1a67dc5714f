#include "MiniJson.h"

#include <cstdlib>

namespace mftest {

const JsonValue& JsonValue::operator[](const std::string& name) const {
    for (const auto& member : members)
        if (member.first == name)
            return member.second;
    throw std::out_of_range("no member '" + name + "'");
}

bool JsonValue::has(const std::string& name) const {
    for (const auto& member : members)
        if (member.first == name)
            return true;
    return false;
}

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text) {}

    JsonValue document() {
        JsonValue value = parseValue();
        skipSpace();
        if (pos_ != text_.size())
            fail("text after the document");
        return value;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
    }

    void skipSpace() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_] == '\t'))
            ++pos_;
    }

    bool take(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    void expectWord(const char* word) {
        for (const char* p = word; *p; ++p)
            if (!take(*p))
                fail(std::string("expected ") + word);
    }

    JsonValue parseValue() {
        skipSpace();
        if (pos_ >= text_.size())
            fail("unexpected end");
        JsonValue value;
        const char c = text_[pos_];
        if (c == '{') {
            ++pos_;
            value.kind = JsonValue::Kind::Object;
            skipSpace();
            if (take('}'))
                return value;
            do {
                skipSpace();
                if (pos_ >= text_.size() || text_[pos_] != '"')
                    fail("expected a key");
                std::string key = parseString();
                skipSpace();
                if (!take(':'))
                    fail("expected ':'");
                value.members.emplace_back(key, parseValue());
                skipSpace();
            } while (take(','));
            if (!take('}'))
                fail("expected '}'");
        } else if (c == '[') {
            ++pos_;
            value.kind = JsonValue::Kind::Array;
            skipSpace();
            if (take(']'))
                return value;
            do {
                value.items.push_back(parseValue());
                skipSpace();
            } while (take(','));
            if (!take(']'))
                fail("expected ']'");
        } else if (c == '"') {
            value.kind = JsonValue::Kind::String;
            value.text = parseString();
        } else if (c == 't') {
            expectWord("true");
            value.kind = JsonValue::Kind::Bool;
            value.boolean = true;
        } else if (c == 'f') {
            expectWord("false");
            value.kind = JsonValue::Kind::Bool;
        } else if (c == 'n') {
            expectWord("null");
        } else {
            value.kind = JsonValue::Kind::Number;
            value.number = parseNumber();
        }
        return value;
    }

    double parseNumber() {
        const std::size_t start = pos_;
        take('-');
        if (take('0')) {
        } else if (pos_ < text_.size() && text_[pos_] >= '1' && text_[pos_] <= '9') {
            while (pos_ < text_.size() && isdigit(static_cast<unsigned char>(text_[pos_])))
                ++pos_;
        } else {
            fail("bad number");
        }
        if (take('.')) {
            if (pos_ >= text_.size() || !isdigit(static_cast<unsigned char>(text_[pos_])))
                fail("bad fraction");
            while (pos_ < text_.size() && isdigit(static_cast<unsigned char>(text_[pos_])))
                ++pos_;
        }
        if (take('e') || take('E')) {
            if (!take('+'))
                take('-');
            if (pos_ >= text_.size() || !isdigit(static_cast<unsigned char>(text_[pos_])))
                fail("bad exponent");
            while (pos_ < text_.size() && isdigit(static_cast<unsigned char>(text_[pos_])))
                ++pos_;
        }
        return std::strtod(text_.substr(start, pos_ - start).c_str(), nullptr);
    }

    unsigned hex4() {
        if (pos_ + 4 > text_.size())
            fail("short \\u escape");
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[pos_++];
            code <<= 4;
            if (h >= '0' && h <= '9')
                code |= h - '0';
            else if (h >= 'a' && h <= 'f')
                code |= h - 'a' + 10;
            else if (h >= 'A' && h <= 'F')
                code |= h - 'A' + 10;
            else
                fail("bad \\u escape");
        }
        return code;
    }

    static void appendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::string parseString() {
        ++pos_; // the opening quote
        std::string out;
        while (true) {
            if (pos_ >= text_.size())
                fail("unterminated string");
            const unsigned char c = static_cast<unsigned char>(text_[pos_++]);
            if (c == '"')
                return out;
            if (c < 0x20)
                fail("raw control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (pos_ >= text_.size())
                fail("unterminated escape");
            const char e = text_[pos_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned code = hex4();
                if (code >= 0xD800 && code <= 0xDBFF) {
                    if (!take('\\') || !take('u'))
                        fail("lone surrogate");
                    const unsigned low = hex4();
                    if (low < 0xDC00 || low > 0xDFFF)
                        fail("bad surrogate pair");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code <= 0xDFFF) {
                    fail("lone surrogate");
                }
                appendUtf8(out, code);
                break;
            }
            default: fail("bad escape");
            }
        }
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

} // namespace

JsonValue parseJson(const std::string& document) { return Parser(document).document(); }

} // namespace mftest
