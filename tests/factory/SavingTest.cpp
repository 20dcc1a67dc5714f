#include "FactoryTestAccess.h"
#include "RecordingSource.h"
#include "TestSupport.h"

#include <contracts/SeqArchive.h>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Access = Ovik::ModelFactoryTestAccess;
using mftest::recordingSource;

boost::shared_ptr<Velm::Sequence> dna(const std::string& name, const std::string& residues) {
    auto s = boost::make_shared<Velm::NASequence>(name, residues);
    return s;
}

boost::shared_ptr<Velm::Sequence> protein(const std::string& name, const std::string& residues) {
    return boost::make_shared<Velm::Sequence>(name, residues, Velm::Sequence::MoleculeType::Protein);
}

class Saving : public mftest::FactoryTest {
protected:
    void SetUp() override {
        FactoryTest::SetUp();
        clearRegistry();
        model_.addSeq(dna("first", "ACGTACGTAA"));
        model_.addSeq(dna("second", "GGCCTTAA"));
    }
    // Reads a saved file back through the archive layer.
    std::vector<std::string> namesIn(const std::string& path) {
        Velm::SeqModel back;
        Access::openSAL(factory(), path.c_str(), back, nullptr);
        std::vector<std::string> names;
        for (const auto& s : back.sequences())
            names.push_back(s->name() + ":" + s->residues());
        return names;
    }
    std::size_t filesIn(const std::string& dir) {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir),
                                                      std::filesystem::directory_iterator()));
    }
    Velm::SeqModel model_;
    mftest::TempDir dir_;
    cmn::OpContext ctx_;
};

TEST_F(Saving, AnEmptyModelIsNeverWritten) {
    Velm::SeqModel empty;
    const std::string path = dir_.file("x.fa");
    EXPECT_FALSE(factory().save(path.c_str(), empty, &ctx_));
    EXPECT_FALSE(factory().save(path.c_str(), empty, "FASTA", &ctx_));
    EXPECT_EQ(ctx_.errors(), (std::vector<std::string>{"Cannot open the input file", "Cannot open the input file"}));
    EXPECT_FALSE(mftest::fileExists(path));
}

TEST_F(Saving, ByPathTheExtensionRowChoosesTheArchiveFormat) {
    struct Case { const char* name; const char* format; };
    const Case cases[] = {{"x.fa", Ovik::SALSource::FASTA}, {"x.gb", Ovik::SALSource::GB},
                          {"x.msf", Ovik::SALSource::MSF},  {"x.rsf", Ovik::SALSource::RSF},
                          {"x.emb", Ovik::SALSource::EMBL}, {"x.ssf", Ovik::SALSource::SSF},
                          {"x.fasta", Ovik::SALSource::FASTA}};
    for (const Case& c : cases) {
        Velm::SeqModel model;
        model.addSeq(dna("first", "ACGTACGTAA"));
        model.addSeq(dna("second", "GGCCTTAAGG")); // equal lengths: MSF is an alignment
        const std::string path = dir_.file(c.name);
        ASSERT_TRUE(factory().save(path.c_str(), model, &ctx_)) << c.name;
        EXPECT_EQ(model.url(), path);
        EXPECT_EQ(model.encoding(), c.format);
        EXPECT_EQ(namesIn(path), (std::vector<std::string>{"first:ACGTACGTAA", "second:GGCCTTAAGG"})) << c.name;
    }
    EXPECT_TRUE(ctx_.reports().empty());
}

TEST_F(Saving, ProteinArchivesByPath) {
    Velm::SeqModel model;
    model.addSeq(protein("P1", "MKVLAAGIVG"));
    for (const char* name : {"p.swl", "p.spt"}) {
        ASSERT_TRUE(factory().save(dir_.file(name).c_str(), model, &ctx_)) << name;
        EXPECT_EQ(namesIn(dir_.file(name)), std::vector<std::string>{"P1:MKVLAAGIVG"}) << name;
    }
}

TEST_F(Saving, ByPathWithoutAWritableRowIsUnsupported) {
    for (const char* name : {"x.pir", "x.sta", "noext", "x.nex.txt", "x.abi"}) {
        cmn::OpContext ctx;
        const std::string path = dir_.file(name);
        EXPECT_FALSE(factory().save(path.c_str(), model_, &ctx)) << name;
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{"unsupported file type: " + path});
        EXPECT_FALSE(mftest::fileExists(path));
    }
}

TEST_F(Saving, ANonSequenceModelCannotGoToAnArchive) {
    Velm::CFProjModel project;
    project.addFile("a.ab1");
    const std::string path = dir_.file("x.gb");
    EXPECT_FALSE(factory().save(path.c_str(), project, &ctx_));
    EXPECT_EQ(ctx_.errors(), (std::vector<std::string>{"saving file: " + path + ": nothing to save",
                                                       "unsupported file type: " + path}));
}

TEST_F(Saving, ASourceHasTheFirstWordAndTheNextIsTriedWhenItFails) {
    auto failing = recordingSource("a"), working = recordingSource("b");
    failing->formats = working->formats = {{"REC", "recorded"}};
    failing->handlesPath = working->handlesPath = [](const char*) { return true; };
    working->saveResult = true;
    factory().addSource(failing, false);
    factory().addSource(working, false);

    EXPECT_TRUE(factory().save("/out/x.rec", model_, "rec", &ctx_));
    EXPECT_EQ(model_.url(), "/out/x.rec");
    EXPECT_EQ(failing->recorded().back(), "save5 /out/x.rec rec");
    EXPECT_EQ(working->recorded().back(), "save5 /out/x.rec rec");

    // By path: the source that handles the path (the first) fails, then the extension decides.
    const std::string path = dir_.file("x.fa");
    EXPECT_TRUE(factory().save(path.c_str(), model_, &ctx_));
    EXPECT_EQ(failing->recorded().back(), "save " + path);
    EXPECT_EQ(namesIn(path).size(), 2u);
    EXPECT_TRUE(ctx_.reports().empty());
}

TEST_F(Saving, ByFormatGenPeptFollowsTheFirstSequence) {
    const std::string nucleotide = dir_.file("n.out");
    ASSERT_TRUE(factory().save(nucleotide.c_str(), model_, Ovik::SALSource::GENPEPT, &ctx_));
    EXPECT_EQ(model_.encoding(), Ovik::SALSource::GB);

    Velm::SeqModel proteins;
    proteins.addSeq(protein("P1", "MKVLAAGIVG"));
    ASSERT_TRUE(factory().save(dir_.file("p.out").c_str(), proteins, Ovik::SALSource::GENPEPT, &ctx_));
    EXPECT_EQ(proteins.encoding(), Ovik::SALSource::GENPEPT);
    ASSERT_TRUE(factory().save(dir_.file("p2.out").c_str(), proteins, Ovik::SALSource::GB, &ctx_));
    EXPECT_EQ(proteins.encoding(), Ovik::SALSource::GENPEPT);
    EXPECT_EQ(namesIn(dir_.file("p2.out")), std::vector<std::string>{"P1:MKVLAAGIVG"});
}

TEST_F(Saving, ByFormatNamesWithoutAnArchiveRowAreUnsupported) {
    for (const char* format : {Ovik::SALSource::NBRF, Ovik::SALSource::STADEN, "no-such-format"}) {
        cmn::OpContext ctx;
        const std::string path = dir_.file("x.out");
        EXPECT_FALSE(factory().save(path.c_str(), model_, format, &ctx)) << format;
        EXPECT_EQ(ctx.errors().back(), "unsupported file type: " + path) << format;
        EXPECT_FALSE(factory().save(path.c_str(), model_, format, nullptr));
    }
}

TEST_F(Saving, AnAlignmentByAFastaNameGoesThroughTheAlignmentWriter) {
    Velm::AlignModel alignment;
    alignment.addSeq(dna("r1", "AC-GT"));
    alignment.addSeq(dna("r2", "ACGGT"));
    for (const char* format : {"fasta", "FASTA", "Fasta", "fastq"}) {
        const std::string path = dir_.file(std::string("a-") + format);
        ASSERT_TRUE(factory().save(path.c_str(), alignment, format, &ctx_)) << format;
        EXPECT_EQ(mftest::readFile(path), ">r1\nAC-GT\n>r2\nACGGT\n");
    }
    EXPECT_EQ(alignment.url(), ""); // this writer leaves the URL alone
}

TEST_F(Saving, TheAlignmentWriterReportsAnUnopenableFileAndKeepsTheOldOne) {
    Velm::AlignModel alignment;
    alignment.addSeq(dna("r1", "ACGT"));
    const std::string missingDir = dir_.file("no/such/dir/x.fa");
    EXPECT_FALSE(Access::saveFastA(factory(), missingDir.c_str(), alignment.alignment, &ctx_));
    EXPECT_EQ(ctx_.errors(), std::vector<std::string>{"opening file: " + missingDir + ": No such file or directory"});

    // A failed write leaves an existing target as it was and no temporary file behind.
    const std::string target = mftest::writeFile(dir_.file("keep.fa"), "old contents\n");
    EXPECT_TRUE(Access::saveFastA(factory(), target.c_str(), alignment.alignment, nullptr));
    EXPECT_EQ(mftest::readFile(target), ">r1\nACGT\n");
    EXPECT_EQ(filesIn(dir_.path()), 1u);
}

TEST_F(Saving, AFailedArchiveSaveLeavesTheTargetIntact) {
    const std::string target = mftest::writeFile(dir_.file("keep.gb"), "precious\n");
    Velm::SeqModel broken;
    broken.addSeq(dna("ok", "ACGT"));
    // A sequence the writer must refuse: residues no GenBank file can hold.
    broken.addSeq(dna("bad", std::string("AC\nGT", 5)));
    try {
        factory().save(target.c_str(), broken, &ctx_);
    } catch (const std::exception&) {
        // Writers may throw; what matters is what is left on disk.
    }
    // Either the save was refused and the old file stands, or it replaced it completely.
    const std::string after = mftest::readFile(target);
    EXPECT_TRUE(after == "precious\n" || after.find("//") != std::string::npos) << after;
    EXPECT_EQ(filesIn(dir_.path()), 1u);
}

TEST_F(Saving, EveryWritableFormatSurvivesSaveThenOpen) {
    for (const char* name : {"r.fa", "r.gb", "r.emb", "r.msf", "r.rsf", "r.ssf"}) {
        Velm::SeqModel model;
        model.addSeq(dna("only", "ACGTACGTACGTAAACCCGGGTTT"));
        const std::string path = dir_.file(name);
        ASSERT_TRUE(factory().save(path.c_str(), model, &ctx_)) << name;
        auto back = boost::dynamic_pointer_cast<Velm::BioModel>(
            factory().open(path.c_str(), factory().getType(path.c_str()).c_str(), &ctx_));
        ASSERT_TRUE(back) << name;
        ASSERT_EQ(back->sequences().size(), 1u) << name;
        EXPECT_EQ(back->sequences()[0]->name(), "only") << name;
        EXPECT_EQ(back->sequences()[0]->residues(), "ACGTACGTACGTAAACCCGGGTTT") << name;
    }
}

} // namespace

namespace {

class SavingRealFiles : public mftest::FactoryTest {};

TEST_F(SavingRealFiles, MultiRecordFilesSurviveSaveThenOpenInEveryArchiveFormat) {
    MF_REQUIRE_TESTDATA();
    cmn::OpContext ctx;
    auto original = boost::dynamic_pointer_cast<Velm::BioModel>(
        factory().open(mftest::testdataFile("sequences/cor6_6.gb").c_str(), Velm::SeqModel::className, &ctx));
    ASSERT_TRUE(original);
    ASSERT_EQ(original->sequences().size(), 6u);
    mftest::TempDir dir;
    for (const char* name : {"c.fa", "c.gb", "c.emb", "c.rsf"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(factory().save(path.c_str(), *original, &ctx)) << name;
        auto back = boost::dynamic_pointer_cast<Velm::BioModel>(
            factory().open(path.c_str(), factory().getType(path.c_str()).c_str(), &ctx));
        ASSERT_TRUE(back) << name;
        ASSERT_EQ(back->sequences().size(), 6u) << name;
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(back->sequences()[i]->name(), original->sequences()[i]->name()) << name;
            EXPECT_EQ(back->sequences()[i]->residues(), original->sequences()[i]->residues()) << name;
        }
    }
    EXPECT_TRUE(ctx.errors().empty()) << ctx.errors().front();
}

} // namespace
