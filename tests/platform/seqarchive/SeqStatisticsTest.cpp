// The summary figures of a set of sequences, against values worked out by hand.
#include <contracts/SeqStatistics.h>

#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

namespace {

using Type = Velm::Sequence::MoleculeType;
using Ovik::SeqStatistics;

SeqStatistics ofLengths(const std::vector<std::size_t>& lengths) {
    SeqStatistics stats;
    for (std::size_t length : lengths)
        stats.add(std::string(length, 'A'), {}, Type::DNA);
    return stats;
}

TEST(SeqStatistics, QuartilesAndN50OfLengths) {
    struct Case {
        std::vector<std::size_t> lengths; // in any order
        double q1, q2, q3;
        std::uint64_t n50;
    };
    const Case cases[] = {
        {{10}, 10, 10, 10, 10},
        {{1, 2}, 1, 1.5, 2, 2},
        {{3, 1, 2}, 1.5, 2, 2.5, 3},
        {{1, 2, 3, 4}, 1.5, 2.5, 3.5, 3},
        {{5, 4, 3, 2, 1}, 2, 3, 4, 4},
        {{1, 2, 3, 4, 5, 6}, 2, 3.5, 5, 5},
        {{1, 2, 4, 8, 16, 32, 64}, 3, 8, 24, 64},
        {{25, 25, 25}, 25, 25, 25, 25},
        {{5, 5, 5, 7, 9, 100, 100, 3, 3}, 5, 5, 9, 100},
        {{1, 3, 5, 7, 9, 11, 13, 15, 17, 19}, 5, 10, 15, 15},
        // Lengths past the short range are counted apart; order must still hold across the two.
        {{70000, 10, 200000, 10, 65536}, 10, 65536, 70000, 200000},
        {{100000, 1, 1, 1}, 1, 1, 50000.5, 100000},
    };
    for (const Case& c : cases) {
        const SeqStatistics stats = ofLengths(c.lengths);
        SCOPED_TRACE(::testing::PrintToString(c.lengths));
        EXPECT_DOUBLE_EQ(stats.quartile(1), c.q1);
        EXPECT_DOUBLE_EQ(stats.quartile(2), c.q2);
        EXPECT_DOUBLE_EQ(stats.quartile(3), c.q3);
        EXPECT_EQ(stats.n50(), c.n50);
    }
}

TEST(SeqStatistics, CountsLengthsGapsAndGc) {
    SeqStatistics stats;
    stats.add("ACGTN-", {}, Type::DNA);
    stats.add("GGCC", {}, Type::Protein); // the first entry's type stands for the file
    stats.add("a", {}, Type::DNA);
    stats.add("acgta.gtac", {}, Type::DNA);
    stats.add("A A", {}, Type::DNA);
    EXPECT_EQ(stats.count(), 5u);
    EXPECT_EQ(stats.totalLength(), 24u);
    EXPECT_EQ(stats.minLength(), 1u);
    EXPECT_EQ(stats.maxLength(), 10u);
    EXPECT_DOUBLE_EQ(stats.meanLength(), 4.8);
    EXPECT_EQ(stats.gaps(), 3u); // '-', '.', ' '
    // G/C either case: 2 + 4 + 0 + 4 + 0 of 24.
    EXPECT_DOUBLE_EQ(stats.gcPercent(), 100.0 * 10 / 24);
    EXPECT_EQ(stats.moleculeType(), Type::DNA);
    EXPECT_FALSE(stats.hasQualities());
    EXPECT_EQ(stats.q20Percent(), 0.0);
    EXPECT_EQ(stats.meanQuality(), 0.0);
}

TEST(SeqStatistics, QualityFigures) {
    SeqStatistics stats;
    stats.add("ACGT", {40, 40, 2, 20}, Type::DNA);
    stats.add("AC", {20, 30}, Type::DNA);
    EXPECT_TRUE(stats.hasQualities());
    EXPECT_DOUBLE_EQ(stats.q20Percent(), 100.0 * 5 / 6);
    EXPECT_DOUBLE_EQ(stats.q30Percent(), 50.0);
    // Mean error probability (2e-4 + 10^-0.2 + 2e-2 + 1e-3) / 6, back on the Phred scale.
    EXPECT_NEAR(stats.meanQuality(), 9.637988608, 1e-8);

    SeqStatistics worst;
    worst.add("AC", {0, 0}, Type::DNA);
    EXPECT_FALSE(std::signbit(worst.meanQuality()));
    EXPECT_EQ(worst.meanQuality(), 0.0);
}

TEST(SeqStatistics, NothingAddedGivesZeros) {
    const SeqStatistics stats;
    EXPECT_EQ(stats.count(), 0u);
    EXPECT_EQ(stats.minLength(), 0u);
    EXPECT_EQ(stats.maxLength(), 0u);
    EXPECT_EQ(stats.meanLength(), 0.0);
    EXPECT_EQ(stats.quartile(1), 0.0);
    EXPECT_EQ(stats.n50(), 0u);
    EXPECT_EQ(stats.gcPercent(), 0.0);
    EXPECT_EQ(stats.moleculeType(), Type::Unknown);
}

TEST(SeqStatistics, TakesASequencesConfidencesAsQualities) {
    Velm::NASequence read("r1", "GGAT");
    read.confidences() = {30, 30, 10, 10};
    SeqStatistics stats;
    stats.add(read);
    EXPECT_EQ(stats.totalLength(), 4u);
    EXPECT_DOUBLE_EQ(stats.q30Percent(), 50.0);
    EXPECT_DOUBLE_EQ(stats.gcPercent(), 50.0);
}

} // namespace
