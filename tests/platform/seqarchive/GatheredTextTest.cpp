// Text gathered in pieces comes out whole and exact, whatever its size; FASTA entries of lines
// longer than the line buffer read exactly as short ones.
#include "../../../platform/seqarchive/GatheredText.h"
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using Ovik::GatheredText;

// Bytes that differ from their neighbours, so that a piece out of place shows.
std::string patterned(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>('A' + (i * 7 + seed + i / 4093) % 26);
    return s;
}

TEST(GatheredText, ComesOutWholeAcrossTheStringAndChunkSizes) {
    constexpr std::size_t MiB = 1u << 20;
    for (const std::size_t size : {std::size_t(0), std::size_t(100), 4 * MiB - 1, 4 * MiB, 4 * MiB + 1,
                                   12 * MiB + 3, 21 * MiB})
        for (const std::size_t piece : {std::size_t(1) << 15, std::size_t(7) * 4099, MiB + 1}) {
            if (piece < (1u << 15) && size > 4 * MiB)
                continue;
            SCOPED_TRACE(std::to_string(size) + " in pieces of " + std::to_string(piece));
            const std::string want = patterned(size, 3);
            std::string text = "prefix:";
            {
                GatheredText gathered(text);
                for (std::size_t at = 0; at < size; at += piece)
                    gathered.append(want.data() + at, std::min(piece, size - at));
                EXPECT_EQ(size + 7, gathered.size());
                EXPECT_EQ(size + 7 > GatheredText::kInString, gathered.chunked());
                gathered.finish();
                EXPECT_FALSE(gathered.chunked());
            }
            ASSERT_EQ(size + 7, text.size());
            EXPECT_TRUE(text.compare(0, 7, "prefix:") == 0);
            EXPECT_TRUE(text.compare(7, std::string::npos, want) == 0);
        }
    // Dropped without finish(): its chunks go, the string keeps what it held.
    std::string text;
    {
        GatheredText gathered(text);
        const std::string big = patterned(9 * MiB, 1);
        gathered.append(big.data(), big.size());
        EXPECT_TRUE(gathered.chunked());
    }
    EXPECT_LE(text.size(), GatheredText::kInString);
}

TEST(GatheredText, FastaLinesLongerThanTheBufferReadExactly) {
    mftest::TempDir dir;
    constexpr std::size_t MiB = 1u << 20;
    const std::string one = patterned(9 * MiB + 5, 2);   // one line
    const std::string wrapped = patterned(5 * MiB, 4);   // lines of 3 MiB, CRLF, blanks in them (dropped)
    std::string file = ">big one line\n" + one + "\n;" + std::string(MiB, 'c') + "\n\n>wrapped\r\n";
    for (std::size_t at = 0; at < wrapped.size(); at += 3 * MiB)
        file += wrapped.substr(at, 3 * MiB / 2) + " \t  " + wrapped.substr(at + 3 * MiB / 2, 3 * MiB / 2) + "\r\n";
    file += "\n>short\nACGT\n";
    const std::string path = mftest::writeFile(dir.file("long.fa"), file);
    const auto sequences = satest::readAll(path, "FASTA");
    ASSERT_EQ(3u, sequences.size());
    EXPECT_EQ("big", sequences[0]->name());
    EXPECT_EQ("one line", sequences[0]->description());
    EXPECT_TRUE(sequences[0]->residues() == one);
    EXPECT_EQ("wrapped", sequences[1]->name());
    EXPECT_TRUE(sequences[1]->residues() == wrapped) << sequences[1]->length() << " vs " << wrapped.size() << " first difference at " << std::mismatch(wrapped.begin(), wrapped.end(), sequences[1]->residues().begin(), sequences[1]->residues().end()).first - wrapped.begin();
    EXPECT_EQ("ACGT", sequences[2]->residues());
}

} // namespace
