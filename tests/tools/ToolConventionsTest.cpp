// What every command does alike: files that cannot be read, misspelt format names, many files in
// one call, the format `type` finds, the features `open` shows, and FASTA line widths.
#include "EditDistance.h"
#include "Messages.h"
#include "MiniJson.h"
#include "TestSupport.h"
#include "ToolRunner.h"
#include "TraceWriter.h"

#include <gtest/gtest.h>

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
using mftest::wordsOf;

using mftest::JsonValue;
using mftest::runTool;
using mftest::ToolRun;
namespace tmsg = mftool::msg;

std::string fixture(const std::string& name) { return mftest::fixturesDir() + "/tools/" + name; }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

JsonValue jsonOf(const ToolRun& run) {
    try {
        return mftest::parseJson(run.out);
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what() << "\n" << describe(run);
        return JsonValue();
    }
}

// ---------------------------------------------------------------------------------------------
// Files that cannot be read

TEST(ToolInputFiles, EveryCommandSaysWhyAFileCannotBeRead) {
    mftest::TempDir dir;
    struct Reason {
        std::string path;
        std::string text;
    };
    std::vector<Reason> reasons = {{dir.file("nosuch.fa"), "No such file or directory"},
                                   {dir.path(), "Is a directory"}};
    // Permissions do not bind the superuser; anyone else meets them.
    if (::geteuid() != 0) {
        const std::string locked = mftest::writeFile(dir.file("locked.fa"), ">a\nACGT\n");
        ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
        reasons.push_back({locked, "Permission denied"});
    }
    for (const Reason& reason : reasons) {
        const std::vector<std::vector<std::string>> commands = {
            {"type", reason.path},
            {"type", reason.path, "--format", "FASTA"},
            {"open", reason.path},
            {"open", reason.path, "--type", "SeqModel"},
            {"iterate", reason.path},
            {"convert", reason.path, dir.file("out.fa")},
            {"trace", reason.path},
            {"stats", reason.path},
            {"features", reason.path},
            {"open", "FASTA@@" + reason.path},
        };
        for (std::vector<std::string> args : commands) {
            const std::string shown = args[1];
            for (bool json : {false, true}) {
                if (json)
                    args.push_back("--json");
                const ToolRun run = runTool(args);
                SCOPED_TRACE(describe(run));
                EXPECT_EQ(run.status, 1);
                // The reason comes first and alone: no guess about what the file holds follows.
                EXPECT_EQ(linesOf(run.err), std::vector<std::string>{tmsg::ErrorPrefix + std::string(tmsg::CannotRead) +
                                                                      shown + ": " + reason.text});
                if (json) {
                    const JsonValue doc = jsonOf(run);
                    EXPECT_FALSE(doc["ok"].boolean);
                }
            }
        }
    }
    EXPECT_FALSE(mftest::fileExists(dir.file("out.fa")));
}

// ---------------------------------------------------------------------------------------------
// Format names

TEST(ToolFormatNames, EditDistanceCountsASwapAsOneSlip) {
    struct Case {
        const char* a;
        const char* b;
        std::size_t distance;
    };
    const Case cases[] = {
        {"EMLB", "EMBL", 1},   {"fatsa", "FASTA", 1}, {"fasta", "FASTA", 0}, {"fsta", "FASTA", 1},
        {"fastaa", "FASTA", 1}, {"GneBank", "GenBank", 1}, {"abc", "cba", 2}, {"", "EMBL", 4},
        {"xyz", "EMBL", 4},    {"ca", "abc", 3}, // no substring is edited twice
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mftool::editDistance(c.a, c.b), c.distance) << c.a << " / " << c.b;
        EXPECT_EQ(mftool::editDistance(c.b, c.a), c.distance) << c.b << " / " << c.a;
    }
}

TEST(ToolFormatNames, UnknownNamesAreUsageErrorsInEveryCommand) {
    mftest::TempDir dir;
    const std::string gb = fixture("records.gb");
    struct Case {
        std::vector<std::string> args;
        std::string name;       ///< the unknown name
        std::string where;      ///< where it was given
        std::string suggestion; ///< "" when nothing is close
    };
    const std::vector<Case> cases = {
        {{"iterate", gb, "--format", "bogus"}, "bogus", "--format", ""},
        {{"convert", gb, dir.file("o.fa"), "--from", "xyz"}, "xyz", "--from", ""},
        {{"type", gb, "--format", "fatsa"}, "fatsa", "--format", "FASTA"},
        {{"convert", gb, dir.file("o.txt"), "--to", "fatsa"}, "fatsa", "--to", "FASTA"},
        {{"open", gb, "--format", "EMLB"}, "EMLB", "--format", "EMBL"},
        {{"open", "GneBank@@" + gb}, "GneBank", "in GneBank@@" + gb, "GenBank"},
        {{"convert", gb, "fastq-ilumina@@" + dir.file("o.txt")}, "fastq-ilumina",
         "in fastq-ilumina@@" + dir.file("o.txt"), "fastq-illumina"},
        {{"trace", "SFC@@x.scf"}, "SFC", "in SFC@@x.scf", "SCF"},
        {{"type", gb, gb, "--format", "nexsu"}, "nexsu", "--format", "NEXUS"},
    };
    for (const Case& c : cases) {
        for (bool json : {false, true}) {
            std::vector<std::string> args = c.args;
            if (json)
                args.push_back("--json");
            const ToolRun run = runTool(args);
            SCOPED_TRACE(describe(run));
            EXPECT_EQ(run.status, 2);
            EXPECT_EQ(run.out, "");
            const auto lines = linesOf(run.err);
            ASSERT_EQ(lines.size(), 2u);
            std::string expected = tmsg::ErrorPrefix + std::string(tmsg::UnknownFormat) + c.name + "' (" + c.where + ")";
            expected += c.suggestion.empty() ? std::string(".") : tmsg::DidYouMean + c.suggestion + "'?";
            EXPECT_EQ(lines[0].substr(0, expected.size()), expected);
            const std::string known = lines[0].substr(expected.size());
            ASSERT_EQ(known.rfind(tmsg::KnownFormats, 0), 0u) << known;
            for (const char* name : {"FASTA", "GenBank", "EMBL", "NEXUS", "CLUSTAL", "fastq-illumina", "SCF", "XML"})
                EXPECT_TRUE(contains(known + ",", " " + std::string(name) + ",")) << name;
            EXPECT_EQ(lines[1], "Run 'modelfactory " + c.args[0] + " --help' for usage.");
        }
    }
    EXPECT_FALSE(mftest::fileExists(dir.file("o.fa")));
    EXPECT_FALSE(mftest::fileExists(dir.file("o.txt")));
}

TEST(ToolFormatNames, KnownNamesAndAliasesStillWork) {
    mftest::TempDir dir;
    const std::string plain = mftest::writeFile(dir.file("seqs.txt"), mftest::readFile(fixture("seqs.fa")));
    for (const char* name : {"FASTA", "fasta", "fa", "pearson"}) {
        const ToolRun run = runTool({"iterate", plain, "--format", name});
        EXPECT_EQ(run.status, 0) << name << "\n" << describe(run);
        EXPECT_EQ(linesOf(run.out).size(), 4u) << name;
    }
    for (const char* name : {"NEXUS", "nexus"})
        EXPECT_EQ(runTool({"type", fixture("align.nex"), "--format", name}).status, 0) << name;
    const ToolRun clustalw = runTool({"type", fixture("align.nex"), "--format", "CLUSTALW"});
    EXPECT_NE(clustalw.status, 2) << describe(clustalw); // an alias the alignment source takes
    EXPECT_EQ(runTool({"convert", fixture("records.gb"), dir.file("o.txt"), "--to", "gbk"}).status, 0);
}

// ---------------------------------------------------------------------------------------------
// Many files in one call

class ToolManyFiles : public ::testing::Test {
protected:
    mftest::TempDir dir_;
};

TEST_F(ToolManyFiles, IterateReadsEveryFileAndReportsEachFailure) {
    const std::string missing = dir_.file("missing.gb");
    const std::string garbage = mftest::writeFile(dir_.file("noise.fa"), std::string("\x01\x02\xff\xfe garbage", 12));
    const ToolRun run = runTool({"iterate", fixture("records.gb"), missing, fixture("seqs.fa")});
    SCOPED_TRACE(describe(run));
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 1u + 3 + 2 + 2 + 4); // headers, blank lines between files
    EXPECT_EQ(lines[0], "==> " + fixture("records.gb") + " <==");
    EXPECT_EQ(wordsOf(lines[3]), (std::vector<std::string>{"3", "SeqModel", "TOOLREC3", "12", "DNA"}));
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "==> " + missing + " <==");
    EXPECT_EQ(lines[7], "==> " + fixture("seqs.fa") + " <==");
    EXPECT_EQ(wordsOf(lines[8]).at(0), "1"); // numbered per file
    EXPECT_EQ(wordsOf(lines[11]).at(2), "fourth");
    EXPECT_EQ(run.err, tmsg::ErrorPrefix + std::string(tmsg::CannotRead) + missing + ": No such file or directory\n");

    EXPECT_EQ(runTool({"iterate", fixture("records.gb"), fixture("seqs.fa")}).status, 0);

    // JSON stays one valid document whatever fails, a file that breaks mid-way included.
    for (const std::vector<std::string>& paths :
         {std::vector<std::string>{fixture("records.gb"), missing, fixture("seqs.fa")},
          std::vector<std::string>{garbage, fixture("seqs.fa")},
          std::vector<std::string>{fixture("seqs.fa"), fixture("records.gb")}}) {
        std::vector<std::string> args{"iterate"};
        args.insert(args.end(), paths.begin(), paths.end());
        args.push_back("--json");
        const ToolRun json = runTool(args);
        SCOPED_TRACE(describe(json));
        const JsonValue doc = jsonOf(json);
        ASSERT_EQ(doc["files"].size(), paths.size());
        bool allOk = true;
        double total = 0;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            EXPECT_EQ(doc["files"][i]["path"].text, paths[i]);
            const bool ok = paths[i] != missing && paths[i] != garbage;
            EXPECT_EQ(doc["files"][i]["ok"].boolean, ok);
            allOk = allOk && ok;
            total += doc["files"][i]["count"].number;
        }
        EXPECT_EQ(doc["ok"].boolean, allOk);
        EXPECT_EQ(json.status, allOk ? 0 : 1);
        EXPECT_EQ(doc["count"].number, total);
        ASSERT_EQ(doc["models"].size(), static_cast<std::size_t>(total));
        EXPECT_EQ(doc["models"][0]["path"].text, paths[0] == missing || paths[0] == garbage ? paths[1] : paths[0]);
        EXPECT_EQ(doc["messages"].size() > 0, !allOk);
    }
}

TEST_F(ToolManyFiles, OpenShowsEveryFileAndFailsWhenOneFails) {
    const std::string missing = dir_.file("missing.fa");
    const ToolRun run = runTool({"open", fixture("seqs.fa"), missing, fixture("align.nex")});
    SCOPED_TRACE(describe(run));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.out, "path       " + fixture("seqs.fa") + "\n"));
    EXPECT_TRUE(contains(run.out, "\npath       " + fixture("align.nex") + "\n"));
    EXPECT_FALSE(contains(run.out, missing));
    EXPECT_EQ(run.err, tmsg::ErrorPrefix + std::string(tmsg::CannotRead) + missing + ": No such file or directory\n");

    const ToolRun json = runTool({"open", fixture("seqs.fa"), missing, fixture("align.nex"), "--json"});
    EXPECT_EQ(json.status, 1);
    const JsonValue doc = jsonOf(json);
    EXPECT_FALSE(doc["ok"].boolean);
    EXPECT_EQ(doc["count"].number, 3);
    EXPECT_EQ(doc["failed"].number, 1);
    ASSERT_EQ(doc["results"].size(), 3u);
    EXPECT_TRUE(doc["results"][0]["ok"].boolean);
    EXPECT_EQ(doc["results"][0]["sequenceCount"].number, 4);
    EXPECT_EQ(doc["results"][0]["messages"].size(), 0u);
    EXPECT_FALSE(doc["results"][1]["ok"].boolean);
    EXPECT_EQ(doc["results"][1]["path"].text, missing);
    ASSERT_EQ(doc["results"][1]["messages"].size(), 1u);
    EXPECT_EQ(doc["results"][1]["messages"][0]["text"].text, tmsg::CannotRead + missing + ": No such file or directory");
    EXPECT_EQ(doc["results"][2]["class"].text, "AlignModel");

    const ToolRun good = runTool({"open", fixture("seqs.fa"), fixture("records.gb"), "--json"});
    EXPECT_EQ(good.status, 0) << describe(good);
    EXPECT_TRUE(jsonOf(good)["ok"].boolean);
}

// ---------------------------------------------------------------------------------------------
// What type finds, what open shows

TEST_F(ToolManyFiles, TypeNamesTheFormatItFound) {
    const std::string trace = dir_.file("read.scf");
    mftest::writeTrace(trace, mftest::TraceKind::SCF);
    const std::string fastq = mftest::writeFile(dir_.file("reads.fq"), "@r1\nACGT\n+\nIIII\n");
    const std::string packed = mftest::writeFile(dir_.file("reads.gb.gz"), mftest::gzipped(mftest::readFile(fixture("records.gb"))));
    const std::string plain = mftest::writeFile(dir_.file("seqs.txt"), mftest::readFile(fixture("seqs.fa")));
    const std::vector<std::vector<std::string>> expected = {
        {fixture("records.gb"), "SeqModel", "GenBank"}, {fixture("seqs.fa"), "SeqModel", "FASTA"},
        {fixture("align.nex"), "AlignModel", "NEXUS"},  {trace, "TraceModel", "SCF"},
        {fastq, "SeqModel", "FASTQ"},                   {packed, "SeqModel", "GenBank"},
        {"fasta@@" + plain, "SeqModel", "FASTA"},       {dir_.file("missing.fa"), tmsg::Unclassified, "-"},
    };
    std::vector<std::string> args{"type"};
    for (const auto& row : expected)
        args.push_back(row[0]);
    const ToolRun run = runTool(args);
    SCOPED_TRACE(describe(run));
    EXPECT_EQ(run.status, 1);
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(wordsOf(lines[i]), expected[i]);
    // The columns line up.
    EXPECT_EQ(lines[0].find("SeqModel"), lines[2].find("AlignModel"));
    EXPECT_EQ(lines[0].find("GenBank"), lines[2].find("NEXUS"));

    args.push_back("--json");
    const JsonValue doc = jsonOf(runTool(args));
    ASSERT_EQ(doc["results"].size(), expected.size());
    for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
        EXPECT_EQ(doc["results"][i]["type"].text, expected[i][1]);
        EXPECT_EQ(doc["results"][i]["format"].text, expected[i][2]);
    }
    EXPECT_EQ(doc["results"].items.back()["format"].kind, JsonValue::Kind::Null);

    // A named format is the one reported, as the factory lists it.
    const ToolRun named = runTool({"type", plain, "--format", "fa"});
    EXPECT_EQ(wordsOf(named.out), (std::vector<std::string>{plain, "SeqModel", "FASTA"}));
}

TEST(ToolOpen, ShowsEachEntrysFeatures) {
    mftest::TempDir dir;
    const std::string gb = mftest::writeFile(dir.file("features.gb"),
        "LOCUS       FEAT1                     30 bp    DNA     linear   SYN 01-JAN-2024\n"
        "DEFINITION  Features.\n"
        "ACCESSION   FEAT1\n"
        "FEATURES             Location/Qualifiers\n"
        "     source          1..30\n"
        "                     /organism=\"synthetic construct\"\n"
        "     CDS             join(1..9,13..24)\n"
        "                     /gene=\"abc\"\n"
        "                     /note=\"first\"\n"
        "                     /note=\"second\"\n"
        "                     /pseudo\n"
        "ORIGIN\n"
        "        1 atgaaacccg ggtttaaacc cgggtaataa\n"
        "//\n"
        "LOCUS       FEAT2                     10 bp    DNA     linear   SYN 01-JAN-2024\n"
        "DEFINITION  No features.\n"
        "ACCESSION   FEAT2\n"
        "ORIGIN\n"
        "        1 acgtacgtac\n"
        "//\n");
    const ToolRun text = runTool({"open", gb});
    SCOPED_TRACE(describe(text));
    ASSERT_EQ(text.status, 0);
    const auto lines = linesOf(text.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(wordsOf(lines[lines.size() - 3]),
              (std::vector<std::string>{"#", "name", "length", "features", "molecule", "residues"}));
    EXPECT_EQ(wordsOf(lines[lines.size() - 2]),
              (std::vector<std::string>{"1", "FEAT1", "30", "2", "DNA", "atgaaacccgggtttaaacccgggtaataa"}));
    EXPECT_EQ(wordsOf(lines.back()), (std::vector<std::string>{"2", "FEAT2", "10", "0", "DNA", "acgtacgtac"}));

    const JsonValue doc = jsonOf(runTool({"open", gb, "--json"}));
    const JsonValue& first = doc["sequences"][0];
    EXPECT_EQ(first["featureCount"].number, 2);
    ASSERT_EQ(first["features"].size(), 2u);
    EXPECT_EQ(first["features"][0]["key"].text, "source");
    EXPECT_EQ(first["features"][0]["location"].text, "1..30");
    const JsonValue& cds = first["features"][1];
    EXPECT_EQ(cds["key"].text, "CDS");
    EXPECT_EQ(cds["location"].text, "join(1..9,13..24)");
    const std::vector<std::pair<std::string, std::string>> qualifiers = {
        {"gene", "abc"}, {"note", "first"}, {"note", "second"}, {"pseudo", ""}};
    ASSERT_EQ(cds["qualifiers"].size(), qualifiers.size());
    for (std::size_t i = 0; i < qualifiers.size(); ++i) {
        EXPECT_EQ(cds["qualifiers"][i]["name"].text, qualifiers[i].first);
        EXPECT_EQ(cds["qualifiers"][i]["value"].text, qualifiers[i].second);
    }
    EXPECT_EQ(doc["sequences"][1]["featureCount"].number, 0);
    EXPECT_EQ(doc["sequences"][1]["features"].size(), 0u);
}

// ---------------------------------------------------------------------------------------------
// The extensions formats answer to

TEST(ToolFormatsExtensions, EachFormatShowsTheExtensionTablesRows) {
    const ToolRun text = mftest::runTool({"formats"});
    ASSERT_EQ(text.status, 0);
    const JsonValue doc = jsonOf(mftest::runTool({"formats", "--json"}));
    std::map<std::string, std::vector<std::string>> listed;
    for (const JsonValue& group : doc["groups"].items)
        for (const JsonValue& format : group["formats"].items) {
            std::vector<std::string>& patterns = listed[format["name"].text];
            for (const JsonValue& pattern : format["extensions"].items)
                patterns.push_back(pattern.text);
            // The text line shows the same, between the name and the description.
            std::string line = "\n  " + format["name"].text;
            const std::size_t at = text.out.find(line + " ");
            ASSERT_NE(at, std::string::npos) << format["name"].text;
            const std::string shown = text.out.substr(at + 1, text.out.find('\n', at + 1) - at - 1);
            std::vector<std::string> words = wordsOf(shown);
            EXPECT_EQ(std::vector<std::string>(words.begin() + 1, words.begin() + 1 + std::min(patterns.size(), words.size() - 1)),
                      patterns) << shown;
        }
    // A row matches the extensions that begin with its text: ".emb*" takes .embl as well.
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"EMBL", {".emb*"}},  {"FASTA", {".fa*"}}, {"GenBank", {".gb*"}}, {"NBRF", {".pir*"}},
        {"Staden", {".sta*"}}, {"NEXUS", {".nex*"}}, {"PHYLIP", {".phy*"}}, {"SCF", {".scf*"}},
        {"ABI", {".abi*"}},   {"ZTR", {}},        {"CLUSTAL", {}},
    };
    for (const auto& e : expected)
        EXPECT_EQ(listed[e.first], e.second) << e.first;
    // No description repeats a list of its own that could disagree.
    EXPECT_EQ(text.out.find("(.emb)"), std::string::npos);
    EXPECT_TRUE(contains(text.out, "(.emb* takes .emb and .embl)"));
    // What the list says is what detection does.
    mftest::TempDir dir;
    const std::string embl = mftest::writeFile(dir.file("entry.embl"), ">x\nACGT\n");
    EXPECT_EQ(wordsOf(mftest::runTool({"type", embl}).out).at(1), "SeqModel");
}

// ---------------------------------------------------------------------------------------------
// FASTA line width

TEST(ToolLineWidth, FastaFamilyOutputTakesTheLineWidth) {
    mftest::TempDir dir;
    const std::string residues = "ACGTTGCAAC" "GGTACCATGG" "ACGTTGCAAC" "GGTACCATGG" "ACGTTGCAAC" "GGTACCATGG" "ACG";
    const std::string input = mftest::writeFile(dir.file("in.fa"), ">one first\n" + residues + "\n>two\nAC\n");
    const std::string nexus = fixture("align.nex");
    struct Case {
        std::vector<std::string> extra;
        std::size_t width; ///< 0: one line
    };
    const std::vector<Case> cases = {{{}, 60}, {{"--line-width", "10"}, 10}, {{"--line-width=0"}, 0},
                                     {{"--line-width", "7"}, 7}, {{"--line-width", "1000"}, 0}};
    for (const Case& c : cases) {
        for (const char* to : {"FASTA", "NBRF"}) {
            const std::string out = dir.file(std::string("out.") + to);
            std::vector<std::string> args{"convert", input, out, "--to", to};
            args.insert(args.end(), c.extra.begin(), c.extra.end());
            const ToolRun run = runTool(args);
            SCOPED_TRACE(describe(run));
            ASSERT_EQ(run.status, 0);
            const std::vector<std::string> lines = linesOf(mftest::readFile(out));
            // The first entry's residue lines: after the title (and PIR's description line).
            const std::size_t start = std::string(to) == "FASTA" ? 1 : 2;
            std::string joined;
            std::size_t i = start;
            for (; i < lines.size() && lines[i][0] != '>'; ++i) {
                if (i + 1 < lines.size() && lines[i + 1][0] != '>') {
                    EXPECT_EQ(lines[i].size(), c.width) << i; // every line but the last is full
                }
                joined += lines[i];
            }
            if (start == 2)
                joined.pop_back(); // PIR's closing '*'
            EXPECT_EQ(joined, residues);
            EXPECT_EQ(i - start, c.width == 0 ? 1 : (residues.size() + c.width - 1) / c.width);
        }
    }
    // An alignment's rows, gaps kept, take it as well.
    const std::string rows = dir.file("rows.fa");
    ASSERT_EQ(runTool({"convert", nexus, rows, "--line-width", "0"}).status, 0);
    const std::vector<std::string> lines = linesOf(mftest::readFile(rows));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], "ACGTACGTAC--GTACGTACGTAC");

    for (const char* bad : {"-1", "x", "", "12a", "+3"}) {
        const ToolRun run = runTool({"convert", input, dir.file("bad.fa"), "--line-width", bad});
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_FALSE(mftest::fileExists(dir.file("bad.fa")));
    }
}

} // namespace
