// Text as careless or hostile files hold it: messages quote a bounded piece of a huge line, a
// byte-order mark before the first record, option values that only look like numbers.
#include "TestSupport.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using mftest::describe;

using mftest::runTool;
using mftest::runToolWithInput;
using mftest::ToolRun;

constexpr std::size_t kHuge = 4u << 20;

TEST(ToolInputText, MessagesQuoteAShortPieceOfHugeInput) {
    mftest::TempDir dir;
    const std::string big(kHuge, 'x');
    struct Case {
        const char* what;
        std::string file;
        std::vector<std::string> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"a + line naming another read", "plus.fq", {"iterate"}, "'+' line"},
        {"an unknown MSF row", "rows.msf", {"iterate", "--format", "MSF"}, "xxxxxxxx"},
        {"a FASTQ name without qualities", "names.fa", {"convert"}, "xxxxxxxx"},
    };
    mftest::writeFile(dir.file("plus.fq"), "@r1\nACGT\n+" + big + "\nIIII\n");
    mftest::writeFile(dir.file("rows.msf"),
                      "!!NA_MULTIPLE_ALIGNMENT\n\n x.msf  MSF: 4  Type: N  Check: 0 ..\n\n"
                      " Name: a  Len: 4  Check: 0  Weight: 1.00\n\n//\n\n" + big + "  ACGT\n");
    mftest::writeFile(dir.file("names.fa"), ">" + big + "\nACGT\n");
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(dir.file(c.file));
        if (c.args.front() == "convert")
            args.push_back(dir.file("out.fq"));
        const ToolRun run = runTool(args);
        EXPECT_EQ(run.status, 1) << c.what << '\n' << describe(run);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << '\n' << describe(run);
        // The path, the reason and a piece of the input; never the whole line.
        EXPECT_LT(run.err.size(), 600u) << c.what << '\n' << describe(run);
        EXPECT_NE(run.err.find("... (" + std::to_string(kHuge) + " bytes)"), std::string::npos)
            << c.what << '\n' << describe(run);
    }
}

TEST(ToolInputText, DefaultQualityIsAPlainNumber) {
    mftest::TempDir dir;
    const std::string in = mftest::writeFile(dir.file("in.fa"), ">r\nACGT\n");
    for (const char* bad : {" 5", "5 ", "+5", "-0", "0x5", "5.0", "94", "", "1e1", "0093"}) {
        const ToolRun run = runTool({"convert", in, dir.file("bad.fq"), "--default-quality", bad});
        EXPECT_EQ(run.status, 2) << '\'' << bad << "'\n" << describe(run);
        EXPECT_NE(run.err.find("--default-quality takes a Phred quality from 0 to 93"), std::string::npos)
            << describe(run);
    }
    for (const auto& good : std::vector<std::pair<const char*, char>>{{"0", '!'}, {"93", '~'}, {"30", '?'}}) {
        const std::string out = dir.file(std::string("q") + good.first + ".fq");
        const ToolRun run = runTool({"convert", in, out, "--default-quality", good.first});
        ASSERT_EQ(run.status, 0) << describe(run);
        EXPECT_EQ(mftest::readFile(out), "@r\nACGT\n+\n" + std::string(4, good.second) + "\n");
    }
}

TEST(ToolInputText, AByteOrderMarkBeforeTheFirstRecordIsSkipped) {
    mftest::TempDir dir;
    const std::string bom = "\xEF\xBB\xBF";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.fa", bom + ">s1 first\nACGT\n>s2\nGGCC\n"},
        {"a.fq", bom + "@s1 first\nACGT\n+\nIIII\n@s2\nGGCC\n+\nIIII\n"},
        // No extension: the content alone decides.
        {"plain", bom + ">s1 first\nACGT\n>s2\nGGCC\n"}};
    for (const auto& file : files) {
        const std::string path = mftest::writeFile(dir.file(file.first), file.second);
        const std::string out = dir.file(file.first + ".out.fa");
        const ToolRun run = runTool({"convert", path, out, "--to", "FASTA"});
        ASSERT_EQ(run.status, 0) << file.first << '\n' << describe(run);
        EXPECT_EQ(mftest::readFile(out), ">s1 first\nACGT\n>s2\nGGCC\n") << file.first;
        const ToolRun piped = runToolWithInput({"convert", "-", "-", "--to", "FASTA"}, file.second);
        EXPECT_EQ(piped.status, 0) << file.first << '\n' << describe(piped);
        EXPECT_EQ(piped.out, ">s1 first\nACGT\n>s2\nGGCC\n") << file.first;
    }
}

} // namespace
