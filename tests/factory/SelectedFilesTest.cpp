#include <factory/ModelFactory.h>

#include <gtest/gtest.h>

namespace {

TEST(SelectedFiles, StoresTheHostsListAsGiven) {
    Ovik::ModelFactory& factory = Ovik::GetModelFactory();
    factory.clearSelectedFiles();
    EXPECT_EQ(factory.getSelectedCount(), 0u);
    EXPECT_TRUE(factory.getSelectedFiles().empty());

    const std::vector<std::string>& live = factory.getSelectedFiles();
    factory.setSelectedFiles({"b.fa", "", "b.fa", "not a path at all"});
    EXPECT_EQ(factory.getSelectedCount(), 4u);
    EXPECT_EQ(live, (std::vector<std::string>{"b.fa", "", "b.fa", "not a path at all"}));

    factory.setSelectedFiles(factory.getSelectedFiles()); // its own list: unchanged
    EXPECT_EQ(factory.getSelectedCount(), 4u);
    EXPECT_EQ(&live, &factory.getSelectedFiles());

    factory.setSelectedFiles({});
    EXPECT_EQ(factory.getSelectedCount(), 0u);
    factory.setSelectedFiles({"x"});
    factory.clearSelectedFiles();
    EXPECT_TRUE(live.empty()); // the earlier reference shows the current contents
}

} // namespace
