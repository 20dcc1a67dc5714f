#ifndef MODELFACTORY_TOOLS_JSON_H
#define MODELFACTORY_TOOLS_JSON_H

#include <type_traits>
#include <ostream>
#include <string>
#include <vector>

namespace mftool {

/// Length of the valid UTF-8 sequence that starts at text[i] (1 for ASCII), or 0 when the bytes
/// there are not one: overlong forms, surrogates and values past U+10FFFF are rejected.
std::size_t utf8Length(const std::string& text, std::size_t i);

/// Copies `text`, keeping every valid UTF-8 sequence, writing `invalid` for each byte that does not
/// start one, and passing every ASCII byte to `ascii(c, out)`, which appends what stands for it.
template <class Ascii>
std::string escapeText(const std::string& text, const char* invalid, Ascii ascii) {
    std::string out;
    out.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ascii(c, out);
            ++i;
            continue;
        }
        const std::size_t length = utf8Length(text, i);
        if (length == 0) {
            out += invalid;
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

/// Writes one JSON document to a stream as it goes (nothing is buffered, so a long listing can be
/// streamed), indented two spaces a level. Strings are escaped; bytes that are not valid UTF-8 are
/// written as U+FFFD so the document always parses. The caller nests begin/end calls correctly and
/// gives a key before every value inside an object.
class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out);

    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(const std::string& name);

    JsonWriter& value(const std::string& text);
    JsonWriter& value(const char* text); ///< null writes JSON null
    JsonWriter& value(bool flag);
    template <class T, std::enable_if_t<std::is_integral<T>::value && !std::is_same<T, bool>::value &&
                                            !std::is_same<T, char>::value, int> = 0>
    JsonWriter& value(T number) {
        if (std::is_signed<T>::value)
            return signedValue(static_cast<long long>(number));
        return unsignedValue(static_cast<unsigned long long>(number));
    }
    JsonWriter& value(double number); ///< NaN and infinities are written as null
    JsonWriter& null();

    /// key(name).value(v) in one call.
    template <class T>
    JsonWriter& field(const std::string& name, const T& v) {
        key(name);
        return value(v);
    }

    /// Ends the document with a newline (call once the outermost value is closed).
    void finish();

    /// `text` as a quoted, escaped JSON string.
    static std::string quote(const std::string& text);

private:
    JsonWriter& signedValue(long long number);
    JsonWriter& unsignedValue(unsigned long long number);
    void beforeValue();
    void newline();

    struct Level {
        bool object;
        unsigned count;
    };
    std::ostream& out_;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

} // namespace mftool

#endif
