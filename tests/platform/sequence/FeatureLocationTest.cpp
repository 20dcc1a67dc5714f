#include <contracts/FeatureLocation.h>
#include <contracts/GeneticCode.h>

#include <gtest/gtest.h>

using namespace Velm;

namespace {

struct LocationCase {
    const char* text;
    const char* strand;
    bool partialStart;
    bool partialEnd;
    const char* extracted; // from kEntry; "" when extraction must fail
};

// Positions 1..20 of a made-up entry.
const char* const kEntry = "AACCGGTTACGTRYKMBVDH";

const LocationCase kCases[] = {
    {"3..6", "+", false, false, "CCGG"},
    {"5", "+", false, false, "G"},
    {"<1..4", "+", true, false, "AACC"},
    {"1..>4", "+", false, true, "AACC"},
    {"2^3", "+", false, false, ""},
    {"complement(1..4)", "-", false, false, "GGTT"},
    {"complement(<1..4)", "-", false, true, "GGTT"},
    {"complement(1..>4)", "-", true, false, "GGTT"},
    {"join(1..2,5..6)", "+", false, false, "AAGG"},
    {"order(5..6,1..2)", "+", false, false, "GGAA"},
    {"complement(join(1..2,5..6))", "-", false, false, "CCTT"},
    {"join(complement(5..6),complement(1..2))", "-", false, false, "CCTT"},
    {"join(1..2,complement(5..6))", "mixed", false, false, "AACC"},
    {"complement(complement(3..6))", "+", false, false, "CCGG"},
    {"join(<1..2,complement(join(3..4,7..8)))", "mixed", true, false, "AAAAGG"},
    {"complement(13..20)", "-", false, false, "DHBVKMRY"},
};

class Locations : public ::testing::TestWithParam<LocationCase> {};

TEST_P(Locations, ParseWriteStrandPartialsAndExtract) {
    const LocationCase& c = GetParam();
    const FeatureLocation loc = FeatureLocation::parse(c.text);
    EXPECT_EQ(c.text, loc.text());
    EXPECT_STREQ(c.strand, FeatureLocation::strandName(loc.strand()));
    EXPECT_EQ(c.partialStart, loc.partialStart());
    EXPECT_EQ(c.partialEnd, loc.partialEnd());
    EXPECT_EQ(c.extracted, loc.extract(kEntry));
}

INSTANTIATE_TEST_SUITE_P(Forms, Locations, ::testing::ValuesIn(kCases));

TEST(FeatureLocation, PartsFollowReadingOrder) {
    const auto parts = FeatureLocation::parse("complement(join(10..20,30..40))").parts();
    ASSERT_EQ(2u, parts.size());
    EXPECT_EQ(30, parts[0].start);
    EXPECT_TRUE(parts[0].reverse);
    EXPECT_EQ(10, parts[1].start);
}

TEST(FeatureLocation, WhiteSpaceOfWrappedLinesIsDropped) {
    EXPECT_EQ("join(1..2,5..6)", FeatureLocation::parse("join(1..2,\n 5..6)").text());
}

TEST(FeatureLocation, RemotePartsAreReportedNotGuessed) {
    const FeatureLocation loc = FeatureLocation::parse("join(1..3,AB123.1:10..20,AB123.1:30..40)");
    EXPECT_EQ("join(1..3,AB123.1:10..20,AB123.1:30..40)", loc.text());
    EXPECT_TRUE(loc.isRemote());
    ASSERT_EQ(1u, loc.remoteAccessions().size());
    EXPECT_EQ("AB123.1", loc.remoteAccessions()[0]);
    try {
        loc.extract(kEntry);
        FAIL() << "extracted a remote part";
    } catch (const LocationError& e) {
        EXPECT_NE(std::string(e.what()).find("AB123.1"), std::string::npos) << e.what();
    }
}

TEST(FeatureLocation, ProteinOperatorsRoundTrip) {
    for (const char* text : {"bond(12,45)", "join(bond(84),bond(115))", "one-of(1..3,4..6)", "gap(unk100)"})
        EXPECT_EQ(text, FeatureLocation::parse(text).text());
    // A bond's sequence is the residues at its sites; one-of() and gap() have none of their own.
    EXPECT_EQ("RH", FeatureLocation::parse("bond(13,20)").extract(kEntry));
    EXPECT_EQ("AGT", FeatureLocation::parse("join(bond(2),bond(5,8))").extract(kEntry));
    for (const char* text : {"one-of(1..3,4..6)", "gap(unk100)", "join(1..2,gap(10))"})
        EXPECT_THROW(FeatureLocation::parse(text).extract(kEntry), LocationError) << text;
}

TEST(FeatureLocation, UnknownPositionsAndDeepNestingAreRefused) {
    // UniProt's '?' positions are not guessed at.
    for (const char* text : {"1..?", "?..594", "18..?47"}) {
        try {
            FeatureLocation::parse(text);
            ADD_FAILURE() << text << " parsed";
        } catch (const LocationError& e) {
            EXPECT_NE(std::string(e.what()).find("unknown or uncertain position ('?')"), std::string::npos) << e.what();
        }
    }
    std::string deep;
    for (int i = 0; i < 100; ++i) deep += "join(";
    deep += "1..2";
    for (int i = 0; i < 100; ++i) deep += ")";
    EXPECT_EQ(deep, FeatureLocation::parse(deep).text());
    std::string tooDeep;
    for (int i = 0; i < 100000; ++i) tooDeep += "complement(";
    EXPECT_THROW(FeatureLocation::parse(tooDeep + "1"), LocationError);
    EXPECT_THROW(FeatureLocation::parse("join(" + deep + ")"), LocationError);
}

TEST(FeatureLocation, UncertainBaseAndOutOfRangeAreErrors) {
    EXPECT_EQ("102.110", FeatureLocation::parse("102.110").text());
    EXPECT_THROW(FeatureLocation::parse("2.4").extract(kEntry), LocationError);
    EXPECT_THROW(FeatureLocation::parse("15..21").extract(kEntry), LocationError);
}

TEST(FeatureLocation, MalformedTextsAreRejectedWithTheColumn) {
    for (const char* text : {"", "join(1..2", "1..", "abc", "complement(1..2,3..4)", "5..3", "0..4",
                             "join(1..2)x", "1..2,3..4", "<1^2"}) {
        EXPECT_THROW(FeatureLocation::parse(text), LocationError) << text;
    }
    try {
        FeatureLocation::parse("join(1..2;3..4)");
    } catch (const LocationError& e) {
        EXPECT_NE(std::string(e.what()).find("column 10"), std::string::npos) << e.what();
    }
}

TEST(ReverseComplement, IupacCodesCaseAndGaps) {
    EXPECT_EQ("NnWSDHBVMKYRtgca--.", reverseComplement(".--tgcaYRMKBVDHSWnN"));
    EXPECT_EQ("", reverseComplement(""));
    EXPECT_EQ("UUGCA", reverseComplement("UGCAA", true));
    EXPECT_EQ("TTGCA", reverseComplement("UGCAA"));
    EXPECT_TRUE(looksLikeRna("ACGU"));
    EXPECT_FALSE(looksLikeRna("ACGUT"));
}

TEST(GeneticCode, EveryNcbiTableIsThere) {
    const std::vector<int> expected = {1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 15, 16, 21, 22,
                                       23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33};
    EXPECT_EQ(expected, GeneticCode::ids());
    EXPECT_THROW(GeneticCode::byId(7), TranslationError);
    EXPECT_THROW(GeneticCode::byId(0), TranslationError);
}

struct CodonCase {
    int table;
    const char* codon;
    char aa;
    bool start;
    bool stop;
};

const CodonCase kCodons[] = {
    {1, "ATG", 'M', true, false},  {1, "TGA", '*', false, true},   {1, "TTG", 'L', true, false},
    {2, "TGA", 'W', false, false}, {2, "AGA", '*', false, true},   {2, "ATA", 'M', true, false},
    {3, "CTG", 'T', false, false}, {4, "TGA", 'W', false, false},  {6, "TAA", 'Q', false, false},
    {11, "GTG", 'V', true, false}, {12, "CTG", 'S', true, false},  {22, "TCA", '*', false, true},
    {23, "TTA", '*', false, true}, {25, "TGA", 'G', false, false}, {27, "TGA", 'W', false, true},
    {28, "TAA", 'Q', false, true}, {31, "TAG", 'E', false, true},  {1, "aug", 'M', true, false},
    {1, "TAR", '*', false, true},  {1, "ATH", 'I', false, false},  {1, "NNN", 'X', false, false},
    {1, "RAY", 'B', false, false}, {1, "SAR", 'Z', false, false},  {1, "MTT", 'J', false, false},
    {1, "---", '-', false, false}, {1, "A?G", 'X', false, false},
};

class Codons : public ::testing::TestWithParam<CodonCase> {};

TEST_P(Codons, TranslateStartStop) {
    const CodonCase& c = GetParam();
    const GeneticCode& code = GeneticCode::byId(c.table);
    EXPECT_EQ(c.aa, code.translateCodon(c.codon));
    EXPECT_EQ(c.start, code.isStart(c.codon));
    EXPECT_EQ(c.stop, code.isStop(c.codon));
}

INSTANTIATE_TEST_SUITE_P(Tables, Codons, ::testing::ValuesIn(kCodons));

TEST(Translate, CdsRules) {
    TranslationOptions cds;
    cds.cds = true;
    EXPECT_EQ("MA", translate("TTGGCCTAA", cds).protein); // alternative start reads as M
    EXPECT_THROW(translate("GCCGCCTAA", cds), TranslationError);   // no start
    EXPECT_THROW(translate("ATGGCCGCC", cds), TranslationError);   // no stop
    EXPECT_THROW(translate("ATGGCCTAAA", cds), TranslationError);  // length
    EXPECT_THROW(translate("ATGTAAGCCTAA", cds), TranslationError); // internal stop
    TranslationOptions lenient = cds;
    lenient.lenient = true;
    const Translation t = translate("ATGTAAGCCTAA", lenient);
    EXPECT_EQ("M*A", t.protein);
    ASSERT_EQ(1u, t.problems.size());
    EXPECT_NE(t.problems[0].find("codon 2"), std::string::npos);
    TranslationOptions partial = cds;
    partial.partialStart = partial.partialEnd = true;
    EXPECT_EQ("AAL", translate("GCCGCCCTGA", partial).protein);
    TranslationOptions plain;
    EXPECT_EQ("M*A", translate("ATGTAAGCCG", plain).protein);
    plain.toStop = true;
    EXPECT_EQ("M", translate("ATGTAAGCC", plain).protein);
    TranslationOptions mito = cds;
    mito.table = 2;
    EXPECT_EQ("MW", translate("ATATGAAGA", mito).protein);
}

TEST(Translate, FeatureQualifiers) {
    // ATG GCC TGA GCC TAA on the reverse strand, with a leading base for /codon_start=2.
    Sequence entry("e", "G" + reverseComplement("ATGGCCTGAGCCTAA") + "C", Sequence::MoleculeType::DNA);
    Feature f{"CDS", "complement(2..16)", {}};
    Translation t = translateFeature(f, entry);
    EXPECT_EQ("MA*A", t.protein);
    EXPECT_EQ(1u, t.problems.size());
    f.qualifiers = {{"transl_table", "2"}};
    EXPECT_EQ("MAWA", translateFeature(f, entry).protein);
    f.qualifiers = {{"transl_except", "(pos:complement(8..10),aa:Sec)"}};
    t = translateFeature(f, entry);
    EXPECT_EQ("MAUA", t.protein);
    EXPECT_TRUE(t.problems.empty());
    Feature shifted{"CDS", "<1..>9", {{"codon_start", "2"}}};
    Sequence fwd("f", "CATGGCCTA", Sequence::MoleculeType::DNA);
    EXPECT_EQ("MA", translateFeature(shifted, fwd).protein);
    shifted.qualifiers = {{"codon_start", "4"}};
    EXPECT_THROW(translateFeature(shifted, fwd), TranslationError);
    shifted.qualifiers = {{"transl_table", "8"}};
    EXPECT_THROW(translateFeature(shifted, fwd), TranslationError);
}

} // namespace
