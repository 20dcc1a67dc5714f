#include "FactoryTestAccess.h"
#include "RecordingSource.h"
#include "TestSupport.h"

#include <contracts/AlignFormats.h>
#include <contracts/SeqArchive.h>
#include <factory/ExtensionTable.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

using Access = Ovik::ModelFactoryTestAccess;
using mftest::recordingSource;

class Detection : public mftest::FactoryTest {
protected:
    std::string file(const std::string& name, const std::string& content = "not looked at\n") {
        return mftest::writeFile(dir_.file(name), content);
    }
    mftest::TempDir dir_;
};

const std::string kFasta = ">seq1 test\nACGTACGTACGT\nACGT\n";

TEST_F(Detection, AKnownExtensionDecidesWithoutOpeningTheFile) {
    struct Case { const char* name; const char* expected; };
    const Case cases[] = {
        {"x.FASTA", Velm::SeqModel::className}, {"x.fasta", Velm::SeqModel::className},
        {"x.Fa", Velm::SeqModel::className},    {"x.GBK", Velm::SeqModel::className},
        {"x.nex", Velm::AlignModel::className}, {"x.NEX", Velm::AlignModel::className},
        {"x.assembly", Velm::AlignModel::className}, {"x.msf", Velm::AlignModel::className},
        {"x.a", Velm::TraceModel::className},   {"x.s", Velm::TraceModel::className},
        {"x.abi", Velm::TraceModel::className}, {"x.exp", Velm::SeqModel::className},
        {"x.pir", Velm::SeqModel::className},   {"x.sta", Velm::SeqModel::className},
        {"x.ocx", ""}, {"x.exe", ""}, {"x.zip", ""}, {"x.gz", ""}, {"x.j", ""},
    };
    for (const Case& c : cases) {
        // Empty content: a probe would answer the sequence class, so only the row can decide.
        const std::string path = file(c.name, "");
        EXPECT_STREQ(Access::scanNative(factory(), path.c_str()), c.expected) << c.name;
    }
}

TEST_F(Detection, TheAnswerIsTheClassNameConstantItself) {
    EXPECT_EQ(Access::scanNative(factory(), file("a.fa").c_str()), Velm::SeqModel::className);
    EXPECT_EQ(Access::scanNative(factory(), file("a.phy").c_str()), Velm::AlignModel::className);
}

TEST_F(Detection, NotARegularFileGivesNothing) {
    const std::string qualified = "FASTA@@" + file("q.fa");
    for (const std::string& path : {dir_.path(), dir_.file("missing.fa"), qualified}) {
        EXPECT_STREQ(Access::scanNative(factory(), path.c_str()), "") << path;
        EXPECT_FALSE(Access::isFile(factory(), path == qualified ? "x@y" : path.c_str()));
    }
    // isFile splits a format-qualified path; scanNative does not.
    EXPECT_TRUE(Access::isFile(factory(), qualified.c_str()));
    EXPECT_FALSE(Access::isFile(factory(), ("FASTA@" + file("q.fa")).c_str()));
}

TEST_F(Detection, WithoutARowTheContentIsProbed) {
    // No extension, a trailing dot, an unknown extension, a dotted folder: all reach the probes.
    mftest::TempDir dotted;
    const std::string folder = dotted.file("run.v2");
    ::mkdir(folder.c_str(), 0755);
    for (const std::string& path :
         {file("reads", kFasta), file("reads.", kFasta), file("reads.jpg", kFasta),
          mftest::writeFile(folder + "/reads", kFasta)})
        EXPECT_STREQ(Access::scanNative(factory(), path.c_str()), Velm::SeqModel::className) << path;
}

// Each detection looks at the file anew: a file rewritten in place between two calls, keeping its
// size and modification time (cp -p, rsync -t), is judged by its new content.
TEST_F(Detection, ARewriteKeepingSizeAndTimesIsSeenByTheNextCall) {
    const std::string listing = "Query= abc\n", fasta = ">ab\nACGTAC\n";
    ASSERT_EQ(listing.size(), fasta.size());
    const std::string path = file("rewritten", listing);
    struct stat before;
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    for (int round = 0; round < 20; ++round) {
        const bool odd = round % 2 != 0;
        mftest::writeFile(path, odd ? fasta : listing);
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        EXPECT_EQ(factory().getType(path.c_str()), odd ? Velm::SeqModel::className : "") << round;
    }
}

TEST_F(Detection, ASourceThatHandlesThePathDecidesAlone) {
    auto source = recordingSource("0-first");
    source->handlesPath = [](const char* path) { return std::string(path).find(".fa") != std::string::npos; };
    source->type = "";
    factory().addSource(source, false);
    const std::string path = file("x.fa", kFasta);
    EXPECT_EQ(factory().getType(path.c_str()), ""); // its empty answer stands
    source->type = Velm::DotPlotModel::className;
    EXPECT_EQ(factory().getType(path.c_str()), Velm::DotPlotModel::className);
    EXPECT_EQ(factory().getType(file("y.swl").c_str()), Velm::SeqModel::className);
}

TEST_F(Detection, ByFormatAsksSupportingSourcesFirstAndSkipsEmptyAnswers) {
    clearRegistry();
    auto silent = recordingSource("a-silent"), speaking = recordingSource("b-speaking");
    silent->formats = speaking->formats = {{"DOT", "dot plots"}};
    speaking->type = Velm::DotPlotModel::className;
    factory().addSource(silent, false);
    factory().addSource(speaking, false);
    cmn::OpContext ctx;
    EXPECT_EQ(factory().getType("/no/such/file", "dot", &ctx), Velm::DotPlotModel::className);
    EXPECT_TRUE(ctx.reports().empty());
    EXPECT_EQ(silent->recorded(),
              (std::vector<std::string>{"supports dot", "getType /no/such/file"}));
}

TEST_F(Detection, ByFormatClassifiesByTheNameGiven) {
    clearRegistry();
    const std::string fasta = file("x.dat", kFasta);
    const std::string unknown = file("y.dat", "nothing in particular\n");
    struct Case { std::string path; const char* format; std::string expected; bool warns; };
    const Case cases[] = {
        {fasta, Ovik::SALSource::FASTA, Velm::SeqModel::className, false},
        {fasta, "SCF", "", false},                       // a trace format, not a trace: no warning
        {fasta, "ztr-anything", "", false},
        {unknown, Ovik::MMSAModelSource::MSA_ALN_Format, Velm::AlignModel::className, false},
        {unknown, Ovik::NexusModelSource::NEX_ALN_Format, Velm::AlignModel::className, false},
        {unknown, Ovik::MSFModelSource::MSF_ALN_Format, Velm::AlignModel::className, false},
        {unknown, Ovik::PHYModelSource::PHY_ALN_Format, Velm::AlignModel::className, false},
        {unknown, "no-such-format", Velm::SeqModel::className, true},
    };
    for (const Case& c : cases) {
        cmn::OpContext ctx;
        EXPECT_EQ(factory().getType(c.path.c_str(), c.format, &ctx), c.expected) << c.format;
        if (c.warns)
            EXPECT_EQ(ctx.warnings(),
                      std::vector<std::string>{"Cannot find the correct data-type of " + c.path});
        else
            EXPECT_TRUE(ctx.reports().empty()) << c.format;
        // A null context changes nothing but the reports.
        EXPECT_EQ(factory().getType(c.path.c_str(), c.format, nullptr), c.expected) << c.format;
    }
}

TEST_F(Detection, ByFormatWarnsWhenThePathIsNotARegularFile) {
    clearRegistry();
    for (const std::string& path : {dir_.path(), dir_.file("missing")}) {
        cmn::OpContext ctx;
        EXPECT_EQ(factory().getType(path.c_str(), Ovik::SALSource::FASTA, &ctx), "");
        EXPECT_EQ(ctx.warnings(), std::vector<std::string>{"Not a regular file."});
        EXPECT_TRUE(ctx.errors().empty());
    }
}

TEST_F(Detection, RealFilesClassifyByNameAndContent) {
    MF_REQUIRE_TESTDATA();
    struct Case { const char* file; const char* expected; };
    const Case cases[] = {
        {"sequences/lupine.fasta", Velm::SeqModel::className},
        {"sequences/NC_005816.fna", Velm::SeqModel::className},   // no row: probed
        {"sequences/cor6_6.gb", Velm::SeqModel::className},
        {"sequences/TRBG361.embl", Velm::SeqModel::className},
        {"sequences/cysprot.msf", Velm::AlignModel::className},
        {"alignments/opuntia.aln", Velm::AlignModel::className},   // the Clustal source handles it
        {"alignments/test_Nexus_input.nex", Velm::AlignModel::className},
        {"alignments/sequential.phy", Velm::AlignModel::className},
        {"traces/310.ab1", Velm::TraceModel::className},            // sniffed: ab1 has no row
        {"traces/GBKAK82TF.scf", Velm::TraceModel::className},
        {"traces/GBKAK82TF.ztr", Velm::TraceModel::className},
    };
    for (const Case& c : cases)
        EXPECT_EQ(factory().getType(mftest::testdataFile(c.file).c_str()), c.expected) << c.file;
}

} // namespace
