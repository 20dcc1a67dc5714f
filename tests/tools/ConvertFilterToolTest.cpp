// convert --min-length, --max-length and --reverse-complement, end to end.
#include "TestSupport.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {
using mftest::describe;

using mftest::runTool;
using mftest::runToolWithInput;
using mftest::ToolRun;

struct Entry {
    std::string header;
    std::string residues;
    std::string qualities; // FASTQ only
};

std::vector<Entry> fastaOf(const std::string& text) {
    std::vector<Entry> entries;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '>')
            entries.push_back({line.substr(1), "", ""});
        else if (!entries.empty())
            entries.back().residues += line;
    }
    return entries;
}

// Four-line FASTQ records, as the writer makes them.
std::vector<Entry> fastqOf(const std::string& text) {
    std::vector<Entry> entries;
    std::istringstream in(text);
    std::string head, residues, plus, qualities;
    while (std::getline(in, head) && std::getline(in, residues) && std::getline(in, plus) &&
           std::getline(in, qualities))
        entries.push_back({head.substr(1), residues, qualities});
    return entries;
}

std::string reverseComplementOf(std::string s) {
    std::reverse(s.begin(), s.end());
    static const std::string from = "ACGTacgtRYKMrykmBVDHbvdhNn", to = "TGCAtgcaYRMKyrmkVBHDvbhdNn";
    for (char& c : s) {
        const std::size_t at = from.find(c);
        if (at != std::string::npos) c = to[at];
    }
    return s;
}

std::string sample(const std::string& relative) { return mftest::testdataFile(relative); }

TEST(ConvertFilters, LengthsKeepOnlyEntriesInTheRangeBoundsIncluded) {
    MF_REQUIRE_TESTDATA();
    // f002.fasta holds entries of 633, 413 and 471 bases.
    struct Case {
        std::vector<std::string> options;
        std::vector<std::size_t> lengths;
    } const cases[] = {
        {{"--min-length", "450"}, {633, 471}},
        {{"--max-length", "450"}, {413}},
        {{"--min-length", "471", "--max-length", "471"}, {471}},
        {{"--min-length", "413", "--max-length", "633"}, {633, 413, 471}},
        {{"--min-length", "0"}, {633, 413, 471}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"convert", sample("sequences/f002.fasta"), "-", "--to", "fasta"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ToolRun run = runTool(args);
        ASSERT_EQ(0, run.status) << describe(run);
        std::vector<std::size_t> lengths;
        for (const Entry& e : fastaOf(run.out)) lengths.push_back(e.residues.size());
        EXPECT_EQ(c.lengths, lengths) << c.options[0] << " " << c.options[1];
    }
}

TEST(ConvertFilters, EveryEntryLeftOutGivesAnEmptyFileAndSaysHowMany) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    const std::string out = dir.file("none.fa");
    const ToolRun run = runTool({"convert", sample("sequences/f002.fasta"), out, "--max-length", "10"});
    ASSERT_EQ(0, run.status) << describe(run);
    EXPECT_TRUE(mftest::fileExists(out));
    EXPECT_EQ("", mftest::readFile(out));
    EXPECT_NE(std::string::npos, run.out.find(": 0 sequences from ")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find(", 3 left out by length")) << run.out;
}

TEST(ConvertFilters, ReverseComplementTurnsResiduesAndQualities) {
    MF_REQUIRE_TESTDATA();
    const std::string input = sample("fastq/example.fastq");
    const ToolRun plain = runTool({"convert", input, "-", "--to", "fastq"});
    const ToolRun turned = runTool({"convert", input, "-", "--to", "fastq", "--reverse-complement"});
    ASSERT_EQ(0, plain.status) << describe(plain);
    ASSERT_EQ(0, turned.status) << describe(turned);
    const std::vector<Entry> a = fastqOf(plain.out), b = fastqOf(turned.out);
    ASSERT_EQ(3u, a.size());
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].header, b[i].header);
        EXPECT_EQ(reverseComplementOf(a[i].residues), b[i].residues);
        EXPECT_EQ(std::string(a[i].qualities.rbegin(), a[i].qualities.rend()), b[i].qualities);
    }
    // Twice is the input again; standard input streams the same way.
    const ToolRun back = runToolWithInput({"convert", "-", "-", "--to", "fastq", "--reverse-complement"}, turned.out);
    ASSERT_EQ(0, back.status) << describe(back);
    EXPECT_EQ(plain.out, back.out);
}

TEST(ConvertFilters, ReverseComplementMovesFeaturesToTheOtherStrand) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    const std::string turned = dir.file("turned.gb");
    const ToolRun run = runTool({"convert", sample("sequences/NC_005816.gb"), turned, "--reverse-complement"});
    ASSERT_EQ(0, run.status) << describe(run);
    const std::string text = mftest::readFile(turned);
    // The first CDS, 87..1109 of 9609 bases, lies on the other strand now.
    EXPECT_NE(std::string::npos, text.find("     CDS             complement(8501..9523)\n")) << text.substr(0, 3000);
    // Every feature still reads the same residues.
    const ToolRun before = runTool({"features", sample("sequences/NC_005816.gb")});
    const ToolRun after = runTool({"features", turned});
    ASSERT_EQ(0, before.status) << describe(before);
    ASSERT_EQ(0, after.status) << describe(after);
    const std::vector<Entry> a = fastaOf(before.out), b = fastaOf(after.out);
    ASSERT_EQ(41u, a.size());
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].residues, b[i].residues) << a[i].header;
}

TEST(ConvertFilters, ProteinsHaveNoReverseComplement) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    const std::string out = dir.file("p.fa");
    const ToolRun run = runTool({"convert", sample("sequences/aster_no_wrap.fasta"), out, "--reverse-complement"});
    EXPECT_EQ(1, run.status) << describe(run);
    EXPECT_NE(std::string::npos, run.err.find("is a protein: it has no reverse complement")) << run.err;
    EXPECT_FALSE(mftest::fileExists(out));
}

TEST(ConvertFilters, CommandLineMistakes) {
    MF_REQUIRE_TESTDATA();
    struct Case {
        std::vector<std::string> options;
        const char* message;
    } const cases[] = {
        {{"--min-length", "x"}, "--min-length takes a number of residues, not 'x'"},
        {{"--max-length", "-1"}, "--max-length takes a number of residues, not '-1'"},
        {{"--min-length", "12abc"}, "--min-length takes a number of residues, not '12abc'"},
        {{"--min-length", "5", "--max-length", "2"}, "--min-length 5 is above --max-length 2"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"convert", sample("sequences/f002.fasta"), "-", "--to", "fasta"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ToolRun run = runTool(args);
        EXPECT_EQ(2, run.status) << describe(run);
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << run.err;
        EXPECT_EQ("", run.out);
    }
}

} // namespace
