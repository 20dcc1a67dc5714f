#include "FactoryTestAccess.h"
#include "TestSupport.h"

#include "factory/CompressedFileSource.h"

#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>

#include <gtest/gtest.h>

namespace {

using Access = Ovik::ModelFactoryTestAccess;

const char* const kFasta = ">one\nACGTACGTAC\n>two\nGGTTAACC\n";
const char* const kGenBank =
    "LOCUS       AB000001                  10 bp    DNA     linear   PLN 01-JAN-2000\n"
    "ORIGIN\n        1 acgtacgtac\n//\n";
const char* const kMsf =
    "!!NA_MULTIPLE_ALIGNMENT 1.0\n\n aln.msf  MSF: 6  Type: N  Check: 0 ..\n\n"
    " Name: s1  Len: 6  Check: 0  Weight: 1.00\n Name: s2  Len: 6  Check: 0  Weight: 1.00\n\n//\n\n"
    "s1  ACGT-A\ns2  ACGTTA\n";

class CompressedFiles : public mftest::ExtendedFactoryTest, protected mftest::SampleFiles {};

TEST_F(CompressedFiles, DetectionAnswersWhatTheDecompressedContentHolds) {
    const struct {
        const char* name;
        std::string content;
        std::string type;
    } cases[] = {
        {"reads.fa.gz", kFasta, Velm::SeqModel::className},
        {"contigs.gb.bz2", kGenBank, Velm::SeqModel::className},
        {"aln.msf.xz", kMsf, Velm::AlignModel::className},
        {"noext.zst", kGenBank, Velm::SeqModel::className},        // no row: the content decides
        {"tool.exe.gz", kFasta, ""},                               // a row without sequence data
        {"blob.gz", std::string(70000, '\x01'), ""},               // content that is not ours
        {"listing.bz2", "Query= something\n", ""},                 // not sequence data
    };
    for (const auto& c : cases) {
        const std::string path = packed(c.name, c.content);
        EXPECT_EQ(factory().getType(path.c_str()), c.type) << c.name;
    }
    // A plain file named .gz is read through as well; the "gz" row still answers for a path the
    // compressed-file source does not handle.
    EXPECT_EQ(factory().getType(mftest::writeFile(dir_.file("plain.fa.gz"), kFasta).c_str()),
              Velm::SeqModel::className);
    EXPECT_STREQ(Access::scanNative(factory(), dir_.file("plain.fa.gz").c_str()), "");
    EXPECT_EQ(factory().getType(dir_.file("missing.fa.gz").c_str()), "");
}

TEST_F(CompressedFiles, OpenIterateAndSaveWorkThroughTheFactory) {
    const std::string reads = packed("reads.fa.xz", kFasta);
    cmn::OpContext ctx;
    boost::shared_ptr<Velm::Model> model = factory().open(reads.c_str(), Velm::SeqModel::className, &ctx);
    ASSERT_TRUE(model);
    auto* bio = dynamic_cast<Velm::BioModel*>(model.get());
    ASSERT_TRUE(bio);
    ASSERT_EQ(bio->sequences().size(), 2u) << (ctx.errors().empty() ? "" : ctx.errors().front());
    EXPECT_EQ(bio->sequences()[1]->residues(), "GGTTAACC");

    boost::shared_ptr<Velm::ModelIter> it = factory().iterate(reads.c_str(), nullptr, &ctx, "");
    ASSERT_TRUE(it);
    std::vector<std::string> names;
    while (boost::shared_ptr<Velm::Model> one = it->next())
        names.push_back(dynamic_cast<Velm::BioModel&>(*one).sequences().front()->name());
    EXPECT_EQ(names, (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(ctx.errors().empty());

    // Saved compressed in the format of the inner name, through the archive writer or a source.
    for (const char* out : {"out.gb.gz", "out.fa.zst"}) {
        const std::string path = dir_.file(out);
        ASSERT_TRUE(factory().save(path.c_str(), *model, &ctx)) << out;
        EXPECT_NE(cmn::compressionOfBytes(mftest::readFile(path)), cmn::Compression::None) << out;
        EXPECT_EQ(factory().getType(path.c_str()), Velm::SeqModel::className) << out;
    }
    std::string text, error;
    ASSERT_TRUE(cmn::readWholeFile(dir_.file("out.fa.zst"), text, error));
    EXPECT_EQ(text, ">one\nACGTACGTAC\n>two\nGGTTAACC\n");

    const std::string aln = packed("aln.msf.gz", kMsf);
    boost::shared_ptr<Velm::Model> alignment = factory().open(aln.c_str(), Velm::AlignModel::className, &ctx);
    ASSERT_TRUE(alignment && !alignment->empty());
    const std::string nexus = dir_.file("aln.nex.bz2");
    ASSERT_TRUE(factory().save(nexus.c_str(), *alignment, &ctx));
    EXPECT_EQ(cmn::compressionOfBytes(mftest::readFile(nexus)), cmn::Compression::Bzip2);
    EXPECT_EQ(factory().getType(nexus.c_str()), Velm::AlignModel::className);
}

TEST_F(CompressedFiles, ATruncatedFileIsAnErrorNamingThePath) {
    std::string fasta;
    for (int i = 0; i < 3000; ++i)
        fasta += ">r" + std::to_string(i) + "\nACGTTGCAACGGTACCATGAGGCTAAGTCCGATTACGA" + std::to_string(i * 7919) + "\n";
    const std::string bytes = mftest::readFile(packed("cut.fa.gz", fasta));
    mftest::writeFile(dir_.file("cut.fa.gz"), bytes.substr(0, bytes.size() / 2));
    cmn::OpContext ctx;
    boost::shared_ptr<Velm::ModelIter> it = factory().iterate(dir_.file("cut.fa.gz").c_str(), nullptr, &ctx, "");
    ASSERT_TRUE(it);
    std::size_t read = 0;
    while (it->next())
        ++read;
    EXPECT_GT(read, 0u);
    EXPECT_LT(read, 3000u);
    ASSERT_FALSE(ctx.errors().empty());
    EXPECT_NE(ctx.errors().back().find(dir_.file("cut.fa.gz") + ":"), std::string::npos) << ctx.errors().back();
    EXPECT_NE(ctx.errors().back().find("truncated gzip data"), std::string::npos) << ctx.errors().back();
}

} // namespace
