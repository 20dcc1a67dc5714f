#include <contracts/DataModel.h>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

namespace {

class ListingSource : public Velm::ModelSource {
public:
    bool handles(const char*) const override { return false; }
    const char* getName() const override { return "Listing"; }
    const char* getType(const char*) const override { return ""; }
    Velm::FormatList getSupportedFormats() override {
        return {{"Fasta", "FASTA files"}, {"GCG-MSF", "GCG multiple sequence files"}};
    }
};

TEST(ModelSource, SupportsComparesWholeNamesIgnoringCase) {
    ListingSource source;
    struct Case { const char* format; bool expected; };
    for (const Case& c : {Case{"Fasta", true}, Case{"FASTA", true}, Case{"fasta", true},
                          Case{"gcg-msf", true}, Case{"fas", false}, Case{"fastaq", false},
                          Case{"", false}, Case{nullptr, false}})
        EXPECT_EQ(source.supports(c.format), c.expected) << (c.format ? c.format : "(null)");
}

TEST(ModelSource, BaseOperationsDoNothing) {
    ListingSource source;
    Velm::SeqModel model;
    EXPECT_FALSE(source.retrieve("x", model, "Fasta", nullptr, nullptr));
    EXPECT_FALSE(source.retrieve("x", model, nullptr, nullptr));
    EXPECT_FALSE(source.save("x", model, "Fasta", nullptr));
    EXPECT_FALSE(source.save("x", model, nullptr));
    EXPECT_FALSE(source.openIterator("x", nullptr));
    EXPECT_TRUE(model.empty());
}

TEST(SimpleModelIter, YieldsItsModelOnceThenEmptyPointers) {
    auto model = boost::make_shared<Velm::SeqModel>();
    Velm::SimpleModelIter iter(model, nullptr);
    EXPECT_EQ(iter.next(), model);
    EXPECT_FALSE(iter.next());
    EXPECT_FALSE(iter.next());

    Velm::SimpleModelIter none(boost::shared_ptr<Velm::Model>(), nullptr);
    EXPECT_FALSE(none.next());
}

} // namespace
