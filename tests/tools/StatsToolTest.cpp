// modelfactory stats end to end: its three layouts, many files with failures among them, standard
// input and compressed input, and formats other than FASTA.
#include "Messages.h"
#include "MiniJson.h"
#include "TestSupport.h"
#include "TraceWriter.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>


namespace {
using mftest::describe;
using mftest::linesOf;

using mftest::parseJson;
using mftest::runTool;
using mftest::runToolWithInput;
using mftest::ToolRun;

const char* const kFasta = ">a\nACGTN-\n>b\nGGCC\n>c\nA\n>d\nACGTACGTAC\n>e\nAAA\n";
const char* const kFastq = "@r1\nACGT\n+\nII#5\n@r2\nAC\n+\n5?\n";
const std::string kAllHeader =
    "file\tformat\ttype\tnum_seqs\tsum_len\tmin_len\tavg_len\tmax_len\tQ1\tQ2\tQ3\tsum_gap\tN50\t"
    "Q20(%)\tQ30(%)\tAvgQual\tGC(%)";

using StatsTool = mftest::FilesInATempDir;

TEST_F(StatsTool, TabularRowsCarryTheFiguresOfEachFile) {
    const std::string fa = file("t.fa", kFasta);
    const std::string fq = file("t.fq.gz", mftest::gzipped(kFastq));
    const std::string empty = file("empty.fa", "");
    const ToolRun run = runTool({"stats", "--all", "--tabular", fa, fq, empty});
    SCOPED_TRACE(describe(run));
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(linesOf(run.out),
              (std::vector<std::string>{
                  kAllHeader,
                  fa + "\tFASTA\tDNA\t5\t24\t1\t4.8\t10\t3.0\t4.0\t6.0\t1\t6\t0.00\t0.00\t0.00\t45.83",
                  fq + "\tFASTQ\tDNA\t2\t6\t2\t3.0\t4\t2.0\t3.0\t4.0\t0\t4\t83.33\t50.00\t9.64\t50.00",
                  empty + "\t\t\t0\t0\t0\t0.0\t0\t0.0\t0.0\t0.0\t0\t0\t0.00\t0.00\t0.00\t0.00"}));
    EXPECT_EQ(run.err, "");

    const ToolRun basic = runTool({"stats", "--tabular", fa});
    EXPECT_EQ(linesOf(basic.out),
              (std::vector<std::string>{
                  "file\tformat\ttype\tnum_seqs\tsum_len\tmin_len\tavg_len\tmax_len",
                  fa + "\tFASTA\tDNA\t5\t24\t1\t4.8\t10"}));
}

TEST_F(StatsTool, AlignedTableGroupsThousandsAndRightAlignsNumbers) {
    std::string big;
    for (int i = 0; i < 3; ++i)
        big += ">s" + std::to_string(i) + "\n" + std::string(1000 + i * 500, 'G') + "\n";
    const std::string fa = file("big.fa", big);
    const ToolRun run = runTool({"stats", fa});
    SCOPED_TRACE(describe(run));
    ASSERT_EQ(run.status, 0);
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 2u);
    const std::string head = "file" + std::string(fa.size() - 4, ' ') +
                             "  format  type  num_seqs  sum_len  min_len  avg_len  max_len";
    EXPECT_EQ(lines[0], head);
    EXPECT_EQ(lines[1], fa + "  FASTA   DNA          3    4,500    1,000    1,500    2,000");
}

TEST_F(StatsTool, JsonNamesTheColumnsAndEveryFailure) {
    const std::string fq = file("t.fq", kFastq);
    const std::string missing = dir_.file("nosuch.fa");
    const ToolRun run = runTool({"stats", "--json", "--all", fq, missing});
    SCOPED_TRACE(describe(run));
    EXPECT_EQ(run.status, 1);
    const mftest::JsonValue doc = parseJson(run.out);
    EXPECT_FALSE(doc["ok"].boolean);
    ASSERT_EQ(doc["files"].items.size(), 2u);
    const mftest::JsonValue& first = doc["files"][0];
    EXPECT_TRUE(first["ok"].boolean);
    EXPECT_EQ(first["format"].text, "FASTQ");
    EXPECT_EQ(first["num_seqs"].number, 2);
    EXPECT_EQ(first["N50"].number, 4);
    EXPECT_NEAR(first["Q20(%)"].number, 83.333333, 1e-5);
    EXPECT_EQ(first["GC(%)"].number, 50);
    EXPECT_FALSE(doc["files"][1]["ok"].boolean);
    EXPECT_FALSE(doc["files"][1].has("num_seqs"));
    EXPECT_EQ(doc["messages"][0]["text"].text,
              std::string(mftool::msg::CannotRead) + missing + ": No such file or directory");
}

TEST_F(StatsTool, EachFailureIsReportedAndTheOthersStillCount) {
    const std::string fa = file("t.fa", kFasta);
    const std::string bad = file("bad.fq", "@r1\nACGT\n+\nII\n");
    const ToolRun run = runTool({"stats", "--tabular", dir_.file("nosuch.fa"), bad, fa, dir_.path()});
    SCOPED_TRACE(describe(run));
    EXPECT_EQ(run.status, 1);
    // Only the readable file has a row: a half-read file's figures would mislead.
    ASSERT_EQ(linesOf(run.out).size(), 2u);
    EXPECT_EQ(linesOf(run.out)[1].rfind(fa + "\tFASTA\t", 0), 0u);
    const std::vector<std::string> errors = linesOf(run.err);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_NE(errors[0].find("nosuch.fa: No such file or directory"), std::string::npos);
    EXPECT_NE(errors[1].find("bad.fq"), std::string::npos);
    EXPECT_NE(errors[2].find("Is a directory"), std::string::npos);
}

TEST_F(StatsTool, ReadsStandardInputAndOtherFormats) {
    const ToolRun piped = runToolWithInput({"stats", "--tabular", "-"}, mftest::gzipped(kFasta));
    SCOPED_TRACE(describe(piped));
    ASSERT_EQ(piped.status, 0);
    EXPECT_EQ(linesOf(piped.out).at(1), "-\tFASTA\tDNA\t5\t24\t1\t4.8\t10");

    const std::string gb = mftest::testdataFile("sequences/NC_005816.gb");
    const std::string aln = mftest::testdataFile("alignments/hedgehog.aln");
    ASSERT_FALSE(gb.empty());
    const ToolRun run = runTool({"stats", "--all", "--tabular", gb, aln});
    SCOPED_TRACE(describe(run));
    ASSERT_EQ(run.status, 0);
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].rfind(gb + "\tGenBank\tDNA\t1\t9609\t9609\t9609.0\t9609\t", 0), 0u);
    // Five aligned rows of 447 columns, their gaps counted.
    EXPECT_EQ(lines[2].find(aln + "\t"), 0u);
    EXPECT_NE(lines[2].find("\tProtein\t5\t2235\t447\t447.0\t447\t"), std::string::npos);

    const ToolRun twice = runTool({"stats", "-", "-"});
    EXPECT_EQ(twice.status, 2);
}

} // namespace
