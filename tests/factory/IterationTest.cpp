#include "FactoryTestAccess.h"
#include "RecordingSource.h"
#include "TestSupport.h"
#include "TraceWriter.h"

#include <contracts/SeqArchive.h>

#include <gtest/gtest.h>

namespace {

using Access = Ovik::ModelFactoryTestAccess;
using mftest::recordingSource;

class Iteration : public mftest::FactoryTest {
protected:
    std::vector<boost::shared_ptr<Velm::Model>> drain(const boost::shared_ptr<Velm::ModelIter>& iter) {
        std::vector<boost::shared_ptr<Velm::Model>> models;
        while (auto model = iter->next())
            models.push_back(model);
        return models;
    }
    mftest::TempDir dir_;
    cmn::OpContext ctx_;
};

const std::string kThree = ">a\nACGT\n>b\nGGGG\n>c\nTTTT\n";

TEST_F(Iteration, AnArchiveYieldsOneModelPerEntryInOrder) {
    clearRegistry();
    const std::string path = mftest::writeFile(dir_.file("three.fa"), kThree);
    auto iter = factory().iterate(path.c_str(), nullptr, &ctx_, "");
    ASSERT_TRUE(iter);
    EXPECT_TRUE(boost::dynamic_pointer_cast<Ovik::SALArchiveModelIter>(iter));
    auto models = drain(iter);
    ASSERT_EQ(models.size(), 3u);
    const char* names[] = {"a", "b", "c"};
    for (std::size_t i = 0; i < 3; ++i) {
        auto bio = boost::dynamic_pointer_cast<Velm::BioModel>(models[i]);
        ASSERT_TRUE(bio);
        ASSERT_EQ(bio->sequences().size(), 1u);
        EXPECT_EQ(bio->sequences()[0]->name(), names[i]);
    }
    EXPECT_FALSE(iter->next());
}

TEST_F(Iteration, AChromatogramByExtensionYieldsOneSequenceModel) {
    clearRegistry();
    const std::string trace = dir_.file("r.scf");
    mftest::writeTrace(trace, mftest::TraceKind::SCF);
    auto iter = factory().iterate(trace.c_str(), nullptr, &ctx_, "FASTA");
    ASSERT_TRUE(iter);
    auto models = drain(iter);
    ASSERT_EQ(models.size(), 1u);
    EXPECT_STREQ(models[0]->getType(), Velm::SeqModel::className);
    EXPECT_EQ(models[0]->url(), trace);
    EXPECT_EQ(models[0]->syncCount(), 0u);
}

TEST_F(Iteration, NoSourceAndNoFileIsAnError) {
    clearRegistry();
    for (const std::string& path : {dir_.path(), dir_.file("missing.fa")}) {
        cmn::OpContext ctx;
        EXPECT_FALSE(factory().iterate(path.c_str(), nullptr, &ctx, ""));
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{"Unable to open iterator for '" + path + "'"});
        EXPECT_FALSE(factory().iterate(path.c_str(), nullptr, nullptr, ""));
    }
}

TEST_F(Iteration, ASourcesOwnIteratorComesFirst) {
    clearRegistry();
    auto source = recordingSource("own");
    source->handlesPath = [](const char*) { return true; };
    source->iterator.reset(new Velm::SimpleModelIter(boost::make_shared<Velm::SeqModel>(), nullptr));
    factory().addSource(source, false);
    EXPECT_EQ(factory().iterate("x", "q", &ctx_, ""), source->iterator);
    EXPECT_EQ(source->recorded(), (std::vector<std::string>{"handles x", "openIterator x"}));
}

TEST_F(Iteration, ASourceFillsASequenceModelFirstThenAnAlignment) {
    clearRegistry();
    auto source = recordingSource("fills");
    source->handlesPath = [](const char*) { return true; };
    source->formats = {{"FMT", "format"}};
    source->fillWith = {"row"};
    factory().addSource(source, false);

    auto models = drain(factory().iterate("F@@p", "qual", &ctx_, ""));
    ASSERT_EQ(models.size(), 1u);
    EXPECT_STREQ(models[0]->getType(), Velm::SeqModel::className);
    EXPECT_EQ(models[0]->url(), "F@@p");
    EXPECT_EQ(source->recorded().back(), "retrieve4 F@@p SeqModel qual");

    source->fillsOnly = {Velm::AlignModel::className};
    source->calls.clear();
    models = drain(factory().iterate("p", nullptr, &ctx_, "fmt"));
    ASSERT_EQ(models.size(), 1u);
    EXPECT_STREQ(models[0]->getType(), Velm::AlignModel::className);
    EXPECT_EQ(source->recorded(),
              (std::vector<std::string>{"supports fmt", "openIterator p",
                                        "retrieve5 p fmt SeqModel (null)",
                                        "retrieve5 p fmt AlignModel (null)"}));
    EXPECT_TRUE(ctx_.reports().empty());
}

TEST_F(Iteration, ASourceThatFillsNothingIsAnError) {
    clearRegistry();
    auto source = recordingSource("empty");
    source->handlesPath = [](const char*) { return true; };
    source->formats = {{"FMT", "format"}};
    source->fillWith = {"row"};
    source->retrieveResult = false; // true with a filled model counts; false does not
    factory().addSource(source, false);

    cmn::OpContext byPath, byFormat;
    EXPECT_FALSE(factory().iterate("/no/file", nullptr, &byPath, ""));
    EXPECT_EQ(byPath.errors(), std::vector<std::string>{"ModelSource unable to open iterator for '/no/file'"});
    EXPECT_FALSE(factory().iterate("/no/file", nullptr, &byFormat, "FMT"));
    EXPECT_EQ(byFormat.errors(),
              std::vector<std::string>{"Input file '/no/file' cannot be read in the format FMT"});
}

TEST_F(Iteration, StadenFilesAreNamedForTheArchiveIterator) {
    clearRegistry();
    const std::string sta = mftest::writeFile(dir_.file("reads.STA"), "ACGTACGT\n");
    auto models = drain(Access::openSALIter(factory(), sta.c_str(), nullptr, &ctx_, ""));
    ASSERT_EQ(models.size(), 1u);
    EXPECT_EQ(boost::dynamic_pointer_cast<Velm::BioModel>(models[0])->sequences()[0]->residues(), "ACGTACGT");

    // Even an already qualified path gets the Staden name in front; the first name wins.
    const std::string fasta = mftest::writeFile(dir_.file("x.sta"), "ACGTTT\n");
    models = drain(Access::openSALIter(factory(), ("FASTA@@" + fasta).c_str(), nullptr, &ctx_, ""));
    ASSERT_EQ(models.size(), 1u);
    EXPECT_EQ(boost::dynamic_pointer_cast<Velm::BioModel>(models[0])->sequences()[0]->residues(), "ACGTTT");
}

TEST_F(Iteration, RealMultiEntryArchives) {
    MF_REQUIRE_TESTDATA();
    struct Case { const char* file; std::size_t entries; };
    for (const Case& c : {Case{"sequences/cor6_6.gb", 6}, Case{"sequences/f002.fasta", 3},
                          Case{"sequences/epo_prt_selection.embl", 9}, Case{"sequences/multi_ex.swl", 8}}) {
        cmn::OpContext ctx;
        auto iter = factory().iterate(mftest::testdataFile(c.file).c_str(), nullptr, &ctx, "");
        ASSERT_TRUE(iter) << c.file;
        EXPECT_EQ(drain(iter).size(), c.entries) << c.file;
        EXPECT_TRUE(ctx.errors().empty()) << c.file;
    }
}

// ".ab1" is no chromatogram format name: such a file takes the chromatogram route by its content.
TEST_F(Iteration, EveryAb1SampleYieldsItsOneChromatogram) {
    MF_REQUIRE_TESTDATA();
    std::size_t seen = 0;
    for (const std::string& name : mftest::filesIn(mftest::testdataFile("traces"))) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".ab1") != 0)
            continue;
        ++seen;
        const std::string path = mftest::testdataFile("traces/" + name);
        cmn::OpContext ctx;
        auto iter = Ovik::GetModelFactory().iterate(path.c_str(), nullptr, &ctx, "");
        ASSERT_TRUE(iter) << name;
        auto models = drain(iter);
        ASSERT_EQ(models.size(), 1u) << name;
        auto bio = boost::dynamic_pointer_cast<Velm::BioModel>(models[0]);
        ASSERT_TRUE(bio && bio->sequences().size() == 1u) << name;
        EXPECT_EQ(bio->encoding(), "trace") << name;
        EXPECT_EQ(models[0]->url(), path);
        auto opened = boost::dynamic_pointer_cast<Velm::BioModel>(
            factory().open(path.c_str(), Velm::SeqModel::className, &ctx));
        ASSERT_TRUE(opened && opened->sequences().size() == 1u) << name;
        EXPECT_EQ(bio->sequences()[0]->residues(), opened->sequences()[0]->residues()) << name;
        EXPECT_TRUE(ctx.errors().empty()) << name;
    }
    EXPECT_EQ(seen, 5u);
}

TEST_F(Iteration, AChromatogramByContentYieldsOneSequenceModel) {
    clearRegistry();
    for (const char* name : {"r.dat", "r", "r.ab1"}) {
        const std::string trace = dir_.file(name);
        mftest::writeTrace(trace, mftest::TraceKind::SCF);
        auto iter = factory().iterate(trace.c_str(), nullptr, &ctx_, "");
        ASSERT_TRUE(iter) << name;
        EXPECT_FALSE(boost::dynamic_pointer_cast<Ovik::SALArchiveModelIter>(iter)) << name;
        auto models = drain(iter);
        ASSERT_EQ(models.size(), 1u) << name;
        EXPECT_EQ(models[0]->encoding(), "trace") << name;
    }
    // Sequence text under a chromatogram-like name still goes to the archive iterator.
    const std::string text = mftest::writeFile(dir_.file("calls.ab1"), kThree);
    auto iter = factory().iterate(text.c_str(), nullptr, &ctx_, "");
    ASSERT_TRUE(iter);
    EXPECT_EQ(drain(iter).size(), 3u);
    EXPECT_TRUE(ctx_.errors().empty());
}

} // namespace
