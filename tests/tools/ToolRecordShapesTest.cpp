// Records that hold less than usual, from the shell: master records without residues, reads with
// an empty quality line, chromatograms of calls without samples.
#include "MiniJson.h"
#include "TestSupport.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using mftest::JsonValue;
using mftest::runTool;
using mftest::ToolRun;

JsonValue openJson(const std::string& path) {
    const ToolRun run = runTool({"open", path, "--json", "--all"});
    EXPECT_EQ(run.status, 0) << run.err;
    return mftest::parseJson(run.out);
}

TEST(ToolRecordShapes, AMasterRecordShowsItsDeclaredLengthAndAbsentResidues) {
    MF_REQUIRE_TESTDATA();
    const JsonValue doc = openJson(mftest::testdataFile("sequences/contig_master.gb"));
    const JsonValue& sequences = doc["sequences"];
    ASSERT_EQ(sequences.size(), 2u);
    const double lengths[] = {1500, 800};
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(sequences[i]["length"].number, lengths[i]);
        EXPECT_TRUE(sequences[i]["residuesAbsent"].boolean);
        EXPECT_FALSE(sequences[i]["residuesComplete"].boolean);
        EXPECT_EQ(sequences[i]["residues"].text, "");
    }
    // A format whose readers need residues refuses it, naming the entry; GenBank keeps it.
    mftest::TempDir dir;
    ToolRun run = runTool({"convert", mftest::testdataFile("sequences/contig_master.gb"), dir.file("out.msf")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("CM000001 holds no residues (its record declares 1500"), std::string::npos) << run.err;
    EXPECT_TRUE(mftest::filesIn(dir.path()).empty());
    run = runTool({"convert", mftest::testdataFile("sequences/contig_master.embl"), dir.file("out.gb")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string gb = mftest::readFile(dir.file("out.gb"));
    EXPECT_NE(gb.find("1500 bp"), std::string::npos) << gb;
    EXPECT_NE(gb.find("CONTIG      join(AB000003.1:1..1000,gap(100),AB000004.1:1..400)"), std::string::npos) << gb;
}

TEST(ToolRecordShapes, AnEmptyReadKeepsItsEmptyQualities) {
    mftest::TempDir dir;
    const std::string path = mftest::writeFile(dir.file("r.fq"), "@empty\n\n+\n\n@one\nA\n+\nI\n");
    const JsonValue doc = openJson(path);
    ASSERT_EQ(doc["sequences"].size(), 2u);
    ASSERT_TRUE(doc["sequences"][0].has("qualities"));
    EXPECT_EQ(doc["sequences"][0]["qualities"].size(), 0u);
    EXPECT_EQ(doc["sequences"][1]["qualities"].size(), 1u);
    const JsonValue fasta = openJson(mftest::writeFile(dir.file("f.fa"), ">a\nACGT\n"));
    EXPECT_FALSE(fasta["sequences"][0].has("qualities"));
}

TEST(ToolRecordShapes, AChromatogramOfCallsOnlyOpensAndConverts) {
    MF_REQUIRE_TESTDATA();
    const std::string path = mftest::testdataFile("traces/calls_only.ztr");
    ToolRun run = runTool({"trace", path});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("samples      none (calls only)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("bases        600"), std::string::npos) << run.out;

    mftest::TempDir dir;
    run = runTool({"trace", path, "--svg", dir.file("x.svg")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("holds calls but no samples"), std::string::npos) << run.err;

    const JsonValue doc = openJson(path);
    ASSERT_EQ(doc["sequences"].size(), 1u);
    EXPECT_EQ(doc["sequences"][0]["length"].number, 600);
    EXPECT_EQ(doc["sequences"][0]["qualities"].size(), 600u);

    run = runTool({"convert", path, dir.file("calls.fq")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string fastq = mftest::readFile(dir.file("calls.fq"));
    EXPECT_EQ(fastq.front(), '@');
    EXPECT_EQ(std::count(fastq.begin(), fastq.end(), '\n'), 4);
    run = runTool({"iterate", path});
    EXPECT_EQ(run.status, 0) << run.err;
}

} // namespace

namespace {

TEST(ToolTraceMany, ManyChromatogramsInOneCallEachReportedOnItsOwn) {
    MF_REQUIRE_TESTDATA();
    const std::string abi = mftest::testdataFile("traces/310.ab1");
    const std::string scf = mftest::testdataFile("traces/310.scf");
    mftest::TempDir dir;
    const std::string missing = dir.file("missing.ztr");
    ToolRun run = runTool({"trace", abi, missing, scf});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("path         " + abi + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\npath         " + scf + "\n"), std::string::npos) << run.out;
    EXPECT_LT(run.out.find(abi), run.out.find(scf));
    EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;

    run = runTool({"trace", abi, missing, scf, "--json"});
    EXPECT_EQ(run.status, 1);
    const JsonValue doc = mftest::parseJson(run.out);
    ASSERT_EQ(doc["results"].size(), 3u);
    EXPECT_EQ(doc["count"].number, 3);
    EXPECT_EQ(doc["failed"].number, 1);
    EXPECT_TRUE(doc["results"][0]["ok"].boolean);
    EXPECT_FALSE(doc["results"][1]["ok"].boolean);
    EXPECT_FALSE(doc["results"][1]["messages"].items.empty());
    EXPECT_EQ(doc["results"][2]["bases"].text, doc["results"][0]["bases"].text);

    EXPECT_EQ(runTool({"trace", abi, scf}).status, 0);
    EXPECT_EQ(runTool({"trace", abi, scf, "--svg", dir.file("x.svg")}).status, 2);
}

} // namespace

namespace {

// Whether the chromatogram decoder's library was loaded while the tool ran, from the dynamic
// loader's own account of the files it opened.
bool loadsTheDecoder(const std::vector<std::string>& args) {
    ::setenv("LD_DEBUG", "files", 1);
    const ToolRun run = runTool(args);
    ::unsetenv("LD_DEBUG");
    EXPECT_EQ(run.status, 0) << run.err.substr(run.err.size() > 2000 ? run.err.size() - 2000 : 0);
    return run.err.find("libstaden-read") != std::string::npos;
}

TEST(ToolStartUp, TheChromatogramDecoderIsLoadedOnlyForChromatograms) {
    MF_REQUIRE_TESTDATA();
    const std::string fasta = mftest::testdataFile("sequences/lupine.fasta");
    EXPECT_FALSE(loadsTheDecoder({"formats"}));
    EXPECT_FALSE(loadsTheDecoder({"type", fasta}));
    EXPECT_FALSE(loadsTheDecoder({"open", fasta}));
    EXPECT_TRUE(loadsTheDecoder({"trace", mftest::testdataFile("traces/310.ab1")}));
}

} // namespace
