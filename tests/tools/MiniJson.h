#ifndef MODELFACTORY_TESTS_TOOLS_MINIJSON_H
#define MODELFACTORY_TESTS_TOOLS_MINIJSON_H

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace mftest {

/// A parsed JSON value, just enough to check the tool's documents.
struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text; ///< strings, decoded to UTF-8
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members; ///< in document order

    /// The member of that name; throws std::out_of_range when there is none.
    const JsonValue& operator[](const std::string& name) const;
    const JsonValue& operator[](std::size_t index) const { return items.at(index); }
    bool has(const std::string& name) const;
    std::size_t size() const { return kind == Kind::Array ? items.size() : members.size(); }
};

/// Parses a complete document strictly (RFC 8259: no trailing commas, no comments, no leading
/// zeros, no raw control characters in strings, nothing after the value but white space).
/// Throws std::runtime_error naming the offset of the first fault.
JsonValue parseJson(const std::string& document);

} // namespace mftest

#endif
