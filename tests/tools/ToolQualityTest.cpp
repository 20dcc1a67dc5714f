// The tool and FASTQ qualities: Phred+33 whatever the characters look like, the old encodings
// only under their names (as a FORMAT@@FILE path, --from and --to), and one warning when a file
// looks like the old encoding.
#include "TestSupport.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using mftest::runTool;
using mftest::runToolWithInput;
using mftest::ToolRun;

const char* const kHigh = "@r\nACGTACGT\n+\nKLM~~~~~\n";

std::string read(const std::string& qualities) { return "@r\nACGTACGT\n+\n" + qualities + "\n"; }

TEST(ToolQualities, ReadAsPhred33UnlessTheOldEncodingIsNamed) {
    mftest::TempDir dir;
    const std::string in = mftest::writeFile(dir.file("in.fq"), kHigh);
    struct Case {
        std::vector<std::string> args;
        std::string out;
        bool warned;
    };
    const Case cases[] = {
        {{"convert", in, "-", "--to", "FASTQ"}, read("KLM~~~~~"), true},
        {{"convert", "fastq-illumina@@" + in, "-", "--to", "FASTQ"}, read(",-._____"), false},
        {{"convert", "--from", "fastq-illumina", in, "-", "--to", "FASTQ"}, read(",-._____"), false},
        {{"convert", "--from", "fastq-solexa", in, "-", "--to", "FASTQ"}, read(",-._____"), false},
        {{"convert", "fastq-illumina@@" + in, "-", "--to", "fastq-illumina"}, read("KLM~~~~~"), false},
        {{"convert", in, "-", "--to", "fastq-illumina"}, read("jkl~~~~~"), true},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool(c.args);
        EXPECT_EQ(run.status, 0) << c.args[1] << c.args[2] << run.err;
        EXPECT_EQ(run.out, c.out) << c.args[1] << c.args[2];
        EXPECT_EQ(run.err.find("fastq-illumina") != std::string::npos, c.warned) << run.err;
    }
}

TEST(ToolQualities, OutputPathsNameTheirEncoding) {
    mftest::TempDir dir;
    // "+5?I" are Phred 10, 20, 30, 40: Phred+64 "JT^h".
    const std::string text = "@r\nACGT\n+\n+5?I\n";
    const std::string in = mftest::writeFile(dir.file("in.fq"), text);
    ToolRun run = runTool({"convert", in, "fastq-illumina@@" + dir.file("out.fq")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(mftest::readFile(dir.file("out.fq")), "@r\nACGT\n+\nJT^h\n");
    run = runTool({"convert", in, dir.file("sol.fq"), "--to", "fastq-solexa"});
    ASSERT_EQ(run.status, 0) << run.err;
    // Solexa scores of Phred 10, 20, 30, 40: 10, 20, 30, 40 to the nearest integer.
    EXPECT_EQ(mftest::readFile(dir.file("sol.fq")), "@r\nACGT\n+\nJT^h\n");
    // Standard input with --from.
    run = runToolWithInput({"convert", "--from", "fastq-illumina", "-", "-", "--to", "FASTQ"},
                           "@r\nACGT\n+\nJT^h\n");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, text);
}

TEST(ToolQualities, ManyHighReadsThenALowOneAreAllKept) {
    mftest::TempDir dir;
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "@r" + std::to_string(i) + "\nACGTACGT\n+\nKLM~~~~~\n";
    text += "@low\nACGTACGT\n+\n!!!!!!!!\n";
    const std::string in = mftest::writeFile(dir.file("in.fq"), text);
    const ToolRun run = runTool({"convert", in, dir.file("out.fq")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(mftest::readFile(dir.file("out.fq")), text);
    // One warning for the file, not one per read.
    std::size_t warnings = 0;
    for (std::size_t at = run.err.find("warning"); at != std::string::npos; at = run.err.find("warning", at + 1))
        ++warnings;
    EXPECT_EQ(warnings, 1u) << run.err;
    // A character outside '!'..'~' stays an error with its line.
    mftest::writeFile(in, "@a\nAC\n+\nII\n@b\nAC\n+\nI\x7f\n");
    const ToolRun bad = runTool({"convert", "fastq-illumina@@" + in, dir.file("bad.fq")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find(in + ":8: invalid quality character 0x7F"), std::string::npos) << bad.err;
}

} // namespace
