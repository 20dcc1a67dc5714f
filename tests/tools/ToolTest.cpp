// End-to-end tests of the modelfactory tool: each runs the built executable with arguments, as a
// user would, and checks its output, its messages and its exit status.
#include "Messages.h"
#include "MiniJson.h"
#include "TestSupport.h"
#include "ToolRunner.h"
#include "TraceWriter.h"

#include <factory/Messages.h>

#include <gtest/gtest.h>
#include <pugixml.hpp>


#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {
using mftest::describe;
using mftest::linesOf;
using mftest::wordsOf;

using mftest::JsonValue;
using mftest::parseJson;
using mftest::runTool;
using mftest::runToolWithInput;
using mftest::ToolRun;
namespace tmsg = mftool::msg;

std::string fixture(const std::string& name) { return mftest::fixturesDir() + "/tools/" + name; }

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Parses the run's stdout as JSON, failing the test (not crashing it) when it does not parse.
JsonValue jsonOf(const ToolRun& run) {
    try {
        return parseJson(run.out);
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what() << "\n--- stdout ---\n" << run.out << "\n--- stderr ---\n" << run.err;
        return JsonValue();
    }
}

// The residues of every entry of a GenBank file, in order (the ORIGIN lines without numbers).
std::vector<std::string> genBankResidues(const std::string& path) {
    std::vector<std::string> entries;
    bool inOrigin = false;
    for (const std::string& line : linesOf(mftest::readFile(path))) {
        if (line.compare(0, 6, "ORIGIN") == 0) {
            entries.emplace_back();
            inOrigin = true;
        } else if (line.compare(0, 2, "//") == 0) {
            inOrigin = false;
        } else if (inOrigin) {
            for (char c : line)
                if (std::isalpha(static_cast<unsigned char>(c)))
                    entries.back() += c;
        }
    }
    return entries;
}

// (name, residues) of every sequence, as `open --all --json` reports them.
std::vector<std::pair<std::string, std::string>> openedSequences(const std::string& path,
                                                                 std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"open", path, "--all", "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    const ToolRun run = runTool(args);
    EXPECT_EQ(run.status, 0) << describe(run);
    std::vector<std::pair<std::string, std::string>> result;
    const JsonValue doc = jsonOf(run);
    if (!doc.has("sequences"))
        return result;
    for (const JsonValue& sequence : doc["sequences"].items)
        result.emplace_back(sequence["name"].text, sequence["residues"].text);
    return result;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// ---------------------------------------------------------------------------------------------
// Command line

TEST(ToolUsage, BadCommandLinesExitWithStatusTwo) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{}, tmsg::NoCommand},
        {{"frobnicate"}, std::string(tmsg::UnknownCommand) + "frobnicate'"},
        {{"type"}, std::string(tmsg::MissingArgument) + "PATH..."},
        {{"convert", "in.fa"}, std::string(tmsg::MissingArgument) + "IN OUT"},
        {{"convert", "a.fa", "b.fa", "c.fa"},
         std::string(tmsg::UnexpectedArgument) + "c.fa'" + tmsg::ManyInputsNeedAnOutput},
        {{"formats", "extra"}, std::string(tmsg::UnexpectedArgument) + "extra'"},
        {{"open", "a.fa", "--bogus"}, std::string(tmsg::UnknownOption) + "--bogus'"},
        {{"iterate", "-x", "a.fa"}, std::string(tmsg::UnknownOption) + "-x'"},
        {{"type", "a.fa", "--format"}, std::string(tmsg::OptionNeedsValue) + "--format'"},
        {{"open", "a.fa", "--type", "A", "--type=B"}, std::string(tmsg::OptionRepeated) + "--type'"},
        {{"open", "a.fa", "--all=yes"}, std::string(tmsg::OptionTakesNoValue) + "--all'"},
        {{"trace", "a.scf", "--svg="}, "--svg needs a file name"},
        {{"formats", "--svg", "x.svg"}, std::string(tmsg::UnknownOption) + "--svg'"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool(c.args);
        SCOPED_TRACE(describe(run));
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(linesOf(run.err).at(0), tmsg::ErrorPrefix + c.message);
    }
}

TEST(ToolUsage, EveryCommandExplainsItselfWithHelp) {
    const ToolRun top = runTool({"--help"});
    EXPECT_EQ(top.status, 0);
    for (const char* command : {"type", "open", "iterate", "convert", "formats", "trace"}) {
        EXPECT_TRUE(contains(top.out, std::string("\n  ") + command + " ")) << command;
        for (const char* help : {"--help", "-h"}) {
            // Help wins over missing arguments.
            const ToolRun run = runTool({command, help});
            SCOPED_TRACE(describe(run));
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.out.rfind(std::string("usage: modelfactory ") + command, 0), 0u);
            EXPECT_TRUE(contains(run.out, "--json"));
            EXPECT_TRUE(contains(run.out, "--help"));
            EXPECT_EQ(run.err, "");
        }
    }
}

// ---------------------------------------------------------------------------------------------
// type

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        trace_ = dir_.file("read.scf");
        mftest::TraceSample sample;
        sample.bases = "ACGTACGTAA";
        sample.points = 120;
        sample.leftCutoff = 2;
        sample.rightCutoff = 9;
        mftest::writeTrace(trace_, mftest::TraceKind::SCF, sample);
    }

    mftest::TempDir dir_;
    std::string trace_;
};

TEST_F(ToolTest, TypePrintsOneLinePerPathInOrder) {
    struct Row {
        std::string first;  ///< the path
        std::string second; ///< the class
        std::string format;
    };
    const std::vector<Row> expected = {
        {fixture("records.gb"), "SeqModel", "GenBank"}, {fixture("align.nex"), "AlignModel", "NEXUS"},
        {trace_, "TraceModel", "SCF"},                  {fixture("seqs.fa"), "SeqModel", "FASTA"},
        {dir_.file("missing.fa"), tmsg::Unclassified, "-"},
    };
    std::vector<std::string> args{"type"};
    for (const auto& e : expected)
        args.push_back(e.first);
    const ToolRun run = runTool(args);
    SCOPED_TRACE(describe(run));
    EXPECT_EQ(run.status, 1); // one path is unclassified
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(wordsOf(lines[i]), (std::vector<std::string>{expected[i].first, expected[i].second, expected[i].format}));

    args.pop_back();
    EXPECT_EQ(runTool(args).status, 0);

    args.push_back(dir_.file("missing.fa"));
    args.push_back("--json");
    const ToolRun json = runTool(args);
    EXPECT_EQ(json.status, 1);
    const JsonValue doc = jsonOf(json);
    EXPECT_EQ(doc["command"].text, "type");
    EXPECT_FALSE(doc["ok"].boolean);
    ASSERT_EQ(doc["results"].size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(doc["results"][i]["path"].text, expected[i].first);
        const bool classified = i + 1 < expected.size();
        EXPECT_EQ(doc["results"][i]["type"].text, classified ? expected[i].second : "");
        EXPECT_EQ(doc["results"][i]["classified"].boolean, classified);
    }
}

TEST_F(ToolTest, TypeByFormatReportsTheLibrarysWarningsOnStderr) {
    // Not regular: a device is left to the library, which says so.
    const ToolRun run = runTool({"type", "/dev/null", "--format", "FASTA", "--json"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, tmsg::WarningPrefix + std::string(Ovik::msg::NotARegularFile) + "\n");
    const JsonValue doc = jsonOf(run);
    EXPECT_EQ(doc["format"].text, "FASTA");
    ASSERT_EQ(doc["messages"].size(), 1u);
    EXPECT_EQ(doc["messages"][0]["severity"].text, "warning");
    EXPECT_EQ(doc["messages"][0]["text"].text, Ovik::msg::NotARegularFile);

    const ToolRun nexus = runTool({"type", fixture("align.nex"), "--format", "NEXUS"});
    EXPECT_EQ(nexus.status, 0);
    EXPECT_EQ(wordsOf(nexus.out), (std::vector<std::string>{fixture("align.nex"), "AlignModel", "NEXUS"}));
    // FORMAT@@FILE names the format in the path, as open and convert take it.
    EXPECT_EQ(wordsOf(runTool({"type", "NEXUS@@" + fixture("align.nex")}).out).at(1), "AlignModel");
}

// ---------------------------------------------------------------------------------------------
// open

TEST_F(ToolTest, OpenShowsEverySequenceOfAGenBankFile) {
    const ToolRun run = runTool({"open", fixture("records.gb")});
    SCOPED_TRACE(describe(run));
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(contains(run.out, "class      SeqModel\n"));
    EXPECT_TRUE(contains(run.out, "url        " + fixture("records.gb") + "\n"));
    EXPECT_TRUE(contains(run.out, "sequences  3\n"));
    const std::vector<std::string> residues = genBankResidues(fixture("records.gb"));
    ASSERT_EQ(residues.size(), 3u);
    const auto lines = linesOf(run.out);
    const std::vector<std::vector<std::string>> rows = {
        {"1", "TOOLREC1", "130", "1", "DNA", residues[0].substr(0, 50) + "..."},
        {"2", "TOOLREC2", "75", "1", "RNA", residues[1].substr(0, 50) + "..."},
        {"3", "TOOLREC3", "12", "1", "DNA", residues[2]},
    };
    ASSERT_GE(lines.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(wordsOf(lines[lines.size() - rows.size() + i]), rows[i]);

    const JsonValue doc = jsonOf(runTool({"open", fixture("records.gb"), "--json"}));
    EXPECT_TRUE(doc["ok"].boolean);
    EXPECT_EQ(doc["class"].text, "SeqModel");
    EXPECT_EQ(doc["sequenceCount"].number, 3);
    EXPECT_EQ(doc["sequences"][0]["residues"].text, residues[0].substr(0, 50));
    EXPECT_FALSE(doc["sequences"][0]["residuesComplete"].boolean);
    EXPECT_EQ(doc["sequences"][2]["residues"].text, residues[2]);
    EXPECT_TRUE(doc["sequences"][2]["residuesComplete"].boolean);
    EXPECT_EQ(doc["sequences"][1]["accession"].text, "TOOLREC2");
}

TEST_F(ToolTest, OpenAllShowsEveryResidue) {
    const std::vector<std::string> residues = genBankResidues(fixture("records.gb"));
    const auto opened = openedSequences(fixture("records.gb"));
    ASSERT_EQ(opened.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(opened[i].second, residues[i]);

    const ToolRun text = runTool({"open", fixture("records.gb"), "--all"});
    EXPECT_EQ(text.status, 0);
    EXPECT_TRUE(contains(text.out, "    " + residues[0].substr(0, 60) + "\n"));
    EXPECT_TRUE(contains(text.out, "    " + residues[0].substr(120) + "\n"));
    EXPECT_FALSE(contains(text.out, "..."));
}

TEST_F(ToolTest, OpenAnAlignmentAndAChromatogram) {
    const JsonValue alignment = jsonOf(runTool({"open", fixture("align.nex"), "--json"}));
    EXPECT_EQ(alignment["class"].text, "AlignModel");
    EXPECT_EQ(alignment["columns"].number, 24);
    ASSERT_EQ(alignment["sequences"].size(), 3u);
    EXPECT_EQ(alignment["sequences"][2]["name"].text, "gamma");
    EXPECT_EQ(alignment["sequences"][0]["residues"].text, "ACGTACGTAC--GTACGTACGTAC");

    // Detection calls it a trace; it opens as a sequence model holding the called bases.
    const JsonValue trace = jsonOf(runTool({"open", trace_, "--json"}));
    EXPECT_EQ(trace["class"].text, "SeqModel");
    EXPECT_EQ(trace["encoding"].text, "trace");
    ASSERT_EQ(trace["sequences"].size(), 1u);
    EXPECT_EQ(trace["sequences"][0]["residues"].text, "ACGTACGTAA");
}

TEST_F(ToolTest, OpenTakesFormatQualifiedPathsAndExplicitTypes) {
    // An extension that says nothing: the format named in front of the path decides.
    const std::string plain = mftest::writeFile(dir_.file("seqs.txt"), mftest::readFile(fixture("seqs.fa")));
    const auto qualified = openedSequences("FASTA@@" + plain);
    ASSERT_EQ(qualified.size(), 4u);
    EXPECT_EQ(qualified[3].first, "fourth");

    const auto typed = openedSequences(fixture("seqs.fa"), {"--type", "SeqModel", "--format", "FASTA"});
    EXPECT_EQ(typed, openedSequences(fixture("seqs.fa")));
}

TEST_F(ToolTest, OpenFailuresExitWithStatusOne) {
    const std::string empty = mftest::writeFile(dir_.file("empty.fa"), "");
    struct Case {
        std::vector<std::string> args;
        std::string firstError; ///< "" when any error text will do
    };
    const std::vector<Case> cases = {
        {{"open", empty}, tmsg::NothingOpened + empty},
        {{"open", fixture("seqs.fa"), "--type", "Bogus"}, std::string(Ovik::msg::UnknownModelType) + "Bogus"},
        {{"open", dir_.file("missing.fa")}, ""},
        {{"open", mftest::writeFile(dir_.file("noise.fa"), std::string("\x01\x02\xff\xfe garbage", 12))}, ""},
    };
    for (const Case& c : cases) {
        for (bool json : {false, true}) {
            std::vector<std::string> args = c.args;
            if (json)
                args.push_back("--json");
            const ToolRun run = runTool(args);
            SCOPED_TRACE(describe(run));
            EXPECT_EQ(run.status, 1);
            ASSERT_FALSE(run.err.empty());
            EXPECT_EQ(run.err.rfind(tmsg::ErrorPrefix, 0), 0u);
            if (!c.firstError.empty()) {
                EXPECT_EQ(linesOf(run.err)[0], tmsg::ErrorPrefix + c.firstError);
            }
            if (json) {
                const JsonValue doc = jsonOf(run);
                EXPECT_FALSE(doc["ok"].boolean);
                EXPECT_GE(doc["messages"].size(), 1u);
            } else {
                EXPECT_EQ(run.out, "");
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// iterate

TEST_F(ToolTest, IteratePrintsOneLinePerModelInFileOrder) {
    const ToolRun run = runTool({"iterate", fixture("records.gb")});
    SCOPED_TRACE(describe(run));
    ASSERT_EQ(run.status, 0);
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(wordsOf(lines[0]), (std::vector<std::string>{"1", "SeqModel", "TOOLREC1", "130", "DNA"}));
    EXPECT_EQ(wordsOf(lines[1]), (std::vector<std::string>{"2", "SeqModel", "TOOLREC2", "75", "RNA"}));
    EXPECT_EQ(wordsOf(lines[2]), (std::vector<std::string>{"3", "SeqModel", "TOOLREC3", "12", "DNA"}));

    const JsonValue doc = jsonOf(runTool({"iterate", fixture("seqs.fa"), "--json"}));
    EXPECT_TRUE(doc["ok"].boolean);
    EXPECT_EQ(doc["count"].number, 4);
    ASSERT_EQ(doc["models"].size(), 4u);
    const char* names[] = {"first", "second", "third", "fourth"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(doc["models"][i]["index"].number, i + 1);
        EXPECT_EQ(doc["models"][i]["sequences"][0]["name"].text, names[i]);
    }

    // A source's file comes as one model holding every row.
    const ToolRun alignment = runTool({"iterate", fixture("align.nex")});
    EXPECT_EQ(alignment.status, 0);
    ASSERT_EQ(linesOf(alignment.out).size(), 1u);
    EXPECT_TRUE(contains(alignment.out, " alpha ")) << alignment.out;
    EXPECT_TRUE(contains(alignment.out, "(+2 more sequences)")) << alignment.out;
}

TEST_F(ToolTest, IterateFailuresAndEmptyFiles) {
    const ToolRun missing = runTool({"iterate", dir_.file("missing.fa"), "--json"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind(tmsg::ErrorPrefix, 0), 0u) << missing.err;
    const JsonValue doc = jsonOf(missing);
    EXPECT_FALSE(doc["ok"].boolean);
    EXPECT_EQ(doc["count"].number, 0);

    // No entries is not an error for iteration (unlike open).
    const ToolRun empty = runTool({"iterate", mftest::writeFile(dir_.file("empty.fa"), "")});
    EXPECT_EQ(empty.status, 0) << describe(empty);
    EXPECT_EQ(empty.out, "");
}

// ---------------------------------------------------------------------------------------------
// convert

TEST_F(ToolTest, ConvertGenBankToFastaAndBackKeepsEverySequence) {
    const auto original = openedSequences(fixture("records.gb"));
    ASSERT_EQ(original.size(), 3u);

    const std::string fasta = dir_.file("records.fa");
    const ToolRun toFasta = runTool({"convert", fixture("records.gb"), fasta, "--json"});
    ASSERT_EQ(toFasta.status, 0) << describe(toFasta);
    const JsonValue doc = jsonOf(toFasta);
    EXPECT_TRUE(doc["streamed"].boolean);
    EXPECT_EQ(doc["format"].text, "FASTA");
    EXPECT_EQ(doc["models"].number, 3);
    EXPECT_EQ(doc["sequences"].number, 3);
    EXPECT_EQ(openedSequences(fasta), original);

    // Back again, naming the format rather than relying on the extension.
    const std::string genbank = dir_.file("back.txt");
    const ToolRun back = runTool({"convert", fasta, genbank, "--to", "GenBank"});
    ASSERT_EQ(back.status, 0) << describe(back);
    EXPECT_EQ(back.out, "wrote " + genbank + ": 3 sequences from " + fasta +
                            " (GenBank, streamed entry by entry)\n");
    EXPECT_EQ(openedSequences("GenBank@@" + genbank), original);

    const std::string embl = dir_.file("records.emb");
    ASSERT_EQ(runTool({"convert", "GenBank@@" + fixture("records.gb"), embl}).status, 0);
    EXPECT_EQ(openedSequences(embl), original);
}

TEST_F(ToolTest, ConvertWritesCompressedTargetsStreamedAndReadsThemBack) {
    const auto original = openedSequences(fixture("records.gb"));
    const std::string packed = dir_.file("records.fa.gz");
    const ToolRun run = runTool({"convert", fixture("records.gb"), packed, "--json"});
    ASSERT_EQ(run.status, 0) << describe(run);
    EXPECT_TRUE(jsonOf(run)["streamed"].boolean);
    EXPECT_EQ(jsonOf(run)["format"].text, "FASTA");
    EXPECT_EQ(mftest::readFile(packed).substr(0, 2), "\x1f\x8b");
    EXPECT_EQ(openedSequences(packed), original);
    // And on from the compressed file to another compression.
    const std::string again = dir_.file("again.gb.xz");
    ASSERT_EQ(runTool({"convert", packed, again}).status, 0);
    EXPECT_EQ(openedSequences(again), original);
    const auto lines = linesOf(runTool({"type", packed, again}).out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(wordsOf(lines[0]), (std::vector<std::string>{packed, "SeqModel", "FASTA"}));
    EXPECT_EQ(wordsOf(lines[1]), (std::vector<std::string>{again, "SeqModel", "GenBank"}));
}

TEST_F(ToolTest, ConvertAnAlignmentThroughTheFactory) {
    const std::string phylip = dir_.file("align.phy");
    const ToolRun run = runTool({"convert", fixture("align.nex"), phylip, "--to", "PHYLIP", "--json"});
    ASSERT_EQ(run.status, 0) << describe(run);
    const JsonValue doc = jsonOf(run);
    EXPECT_FALSE(doc["streamed"].boolean);
    EXPECT_EQ(doc["class"].text, "AlignModel");
    EXPECT_EQ(doc["format"].text, "PHYLIP");
    EXPECT_EQ(openedSequences(phylip), openedSequences(fixture("align.nex")));

    // By extension: an alignment to FASTA text.
    const std::string fasta = dir_.file("align.fa");
    const ToolRun byExtension = runTool({"convert", fixture("align.nex"), fasta});
    ASSERT_EQ(byExtension.status, 0) << describe(byExtension);
    EXPECT_EQ(byExtension.out, "wrote " + fasta + ": 3 sequences from " + fixture("align.nex") +
                                   " (AlignModel saved as FASTA)\n");
    EXPECT_EQ(openedSequences(fasta), openedSequences(fixture("align.nex")));
}

TEST_F(ToolTest, ConvertAnAlignmentOrAChromatogramToEveryArchiveFormat) {
    // The factory's save has no writer for NBRF; the tool writes the rows, gaps kept, through the
    // archive writer, and does so for the other archive formats that hold no alignment as such.
    const auto rows = openedSequences(fixture("align.nex"));
    ASSERT_EQ(rows.size(), 3u);
    const auto read = openedSequences(trace_);
    for (const char* format : {"NBRF", "FASTA", "GenBank", "EMBL", "GCG"}) {
        for (const std::string& input : {fixture("align.nex"), trace_}) {
            const std::string out = dir_.file(std::string("out.") + format);
            const ToolRun run = runTool({"convert", input, out, "--to", format, "--json"});
            SCOPED_TRACE(describe(run));
            ASSERT_EQ(run.status, 0);
            EXPECT_EQ(jsonOf(run)["format"].text, format);
            EXPECT_FALSE(jsonOf(run)["streamed"].boolean);
            const auto written = openedSequences(std::string(format) + "@@" + out);
            const auto& expected = input == trace_ ? read : rows;
            ASSERT_EQ(written.size(), expected.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(written[i].first, expected[i].first);
                EXPECT_EQ(lower(written[i].second), lower(expected[i].second));
            }
        }
    }
    const ToolRun text = runTool({"convert", fixture("align.nex"), dir_.file("align.pir")});
    EXPECT_EQ(text.out, "wrote " + dir_.file("align.pir") + ": 3 sequences from " +
                            fixture("align.nex") + " (AlignModel saved as NBRF)\n");

    // MSF holds an alignment as such: the factory's alignment source writes it.
    const ToolRun msf = runTool({"convert", fixture("align.nex"), dir_.file("align.msf"), "--json"});
    ASSERT_EQ(msf.status, 0) << describe(msf);
    EXPECT_EQ(jsonOf(msf)["format"].kind, JsonValue::Kind::Null);
    EXPECT_EQ(openedSequences(dir_.file("align.msf")), rows);
}

TEST_F(ToolTest, ConvertAChromatogramAndProteins) {
    const std::string fasta = dir_.file("read.fa");
    ASSERT_EQ(runTool({"convert", trace_, fasta}).status, 0);
    const auto read = openedSequences(fasta);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].second, "ACGTACGTAA");

    // Protein entries going to GenBank are written in its protein form, as the factory does.
    const std::string genpept = dir_.file("proteins.gb");
    const ToolRun run = runTool({"convert", fixture("proteins.fa"), genpept, "--json"});
    ASSERT_EQ(run.status, 0) << describe(run);
    EXPECT_EQ(jsonOf(run)["format"].text, "GenPept");
    EXPECT_EQ(openedSequences(genpept), openedSequences(fixture("proteins.fa")));
}

TEST_F(ToolTest, AFailedConversionLeavesTheTargetUntouched) {
    const std::string target = mftest::writeFile(dir_.file("out.fa"), ">keep\nACGT\n");
    const std::string noise = mftest::writeFile(dir_.file("noise.fa"), std::string("\x01\x02\xff\xfe garbage", 12));
    const std::string empty = mftest::writeFile(dir_.file("empty.fa"), "");
    const std::set<std::string> before = mftest::filesIn(dir_.path());
    for (const std::string& input : {noise, empty, dir_.file("missing.fa")}) {
        const ToolRun run = runTool({"convert", input, target});
        SCOPED_TRACE(describe(run));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind(tmsg::ErrorPrefix, 0), 0u);
        EXPECT_EQ(mftest::readFile(target), ">keep\nACGT\n");
        EXPECT_EQ(mftest::filesIn(dir_.path()), before); // no temporary file left behind
    }
    const ToolRun nothing = runTool({"convert", empty, target});
    EXPECT_EQ(linesOf(nothing.err).back(), tmsg::ErrorPrefix + std::string(tmsg::NothingToConvert) + empty);
}

// ---------------------------------------------------------------------------------------------
// formats

TEST(ToolFormats, ListsTheFactorysFormatsInGroups) {
    const ToolRun text = runTool({"formats"});
    ASSERT_EQ(text.status, 0);
    for (const char* header : {"Format sources (", "Sequence archives (", "Chromatograms (11):"})
        EXPECT_TRUE(contains(text.out, header)) << header;

    const JsonValue doc = jsonOf(runTool({"formats", "--json"}));
    ASSERT_EQ(doc["groups"].size(), 3u);
    std::size_t total = 0;
    std::vector<std::string> names[3];
    for (std::size_t g = 0; g < 3; ++g) {
        total += doc["groups"][g]["formats"].size();
        for (const JsonValue& format : doc["groups"][g]["formats"].items) {
            names[g].push_back(format["name"].text);
            EXPECT_FALSE(format["description"].text.empty()) << format["name"].text;
        }
    }
    EXPECT_EQ(total, doc["count"].number);
    EXPECT_EQ(doc["groups"][0]["group"].text, "sources");
    EXPECT_NE(std::find(names[0].begin(), names[0].end(), "NEXUS"), names[0].end());
    EXPECT_NE(std::find(names[0].begin(), names[0].end(), "FASTQ"), names[0].end());
    EXPECT_NE(std::find(names[1].begin(), names[1].end(), "GenBank"), names[1].end());
    ASSERT_EQ(names[2].size(), 11u);
    EXPECT_EQ(names[2].front(), "SCF");
    EXPECT_EQ(names[2].back(), "BIO");
    // Of the chromatogram formats only PLN (plain sequence text) holds no samples, and says so.
    for (const JsonValue& format : doc["groups"][2]["formats"].items)
        EXPECT_EQ(format["samples"].boolean, format["name"].text != "PLN") << format["name"].text;
    EXPECT_TRUE(contains(text.out, "PLN Sequence File Format" + std::string(tmsg::NoSamplesNote) + "\n"));
    EXPECT_EQ(text.out.find(tmsg::NoSamplesNote), text.out.rfind(tmsg::NoSamplesNote));
    // Every listed name appears on a line of the text listing too.
    for (const auto& group : names)
        for (const std::string& name : group)
            EXPECT_TRUE(contains(text.out, "\n  " + name + " ")) << name;
}

// ---------------------------------------------------------------------------------------------
// FASTQ and standard streams

const char* const kReads = "@r1 first\nACGT\n+\n!+5I\n@r2\nGGA\n+\nIII\n";

TEST_F(ToolTest, StandardInputIsSniffedAndReadThroughAPipe) {
    // A sequence archive is read as it arrives: iterate, and convert to standard output.
    const ToolRun iterate = runToolWithInput({"iterate", "-"}, kReads);
    SCOPED_TRACE(describe(iterate));
    EXPECT_EQ(iterate.status, 0);
    const auto lines = linesOf(iterate.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(wordsOf(lines[1]), (std::vector<std::string>{"2", "SeqModel", "r2", "3", "DNA"}));

    const std::string genBank = mftest::readFile(fixture("records.gb"));
    const ToolRun convert = runToolWithInput({"convert", "-", "-", "--to", "FASTA"}, genBank);
    EXPECT_EQ(convert.status, 0) << describe(convert);
    EXPECT_EQ(convert.out.rfind(">", 0), 0u);
    EXPECT_EQ(std::count(convert.out.begin(), convert.out.end(), '>'),
              static_cast<long>(genBankResidues(fixture("records.gb")).size()));
    EXPECT_EQ(convert.err, "");

    // Anything else goes through a file: an alignment, judged by its first bytes.
    const std::string nexus = mftest::readFile(fixture("align.nex"));
    EXPECT_EQ(wordsOf(runToolWithInput({"type", "-"}, nexus).out),
              (std::vector<std::string>{"-", "AlignModel", "NEXUS"}));
    const ToolRun open = runToolWithInput({"open", "-"}, nexus);
    EXPECT_EQ(open.status, 0) << describe(open);
    EXPECT_TRUE(contains(open.out, "class      AlignModel\nurl        -\n")) << open.out;

    // --from names the format: the same bytes read as what it says.
    const ToolRun named = runToolWithInput({"iterate", "-", "--format", "fq"}, kReads);
    EXPECT_EQ(linesOf(named.out).size(), 2u) << describe(named);
}

TEST_F(ToolTest, FastqOutputNeedsQualitiesOrADefault) {
    const std::string reads = mftest::writeFile(dir_.file("reads.fq"), kReads);
    // Reads keep their qualities through a conversion; FASTA leaves them out.
    ASSERT_EQ(runTool({"convert", reads, dir_.file("copy.fastq")}).status, 0);
    EXPECT_EQ(mftest::readFile(dir_.file("copy.fastq")), kReads);
    // --json --all shows them as numbers; sequences without any have none.
    const JsonValue doc = jsonOf(runTool({"open", reads, "--json", "--all"}));
    ASSERT_EQ(doc["sequences"][0]["qualities"].size(), 4u);
    const double expected[] = {0, 10, 20, 40};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(doc["sequences"][0]["qualities"][i].number, expected[i]);
    EXPECT_FALSE(jsonOf(runTool({"open", fixture("seqs.fa"), "--json", "--all"}))["sequences"][0].has("qualities"));
    // A read cut short: the command fails with the line, and no partial model is shown as
    // though it were the file, under a FASTQ name or any other.
    for (const char* name : {"cut.fq", "cut.txt"}) {
        const ToolRun cut = runTool({"open", mftest::writeFile(dir_.file(name), "@r1\nACGT\n+\nIIII\n@r2\nAC\n+\nI\n")});
        EXPECT_EQ(cut.status, 1);
        EXPECT_TRUE(!contains(cut.out, "r1") && contains(cut.err, std::string(name) + ":8:")) << describe(cut);
    }
    ASSERT_EQ(runTool({"convert", reads, dir_.file("plain.fa")}).status, 0);
    EXPECT_EQ(mftest::readFile(dir_.file("plain.fa")), ">r1 first\nACGT\n>r2\nGGA\n");

    // A sequence without qualities: an error, unless a default quality is given.
    const ToolRun refused = runTool({"convert", fixture("seqs.fa"), dir_.file("out.fq")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(contains(refused.err, "no qualities to write for sequence")) << refused.err;
    EXPECT_FALSE(mftest::fileExists(dir_.file("out.fq")));
    const ToolRun given =
        runTool({"convert", fixture("seqs.fa"), dir_.file("out.fq"), "--default-quality", "30"});
    ASSERT_EQ(given.status, 0) << describe(given);
    const auto lines = linesOf(mftest::readFile(dir_.file("out.fq")));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[3], std::string(lines[1].size(), '?'));
    EXPECT_EQ(runTool({"convert", reads, "x.fq", "--default-quality", "94"}).status, 2);
    // Standard output has no extension to name its format.
    EXPECT_EQ(runTool({"convert", reads, "-"}).status, 2);
    // A chromatogram goes to FASTQ through the factory (its calls and their confidences).
    const ToolRun trace = runTool({"convert", trace_, dir_.file("read.fastq")});
    ASSERT_EQ(trace.status, 0) << describe(trace);
    EXPECT_EQ(linesOf(mftest::readFile(dir_.file("read.fastq")))[1], "ACGTACGTAA");
}

// ---------------------------------------------------------------------------------------------
// trace

TEST_F(ToolTest, TracePrintsTheChromatogramRecord) {
    const ToolRun run = runTool({"trace", trace_});
    SCOPED_TRACE(describe(run));
    ASSERT_EQ(run.status, 0);
    const std::vector<std::string> expected = {
        "path         " + trace_, "format       scf", "name         read",
        "bases        10",        "samples      120", "left clip    2",
        "right clip   9",         "max value    1000", "mean conf.   34.0",
        "calls     1  ACGTACGTAA",
    };
    EXPECT_EQ(linesOf(run.out), expected);

    const JsonValue doc = jsonOf(runTool({"trace", trace_, "--json"}));
    EXPECT_EQ(doc["baseCount"].number, 10);
    EXPECT_EQ(doc["samples"].number, 120);
    EXPECT_EQ(doc["leftCutoff"].number, 2);
    EXPECT_EQ(doc["rightCutoff"].number, 9);
    EXPECT_EQ(doc["meanConfidence"].number, 34);
    EXPECT_EQ(doc["bases"].text, "ACGTACGTAA");
    ASSERT_EQ(doc["positions"].size(), 10u);
    ASSERT_EQ(doc["confidences"].size(), 10u);
    EXPECT_EQ(doc["positions"][3].number, 35);
    EXPECT_EQ(doc["confidences"][3].number, 25); // a T
}

// The SVG's parts, as a viewer would find them.
struct SvgPicture {
    pugi::xml_document doc;
    bool parsed = false;
    std::vector<pugi::xml_node> paths;
    std::vector<pugi::xml_node> bases;
    std::size_t clipRects = 0;
};

void loadSvg(const std::string& path, SvgPicture& picture) {
    const pugi::xml_parse_result result = picture.doc.load_file(path.c_str());
    picture.parsed = static_cast<bool>(result);
    ASSERT_TRUE(result) << result.description() << " at " << result.offset;
    const pugi::xml_node svg = picture.doc.child("svg");
    ASSERT_TRUE(svg);
    EXPECT_STREQ(svg.attribute("xmlns").value(), "http://www.w3.org/2000/svg");
    double x, y, w, h;
    ASSERT_EQ(std::sscanf(svg.attribute("viewBox").value(), "%lf %lf %lf %lf", &x, &y, &w, &h), 4);
    EXPECT_GT(w, 0);
    EXPECT_GT(h, 0);
    for (const char* id : {"trace-A", "trace-C", "trace-G", "trace-T"})
        picture.paths.push_back(svg.find_node([&](pugi::xml_node n) {
            return std::string(n.name()) == "path" && std::string(n.attribute("id").value()) == id;
        }));
    for (pugi::xpath_node node : svg.select_nodes("//g[starts-with(@class, 'base')]"))
        picture.bases.push_back(node.node());
    picture.clipRects = svg.select_nodes("//rect[@class='clip']").size();
}

TEST_F(ToolTest, TraceDrawsAWellFormedScalablePicture) {
    const std::string svg = dir_.file("read.svg");
    const ToolRun run = runTool({"trace", trace_, "--svg", svg});
    ASSERT_EQ(run.status, 0) << describe(run);
    EXPECT_EQ(linesOf(run.out).back(), "svg          " + svg);

    SvgPicture picture;
    loadSvg(svg, picture);
    ASSERT_TRUE(picture.parsed);
    const char* colours[4] = {"#14a02c", "#1f49d6", "#111111", "#d7191c"}; // A green, C blue, G black, T red
    for (int c = 0; c < 4; ++c) {
        ASSERT_TRUE(picture.paths[c]) << c;
        EXPECT_STREQ(picture.paths[c].attribute("stroke").value(), colours[c]);
        const std::string d = picture.paths[c].attribute("d").value();
        EXPECT_EQ(d.rfind("M", 0), 0u);
        EXPECT_EQ(std::count(d.begin(), d.end(), ','), 120); // one point per sample
    }
    ASSERT_EQ(picture.bases.size(), 10u);
    std::string letters;
    std::size_t clipped = 0;
    for (const pugi::xml_node& base : picture.bases) {
        letters += base.select_node("text[@class='call']").node().text().get();
        clipped += std::string(base.attribute("class").value()) == "base clipped";
    }
    EXPECT_EQ(letters, "ACGTACGTAA");
    EXPECT_STREQ(picture.bases[3].attribute("data-position").value(), "35");
    EXPECT_STREQ(picture.bases[3].attribute("data-confidence").value(), "25");
    EXPECT_EQ(clipped, 4u); // bases 1-2 at the start, 9-10 at the end
    EXPECT_EQ(picture.clipRects, 2u);

    // Without clip points nothing is shaded; a long trace wraps into rows, one subpath each.
    mftest::TraceSample sample;
    sample.bases = std::string(200, 'G');
    sample.points = 2500;
    const std::string longTrace = mftest::writeFile(dir_.file("long.scf"), "");
    mftest::writeTrace(longTrace, mftest::TraceKind::SCF, sample);
    const std::string longSvg = dir_.file("long.svg");
    ASSERT_EQ(runTool({"trace", longTrace, "--svg", longSvg}).status, 0);
    SvgPicture wrapped;
    loadSvg(longSvg, wrapped);
    ASSERT_TRUE(wrapped.paths[0]);
    const std::string d = wrapped.paths[0].attribute("d").value();
    EXPECT_EQ(std::count(d.begin(), d.end(), 'M'), 3);
    EXPECT_EQ(wrapped.bases.size(), 200u);
    EXPECT_EQ(wrapped.clipRects, 0u);
}

TEST_F(ToolTest, TraceEscapesNamesInThePicture) {
    const std::string odd = dir_.file("a&b<c>.scf");
    mftest::writeTrace(odd, mftest::TraceKind::SCF);
    const std::string svg = dir_.file("odd.svg");
    ASSERT_EQ(runTool({"trace", odd, "--svg", svg}).status, 0);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(svg.c_str()));
    EXPECT_STREQ(doc.child("svg").child("title").text().get(), "a&b<c> (scf)");
}

TEST_F(ToolTest, TraceFailures) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const std::string pln = mftest::writeFile(dir_.file("read.pln"), "ACGTTGCAACGGTACCATGGACGTTGCA\nACGTAC\n");
    const std::string binary = mftest::writeFile(dir_.file("noise.bin"), std::string("\x01\x00\x7f\x00", 4) + std::string(300, '\x02'));
    auto plainText = [](const std::string& path, const std::string& file) {
        return tmsg::PlainTextHasNoSamples + path + tmsg::ReadItWithOpen + file + "'";
    };
    const std::vector<Case> cases = {
        {{"trace", fixture("seqs.fa")}, tmsg::NotAChromatogram + fixture("seqs.fa")},
        // Bare sequence text is PLN to the decoder: it holds no samples, and the message says so.
        {{"trace", pln}, plainText(pln, pln)},
        {{"trace", "PLN@@" + pln}, plainText("PLN@@" + pln, pln)},
        {{"trace", "pln@@" + trace_}, plainText("pln@@" + trace_, trace_)},
        {{"trace", binary}, tmsg::NotAChromatogram + binary},
        {{"trace", "FASTA@@" + trace_}, std::string(tmsg::NotAChromatogramFormat) + "FASTA"},
        {{"trace", trace_, "--svg", dir_.file("no/such/dir.svg")},
         tmsg::CannotWrite + dir_.file("no/such/dir.svg") + ": No such file or directory"},
    };
    for (const Case& c : cases) {
        for (bool json : {false, true}) {
            std::vector<std::string> args = c.args;
            if (json)
                args.push_back("--json");
            const ToolRun run = runTool(args);
            SCOPED_TRACE(describe(run));
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(linesOf(run.err).back(), tmsg::ErrorPrefix + c.error);
            if (json) {
                EXPECT_FALSE(jsonOf(run)["ok"].boolean);
            }
        }
    }
    // A chromatogram format in front of the path is accepted, and a gzip chromatogram is read.
    EXPECT_EQ(runTool({"trace", "SCF@@" + trace_}).status, 0);
    const std::string packed = mftest::writeFile(dir_.file("read.scf.gz"), mftest::gzipped(mftest::readFile(trace_)));
    const ToolRun run = runTool({"trace", packed});
    EXPECT_EQ(run.status, 0) << describe(run);
    EXPECT_TRUE(contains(run.out, "format       scf\n")) << run.out;
    EXPECT_EQ(runTool({"open", pln}).status, 0); // where the message points
}

// ---------------------------------------------------------------------------------------------
// Odd content

TEST_F(ToolTest, JsonStaysValidForNamesWithQuotesBackslashesAndBadBytes) {
    const std::string path = mftest::writeFile(dir_.file("odd.fa"), ">we\"ird\\name\xff" "byte desc\nACGT\n");
    const ToolRun run = runTool({"open", path, "--json"});
    ASSERT_EQ(run.status, 0) << describe(run);
    const JsonValue doc = jsonOf(run);
    EXPECT_EQ(doc["sequences"][0]["name"].text, "we\"ird\\name\xef\xbf\xbd" "byte");
    EXPECT_EQ(jsonOf(runTool({"iterate", path, "--json"}))["models"][0]["sequences"][0]["name"].text,
              "we\"ird\\name\xef\xbf\xbd" "byte");
}

// ---------------------------------------------------------------------------------------------
// Third-party files

TEST(ToolOnTestdata, DetectsEveryKindOfFile) {
    MF_REQUIRE_TESTDATA();
    struct Case {
        std::string first;  ///< the file
        std::string second; ///< its class
        std::string format;
    };
    const std::vector<Case> cases = {
        {"sequences/cor6_6.gb", "SeqModel", "GenBank"},    {"sequences/NC_005816.fna", "SeqModel", "FASTA"},
        {"sequences/TRBG361.embl", "SeqModel", "EMBL"},    {"sequences/multi_ex.swl", "SeqModel", "Swiss"},
        {"sequences/DMB_prot.pir", "SeqModel", "NBRF"},    {"sequences/1MRR_A.gp", "SeqModel", "GenPept"},
        {"alignments/test_Nexus_input.nex", "AlignModel", "NEXUS"},
        {"alignments/sequential.phy", "AlignModel", "PHYLIP"},
        {"alignments/opuntia.aln", "AlignModel", "CLUSTAL"},
        {"traces/310.ab1", "TraceModel", "ABI"},           {"traces/GBKAK82TF.ztr", "TraceModel", "ZTR"},
        {"traces/version2.scf", "TraceModel", "SCF"},
    };
    for (const auto& c : cases) {
        const ToolRun run = runTool({"type", mftest::testdataFile(c.first)});
        EXPECT_EQ(run.status, 0) << c.first;
        EXPECT_EQ(wordsOf(run.out), (std::vector<std::string>{mftest::testdataFile(c.first), c.second, c.format}))
            << c.first;
    }
}

TEST(ToolOnTestdata, IteratesEveryEntry) {
    MF_REQUIRE_TESTDATA();
    const std::vector<std::pair<std::string, int>> cases = {
        {"sequences/cor6_6.gb", 6},          {"sequences/spaced_fasta.fa", 37},
        {"sequences/epo_prt_selection.embl", 9}, {"sequences/multi_ex.swl", 8},
        {"sequences/DMB_prot.pir", 6},       {"sequences/f002.fasta", 3},
        {"sequences/cor6_6.emb", 6},
    };
    for (const auto& c : cases) {
        const ToolRun run = runTool({"iterate", mftest::testdataFile(c.first), "--json"});
        EXPECT_EQ(run.status, 0) << c.first << "\n" << run.err;
        EXPECT_EQ(jsonOf(run)["count"].number, c.second) << c.first;
        EXPECT_EQ(linesOf(runTool({"iterate", mftest::testdataFile(c.first)}).out).size(),
                  static_cast<std::size_t>(c.second))
            << c.first;
    }
}

TEST(ToolOnTestdata, IteratesEveryAb1FileAsItsOneEntry) {
    MF_REQUIRE_TESTDATA();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"traces/310.ab1", "868"},  {"traces/3100.ab1", "795"},   {"traces/3730.ab1", "1165"},
        {"traces/5565810.ab1", "326"}, {"traces/SDBHD01T00PB1A1672F.ab1", "600"},
    };
    std::size_t ab1 = 0;
    for (const std::string& name : mftest::filesIn(mftest::testdataFile("traces")))
        ab1 += name.size() > 4 && name.compare(name.size() - 4, 4, ".ab1") == 0;
    EXPECT_EQ(ab1, cases.size()); // every sample is in the table
    for (const auto& c : cases) {
        const ToolRun run = runTool({"iterate", mftest::testdataFile(c.first)});
        EXPECT_EQ(run.status, 0) << c.first << "\n" << run.err;
        const auto lines = linesOf(run.out);
        ASSERT_EQ(lines.size(), 1u) << c.first;
        const auto words = wordsOf(lines[0]);
        ASSERT_GE(words.size(), 4u) << lines[0];
        EXPECT_EQ(words[3], c.second) << lines[0];
    }
}

TEST(ToolOnTestdata, ReadsAndDrawsEveryChromatogram) {
    MF_REQUIRE_TESTDATA();
    const std::vector<std::pair<std::string, int>> cases = {
        {"traces/310.ab1", 868},          {"traces/3730.ab1", 1165},
        {"traces/GBKAK82TF.scf", 1019},   {"traces/GBKAK82TF.ztr", 1019},
        {"traces/version2.scf", 1106},    {"traces/SDBHD01T00PB1A1672F.ab1", 600},
        {"traces/310.ztr", 868},          {"traces/chad100.scf", 761},
    };
    mftest::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::string svg = dir.file("picture.svg");
        const ToolRun run = runTool({"trace", mftest::testdataFile(c.first), "--json", "--svg", svg});
        ASSERT_EQ(run.status, 0) << describe(run);
        const JsonValue doc = jsonOf(run);
        EXPECT_EQ(doc["baseCount"].number, c.second);
        EXPECT_EQ(doc["bases"].text.size(), static_cast<std::size_t>(c.second));
        SvgPicture picture;
        loadSvg(svg, picture);
        EXPECT_EQ(picture.bases.size(), static_cast<std::size_t>(c.second));
        for (const pugi::xml_node& path : picture.paths)
            EXPECT_TRUE(path);
    }
}

TEST(ToolOnTestdata, ConvertsRoundTrip) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    const std::string input = mftest::testdataFile("sequences/cor6_6.gb");
    const auto original = openedSequences(input);
    ASSERT_EQ(original.size(), 6u);
    const std::string embl = dir.file("cor6_6.emb");
    const std::string fasta = dir.file("cor6_6.fa");
    ASSERT_EQ(runTool({"convert", input, embl}).status, 0);
    ASSERT_EQ(runTool({"convert", embl, fasta}).status, 0);
    const auto converted = openedSequences(fasta);
    ASSERT_EQ(converted.size(), original.size());
    for (std::size_t i = 0; i < original.size(); ++i) {
        EXPECT_EQ(converted[i].first, original[i].first);
        EXPECT_EQ(lower(converted[i].second), lower(original[i].second));
    }

    const std::string alignment = mftest::testdataFile("alignments/opuntia.aln");
    const std::string nexus = dir.file("opuntia.txt");
    const ToolRun run = runTool({"convert", alignment, nexus, "--type", "AlignModel", "--from", "CLUSTAL", "--to", "NEXUS"});
    ASSERT_EQ(run.status, 0) << describe(run);
    EXPECT_EQ(openedSequences(nexus, {"--type", "AlignModel", "--format", "NEXUS"}),
              openedSequences(alignment, {"--type", "AlignModel", "--format", "CLUSTAL"}));
}

TEST(ToolOnTestdata, APlnFileHasNoSamplesAndOpensAsASequence) {
    MF_REQUIRE_TESTDATA();
    const std::string pln = mftest::testdataFile("traces/310.pln");
    const ToolRun trace = runTool({"trace", pln});
    EXPECT_EQ(trace.status, 1);
    EXPECT_EQ(linesOf(trace.err).back(),
              tmsg::ErrorPrefix + std::string(tmsg::PlainTextHasNoSamples) + pln + tmsg::ReadItWithOpen + pln + "'");
    const ToolRun open = runTool({"open", pln, "--json"});
    ASSERT_EQ(open.status, 0) << describe(open);
    EXPECT_EQ(jsonOf(open)["sequences"].size(), 1u);
}

TEST(ToolOnTestdata, BrokenFilesFailCleanly) {
    MF_REQUIRE_TESTDATA();
    const std::vector<std::vector<std::string>> cases = {
        {"open", mftest::testdataFile("bad/garbage.bin")},
        {"open", mftest::testdataFile("bad/empty.fa")},
        {"trace", mftest::testdataFile("bad/truncated_310.ab1")},
        {"trace", mftest::testdataFile("bad/fake.ab1")},
        {"trace", mftest::testdataFile("bad/test.fsa")},
        {"iterate", mftest::testdataFile("bad/garbage.bin")},
    };
    for (std::vector<std::string> args : cases) {
        args.push_back("--json");
        const ToolRun run = runTool(args);
        SCOPED_TRACE(describe(run));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind(tmsg::ErrorPrefix, 0), 0u);
        EXPECT_FALSE(jsonOf(run)["ok"].boolean);
    }
}

} // namespace
