#include <contracts/Blast.h>
#include <contracts/DataModel.h>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace {

boost::shared_ptr<Velm::Sequence> seq(const std::string& name, const std::string& residues) {
    return boost::make_shared<Velm::Sequence>(name, residues);
}

TEST(BioModel, AddSeqKeepsOrderAndIgnoresEmptyPointers) {
    Velm::SeqModel model;
    EXPECT_TRUE(model.empty());
    model.addSeq(seq("a", "AC"));
    model.addSeq(boost::shared_ptr<Velm::Sequence>());
    model.addSeq(seq("b", "GGT"));
    model.addSeq(seq("c", ""));
    ASSERT_EQ(model.sequences().size(), 3u);
    EXPECT_EQ(model.sequences()[0]->name(), "a");
    EXPECT_EQ(model.sequences()[1]->name(), "b");
    EXPECT_EQ(model.sequences()[2]->name(), "c");
    EXPECT_FALSE(model.empty());
    EXPECT_EQ(model.calcSize(), 5u);
    model.clear();
    EXPECT_TRUE(model.empty());
}

TEST(AlignModel, AlignmentRowsAreTheModelsSequences) {
    Velm::AlignModel model;
    model.addSeq(seq("r1", "AC-T"));
    model.addSeq(boost::shared_ptr<Velm::Sequence>());
    model.addSeq(seq("r2", "ACGT"));
    ASSERT_EQ(model.alignment.rowCount(), 2u);
    EXPECT_EQ(model.alignment.rows()[0], model.sequences()[0]);
    EXPECT_EQ(model.alignment.rows()[1], model.sequences()[1]);
    model.clear();
    EXPECT_EQ(model.alignment.rowCount(), 0u);
}

TEST(Model, ClassNamesAreDistinctAndGetTypeReturnsTheConstant) {
    std::vector<boost::shared_ptr<Velm::Model>> models = {
        boost::make_shared<Velm::AlignModel>(),     boost::make_shared<Velm::AssemblyModel>(),
        boost::make_shared<Velm::SeqModel>(),       boost::make_shared<Velm::TraceModel>(),
        boost::make_shared<Velm::DotPlotModel>(),   boost::make_shared<Velm::PrimerModel>(),
        boost::make_shared<Velm::BlastModel>(),     boost::make_shared<Velm::XBlastModel>(),
        boost::make_shared<Velm::NCBIBlastModel>(), boost::make_shared<Velm::WPBlastModel>(),
        boost::make_shared<Velm::WPFastAModel>(),   boost::make_shared<Velm::CFProjModel>(),
        boost::make_shared<Velm::DBQueryModel>(),   boost::make_shared<Velm::WPLookupModel>(),
        boost::make_shared<Velm::NCBIEntrezModel>()};
    const char* const expected[] = {
        Velm::AlignModel::className,     Velm::AssemblyModel::className, Velm::SeqModel::className,
        Velm::TraceModel::className,     Velm::DotPlotModel::className,  Velm::PrimerModel::className,
        Velm::BlastModel::className,     Velm::XBlastModel::className,   Velm::NCBIBlastModel::className,
        Velm::WPBlastModel::className,   Velm::WPFastAModel::className,  Velm::CFProjModel::className,
        Velm::DBQueryModel::className,   Velm::WPLookupModel::className, Velm::NCBIEntrezModel::className};
    std::set<std::string> texts;
    for (std::size_t i = 0; i < models.size(); ++i) {
        EXPECT_EQ(models[i]->getType(), expected[i]); // the very pointer, not just equal text
        EXPECT_TRUE(models[i]->empty()) << expected[i];
        texts.insert(expected[i]);
    }
    EXPECT_EQ(texts.size(), models.size());
}

TEST(Model, EmptyTellsWhetherAnythingWasLoaded) {
    Velm::CFProjModel project;
    project.addFile("reads/a.ab1");
    EXPECT_FALSE(project.empty());

    Velm::NCBIEntrezModel query;
    query.setQuery("cytochrome b[gene]");
    EXPECT_FALSE(query.empty());

    Velm::WPBlastModel hits;
    hits.addHit(Velm::BlastHit());
    EXPECT_FALSE(hits.empty());

    Velm::DotPlotModel plot;
    plot.setProperty("window", "11");
    EXPECT_FALSE(plot.empty());

    Velm::BlastModel blast;
    blast.setProgram("blastn"); // a program name alone is not a result
    EXPECT_TRUE(blast.empty());
}

TEST(Model, SyncRemembersTheUrlItWasGiven) {
    Velm::SeqModel model;
    model.setURL("a.fa");
    model.sync();
    model.setURL("b.fa");
    EXPECT_EQ(model.syncCount(), 1u);
    EXPECT_EQ(model.syncedURL(), "a.fa");
}

TEST(Model, DumpWritesAReadableSummary) {
    Velm::SeqModel model;
    model.setURL("x.gb");
    model.setTitle("Demo");
    model.setProperty("lab", "B12");
    auto s = seq("NC_1", "ACGTACGT");
    s->setDescription("a plasmid");
    model.addSeq(s);
    std::ostringstream out;
    model.dump(out, 2);
    EXPECT_EQ(out.str(), "  SeqModel\n    url: x.gb\n    title: Demo\n    lab = B12\n"
                         "    sequence NC_1: 8 bp, a plasmid\n");
}

TEST(Model, PropertiesKeepInsertionOrder) {
    Velm::PrimerModel model;
    model.setProperty("tm", "60");
    model.setProperty("gc", "50");
    model.setProperty("tm", "62");
    EXPECT_EQ(model.properties(), (Velm::PropertyList{{"tm", "62"}, {"gc", "50"}}));
    EXPECT_EQ(model.property("gc"), "50");
    EXPECT_EQ(model.property("none"), "");
}

TEST(BlastModel, BestHitsSortsByEvalueKeepingFileOrderOnTies) {
    Velm::BlastModel model;
    for (auto [subject, evalue] : std::vector<std::pair<std::string, double>>{
             {"s1", 1e-5}, {"s2", 1e-20}, {"s3", 1e-5}, {"s4", 0.1}}) {
        Velm::BlastHit hit;
        hit.subject = subject;
        hit.evalue = evalue;
        model.addHit(hit);
    }
    auto best = model.bestHits(3);
    ASSERT_EQ(best.size(), 3u);
    EXPECT_EQ(best[0].subject, "s2");
    EXPECT_EQ(best[1].subject, "s1");
    EXPECT_EQ(best[2].subject, "s3");
}

} // namespace
