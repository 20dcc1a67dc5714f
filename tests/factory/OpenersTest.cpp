#include "FactoryTestAccess.h"
#include "RecordingSource.h"
#include "TestSupport.h"
#include "TraceWriter.h"

#include <contracts/AlignFormats.h>
#include <contracts/SeqArchive.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <new>

namespace {

using Access = Ovik::ModelFactoryTestAccess;
using mftest::recordingSource;

class Openers : public mftest::FactoryTest {
protected:
    // A source that handles every path and fills whatever it is given with one entry.
    boost::shared_ptr<mftest::RecordingSource> claimEverything(const std::string& name = "0-claims") {
        auto source = recordingSource(name);
        source->handlesPath = [](const char*) { return true; };
        source->fillWith = {"filled"};
        source->formats = {{"REC", "recorded"}};
        factory().addSource(source, false);
        return source;
    }
    mftest::TempDir dir_;
    cmn::OpContext ctx_;
};

TEST_F(Openers, DispatchByClassNameCreatesTheRightModel) {
    claimEverything();
    const char* names[] = {
        Velm::AlignModel::className,     Velm::AssemblyModel::className, Velm::SeqModel::className,
        Velm::BlastModel::className,     Velm::NCBIBlastModel::className, Velm::WPBlastModel::className,
        Velm::WPFastAModel::className,   Velm::WPLookupModel::className, Velm::NCBIEntrezModel::className,
        Velm::CFProjModel::className,    Velm::DotPlotModel::className,  Velm::PrimerModel::className};
    for (const char* name : names) {
        auto model = factory().open("any/path.x", name, &ctx_);
        ASSERT_TRUE(model) << name;
        EXPECT_STREQ(model->getType(), name);
        EXPECT_FALSE(model->empty()) << name;
        EXPECT_EQ(model->url(), "any/path.x");
    }
    EXPECT_TRUE(ctx_.reports().empty());
}

TEST_F(Openers, UnknownTypesAreRefusedWithTheirName) {
    claimEverything();
    for (std::string type : {std::string(Velm::TraceModel::className), std::string("seqmodel"),
                             std::string(Velm::XBlastModel::className), std::string("")}) {
        cmn::OpContext ctx;
        EXPECT_FALSE(factory().open("x", type.c_str(), &ctx));
        EXPECT_EQ(ctx.errors(), std::vector<std::string>{"Unknown model type: " + type});
        EXPECT_FALSE(factory().open("x", type.c_str(), nullptr));
    }
}

TEST_F(Openers, FormatNamesOnlyForAlignmentsAssembliesAndSequences) {
    cmn::OpContext ctx;
    EXPECT_FALSE(factory().open("x", Velm::PrimerModel::className, "FASTA", &ctx));
    EXPECT_EQ(ctx.errors(),
              std::vector<std::string>{"Format names are not supported with this model type Format: "
                                       "FASTA Model type: PrimerModel"});
    EXPECT_FALSE(factory().open("x", Velm::PrimerModel::className, "FASTA", nullptr));
}

TEST_F(Openers, OpenWithoutATypeOpensASequenceModel) {
    MF_REQUIRE_TESTDATA();
    auto model = factory().open(mftest::testdataFile("alignments/opuntia.aln").c_str(), &ctx_);
    ASSERT_TRUE(model);
    EXPECT_STREQ(model->getType(), Velm::SeqModel::className);
    EXPECT_EQ(boost::dynamic_pointer_cast<Velm::BioModel>(model)->sequences().size(), 7u);
}

TEST_F(Openers, UrlRulesForAFormatQualifiedPath) {
    auto source = claimEverything();
    source->formats = {{"F", "F"}};
    const std::string path = "F@@dir/x.seq";
    struct Case { boost::shared_ptr<Velm::Model> model; std::string url; };
    const Case cases[] = {
        {factory().open(path.c_str(), Velm::SeqModel::className, &ctx_), "dir/x.seq"},
        {factory().open(path.c_str(), Velm::AlignModel::className, "F", &ctx_), "dir/x.seq"},
        {factory().open(path.c_str(), Velm::AssemblyModel::className, "F", &ctx_), "dir/x.seq"},
        {factory().open(path.c_str(), Velm::AlignModel::className, &ctx_), path},
        {factory().open(path.c_str(), Velm::AssemblyModel::className, &ctx_), path},
        {factory().open(path.c_str(), Velm::SeqModel::className, "F", &ctx_), path},
        {factory().open(path.c_str(), Velm::DotPlotModel::className, &ctx_), path},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.model);
        EXPECT_EQ(c.model->url(), c.url) << c.model->getType();
    }
    // A first '@' followed by another character is an ordinary path.
    EXPECT_EQ(factory().open("F@x@@y", Velm::SeqModel::className, &ctx_)->url(), "F@x@@y");
}

TEST_F(Openers, SyncFollowsSetUrlExceptForProjectsAndQueries) {
    claimEverything();
    for (const char* name : {Velm::SeqModel::className, Velm::DotPlotModel::className,
                             Velm::NCBIBlastModel::className, Velm::BlastModel::className}) {
        auto model = factory().open("p.x", name, nullptr);
        EXPECT_EQ(model->syncCount(), 1u) << name;
        EXPECT_EQ(model->syncedURL(), "p.x") << name; // setURL came first
    }
    for (const char* name : {Velm::CFProjModel::className, Velm::WPLookupModel::className}) {
        auto model = factory().open("p.x", name, nullptr);
        EXPECT_EQ(model->syncCount(), 0u) << name;
        EXPECT_EQ(model->url(), "p.x") << name;
    }
}

TEST_F(Openers, AFoundSourceHasTheOnlyWordEvenWhenItReadsNothing) {
    const std::string path = mftest::writeFile(dir_.file("two.fa"), ">a\nACGT\n");
    auto source = recordingSource("0-claims");
    source->handlesPath = [](const char*) { return true; };
    factory().addSource(source, false);
    auto model = factory().open(path.c_str(), Velm::SeqModel::className, &ctx_);
    ASSERT_TRUE(model);
    EXPECT_TRUE(model->empty());
    EXPECT_EQ(model->url(), "");
    EXPECT_EQ(model->syncCount(), 0u);
    EXPECT_EQ(source->recorded().back(), "retrieve4 " + path + " SeqModel (null)");
}

TEST_F(Openers, WithoutASourceTheFileRoutesRead) {
    clearRegistry();
    const std::string fasta = mftest::writeFile(dir_.file("two.fa"), ">a\nACGT\n>b\nGGCC\n");
    const std::string trace = dir_.file("r.scf");
    mftest::writeTrace(trace, mftest::TraceKind::SCF);
    for (const char* type : {Velm::SeqModel::className, Velm::AlignModel::className,
                             Velm::AssemblyModel::className}) {
        auto fromArchive = boost::dynamic_pointer_cast<Velm::BioModel>(factory().open(fasta.c_str(), type, &ctx_));
        ASSERT_TRUE(fromArchive) << type;
        EXPECT_EQ(fromArchive->sequences().size(), 2u) << type;
        EXPECT_EQ(fromArchive->encoding(), "SAL");
        auto fromTrace = boost::dynamic_pointer_cast<Velm::BioModel>(factory().open(trace.c_str(), type, &ctx_));
        ASSERT_EQ(fromTrace->sequences().size(), 1u) << type;
        EXPECT_EQ(fromTrace->encoding(), "trace");
        EXPECT_EQ(fromTrace->url(), trace);
    }
    // Nothing to read: an empty model, not an empty pointer, and no report.
    auto none = factory().open(dir_.file("missing.fa").c_str(), Velm::AlignModel::className, &ctx_);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
    EXPECT_TRUE(ctx_.reports().empty());
    // Source-only models have no file route.
    auto plot = factory().open(fasta.c_str(), Velm::DotPlotModel::className, &ctx_);
    ASSERT_TRUE(plot);
    EXPECT_TRUE(plot->empty());
}

TEST_F(Openers, FormatDirectedOpenLetsEverySupportingSourceRead) {
    clearRegistry();
    auto first = recordingSource("a"), second = recordingSource("b"), other = recordingSource("c");
    first->formats = second->formats = {{"DUO", "two sources"}};
    other->formats = {{"ELSE", "not this one"}};
    first->fillWith = {"from-a"};
    second->fillWith = {"from-b"};
    for (auto& s : {first, second, other})
        factory().addSource(s, false);
    auto model = boost::dynamic_pointer_cast<Velm::BioModel>(
        factory().open("/no/such/file", Velm::SeqModel::className, "duo", &ctx_));
    ASSERT_TRUE(model);
    ASSERT_EQ(model->sequences().size(), 2u);
    EXPECT_EQ(model->sequences()[0]->name(), "from-a");
    EXPECT_EQ(model->sequences()[1]->name(), "from-b");
    EXPECT_EQ(first->recorded().back(), "retrieve5 /no/such/file duo SeqModel (null)");
    for (const auto& call : other->recorded())
        EXPECT_EQ(call.rfind("retrieve", 0), std::string::npos);
}

TEST_F(Openers, FormatDirectedOpenFallsBackOnTheFileRouteOnlyForAnEmptyModel) {
    MF_REQUIRE_TESTDATA();
    // The MSF source reads the file; the archive layer, which also reads MSF, must not add it again.
    const std::string msf = mftest::testdataFile("sequences/cysprot.msf");
    auto model = boost::dynamic_pointer_cast<Velm::BioModel>(
        factory().open(msf.c_str(), Velm::AlignModel::className, Ovik::MSFModelSource::MSF_ALN_Format, &ctx_));
    ASSERT_TRUE(model);
    EXPECT_EQ(model->sequences().size(), 7u);

    // With no source for the format, the archive layer reads it.
    auto viaArchive = boost::dynamic_pointer_cast<Velm::BioModel>(
        factory().open(msf.c_str(), Velm::SeqModel::className, Ovik::SALSource::MSF, &ctx_));
    ASSERT_TRUE(viaArchive);
    EXPECT_EQ(viaArchive->sequences().size(), 7u);
    EXPECT_EQ(viaArchive->encoding(), "SAL");
}

TEST_F(Openers, AlignmentAndAssemblyOpenersTurnExceptionsIntoReports) {
    auto source = claimEverything();
    source->throwOnRetrieve = true;
    cmn::OpContext ctx;
    EXPECT_FALSE(factory().open("x", Velm::AlignModel::className, &ctx));
    EXPECT_FALSE(factory().open("x", Velm::AssemblyModel::className, "REC", &ctx));
    EXPECT_EQ(ctx.errors(), (std::vector<std::string>{"loading alignment: source exploded",
                                                      "loading assembly: source exploded"}));
    EXPECT_FALSE(factory().open("x", Velm::AlignModel::className, nullptr));
    // The others let it through.
    EXPECT_THROW(factory().open("x", Velm::SeqModel::className, &ctx), std::runtime_error);
    EXPECT_THROW(factory().open("x", Velm::NCBIEntrezModel::className, &ctx), std::runtime_error);
    EXPECT_THROW(factory().open("x", Velm::SeqModel::className, "REC", &ctx), std::runtime_error);
}

TEST_F(Openers, OutOfMemoryInTheAlignmentOpenerIsReported) {
    auto source = claimEverything();
    struct Starved : mftest::RecordingSource {
        Starved() : RecordingSource("0-starved") {}
        bool handles(const char*) const override { return true; }
        bool retrieve(const char*, Velm::Model&, cmn::OpContext*, const char*) override {
            throw std::bad_alloc();
        }
    };
    factory().removeSource("0-claims");
    factory().addSource(boost::make_shared<Starved>(), false);
    cmn::OpContext ctx;
    EXPECT_FALSE(factory().open("x", Velm::AlignModel::className, &ctx));
    ASSERT_EQ(ctx.errors().size(), 1u);
    EXPECT_EQ(ctx.errors()[0].rfind("loading alignment: ", 0), 0u);
    EXPECT_THROW(factory().open("x", Velm::PrimerModel::className, &ctx), std::bad_alloc);
}

TEST_F(Openers, RealFilesOpenAsTheirDetectedClass) {
    MF_REQUIRE_TESTDATA();
    std::size_t opened = 0;
    for (const char* folder : {"sequences", "alignments", "traces"}) {
        for (const auto& entry : std::filesystem::directory_iterator(mftest::testdataFile(folder))) {
            const std::string path = entry.path().string();
            std::string type = factory().getType(path.c_str());
            ASSERT_FALSE(type.empty()) << path;
            if (type == Velm::TraceModel::className)
                type = Velm::SeqModel::className; // chromatograms open as sequences
            cmn::OpContext ctx;
            auto model = factory().open(path.c_str(), type.c_str(), &ctx);
            ASSERT_TRUE(model) << path;
            EXPECT_FALSE(model->empty()) << path << ": " << (ctx.errors().empty() ? "" : ctx.errors()[0]);
            EXPECT_STREQ(model->getType(), type.c_str());
            ++opened;
        }
    }
    EXPECT_GE(opened, 50u);
}

} // namespace
