// Locations moved to the other strand, and entries reverse complemented with their features.
#include <contracts/FeatureLocation.h>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Velm;

namespace {

// Positions 1..20 of a made-up entry and its reverse complement.
const char* const kEntry = "AACCGGTTACGTRYKMBVDH";

struct TurnCase {
    const char* text;
    const char* turned; // on the other strand of a 20-residue entry
    const char* twice = nullptr; // turned back; null: the text itself
};

const TurnCase kTurns[] = {
    {"3..6", "complement(15..18)"},
    {"5", "complement(16)"},
    {"<1..4", "complement(17..>20)"},
    {"1..>4", "complement(<17..20)"},
    {"<5", "complement(>16)"},
    {"2^3", "complement(18^19)"},
    {"4.9", "complement(12.17)"},
    {"complement(1..4)", "17..20"},
    {"join(1..2,5..6)", "complement(join(15..16,19..20))"},
    {"order(5..6,1..2)", "complement(order(19..20,15..16))"},
    {"complement(join(1..2,5..6))", "join(15..16,19..20)"},
    {"join(complement(5..6),complement(1..2))", "join(15..16,19..20)", "complement(join(1..2,5..6))"},
    {"join(1..2,complement(5..6))", "complement(join(complement(15..16),19..20))"},
    {"join(<1..2,complement(join(3..4,7..8)))", "complement(join(complement(join(13..14,17..18)),19..>20))"},
    // Another entry keeps its positions; what is read from it does not change.
    {"join(AB123.1:1..10,3..6)", "complement(join(15..18,complement(AB123.1:1..10)))"},
    {"complement(AB123.1:1..10)", "complement(AB123.1:1..10)"},
    {"bond(12,15)", "complement(bond(6,9))"},
};

class Turns : public ::testing::TestWithParam<TurnCase> {};

TEST_P(Turns, MirrorsPositionsAndReadsTheSameResidues) {
    const TurnCase& c = GetParam();
    const FeatureLocation location = FeatureLocation::parse(c.text);
    const FeatureLocation turned = location.reverseComplemented(20);
    EXPECT_EQ(c.turned, turned.text());
    EXPECT_EQ(c.twice ? c.twice : c.text, turned.reverseComplemented(20).text());
    EXPECT_EQ(location.partialStart(), turned.partialStart());
    EXPECT_EQ(location.partialEnd(), turned.partialEnd());
    if (location.isRemote() || location.parts()[0].kind == LocationPart::Kind::Within) return;
    EXPECT_EQ(location.strand() == FeatureLocation::Strand::Mixed,
              turned.strand() == FeatureLocation::Strand::Mixed);
    EXPECT_EQ(location.extract(kEntry), turned.extract(reverseComplement(kEntry)));
}

TEST(Turns, ADoubleComplementComesBackSimplified) {
    EXPECT_EQ("complement(15..18)", FeatureLocation::parse("complement(complement(3..6))").reverseComplemented(20).text());
}

INSTANTIATE_TEST_SUITE_P(Locations, Turns, ::testing::ValuesIn(kTurns));

TEST(Turns, APositionPastTheEntryIsAnError) {
    EXPECT_THROW(FeatureLocation::parse("15..25").reverseComplemented(20), LocationError);
    // A between-base site past the end: neither extracted nor turned.
    EXPECT_THROW(FeatureLocation::parse("2^3344").extract(kEntry), LocationError);
    EXPECT_THROW(FeatureLocation::parse("2^3344").reverseComplemented(20), LocationError);
}

TEST(ReverseComplementEntry, TurnsResiduesConfidencesAndFeatures) {
    NASequence read("r1", "AACCGTn");
    read.setDescription("a read");
    read.setConfidences({1, 2, 3, 4, 5, 6, 7});
    read.addFeature({"CDS", "<2..4", {{"gene", "g"}}});
    read.addFeature({"misc", "complement(join(1..2,6..7))", {}});
    reverseComplementEntry(read);
    EXPECT_EQ("nACGGTT", read.residues());
    EXPECT_EQ(std::vector<unsigned char>({7, 6, 5, 4, 3, 2, 1}), read.confidences());
    EXPECT_EQ("r1", read.name());
    EXPECT_EQ("a read", read.description());
    ASSERT_EQ(2u, read.features().size());
    EXPECT_EQ("complement(4..>6)", read.features()[0].location);
    EXPECT_EQ("join(1..2,6..7)", read.features()[1].location);
    EXPECT_EQ("ACC", extractFeature(read.features()[0], read)); // as it read before
    EXPECT_EQ("g", read.features()[0].qualifiers[0].second);
}

TEST(ReverseComplementEntry, RnaFeaturesOnTheOtherStrandStayRna) {
    // The part read on the other strand holds no U of its own.
    EXPECT_EQ("UGC", FeatureLocation::parse("complement(4..6)").extract("AUGGCA"));
    EXPECT_EQ("UGCCAU", FeatureLocation::parse("complement(1..6)").extract("AUGGCA"));
    EXPECT_EQ("TGC", FeatureLocation::parse("complement(4..6)").extract("ATGGCA"));
}

TEST(ReverseComplementEntry, RnaStaysRna) {
    Sequence rna("m", "AUGGCu", Sequence::MoleculeType::RNA);
    reverseComplementEntry(rna);
    EXPECT_EQ("aGCCAU", rna.residues());
}

TEST(ReverseComplementEntry, ProteinsAndFeaturesPastTheEndAreRefused) {
    Sequence protein("p", "MKV", Sequence::MoleculeType::Protein);
    EXPECT_THROW(reverseComplementEntry(protein), std::invalid_argument);
    EXPECT_EQ("MKV", protein.residues());

    NASequence broken("b", "ACGT");
    broken.addFeature({"misc", "2..9", {}});
    EXPECT_THROW(reverseComplementEntry(broken), LocationError);
    EXPECT_EQ("ACGT", broken.residues()); // left as it was
    EXPECT_EQ("2..9", broken.features()[0].location);
}

TEST(ReverseComplementEntry, AnEntryWithoutAnnotationGetsNone) {
    NASequence plain("p", "ACGT");
    reverseComplementEntry(plain);
    EXPECT_EQ("ACGT", plain.residues());
    EXPECT_TRUE(plain.features().empty());
    EXPECT_TRUE(plain.confidences().empty());
}

} // namespace
