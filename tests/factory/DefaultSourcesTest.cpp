// The factory as GetModelFactory() builds it, without the extension sources: FASTQ and compressed
// files reach only the extension table, the chromatogram sniffer and the archive layer.
#include "FactoryTestAccess.h"
#include "TestSupport.h"

#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

namespace {

using Access = Ovik::ModelFactoryTestAccess;

const char* const kFasta = ">one\nACGTACGTAC\n>two\nGGTTAACC\n";
const char* const kReads = "@r1 first\nACGT\n+\n!+5I\n@r2\nGGA\n+\nIII\n";

class DefaultSources : public mftest::FactoryTest, protected mftest::SampleFiles {
protected:
    std::vector<std::string> namesOf(const boost::shared_ptr<Velm::ModelIter>& it) {
        std::vector<std::string> names;
        while (boost::shared_ptr<Velm::Model> one = it->next())
            for (const auto& sequence : dynamic_cast<Velm::BioModel&>(*one).sequences())
                names.push_back(sequence->name());
        return names;
    }
    cmn::OpContext ctx_;
};

TEST_F(DefaultSources, DetectionFollowsTheExtensionTableWhateverTheContent) {
    struct Case {
        std::string path;
        std::string type;
    };
    const Case cases[] = {
        {packed("x.gz", kFasta), ""},                                    // the "gz" row
        {packed("reads.fq.gz", kReads), ""},
        {write("plain.gz", kFasta), ""},
        {write("x.exe", kReads), ""},                                    // FASTQ under a table row
        {write("x.nex", kReads), Velm::AlignModel::className},
        {write("x.abi", kReads), Velm::TraceModel::className},
        {write("reads.fq", kReads), Velm::SeqModel::className},          // no row: the archive probe
        {"FASTQ@@" + write("q.fq", kReads), ""},                         // not split by detection
    };
    for (const Case& c : cases)
        EXPECT_EQ(factory().getType(c.path.c_str()), c.type) << c.path;
}

TEST_F(DefaultSources, FastqAndCompressedArchivesStillReadThroughTheArchiveLayer) {
    for (const std::string& path : {packed("reads.fq.gz", kReads), write("reads.fq", kReads),
                                    packed("reads.fa.bz2", kFasta)}) {
        SCOPED_TRACE(path);
        cmn::OpContext ctx;
        auto model = factory().open(path.c_str(), Velm::SeqModel::className, &ctx);
        ASSERT_TRUE(model);
        auto* bio = dynamic_cast<Velm::BioModel*>(model.get());
        ASSERT_TRUE(bio);
        EXPECT_EQ(bio->sequences().size(), 2u);
        EXPECT_EQ(model->encoding(), "SAL");
        auto it = factory().iterate(path.c_str(), nullptr, &ctx, "");
        ASSERT_TRUE(it);
        EXPECT_EQ(namesOf(it).size(), 2u);
        EXPECT_TRUE(ctx.errors().empty()) << ::testing::PrintToString(ctx.errors());
    }
}

TEST_F(DefaultSources, AMissingFileHasNoIterator) {
    for (const char* name : {"missing.fq", "missing.fa.gz"}) {
        cmn::OpContext ctx;
        const std::string path = dir_.file(name);
        EXPECT_FALSE(factory().iterate(path.c_str(), nullptr, &ctx, ""));
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{"Unable to open iterator for '" + path + "'"});
    }
}

TEST_F(DefaultSources, ATruncatedArchiveThrowsFromOpen) {
    std::string fasta;
    for (int i = 0; i < 3000; ++i)
        fasta += ">r" + std::to_string(i) + "\nACGTTGCAACGGTACCATGAGGCTAAGTCCGATTACGA" + std::to_string(i * 7919) + "\n";
    const std::string bytes = mftest::readFile(packed("cut.fa.gz", fasta));
    const std::string path = write("cut.fa.gz", bytes.substr(0, bytes.size() / 2));
    EXPECT_THROW(factory().open(path.c_str(), Velm::SeqModel::className, &ctx_), std::exception);
}

TEST_F(DefaultSources, SavingFollowsTheTableAndTheFastaRule) {
    Velm::AlignModel alignment;
    alignment.addSeq(boost::make_shared<Velm::Sequence>("r1", "AC-GT"));
    alignment.addSeq(boost::make_shared<Velm::Sequence>("r2", "ACGGT"));
    const std::string byFormat = dir_.file("aln.out");
    ASSERT_TRUE(factory().save(byFormat.c_str(), alignment, "fastq", &ctx_));
    EXPECT_EQ(mftest::readFile(byFormat), ">r1\nAC-GT\n>r2\nACGGT\n");

    // ".fastq" begins like the "fa" row: FASTA, qualities or not.
    Velm::SeqModel plain;
    plain.addSeq(boost::make_shared<Velm::Sequence>("p", "ACGT"));
    const std::string fastqName = dir_.file("p.fastq");
    ASSERT_TRUE(factory().save(fastqName.c_str(), plain, &ctx_));
    EXPECT_EQ(mftest::readFile(fastqName), ">p\nACGT\n");

    for (const char* name : {"p.fq", "p.fa.gz", "p.gb.bz2"}) {
        cmn::OpContext ctx;
        const std::string path = dir_.file(name);
        EXPECT_FALSE(factory().save(path.c_str(), plain, &ctx)) << name;
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{"unsupported file type: " + path});
        EXPECT_EQ(mftest::filesIn(dir_.path()).count(name), 0u) << name;
    }
}

} // namespace
