// What the extension sources must not change: a failed read is a failure, a missing file has no
// iterator, a save target's old content does not choose the format written; and what they add
// for chromatograms inside gzip files.
#include "FactoryTestAccess.h"
#include "TestSupport.h"

#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

namespace {

const char* const kReads = "@r1 first\nACGT\n+\n!+5I\n@r2\nGGA\n+\nIII\n";

class ExtensionSources : public mftest::ExtendedFactoryTest, protected mftest::SampleFiles {};

TEST_F(ExtensionSources, APartialCompressedReadThrowsUnderEveryName) {
    std::string fasta;
    for (int i = 0; i < 3000; ++i)
        fasta += ">r" + std::to_string(i) + "\nACGTTGCAACGGTACCATGAGGCTAAGTCCGATTACGA" + std::to_string(i * 7919) + "\n";
    std::string reads;
    for (int i = 0; i < 3000; ++i)
        reads += "@q" + std::to_string(i) + "\nACGTTGCAACGGTACCATGAGG\n+\nIIIIIIIIIIIIIIIIIIIIII\n";
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"cut.fa.gz", fasta},
                                     {"cut.fq.gz", reads}}) {
        const std::string bytes = mftest::readFile(packed(name, text));
        const std::string path = write(name, bytes.substr(0, bytes.size() / 2));
        SCOPED_TRACE(path);
        cmn::OpContext ctx;
        EXPECT_THROW(factory().open(path.c_str(), Velm::SeqModel::className, &ctx), std::exception);
        // The alignment opener turns it into its one report and no model.
        EXPECT_FALSE(factory().open(path.c_str(), Velm::AlignModel::className, &ctx));
        ASSERT_EQ(ctx.errors().size(), 1u);
        EXPECT_EQ(ctx.errors()[0].rfind("loading alignment: ", 0), 0u) << ctx.errors()[0];
    }
}

TEST_F(ExtensionSources, AMissingFileHasNoIteratorAndNoModel) {
    for (const char* name : {"missing.fq", "missing.fa.gz", "missing.fastq.bz2"}) {
        const std::string path = dir_.file(name);
        cmn::OpContext ctx;
        EXPECT_FALSE(factory().iterate(path.c_str(), nullptr, &ctx, "")) << name;
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{"ModelSource unable to open iterator for '" + path + "'"});
        auto model = factory().open(path.c_str(), Velm::SeqModel::className, &ctx);
        ASSERT_TRUE(model);
        EXPECT_TRUE(model->empty()) << name;
    }
}

TEST_F(ExtensionSources, TheSaveTargetsNameChoosesTheFormatNotItsOldContent) {
    Velm::SeqModel model;
    model.addSeq(boost::make_shared<Velm::Sequence>("s1", "ACGTACGTAC"));
    struct Case {
        const char* name;
        const char* starts; // what the written file begins with
    };
    const Case cases[] = {{"q.gb", "LOCUS"}, {"q.fa", ">s1"}, {"q.embl", "ID"}};
    for (const Case& c : cases) {
        const std::string path = write(c.name, kReads);
        cmn::OpContext ctx;
        ASSERT_TRUE(factory().save(path.c_str(), model, &ctx)) << c.name << ::testing::PrintToString(ctx.errors());
        EXPECT_EQ(mftest::readFile(path).rfind(c.starts, 0), 0u) << c.name << ": " << mftest::readFile(path);
    }
    // A FASTQ name, or FASTQ named in the path, is still written as FASTQ.
    cmn::OpContext ctx;
    auto loaded = factory().open(write("in.fq", kReads).c_str(), Velm::SeqModel::className, &ctx);
    ASSERT_TRUE(loaded && !loaded->empty());
    const std::string named = write("reads.txt", ">old\nAC\n");
    ASSERT_TRUE(factory().save(("FASTQ@@" + named).c_str(), *loaded, &ctx));
    EXPECT_EQ(mftest::readFile(named), kReads);
}

TEST_F(ExtensionSources, GzipChromatogramsAreClassifiedAndOpenedByWhatTheyHold) {
    MF_REQUIRE_TESTDATA();
    for (const char* sample : {"310.ab1", "3730.ab1", "310.ztr", "310.scf", "GBKAK82TF.ztr"}) {
        const std::string plain = mftest::readFile(mftest::testdataFile(std::string("traces/") + sample));
        for (const std::string& name : {std::string(sample) + ".gz", std::string("read.gz")}) {
            const std::string path = packed(name, plain);
            SCOPED_TRACE(std::string(sample) + " as " + name);
            EXPECT_EQ(factory().getType(path.c_str()), Velm::TraceModel::className);
            cmn::OpContext ctx;
            auto sequences = factory().open(path.c_str(), Velm::SeqModel::className, &ctx);
            ASSERT_TRUE(sequences && !sequences->empty()) << ::testing::PrintToString(ctx.errors());
            const auto& bio = dynamic_cast<const Velm::BioModel&>(*sequences);
            ASSERT_EQ(bio.sequences().size(), 1u);
            EXPECT_GT(bio.sequences()[0]->length(), 100u);
        }
    }
}

} // namespace
