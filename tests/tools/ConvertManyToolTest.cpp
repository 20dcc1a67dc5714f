// convert of many inputs in one call: --output-dir (a file for each) and --output (one file for
// all), end to end.
#include "MiniJson.h"
#include "TestSupport.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {
using mftest::describe;
using mftest::linesOf;
using mftest::parseJson;
using mftest::runTool;
using mftest::ToolRun;

std::string sample(const std::string& relative) { return mftest::testdataFile(relative); }

// name -> residues of a FASTA text, and each header in order.
struct Fasta {
    std::vector<std::string> headers;
    std::map<std::string, std::string> residues;
};

Fasta fastaOf(const std::string& text) {
    Fasta fasta;
    std::istringstream in(text);
    std::string name;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back(); // a sample with CRLF line ends
        if (!line.empty() && line[0] == '>') {
            fasta.headers.push_back(line.substr(1));
            name = line.substr(1, line.find(' ') == std::string::npos ? std::string::npos : line.find(' ') - 1);
            fasta.residues[name];
        } else if (!name.empty()) {
            fasta.residues[name] += line;
        }
    }
    return fasta;
}

bool exists(const std::string& path) {
    struct stat status = {};
    return ::stat(path.c_str(), &status) == 0;
}

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.' || (entry->d_name[1] != '\0' && entry->d_name[1] != '.'))
                names.push_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What a single conversion of `input` to `format` writes: each output of the batch must be it.
std::string convertedAlone(const std::string& input, const std::string& format, mftest::TempDir& dir,
                           const std::string& extension) {
    const std::string out = dir.file("alone." + extension);
    const ToolRun run = runTool({"convert", input, out, "--to", format});
    EXPECT_EQ(0, run.status) << describe(run);
    return mftest::readFile(out);
}

TEST(ConvertMany, EachInputGoesToItsOwnFileOneBadInputReportedTheRestWritten) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    const std::string out = dir.file("out");
    ASSERT_EQ(0, ::mkdir(out.c_str(), 0755));
    // The last one has the first one's stem, in another folder.
    ASSERT_EQ(0, ::mkdir(dir.file("copy").c_str(), 0755));
    const std::string copy = mftest::writeFile(dir.file("copy/310.ztr"), mftest::readFile(sample("traces/310.ztr")));
    const std::vector<std::string> inputs = {sample("traces/310.ab1"), sample("traces/GBKAK82TF.scf"),
                                             sample("bad/fake.ab1"), sample("sequences/lupine.fasta"),
                                             dir.file("missing.ab1"), copy};
    for (const auto& input : inputs) {
        if (input.find("missing") == std::string::npos) {
            ASSERT_TRUE(mftest::fileExists(input)) << input;
        }
    }
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.insert(args.end(), {"--to", "FASTA", "--output-dir", out});
    const ToolRun run = runTool(args);
    EXPECT_EQ(1, run.status) << describe(run);

    // The good ones, in the order given, named by their stems.
    const std::vector<std::string> wrote = linesOf(run.out);
    ASSERT_EQ(3u, wrote.size()) << describe(run);
    EXPECT_EQ(0u, wrote[0].find("wrote " + out + "/310.fa: 1 sequence from " + inputs[0])) << wrote[0];
    EXPECT_EQ(0u, wrote[1].find("wrote " + out + "/GBKAK82TF.fa: 1 sequence from " + inputs[1])) << wrote[1];
    EXPECT_EQ(0u, wrote[2].find("wrote " + out + "/lupine.fa: ")) << wrote[2];
    EXPECT_EQ(std::vector<std::string>({"310.fa", "GBKAK82TF.fa", "lupine.fa"}), entriesOf(out));

    // Each failure on its own line, as "PATH: reason", and a count at the end.
    const std::string& err = run.err;
    EXPECT_NE(std::string::npos, err.find(inputs[2])) << err;
    EXPECT_NE(std::string::npos, err.find("error: cannot read " + inputs[4] + ": No such file or directory")) << err;
    EXPECT_NE(std::string::npos,
              err.find("error: " + inputs[5] + ": not converted: its output " + out + "/310.fa is written from " +
                       inputs[0] + " (inputs of the same name go to the same file)"))
        << err;
    EXPECT_NE(std::string::npos, err.find("error: 3 of 6 inputs were not converted")) << err;

    // Each output is what converting its input alone writes.
    EXPECT_EQ(convertedAlone(inputs[0], "FASTA", dir, "fa"), mftest::readFile(out + "/310.fa"));
    EXPECT_EQ(convertedAlone(inputs[1], "FASTA", dir, "fa"), mftest::readFile(out + "/GBKAK82TF.fa"));
    const Fasta lupine = fastaOf(mftest::readFile(out + "/lupine.fa"));
    const Fasta original = fastaOf(mftest::readFile(inputs[3]));
    EXPECT_EQ(original.residues, lupine.residues);
}

TEST(ConvertMany, AllGoodInputsExitZeroAndTheChromatogramsKeepNameDescriptionCallsAndQualities) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    const std::vector<std::string> inputs = {sample("traces/310.ab1"), sample("traces/3730.ab1"),
                                             sample("traces/GBKAK82TF.scf"), sample("traces/GBKAK82TF.ztr"),
                                             sample("traces/310.exp")};
    // GBKAK82TF twice: into two folders, one after the other.
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::string folder = dir.file("fq" + std::to_string(i));
        ASSERT_EQ(0, ::mkdir(folder.c_str(), 0755));
        const ToolRun run = runTool({"convert", inputs[i], "--to", "FASTQ", "--output-dir", folder});
        ASSERT_EQ(0, run.status) << describe(run);
        const std::string stem = inputs[i].substr(inputs[i].rfind('/') + 1, inputs[i].rfind('.') - inputs[i].rfind('/') - 1);
        const std::string written = mftest::readFile(folder + "/" + stem + ".fq");
        EXPECT_EQ(convertedAlone(inputs[i], "FASTQ", dir, "fq"), written) << inputs[i];
        // The calls and confidences are the chromatogram's, as `trace` shows them.
        const mftest::JsonValue trace = parseJson(runTool({"trace", inputs[i], "--json"}).out);
        const std::vector<std::string> lines = linesOf(written);
        ASSERT_EQ(4u, lines.size());
        EXPECT_EQ(trace["bases"].text, lines[1]) << inputs[i];
        ASSERT_EQ(trace["confidences"].size(), lines[3].size());
        for (std::size_t b = 0; b < lines[3].size(); ++b)
            ASSERT_EQ(static_cast<int>(trace["confidences"][b].number) + 33, static_cast<int>(lines[3][b])) << b;
    }
    // The header: the read's name and the first line of its comments, as for one file opened whole.
    const ToolRun opened = runTool({"open", inputs[0], "--json"});
    const mftest::JsonValue model = parseJson(opened.out);
    const std::string name = model["sequences"][0]["name"].text;
    EXPECT_EQ("310", name);
    EXPECT_EQ("@310 COMM=Hassan,Ina", linesOf(mftest::readFile(dir.file("fq0/310.fq")))[0]);
    EXPECT_EQ(0u, linesOf(mftest::readFile(dir.file("fq1/3730.fq")))[0].find("@3730 NAME="));
}

TEST(ConvertMany, OutputDirJsonHasOneResultPerInput) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    const ToolRun run = runTool({"convert", sample("traces/310.ab1"), sample("bad/fake.ab1"), "--to", "GenBank",
                                 "--output-dir", dir.path(), "--json"});
    EXPECT_EQ(1, run.status) << describe(run);
    const mftest::JsonValue doc = parseJson(run.out);
    EXPECT_EQ("convert", doc["command"].text);
    EXPECT_EQ(2.0, doc["count"].number);
    EXPECT_EQ(1.0, doc["failed"].number);
    EXPECT_FALSE(doc["ok"].boolean);
    ASSERT_EQ(2u, doc["results"].size());
    EXPECT_TRUE(doc["results"][0]["ok"].boolean);
    EXPECT_EQ(dir.file("310.gb"), doc["results"][0]["output"].text);
    EXPECT_EQ(1.0, doc["results"][0]["sequences"].number);
    EXPECT_EQ("GenBank", doc["results"][0]["format"].text);
    EXPECT_FALSE(doc["results"][1]["ok"].boolean);
    EXPECT_EQ(sample("bad/fake.ab1"), doc["results"][1]["input"].text);
    ASSERT_GE(doc["results"][1]["messages"].size(), 1u);
    EXPECT_EQ("error", doc["results"][1]["messages"][0]["severity"].text);
    EXPECT_TRUE(exists(dir.file("310.gb")));
    EXPECT_FALSE(exists(dir.file("fake.gb")));
}

TEST(ConvertMany, AnOutputNeverReplacesAnInput) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    // x.gb becomes x.fa, which is also an input: it is left as it was, and read as it was.
    const std::string gb = dir.file("x.gb");
    const std::string fa = dir.file("x.fa");
    mftest::writeFile(gb, mftest::readFile(sample("sequences/TRBG361.gb")));
    mftest::writeFile(fa, ">kept\nACGT\n");
    const ToolRun run = runTool({"convert", gb, fa, "--to", "FASTA", "--output-dir", dir.path()});
    EXPECT_EQ(1, run.status) << describe(run);
    EXPECT_EQ(">kept\nACGT\n", mftest::readFile(fa));
    EXPECT_NE(std::string::npos, run.err.find("error: " + gb + ": not converted: its output would replace an input: " + fa))
        << run.err;
    EXPECT_EQ("", run.out);
}

TEST(ConvertMany, AFolderThatCannotTakeTheOutputsIsOneErrorAndNothingIsRead) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    const std::string file = mftest::writeFile(dir.file("plain"), "x");
    struct Case {
        std::string folder;
        std::string reason;
    };
    std::vector<Case> cases = {{dir.file("missing"), "No such file or directory"}, {file, "Not a directory"}};
    const std::string locked = dir.file("locked");
    ASSERT_EQ(0, ::mkdir(locked.c_str(), 0555));
    if (::geteuid() != 0)
        cases.push_back({locked, "Permission denied"});
    for (const Case& c : cases) {
        const ToolRun run = runTool({"convert", sample("traces/310.ab1"), sample("traces/3730.ab1"), "--to",
                                     "FASTA", "--output-dir", c.folder});
        EXPECT_EQ(1, run.status) << describe(run);
        EXPECT_EQ("", run.out);
        EXPECT_EQ(std::vector<std::string>({"error: cannot write into " + c.folder + ": " + c.reason}), linesOf(run.err));
    }
    EXPECT_FALSE(exists(dir.file("missing")));
}

TEST(ConvertMany, WritesThatFailAreReportedPerFileAndLeaveNothingBehind) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    // FASTQ needs qualities: the FASTA input cannot be written, the chromatogram can.
    const ToolRun run = runTool({"convert", sample("sequences/lupine.fasta"), sample("traces/310.ab1"), "--to",
                                 "FASTQ", "--output-dir", dir.path()});
    EXPECT_EQ(1, run.status) << describe(run);
    EXPECT_EQ(std::vector<std::string>({"310.fq"}), entriesOf(dir.path())) << describe(run);
    EXPECT_NE(std::string::npos, run.err.find("1 of 2 inputs were not converted")) << run.err;
}

TEST(ConvertMany, CompressedOutputsAreNamedAndWrittenSo) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    const ToolRun run = runTool({"convert", sample("traces/310.ab1"), "--to", "FASTA", "--compress", "gz",
                                 "--output-dir", dir.path()});
    ASSERT_EQ(0, run.status) << describe(run);
    const std::string gz = dir.file("310.fa.gz");
    const std::string bytes = mftest::readFile(gz);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ('\x1f', bytes[0]);
    EXPECT_EQ('\x8b', bytes[1]);
    const ToolRun back = runTool({"convert", gz, dir.file("back.fa")});
    ASSERT_EQ(0, back.status) << describe(back);
    EXPECT_EQ(convertedAlone(sample("traces/310.ab1"), "FASTA", dir, "fa"), mftest::readFile(dir.file("back.fa")));
}

TEST(ConvertMany, OneOutputHoldsEveryGoodInputInOrder) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    const std::string all = dir.file("all.fa");
    const ToolRun run = runTool({"convert", sample("traces/310.ab1"), sample("bad/fake.ab1"),
                                 sample("sequences/lupine.fasta"), sample("traces/3730.ab1"), "--output", all});
    EXPECT_EQ(1, run.status) << describe(run);
    EXPECT_EQ("wrote " + all + ": 3 sequences from 3 of 4 inputs (FASTA)\n", run.out);
    EXPECT_NE(std::string::npos, run.err.find(sample("bad/fake.ab1"))) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("error: 1 of 4 inputs were not converted")) << run.err;
    const Fasta fasta = fastaOf(mftest::readFile(all));
    ASSERT_EQ(3u, fasta.headers.size());
    EXPECT_EQ("310 COMM=Hassan,Ina", fasta.headers[0]);
    EXPECT_EQ(0u, fasta.headers[2].find("3730 NAME="));
    EXPECT_EQ(fastaOf(convertedAlone(sample("sequences/lupine.fasta"), "FASTA", dir, "fa")).headers[0],
              fasta.headers[1]);
    // The same to standard output, named by --to.
    const ToolRun standard = runTool({"convert", sample("traces/310.ab1"), sample("traces/3730.ab1"), "--to",
                                      "FASTA", "--output", "-"});
    ASSERT_EQ(0, standard.status) << describe(standard);
    const Fasta out = fastaOf(standard.out);
    ASSERT_EQ(2u, out.headers.size());
    EXPECT_EQ(fasta.residues.at("310"), out.residues.at("310"));
}

TEST(ConvertMany, OneOutputIsLeftAsItWasWhenNothingCouldBeRead) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    const std::string all = mftest::writeFile(dir.file("all.fa"), ">old\nAC\n");
    const ToolRun run = runTool({"convert", sample("bad/fake.ab1"), dir.file("missing.fa"), "--output", all});
    EXPECT_EQ(1, run.status) << describe(run);
    EXPECT_EQ(">old\nAC\n", mftest::readFile(all));
    EXPECT_EQ(std::vector<std::string>({"all.fa"}), entriesOf(dir.path()));
}

TEST(ConvertMany, MistakesInTheCommandLineAreUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"convert", "a.ab1", "b.ab1", "--output-dir", "d"}, "--output-dir needs --to NAME: the format every output is written in"},
        {{"convert", "a.ab1", "--to", "FASTA", "--output-dir="}, "--output-dir needs a folder"},
        {{"convert", "a.ab1", "--to", "SCF", "--output-dir", "d"}, "--output-dir: no file-name extension is known for the format 'SCF'"},
        {{"convert", "a.ab1", "-", "--to", "FASTA", "--output-dir", "d"}, "standard input (-) cannot be one of many inputs: give files"},
        {{"convert", "a.ab1", "--to", "FASTA", "--output-dir", "d", "--output", "x.fa"}, "--output and --output-dir cannot be used together"},
        {{"convert", "a.ab1", "b.ab1", "--output", "x.msf"}, "--output writes the sequences of every input to one file, in a sequence format (FASTA, FASTQ, GenBank, EMBL, ...), not 'x.msf'"},
        {{"convert", "a.ab1", "b.ab1", "--output", "-"}, "writing to standard output (-) needs --to NAME"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool(c.args);
        SCOPED_TRACE(describe(run));
        EXPECT_EQ(2, run.status);
        EXPECT_EQ("", run.out);
        EXPECT_EQ("error: " + c.message, linesOf(run.err).at(0));
    }
}

TEST(ConvertMany, EveryFormatsExtensionIsReadBackAsThatFormat) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    struct Case {
        const char* to;
        const char* extension;
        const char* detected;
    };
    const Case cases[] = {{"FASTA", "fa", "FASTA"},  {"fasta", "fa", "FASTA"}, {"GenBank", "gb", "GenBank"},
                          {"EMBL", "embl", "EMBL"}, {"NBRF", "pir", "NBRF"},  {"FASTQ", "fq", "FASTQ"},
                          {"GCG", "ssf", "GCG"}};
    for (const Case& c : cases) {
        const std::string folder = dir.file(c.to);
        ASSERT_EQ(0, ::mkdir(folder.c_str(), 0755));
        const ToolRun run = runTool({"convert", sample("traces/310.ab1"), "--to", c.to, "--output-dir", folder});
        ASSERT_EQ(0, run.status) << describe(run);
        const std::string written = folder + "/310." + c.extension;
        ASSERT_TRUE(exists(written)) << written;
        const ToolRun type = runTool({"type", written, "--json"});
        SCOPED_TRACE(type.out);
        const mftest::JsonValue doc = parseJson(type.out);
        EXPECT_EQ("SeqModel", doc["results"][0]["type"].text);
        EXPECT_EQ(c.detected, doc["results"][0]["format"].text);
    }
}

} // namespace
