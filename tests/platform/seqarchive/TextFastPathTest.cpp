// The fast paths of the residue filters give exactly what the plain byte-wise filters give.
#include "../../../platform/seqarchive/TextUtil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Ovik::text::appendGroupedResidues;
using Ovik::text::appendNonSpace;
using Ovik::text::appendNonSpaceBases;
using Ovik::text::plainBases;
using Ovik::text::appendResidues;
using Ovik::text::guessType;
using Type = Velm::Sequence::MoleculeType;

// Reference: keep every byte that is not whitespace, a control character or a digit.
std::string plainResidues(const std::string& line) {
    std::string out;
    for (unsigned char c : line)
        if (c > ' ' && !(c >= '0' && c <= '9'))
            out += static_cast<char>(c);
    return out;
}

TEST(TextFastPath, GroupedResiduesMatchTheByteWiseFilter) {
    struct Case {
        std::string line;
        std::size_t first;
    };
    const Case cases[] = {
        {"        1 gatcctccat atacaacggt atctccacct caggtttaga tctcaacaac ggaaccattg", 10},
        {"       61 ccgacatgag acagttaggt atcgtcgaga gttacaagct aaaacgagca", 10},
        {"     9601 acgt", 10},
        {"     9601 acgt ", 10},
        {"      121 acgtacgtac  acgtacgtac", 10},          // two spaces between groups
        {"      121 acgtacgtac\tacgtacgtac", 10},          // a tab between groups
        {"      121 acgtacgtac acgt1cgtac", 10},           // a digit inside a group
        {"      121 acgtacgtacgt acgtacgtac", 10},         // a group of twelve
        {"      1x1 acgtacgtac", 10},                      // a letter in the position columns
        {"      121 ", 10},
        {"      121", 10},
        {"", 10},
        {"     aaacaaacca aaatatggat tttattgtag ccatatttgc tctgtttgtt attagctcat        60", 5},
        {"     tttcacacta a                                                           7271", 5},
        {"     tttcacacta acgt      x                                                 7271", 5},
        {"     ACGT-ACGT* ..........                                                    20", 5},
        {"     acgtacgtac acgtacgtac\r", 5},
    };
    for (const Case& c : cases) {
        std::string fast = "prefix";
        appendGroupedResidues(fast, c.line.data(), c.line.size(), c.first);
        std::string plain = "prefix";
        appendResidues(plain, c.line.data(), c.line.size());
        EXPECT_EQ(plain, "prefix" + plainResidues(c.line)) << c.line;
        EXPECT_EQ(fast, plain) << c.line;
    }
}

TEST(TextFastPath, NonSpaceFilterKeepsDigitsAndDropsControlCharacters) {
    std::string out;
    appendNonSpace(out, "ACGT", 4);
    appendNonSpace(out, "AC GT\t12\x01-*", 11);
    EXPECT_EQ(out, "ACGTACGT12-*");
}

TEST(TextFastPath, MoleculeGuess) {
    EXPECT_EQ(guessType(""), Type::Unknown);
    EXPECT_EQ(guessType("---***123"), Type::Unknown);
    EXPECT_EQ(guessType("acgtnACGTN"), Type::DNA);
    EXPECT_EQ(guessType("ACGUACGUNN"), Type::RNA);
    EXPECT_EQ(guessType("ACGUACGTNN"), Type::DNA);          // U with T: not RNA
    EXPECT_EQ(guessType("MKVLAWGHSTREDQNPYFCI"), Type::Protein);
    EXPECT_EQ(guessType("ACGTACGTAE"), Type::DNA);          // nine in ten letters are nucleotides
    EXPECT_EQ(guessType("ACGTACGTEE"), Type::Protein);
    EXPECT_EQ(guessType("AC-GT-AC-GT-AC-GT-AC-GT"), Type::DNA); // gaps are not letters
    // Bytes whose upper-case form would be a letter are not letters ('\xc1' & 0xdf is 0xc1).
    EXPECT_EQ(guessType("\xc1\xe1@[`{"), Type::Unknown);
    // Only the first 2048 residues count.
    EXPECT_EQ(guessType(std::string(2048, 'A') + std::string(5000, 'E')), Type::DNA);
}

// The blockwise check of plain bases must agree with counting at every length and wherever the
// one odd byte sits: in a full block, in the overlapping last block, or past the sampled 2048.
TEST(TextFastPath, MoleculeGuessAgreesWithCountingWhereverTheOddByteIs) {
    auto counted = [](const std::string& residues) {
        return Velm::Sequence::guessMoleculeType(residues.substr(0, 2048));
    };
    for (std::size_t n : {1u, 15u, 16u, 17u, 31u, 32u, 33u, 85u, 2047u, 2048u, 2049u, 2100u}) {
        std::string bases;
        for (std::size_t i = 0; i < n; ++i)
            bases += "ACGTNacgtn"[i % 10];
        EXPECT_EQ(guessType(bases), Type::DNA) << n;
        for (std::size_t at : {std::size_t(0), n / 2, n - 1}) {
            for (char odd : {'U', 'E', '-', ' ', '\x80'}) {
                std::string residues = bases;
                residues[at] = odd;
                EXPECT_EQ(guessType(residues), counted(residues)) << n << " at " << at << " " << odd;
            }
        }
        // A protein made mostly of E in every length.
        EXPECT_EQ(guessType(std::string(n, 'E')), n > 0 ? Type::Protein : Type::Unknown) << n;
    }
}

// Lines of nothing but A, C, G, T and N (either case) are recognised on the way in; every line
// is kept as the whitespace filter keeps it.
TEST(TextFastPath, PlainBaseLinesAreRecognisedAndKeptAsTheFilterKeepsThem) {
    struct Case {
        std::string line;
        bool plain;
    };
    const Case cases[] = {
        {"", true},
        {"ACGTNacgtn", true},
        {std::string(33, 'g'), true},
        {std::string(32, 'A') + "U", false},
        {"ACGU", false},
        {"AC GT\t", false},
        {"ACGT-", false},
        {"MKVL", false},
        {"ACG\x81", false},
    };
    for (const Case& c : cases) {
        std::string out = "x";
        EXPECT_EQ(appendNonSpaceBases(out, c.line.data(), c.line.size()), c.plain) << c.line;
        EXPECT_EQ(plainBases(c.line.data(), c.line.size()), c.plain) << c.line;
        std::string filtered = "x";
        appendNonSpace(filtered, c.line.data(), c.line.size());
        EXPECT_EQ(out, filtered) << c.line;
    }
}

} // namespace
