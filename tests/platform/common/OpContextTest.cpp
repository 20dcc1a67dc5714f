#include <contracts/Common.h>

#include <gtest/gtest.h>

namespace {

using Severity = cmn::OpContext::Severity;

TEST(OpContext, KeepsEveryReportInOrderWithItsSeverity) {
    cmn::OpContext ctx;
    ctx.warning("first");
    ctx.error("second");
    ctx.warning("third");
    ctx.error("fourth");
    const std::vector<cmn::OpContext::Report> expected = {
        {Severity::Warning, "first"}, {Severity::Error, "second"},
        {Severity::Warning, "third"}, {Severity::Error, "fourth"}};
    EXPECT_EQ(ctx.reports(), expected);
    EXPECT_EQ(ctx.errors(), (std::vector<std::string>{"second", "fourth"}));
    EXPECT_EQ(ctx.warnings(), (std::vector<std::string>{"first", "third"}));
    EXPECT_TRUE(ctx.hasErrors());
    ctx.clear();
    EXPECT_TRUE(ctx.reports().empty());
    EXPECT_FALSE(ctx.hasErrors());
}

// A host routes reports to its own UI by overriding the virtual operations.
class RoutingContext : public cmn::OpContext {
public:
    void warning(const std::string& text) override { routed += "W:" + text + ";"; }
    void error(const std::string& text) override { routed += "E:" + text + ";"; }
    std::string routed;
};

TEST(OpContext, ReportsGoThroughTheVirtualOperations) {
    RoutingContext host;
    cmn::OpContext& ctx = host;
    ctx.warning("careful");
    ctx.error("broken");
    EXPECT_EQ(host.routed, "W:careful;E:broken;");
    EXPECT_TRUE(host.reports().empty());
}

} // namespace
