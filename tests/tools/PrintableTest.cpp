// The word-at-a-time check of plain ASCII agrees with the byte-wise rule for every byte value,
// wherever in the text it sits.
#include "tools/Printable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Printable, PlainAsciiCheckAgreesWithTheByteRule) {
    for (std::size_t length : {1u, 7u, 8u, 9u, 16u, 17u}) {
        for (int c = 0; c < 256; ++c) {
            const bool plain = c >= 0x20 && c <= 0x7E;
            for (std::size_t at : {std::size_t(0), length / 2, length - 1}) {
                std::string text(length, 'a');
                text[at] = static_cast<char>(c);
                EXPECT_EQ(mftool::isPlainAscii(text), plain) << length << " " << c << " at " << at;
            }
        }
    }
    EXPECT_TRUE(mftool::isPlainAscii(""));
    EXPECT_TRUE(mftool::isPlainAscii(" ~read0000001/1 lane=2"));
}

} // namespace
