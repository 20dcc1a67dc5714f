#include <factory/CompareNoCase.h>

#include <gtest/gtest.h>

namespace {

TEST(CompareNoCase, ComparesAtMostNCharactersIgnoringCase) {
    struct Case { const char* a; const char* b; unsigned n; int expected; };
    const Case cases[] = {
        {"fasta", "FASTA", 5, 0},  {"FASTA", "fa", 2, 0},    // a prefix test over the name's length
        {"fa", "fasta", 5, -1},    {"fasta", "fa", 5, 1},    // the shorter text ends first
        {"abc", "abd", 3, -1},     {"abd", "ABC", 3, 1},     {"abc", "abd", 2, 0},
        {"", "", 4, 0},            {"same", "SAME", 10, 0},  // both end together before n
        {"x", "y", 0, 0},          {"Z", "a", 1, 1},         // 'Z' > 'A' after upper-casing
        {"[", "a", 1, 1},          // '[' sorts after 'A', though before 'a'
    };
    for (const Case& c : cases)
        EXPECT_EQ(Ovik::compareNoCase(c.a, c.b, c.n), c.expected)
            << '"' << c.a << "\" vs \"" << c.b << "\" over " << c.n;
}

TEST(CompareNoCase, BytesAboveAsciiDoNotMisbehave) {
    const char high[] = {'\xe9', 0};
    EXPECT_EQ(Ovik::compareNoCase(high, high, 3), 0);
    EXPECT_EQ(Ovik::compareNoCase("a", high, 1), -1);
    EXPECT_EQ(Ovik::compareNoCase(high, "a", 1), 1);
}

} // namespace
