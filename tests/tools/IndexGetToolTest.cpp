// modelfactory index and get end to end: the index files, regions by seeking or by scanning (and
// what the tool says about which), names from a file, output formats, and every refusal.
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

using mftest::runTool;
using mftest::runToolWithInput;
using mftest::ToolRun;
namespace tmsg = mftool::msg;

using mftest::describe;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// chr1: 130 residues, 60 a line; chr2: 10.
const char* const kGenome =
    ">chr1 first chromosome\n"
    "ACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGT\n"
    "TTTTTGGGGGTTTTTGGGGGTTTTTGGGGGTTTTTGGGGGTTTTTGGGGGTTTTTGGGGG\n"
    "CCCCCAAAAA\n"
    ">chr2\n"
    "GATTACAGAT\n";

using IndexGetTool = mftest::FilesInATempDir;

TEST_F(IndexGetTool, IndexWritesTheFaiFileAndGetSeeksWithIt) {
    const std::string fa = file("g.fa", kGenome);
    const ToolRun index = runTool({"index", fa});
    SCOPED_TRACE(describe(index));
    ASSERT_EQ(index.status, 0);
    EXPECT_EQ(index.out, "wrote " + fa + ".fai: 2 FASTA entries\n");
    EXPECT_EQ(mftest::readFile(fa + ".fai"), "chr1\t130\t23\t60\t61\nchr2\t10\t162\t10\t11\n");

    const ToolRun get = runTool({"get", fa, "chr1:58-63", "chr2", "chr1:121"});
    SCOPED_TRACE(describe(get));
    ASSERT_EQ(get.status, 0);
    EXPECT_EQ(get.out, ">chr1:58-63\nCGTTTT\n>chr2\nGATTACAGAT\n>chr1:121\nCCCCCAAAAA\n");
    EXPECT_EQ(get.err, ""); // with an index nothing needs saying

    const ToolRun whole = runTool({"get", fa, "chr1"});
    EXPECT_EQ(whole.out.substr(0, whole.out.find('\n')), ">chr1 first chromosome");
}

TEST_F(IndexGetTool, WithoutAnIndexGetSaysSoAndStillAnswers) {
    const std::string fa = file("g.fa", kGenome);
    const ToolRun get = runTool({"get", fa, "chr2:2-4"});
    SCOPED_TRACE(describe(get));
    ASSERT_EQ(get.status, 0);
    EXPECT_EQ(get.out, ">chr2:2-4\nATT\n");
    EXPECT_TRUE(contains(get.err, std::string(tmsg::NoIndexFor) + fa + ".fai"));

    // Plain gzip cannot be indexed: said, and read front to back.
    const std::string gz = file("g.fa.gz", mftest::gzipped(kGenome));
    const ToolRun scanned = runTool({"get", gz, "chr2:2-4", "chr1:1-4"});
    SCOPED_TRACE(describe(scanned));
    ASSERT_EQ(scanned.status, 0);
    EXPECT_EQ(scanned.out, ">chr2:2-4\nATT\n>chr1:1-4\nACGT\n");
    EXPECT_TRUE(contains(scanned.err, gz + tmsg::NotSeekable));
    const ToolRun refused = runTool({"index", gz});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(contains(refused.err, "bgzip"));

    // A file the index rules refuse is still read, front to back.
    const std::string ragged = file("ragged.fa", ">r\nACGT\nAC\nACGT\n");
    const ToolRun fallback = runTool({"get", ragged, "r:3-8"});
    SCOPED_TRACE(describe(fallback));
    EXPECT_EQ(fallback.status, 0);
    EXPECT_EQ(fallback.out, ">r:3-8\nGTACAC\n");
    EXPECT_TRUE(contains(fallback.err, tmsg::ScanningInstead));
}

TEST_F(IndexGetTool, NamesFromAFileFormatsAndFailures) {
    const std::string fq = file("r.fq", "@r1 one\nACGTAC\n+\n!+5?IJ\n@r2\nGG\n+\nII\n");
    ASSERT_EQ(runTool({"index", fq}).status, 0);
    EXPECT_EQ(mftest::readFile(fq + ".fai"), "r1\t6\t8\t6\t7\t17\nr2\t2\t28\t2\t3\t33\n");
    const std::string names = file("names.txt", "r2\n\n  r1:2-4  \r\n");
    const ToolRun fastq = runTool({"get", fq, "--names-from", names, "--to", "FASTQ"});
    SCOPED_TRACE(describe(fastq));
    ASSERT_EQ(fastq.status, 0);
    EXPECT_EQ(fastq.out, "@r2\nGG\n+\nII\n@r1:2-4\nCGT\n+\n+5?\n");

    const ToolRun missing = runTool({"get", fq, "r1:1-2", "nosuch"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, ">r1:1-2\nAC\n"); // the others are still written
    EXPECT_TRUE(contains(missing.err, std::string(tmsg::NoEntryNamed) + "nosuch' in " + fq));

    const ToolRun clipped = runTool({"get", fq, "r2:2-10", "r2:5-9"});
    EXPECT_EQ(clipped.status, 0);
    EXPECT_EQ(clipped.out, ">r2:2-10\nG\n");
    EXPECT_TRUE(contains(clipped.err, tmsg::RegionClipped));
    EXPECT_TRUE(contains(clipped.err, tmsg::RegionPastEnd));

    const struct {
        std::vector<std::string> args;
        std::string message;
    } usage[] = {
        {{"get", fq, "r1:0-3"}, std::string(tmsg::RegionStartsAtOne) + "r1:0-3'"},
        {{"get", fq, "r1:5-3"}, std::string(tmsg::RegionEndsBeforeStart) + "r1:5-3'"},
        {{"get", fq}, tmsg::NoNamesGiven},
        {{"get", fq, "r1", "--to", "bogus"}, std::string(tmsg::UnknownFormat) + "bogus'"},
        {{"get", fq, "r1", "--to", "Staden"}, std::string(tmsg::NotAWritableFormat) + "Staden'"},
        {{"index", "-"}, tmsg::CannotIndexStandardInput},
    };
    for (const auto& u : usage) {
        const ToolRun run = runTool(u.args);
        SCOPED_TRACE(describe(run));
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(contains(run.err, tmsg::ErrorPrefix + u.message));
    }
}

TEST_F(IndexGetTool, ArchiveFormatsAnswerByNameOrAccession) {
    const std::string gb = mftest::testdataFile("sequences/NC_005816.gb");
    ASSERT_FALSE(gb.empty());
    for (const std::string name : {"NC_005816", "NC_005816.1"}) {
        const ToolRun run = runTool({"get", gb, name + ":1-20"});
        SCOPED_TRACE(describe(run));
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, ">" + name + ":1-20\ntgtaacgaacggtgcaatag\n");
        EXPECT_EQ(run.err, "");
    }
    const ToolRun json = runTool({"get", gb, "NC_005816", "--json"});
    const mftest::JsonValue doc = mftest::parseJson(json.out);
    ASSERT_EQ(doc["entries"].items.size(), 1u);
    EXPECT_EQ(doc["entries"][0]["length"].number, 9609);

    // Standard input is read front to back too.
    const ToolRun piped = runToolWithInput({"get", "-", "chr2:1-4"}, kGenome);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, ">chr2:1-4\nGATT\n");
}

} // namespace
