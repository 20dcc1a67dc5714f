#include "FactoryTestAccess.h"
#include "TestSupport.h"
#include "TraceWriter.h"

#include <contracts/SeqArchive.h>

#include <gtest/gtest.h>

namespace {

using Access = Ovik::ModelFactoryTestAccess;

class Readers : public mftest::FactoryTest {
protected:
    mftest::TempDir dir_;
    cmn::OpContext ctx_;
};

const std::string kTwoEntries = ">one first entry\nACGTACGT\n>two\nGGCCAATT\nGG\n";

TEST_F(Readers, OpenTraceAddsOneSequenceFromTheChromatogram) {
    const std::string path = dir_.file("read1.scf");
    mftest::writeTrace(path, mftest::TraceKind::SCF);
    Velm::SeqModel model;
    EXPECT_TRUE(Access::openTrace(factory(), path.c_str(), model, &ctx_));
    ASSERT_EQ(model.sequences().size(), 1u);
    const auto& sequence = model.sequences()[0];
    EXPECT_EQ(sequence->residues(), "ACGTNACGTA");
    EXPECT_EQ(sequence->source(), path);
    EXPECT_EQ(model.encoding(), "trace");
    EXPECT_EQ(model.url(), ""); // the callers set it
    EXPECT_TRUE(ctx_.reports().empty());
}

TEST_F(Readers, AnExperimentFileIsAChromatogramOnlyUnderItsOwnExtension) {
    // An experiment file that links the chromatogram beside it.
    mftest::writeTrace(dir_.file("read.scf"), mftest::TraceKind::SCF);
    const std::string text = "ID   read\nEN   read\nLN   read.scf\nLT   SCF\nSQ\n     ACGTNACGTA\n//\n";
    const std::string exp = mftest::writeFile(dir_.file("read.EXP"), text);
    Velm::SeqModel model;
    EXPECT_TRUE(Access::openTrace(factory(), exp.c_str(), model, nullptr));
    ASSERT_EQ(model.sequences().size(), 1u);

    const std::string renamed = mftest::writeFile(dir_.file("read.txt"), text);
    Velm::SeqModel other;
    EXPECT_FALSE(Access::openTrace(factory(), renamed.c_str(), other, &ctx_));
    EXPECT_TRUE(other.empty());
    EXPECT_TRUE(ctx_.reports().empty());
}

TEST_F(Readers, OpenTraceDoesNotSplitAFormatQualifiedPath) {
    const std::string path = dir_.file("read1.scf");
    mftest::writeTrace(path, mftest::TraceKind::SCF);
    Velm::SeqModel model;
    EXPECT_FALSE(Access::openTrace(factory(), ("SCF@@" + path).c_str(), model, &ctx_));
    EXPECT_TRUE(ctx_.reports().empty());
}

TEST_F(Readers, OpenSALReadsEveryEntryAndSetsEncodingAndUrl) {
    const std::string path = mftest::writeFile(dir_.file("two.fa"), kTwoEntries);
    Velm::SeqModel model;
    EXPECT_TRUE(Access::openSAL(factory(), path.c_str(), model, nullptr));
    ASSERT_EQ(model.sequences().size(), 2u);
    EXPECT_EQ(model.sequences()[0]->name(), "one");
    EXPECT_EQ(model.sequences()[1]->residues(), "GGCCAATTGG");
    EXPECT_EQ(model.encoding(), "SAL");
    EXPECT_EQ(model.url(), path);
}

TEST_F(Readers, OpenSALTakesTheFormatFromAQualifiedPathAndKeepsItInTheUrl) {
    const std::string path = mftest::writeFile(dir_.file("two.txt"), kTwoEntries);
    const std::string qualified = std::string(Ovik::SALSource::FASTA) + "@@" + path;
    Velm::SeqModel model;
    EXPECT_TRUE(Access::openSAL(factory(), qualified.c_str(), model, nullptr));
    EXPECT_EQ(model.sequences().size(), 2u);
    EXPECT_EQ(model.url(), qualified);
}

TEST_F(Readers, OpenSALReadsStadenFilesByTheirExtension) {
    for (const char* name : {"plain.sta", "plain.STA", "plain.stab"}) {
        const std::string path = mftest::writeFile(dir_.file(name), "ACGTACGTAC\nGGTTAA\n");
        Velm::SeqModel model;
        EXPECT_TRUE(Access::openSAL(factory(), path.c_str(), model, nullptr)) << name;
        ASSERT_EQ(model.sequences().size(), 1u) << name;
        EXPECT_EQ(model.sequences()[0]->residues(), "ACGTACGTACGGTTAA") << name;
    }
}

TEST_F(Readers, OpenSALLetsAnUnreadableFileThrow) {
    const std::string path = mftest::writeFile(dir_.file("junk.bin"), std::string("\x01\x02\x03\xff", 4));
    Velm::SeqModel model;
    EXPECT_THROW(Access::openSAL(factory(), path.c_str(), model, nullptr), std::exception);
}

TEST_F(Readers, OpenFileTriesTheChromatogramFirstThenTheArchive) {
    const std::string trace = dir_.file("r.ztr");
    mftest::writeTrace(trace, mftest::TraceKind::ZTR);
    Velm::SeqModel fromTrace;
    EXPECT_TRUE(Access::openFile(factory(), trace.c_str(), fromTrace, nullptr));
    EXPECT_EQ(fromTrace.encoding(), "trace");

    const std::string fasta = mftest::writeFile(dir_.file("two.fa"), kTwoEntries);
    Velm::SeqModel fromArchive;
    EXPECT_TRUE(Access::openFile(factory(), fasta.c_str(), fromArchive, nullptr));
    EXPECT_EQ(fromArchive.encoding(), "SAL");
}

TEST_F(Readers, OpenFileByFormatFollowsTheFormatName) {
    const std::string fasta = mftest::writeFile(dir_.file("two.scf"), kTwoEntries);
    // An archive format reads the file whatever its extension says.
    Velm::SeqModel model;
    EXPECT_TRUE(Access::openFile(factory(), fasta.c_str(), model, Ovik::SALSource::FASTA, &ctx_));
    EXPECT_EQ(model.sequences().size(), 2u);
    EXPECT_TRUE(ctx_.reports().empty());

    // A trace format on a file that is not one, with no archive format of that name.
    Velm::SeqModel none;
    EXPECT_FALSE(Access::openFile(factory(), fasta.c_str(), none, "ZTR", &ctx_));
    EXPECT_EQ(ctx_.errors(), std::vector<std::string>{"Cannot understand the format ZTR"});

    cmn::OpContext other;
    EXPECT_FALSE(Access::openFile(factory(), fasta.c_str(), none, "WHATEVER", &other));
    EXPECT_EQ(other.errors(), std::vector<std::string>{"Cannot understand the format WHATEVER"});
    EXPECT_FALSE(Access::openFile(factory(), fasta.c_str(), none, "WHATEVER", nullptr));
}

struct Entry {
    std::string name;
    std::string residues;
};

std::vector<Entry> entriesOf(const Velm::Model* model) {
    std::vector<Entry> out;
    if (const auto* bio = dynamic_cast<const Velm::BioModel*>(model))
        for (const auto& sequence : bio->sequences())
            out.push_back({sequence->name(), sequence->residues()});
    return out;
}

bool operator==(const Entry& a, const Entry& b) { return a.name == b.name && a.residues == b.residues; }

// Files that other programs write: detection, open and iteration all read the same entries from
// them, by name and content alone and through a format-qualified path.
TEST_F(Readers, PirCommentsAndExperimentFilesWithoutTracesOpenAndIterate) {
    const std::string pir = "C;Exported by a PIR query\n>P1;CRAB_ANAPL\nALPHA CRYSTALLIN B\n  MDITIHNPLI*\n"
                            "C;between the entries\n>P1;CRAB_BOVIN\nALPHA CRYSTALLIN B.\n  MDIAIHH*\n";
    const std::vector<Entry> crystallins = {{"CRAB_ANAPL", "MDITIHNPLI"}, {"CRAB_BOVIN", "MDIAIHH"}};
    // The linked trace is absent; tags follow the sequence, as experiment files allow.
    const std::string unlinked = "ID   read1\nEN   read1\nLN   read1.ab1\nLT   ABI\nSQ\n     ACGT-ACGTA\n//\n"
                                 "AV   10 20 30 40 50 60 70 80 90 99\nCC   edited\n";
    const std::string linkless = "ID   read2\nSQ\n     GGCCA\n//\n";
    struct Case {
        std::string path;
        const char* type; // what getType answers ("" for a format-qualified path)
        std::vector<Entry> entries;
    };
    const char* const kSeq = Velm::SeqModel::className;
    const Case cases[] = {
        {mftest::writeFile(dir_.file("crystallins"), pir), kSeq, crystallins},
        {mftest::writeFile(dir_.file("crystallins.pir"), pir), kSeq, crystallins},
        {"NBRF@@" + mftest::writeFile(dir_.file("crystallins.txt"), pir), "", crystallins},
        {mftest::writeFile(dir_.file("read1.exp"), unlinked), kSeq, {{"read1", "ACGTNACGTA"}}},
        // Without a name to go by, a trace link makes it a chromatogram file (hosts open those as
        // sequence models).
        {mftest::writeFile(dir_.file("read1"), unlinked), Velm::TraceModel::className, {{"read1", "ACGTNACGTA"}}},
        {mftest::writeFile(dir_.file("read2.exp"), linkless), kSeq, {{"read2", "GGCCA"}}},
        {mftest::writeFile(dir_.file("read2"), linkless), kSeq, {{"read2", "GGCCA"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(factory().getType(c.path.c_str()), c.type);
        cmn::OpContext ctx;
        boost::shared_ptr<Velm::Model> model = factory().open(c.path.c_str(), Velm::SeqModel::className, &ctx);
        ASSERT_TRUE(model);
        EXPECT_EQ(entriesOf(model.get()), c.entries);
        EXPECT_TRUE(ctx.reports().empty()) << ::testing::PrintToString(ctx.errors());

        boost::shared_ptr<Velm::ModelIter> iter = factory().iterate(c.path.c_str(), nullptr, &ctx, "");
        ASSERT_TRUE(iter);
        std::vector<Entry> iterated;
        while (boost::shared_ptr<Velm::Model> next = iter->next())
            for (const Entry& entry : entriesOf(next.get()))
                iterated.push_back(entry);
        EXPECT_EQ(iterated, c.entries);
        EXPECT_TRUE(ctx.reports().empty()) << ::testing::PrintToString(ctx.errors());
    }
}

// The experiment file that a conversion wrote from a chromatogram reads the same bases with its
// trace beside it (through the chromatogram) and without (through the archive layer).
TEST_F(Readers, AnExperimentFileReadsTheSameBasesWithOrWithoutItsTrace) {
    MF_REQUIRE_TESTDATA();
    const std::string linked = mftest::testdataFile("traces/310.exp");
    const std::string alone = mftest::writeFile(dir_.file("310.exp"), mftest::readFile(linked));
    boost::shared_ptr<Velm::Model> withTrace = factory().open(linked.c_str(), Velm::SeqModel::className, nullptr);
    boost::shared_ptr<Velm::Model> without = factory().open(alone.c_str(), Velm::SeqModel::className, nullptr);
    ASSERT_TRUE(withTrace && without);
    EXPECT_EQ(withTrace->encoding(), "trace");
    EXPECT_EQ(without->encoding(), "SAL");
    const std::vector<Entry> traced = entriesOf(withTrace.get()), inline_ = entriesOf(without.get());
    ASSERT_EQ(inline_.size(), 1u);
    EXPECT_EQ(inline_[0].name, "310");
    EXPECT_EQ(inline_[0].residues.size(), 868u);
    EXPECT_EQ(traced, inline_);
}

// A gzip chromatogram opens and iterates as the chromatogram inside, whatever its name. Detection
// by the factory alone: the "gz" row answers "" for a ".gz" name, the content decides without a row.
TEST_F(Readers, AGzipChromatogramOpensAsTheChromatogramInside) {
    mftest::writeTrace(dir_.file("read.scf"), mftest::TraceKind::SCF);
    const std::string packed = mftest::gzipped(mftest::readFile(dir_.file("read.scf")));
    const std::string gz = mftest::writeFile(dir_.file("read.scf.gz"), packed);
    const std::string unnamed = mftest::writeFile(dir_.file("read"), packed);
    const std::string other = mftest::writeFile(dir_.file("read.gz"), packed);
    EXPECT_EQ(factory().getType(gz.c_str()), "");
    EXPECT_EQ(factory().getType(other.c_str()), "");
    EXPECT_EQ(factory().getType(unnamed.c_str()), Velm::TraceModel::className);
    cmn::OpContext iterating;
    const auto iterator = factory().iterate(gz.c_str(), "", &iterating, "");
    ASSERT_TRUE(iterator);
    const auto first = iterator->next();
    ASSERT_TRUE(first);
    EXPECT_FALSE(iterator->next());
    for (const std::string& path : {gz, unnamed, other}) {
        for (const char* format : {static_cast<const char*>(nullptr), "SCF"}) {
            cmn::OpContext ctx;
            const auto model = format ? factory().open(path.c_str(), Velm::SeqModel::className, format, &ctx)
                                      : factory().open(path.c_str(), Velm::SeqModel::className, &ctx);
            SCOPED_TRACE(path + (format ? " as SCF" : ""));
            const auto* bio = dynamic_cast<const Velm::BioModel*>(model.get());
            ASSERT_TRUE(bio);
            ASSERT_EQ(bio->sequences().size(), 1u);
            EXPECT_EQ(bio->sequences()[0]->residues(), "ACGTNACGTA");
            EXPECT_EQ(bio->encoding(), "trace");
            EXPECT_TRUE(ctx.reports().empty());
        }
    }
}

TEST_F(Readers, RealChromatogramsAndArchives) {
    MF_REQUIRE_TESTDATA();
    Velm::SeqModel trace;
    EXPECT_TRUE(Access::openFile(factory(), mftest::testdataFile("traces/310.ab1").c_str(), trace, nullptr));
    ASSERT_EQ(trace.sequences().size(), 1u);
    EXPECT_EQ(trace.sequences()[0]->length(), 868u);

    Velm::SeqModel records;
    EXPECT_TRUE(Access::openFile(factory(), mftest::testdataFile("sequences/cor6_6.gb").c_str(), records, nullptr));
    EXPECT_EQ(records.sequences().size(), 6u);
}

} // namespace
