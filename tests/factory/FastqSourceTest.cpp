// FASTQ through the factory: the extension source claims FASTQ names and content, and detection,
// opening, iteration and saving keep the qualities.
#include "FactoryTestAccess.h"
#include "TestSupport.h"

#include <contracts/SeqArchive.h>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

namespace {

using Access = Ovik::ModelFactoryTestAccess;

const char* const kReads = "@r1 first\nACGT\n+\n!+5I\n@r2\nGGA\n+\nIII\n";

const std::vector<unsigned char>& confidencesOf(const Velm::Model& model, std::size_t index) {
    const auto& bio = dynamic_cast<const Velm::BioModel&>(model);
    return dynamic_cast<const Velm::NASequence&>(*bio.sequences().at(index)).confidences();
}

class FastqSource : public mftest::ExtendedFactoryTest {
protected:
    std::string write(const std::string& name, const std::string& text) {
        return mftest::writeFile(dir_.file(name), text);
    }
    mftest::TempDir dir_;
    cmn::OpContext ctx_;
};

TEST_F(FastqSource, ClaimsFastqNamesAndContentAndDetectionAnswersTheSequenceModel) {
    const std::string seq = Velm::SeqModel::className;
    struct Case {
        std::string path;
        bool claimed;
        std::string type;
    };
    const Case cases[] = {
        {write("a.fq", kReads), true, seq},
        {write("b.FASTQ", kReads), true, seq},
        {write("reads.txt", kReads), true, seq},                  // content alone
        {"FASTQ@@" + write("c.dat", "anything"), true, seq},      // the name alone
        {write("d.fq", ">fasta\nACGT\n"), false, seq},             // other content wins
        {write("e.fastq", ""), true, seq},                         // nothing to judge: the name
        {dir_.file("new.fq.gz"), true, ""},                        // yet to be written
        {write("f.fa", ">x\nACGT\n"), false, seq},
    };
    for (const Case& c : cases) {
        const auto source = Access::findSource(factory(), c.path.c_str());
        EXPECT_EQ(source && std::string(source->getName()) == "FastqModelSource", c.claimed) << c.path;
        EXPECT_EQ(factory().getType(c.path.c_str()), c.type) << c.path;
    }
    EXPECT_EQ(factory().getType(write("g.txt", kReads).c_str(), "fq", &ctx_), seq);
}

TEST_F(FastqSource, OpenAndIterateKeepTheQualities) {
    const std::string path = write("reads.fastq", kReads);
    auto model = factory().open(path.c_str(), Velm::SeqModel::className, &ctx_);
    ASSERT_TRUE(model && !model->empty()) << ::testing::PrintToString(ctx_.errors());
    EXPECT_EQ(model->encoding(), "FASTQ");
    EXPECT_EQ(confidencesOf(*model, 0), (std::vector<unsigned char>{0, 10, 20, 40}));

    // The source's own iterator: one model per read, read as they are asked for.
    auto it = factory().iterate(path.c_str(), nullptr, &ctx_, "");
    ASSERT_TRUE(it);
    std::vector<std::string> names;
    while (auto one = it->next()) {
        EXPECT_EQ(one->encoding(), "FASTQ");
        names.push_back(dynamic_cast<Velm::BioModel&>(*one).sequences().at(0)->name());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"r1", "r2"}));
    EXPECT_TRUE(ctx_.errors().empty());
}

TEST_F(FastqSource, AMalformedFileThrowsTheReadersErrorAsTheArchiveRouteDoes) {
    const std::string body = std::string(kReads) + "@r3\nAC\n+\nI";
    const std::string message = ":12: record cut short: the file ends in the record that starts at line 9 (1 of 2 qualities)";
    const std::string path = write("cut.fq", body);
    Velm::SeqModel model;
    Ovik::FastqModelSource source;
    try {
        source.retrieve(path.c_str(), model, &ctx_, nullptr);
        ADD_FAILURE() << "a cut record was taken for the end of the file";
    } catch (const Ovik::SeqArchiveError& e) {
        EXPECT_EQ(e.what(), path + message);
    }
    // Through the factory with and without the extension: the same failure, never a model.
    EXPECT_THROW(factory().open(path.c_str(), Velm::SeqModel::className, &ctx_), Ovik::SeqArchiveError);
    const std::string other = write("cut.txt", body);
    EXPECT_THROW(factory().open(other.c_str(), Velm::SeqModel::className, &ctx_), Ovik::SeqArchiveError);
    EXPECT_FALSE(factory().open(path.c_str(), Velm::AlignModel::className, &ctx_));
    EXPECT_EQ(ctx_.errors(), std::vector<std::string>{"loading alignment: " + path + message});
}

TEST_F(FastqSource, SavesByExtensionAndByNameButNeverInventsQualities) {
    auto model = factory().open(write("in.fq", kReads).c_str(), Velm::SeqModel::className, &ctx_);
    ASSERT_TRUE(model);
    for (const char* name : {"out.fastq", "out.fq.gz.fq"}) {
        ASSERT_TRUE(factory().save(dir_.file(name).c_str(), *model, &ctx_)) << name;
        EXPECT_EQ(mftest::readFile(dir_.file(name)), "@r1 first\nACGT\n+\n!+5I\n@r2\nGGA\n+\nIII\n");
    }
    ASSERT_TRUE(factory().save(dir_.file("by-name.txt").c_str(), *model, "fastq", &ctx_));
    EXPECT_EQ(mftest::readFile(dir_.file("by-name.txt")), mftest::readFile(dir_.file("out.fastq")));

    // A model without qualities is refused, and no other writer (the FASTA row that ".fastq"
    // would match) takes its place: the old file stays.
    Velm::SeqModel plain;
    plain.addSeq(boost::make_shared<Velm::Sequence>("p", "ACGT"));
    mftest::writeFile(dir_.file("old.fastq"), "old");
    EXPECT_THROW(factory().save(dir_.file("old.fastq").c_str(), plain, &ctx_), Ovik::SeqArchiveError);
    EXPECT_EQ(mftest::readFile(dir_.file("old.fastq")), "old");
    // With a default quality (a source configured for it replaces the built-in one).
    factory().addSource(boost::make_shared<Ovik::FastqModelSource>(20), true);
    ASSERT_TRUE(factory().save(dir_.file("old.fastq").c_str(), plain, &ctx_));
    EXPECT_EQ(mftest::readFile(dir_.file("old.fastq")), "@p\nACGT\n+\n5555\n");
}

TEST_F(FastqSource, AChromatogramGoesToFastqWithItsCallConfidences) {
    MF_REQUIRE_TESTDATA();
    const std::string trace = mftest::testdataFile("traces/3730.ab1");
    auto model = factory().open(trace.c_str(), Velm::SeqModel::className, &ctx_);
    ASSERT_TRUE(model && !model->empty());
    const std::vector<unsigned char> calls = confidencesOf(*model, 0);
    ASSERT_FALSE(calls.empty());
    ASSERT_TRUE(factory().save(dir_.file("read.fastq").c_str(), *model, &ctx_));
    auto back = factory().open(dir_.file("read.fastq").c_str(), Velm::SeqModel::className, &ctx_);
    ASSERT_TRUE(back && !back->empty());
    EXPECT_EQ(confidencesOf(*back, 0), calls);
}

} // namespace
