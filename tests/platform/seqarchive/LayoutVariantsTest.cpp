// Layouts other programs write: NBRF/PIR exports with comment lines, and experiment files that
// carry their reading's sequence inline.
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

using namespace satest;

namespace {

const std::vector<unsigned char>& confidencesOf(const Velm::Sequence& sequence) {
    static const std::vector<unsigned char> none;
    const auto* na = dynamic_cast<const Velm::NASequence*>(&sequence);
    return na ? na->confidences() : none;
}

TEST(PirComments, AreSkippedBeforeBetweenAndAfterEntries) {
    mftest::TempDir dir;
    const std::string content = "C;Exported by a PIR query\nC;two entries\n\n"
                                ">P1;CRAB_ANAPL\nALPHA CRYSTALLIN B CHAIN\n  MDITIHNPLI RRPLFSWLAP*\n"
                                "C;Species: Anas platyrhynchos\nR;a reference line\n\n"
                                ">P1;CRAB_BOVIN\nALPHA CRYSTALLIN B CHAIN.\n  MDIAIHHPWI\n  RRPFF*\nC;the end\n";
    const std::string path = mftest::writeFile(dir.file("exported"), content);
    for (const std::string& format : {std::string(), std::string("NBRF")}) {
        const Sequences entries = readAll(path, format);
        ASSERT_EQ(entries.size(), 2u) << format;
        EXPECT_EQ(entries[0]->name(), "CRAB_ANAPL");
        EXPECT_EQ(entries[0]->description(), "ALPHA CRYSTALLIN B CHAIN");
        EXPECT_EQ(entries[0]->residues(), "MDITIHNPLIRRPLFSWLAP");
        EXPECT_EQ(entries[1]->name(), "CRAB_BOVIN");
        EXPECT_EQ(entries[1]->residues(), "MDIAIHHPWIRRPFF");
    }
}

struct ExperimentCase {
    const char* label;
    const char* file;
    const char* content;
    const char* name;
    const char* residues;
    std::vector<unsigned char> confidences;
    const char* warning; // after "<path>: ", or null
};

TEST(ExperimentFile, OneReadingFromItsTags) {
    const ExperimentCase cases[] = {
        // What a basecaller's conversion writes: confidences on continued AV lines, '-' for N.
        {"linked", "read1.exp",
         "ID   read1\nEN   read1.x\nLN   read1.ab1\nLT   ABI\nAV   10 20 30 40\nAV        50 60 70 80 90 99\n"
         "SQ   \n     ACGT-ACGTa\n//\n",
         "read1", "ACGTNACGTa", {10, 20, 30, 40, 50, 60, 70, 80, 90, 99}, nullptr},
        // Tags may follow the sequence; an "a,c,g,t" group counts as its highest value.
        {"tags after the sequence", "read2.exp",
         "ID   read2\nSQ\n     ACGT\n//\nAV   1,2,3,4 5 300 -2\nCC   a comment\n", "read2", "ACGT", {4, 5, 255, 0}, nullptr},
        {"named by EN", "read3.exp", "EN   entry3\nSQ\n     AC GT\n     TT\n//\n", "entry3", "ACGTTT", {}, nullptr},
        {"named by the file", "read4.exp", "LT   SCF\nSQ\n     ACG\n//\n", "read4", "ACG", {}, nullptr},
        // Confidences that do not match the bases are dropped, with a warning.
        {"short AV", "read5.exp", "ID   r\nEN   r\nAV   1 2 3\nSQ\n     ACGT\n//\n", "r", "ACGT", {},
         "confidences dropped: AV holds 3 values for 4 bases"},
    };
    mftest::TempDir dir;
    for (const ExperimentCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = mftest::writeFile(dir.file(c.file), c.content);
        cmn::OpContext ctx;
        const Sequences entries = readAll(path, "Experiment", &ctx);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0]->name(), c.name);
        EXPECT_EQ(entries[0]->residues(), c.residues);
        EXPECT_EQ(entries[0]->moleculeType(), Velm::Sequence::MoleculeType::DNA);
        EXPECT_EQ(confidencesOf(*entries[0]), c.confidences);
        EXPECT_EQ(ctx.warnings(), c.warning ? std::vector<std::string>{path + ": " + c.warning}
                                            : std::vector<std::string>{});
        EXPECT_TRUE(ctx.errors().empty());
    }
}

} // namespace
