#include <contracts/Blast.h>

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <sstream>

namespace {

Velm::BlastHit hit(const std::string& subject, double evalue) {
    Velm::BlastHit h;
    h.query = "q";
    h.subject = subject;
    h.evalue = evalue;
    return h;
}

TEST(BlastModel, EmptyUntilItHoldsHitsOrSequencesAndClearDropsBoth) {
    Velm::BlastModel model;
    EXPECT_TRUE(model.empty());
    EXPECT_STREQ(model.getType(), Velm::BlastModel::className);
    model.setProgram("blastp");
    EXPECT_TRUE(model.empty());
    model.addHit(hit("s1", 1e-5));
    EXPECT_FALSE(model.empty());
    model.addSeq(boost::make_shared<Velm::Sequence>("query", "MKV"));
    model.clear();
    EXPECT_TRUE(model.empty());
    EXPECT_TRUE(model.hits().empty());
    EXPECT_EQ(model.program(), "blastp");
}

TEST(BlastModel, BestHitsAreSortedByEvalueKeepingFileOrderOnTies) {
    Velm::BlastModel model;
    model.addHit(hit("a", 1e-3));
    model.addHit(hit("b", 1e-50));
    model.addHit(hit("c", 1e-3));
    model.addHit(hit("d", 0.0));
    const std::vector<Velm::BlastHit> best = model.bestHits(3);
    ASSERT_EQ(best.size(), 3u);
    EXPECT_EQ(best[0].subject, "d");
    EXPECT_EQ(best[1].subject, "b");
    EXPECT_EQ(best[2].subject, "a");
    EXPECT_EQ(model.bestHits(10).back().subject, "c");
    std::ostringstream out;
    model.dump(out, 2);
    EXPECT_NE(out.str().find("hit q -> b"), std::string::npos);
}

} // namespace
