#include <contracts/Common.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(TextFields, OneLineAndSingleTokenRules) {
    const char text[] = "a\nb\r\tc\x1b\x7f" "d\0e";
    EXPECT_EQ(cmn::oneLineText(std::string(text, sizeof text - 1)), "a b  c  d e");
    const struct {
        const char* in;
        const char* out;
    } names[] = {{"two words", "two_words"}, {"  trimmed\t", "trimmed"}, {"line\nend", "line_end"},
                 {"esc\x1b[0m", "esc_[0m"}, {"", "seq7"}, {" \n ", "seq7"}, {"X01238.1/1-183", "X01238.1/1-183"}};
    for (const auto& n : names)
        EXPECT_EQ(cmn::singleTokenName(n.in, 7), n.out) << n.in;
}

TEST(TextFields, UniqueNamesTakeTheFirstFreeNumber) {
    cmn::UniqueNames names;
    std::vector<std::string> got;
    for (const char* n : {"a", "a", "a_2", "a", "b"})
        got.push_back(names.claim(n));
    EXPECT_EQ(got, (std::vector<std::string>{"a", "a_2", "a_2_2", "a_3", "b"}));

    // A length limit cuts the base so that the number fits (strict PHYLIP's ten characters).
    cmn::UniqueNames limited;
    EXPECT_EQ(limited.claim("abcdefghijkl", 10), "abcdefghij");
    EXPECT_EQ(limited.claim("abcdefghijXY", 10), "abcdefgh_2");
    EXPECT_EQ(limited.claim("abcdefghij", 10), "abcdefgh_3");
}

} // namespace
