// Layouts other programs write: NBRF/PIR exports with comment lines.
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

using namespace satest;

namespace {

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

} // namespace
