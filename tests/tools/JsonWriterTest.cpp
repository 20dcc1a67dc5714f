// The tool's JSON writer: every document it writes must parse, whatever bytes the files held.
#include "Json.h"
#include "MiniJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

using mftest::JsonValue;
using mftest::parseJson;
using mftool::JsonWriter;

TEST(JsonWriter, EscapesEveryCharacterThatJsonForbidsRaw) {
    struct Case {
        std::string input;
        std::string quoted;
    };
    const Case cases[] = {
        {"plain", "\"plain\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"a\nb\rc\td\be\ff", "\"a\\nb\\rc\\td\\be\\ff\""},
        {std::string("nul\0byte", 8), "\"nul\\u0000byte\""},
        {"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\xa7\xac", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\xa7\xac\""},
        {"bad\xff", "\"bad\\ufffd\""},
        {"cut\xc3", "\"cut\\ufffd\""},                   // truncated sequence
        {"long\xc0\xaf", "\"long\\ufffd\\ufffd\""},       // overlong '/'
        {"surrogate\xed\xa0\x80", "\"surrogate\\ufffd\\ufffd\\ufffd\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.quoted);
        EXPECT_EQ(JsonWriter::quote(c.input), c.quoted);
        EXPECT_NO_THROW(parseJson(c.quoted));
    }
}

TEST(JsonWriter, NestsObjectsAndArraysIntoOneParseableDocument) {
    std::ostringstream out;
    JsonWriter json(out);
    json.beginObject();
    json.field("name", "x\"y");
    json.field("count", 3u);
    json.field("negative", -7);
    json.field("ratio", 0.25);
    json.field("nan", std::nan(""));
    json.field("yes", true);
    json.key("none").null();
    json.key("empty").beginArray().endArray();
    json.key("emptyObject").beginObject().endObject();
    json.key("list").beginArray();
    json.value(1);
    json.beginObject().field("inner", "v").endObject();
    json.endArray();
    json.endObject();
    json.finish();

    const JsonValue doc = parseJson(out.str());
    EXPECT_EQ(doc["name"].text, "x\"y");
    EXPECT_EQ(doc["count"].number, 3);
    EXPECT_EQ(doc["negative"].number, -7);
    EXPECT_EQ(doc["ratio"].number, 0.25);
    EXPECT_EQ(doc["nan"].kind, JsonValue::Kind::Null);
    EXPECT_TRUE(doc["yes"].boolean);
    EXPECT_EQ(doc["none"].kind, JsonValue::Kind::Null);
    EXPECT_EQ(doc["empty"].size(), 0u);
    EXPECT_EQ(doc["emptyObject"].kind, JsonValue::Kind::Object);
    ASSERT_EQ(doc["list"].size(), 2u);
    EXPECT_EQ(doc["list"][1]["inner"].text, "v");
    EXPECT_EQ(out.str().back(), '\n');
}

TEST(MiniJson, RejectsMalformedDocuments) {
    // The checker the tool's tests rely on must itself catch broken output.
    for (const char* bad : {"", "{", "{\"a\":1,}", "[1,]", "{'a':1}", "\"raw\ncontrol\"", "01",
                            "1.", "{\"a\" 1}", "[1] 2", "\"\\x\"", "\"\\ud800\"", "nul"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(parseJson(bad), std::runtime_error);
    }
}

} // namespace
