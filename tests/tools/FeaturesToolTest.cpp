// modelfactory features, end to end: the entries it writes, their names and descriptions, the
// proteins of --translate, standard input, per-feature failures and the command line's mistakes.
#include "MiniJson.h"
#include "TestSupport.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>
#include <vector>

namespace {
using mftest::describe;

using mftest::JsonValue;
using mftest::runTool;
using mftest::ToolRun;

std::string sample(const std::string& name) { return mftest::testdataFile("sequences/" + name); }

struct FastaEntry {
    std::string header; // without '>'
    std::string residues;
};

std::vector<FastaEntry> fastaOf(const std::string& text) {
    std::vector<FastaEntry> entries;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '>')
            entries.push_back({line.substr(1), ""});
        else if (!entries.empty())
            entries.back().residues += line;
    }
    return entries;
}

std::string nameOf(const FastaEntry& e) { return e.header.substr(0, e.header.find(' ')); }

JsonValue jsonOf(const ToolRun& run) {
    try {
        return mftest::parseJson(run.out);
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what() << "\n" << describe(run);
        return JsonValue();
    }
}

// The residues of the first entry of a GenBank file (its ORIGIN lines without the numbers).
std::string genBankResidues(const std::string& path) {
    std::istringstream in(mftest::readFile(path));
    std::string residues;
    bool inOrigin = false;
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 6, "ORIGIN") == 0) inOrigin = true;
        else if (line.compare(0, 2, "//") == 0) break;
        else if (inOrigin)
            for (char c : line)
                if (std::isalpha(static_cast<unsigned char>(c))) residues += c;
    }
    return residues;
}

std::string reverseComplementOf(std::string s) {
    std::reverse(s.begin(), s.end());
    for (char& c : s) {
        switch (std::toupper(static_cast<unsigned char>(c))) {
        case 'A': c = c == 'a' ? 't' : 'T'; break;
        case 'T': c = c == 't' ? 'a' : 'A'; break;
        case 'C': c = c == 'c' ? 'g' : 'G'; break;
        case 'G': c = c == 'g' ? 'c' : 'C'; break;
        default: break;
        }
    }
    return s;
}

std::string qualifier(const JsonValue& feature, const std::string& name) {
    for (const JsonValue& q : feature["qualifiers"].items)
        if (q["name"].text == name) return q["value"].text;
    return std::string();
}

std::string withoutSpace(std::string s) {
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
            s.end());
    return s;
}

TEST(FeaturesTool, WritesOneFastaEntryPerFeatureNamedByItsQualifiers) {
    MF_REQUIRE_TESTDATA();
    const ToolRun run = runTool({"features", sample("NC_005816.gb"), "--type", "CDS"});
    ASSERT_EQ(0, run.status) << describe(run);
    const std::vector<FastaEntry> entries = fastaOf(run.out);
    ASSERT_EQ(10u, entries.size()) << describe(run);
    for (std::size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ("YP_pPCP" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1), nameOf(entries[i]));
    // The key, where the feature lies, then every qualifier as the flat file has it.
    EXPECT_EQ(0u, entries[0].header.find("YP_pPCP01 CDS NC_005816:87..1109 /locus_tag=\"YP_pPCP01\""))
        << entries[0].header;
    EXPECT_NE(std::string::npos, entries[0].header.find("/protein_id=\"NP_995567.1\""));
    EXPECT_EQ(1023u, entries[0].residues.size());
    const std::string genome = genBankResidues(sample("NC_005816.gb"));
    ASSERT_EQ(9609u, genome.size());
    EXPECT_EQ(genome.substr(86, 1023), entries[0].residues);
}

TEST(FeaturesTool, ComplementStrandAndNamesFromTheLocation) {
    MF_REQUIRE_TESTDATA();
    const std::string genome = genBankResidues(sample("NC_005816.gb"));
    const ToolRun run = runTool({"features", sample("NC_005816.gb"), "--type", "cds,SOURCE", "--json"});
    ASSERT_EQ(0, run.status) << describe(run);
    const JsonValue doc = jsonOf(run);
    const auto& features = doc["features"].items;
    ASSERT_EQ(11u, features.size());
    EXPECT_EQ(11.0, doc["count"].number);
    EXPECT_EQ(0.0, doc["skipped"].number);
    // A feature without /locus_tag, /gene or /protein_id is named by its entry and location.
    EXPECT_EQ("NC_005816:1..9609", features[0]["name"].text);
    EXPECT_EQ("source", features[0]["key"].text);
    EXPECT_EQ(genome, features[0]["residues"].text);
    std::size_t reverse = 0;
    for (const JsonValue& f : features) {
        if (f["location"].text.compare(0, 11, "complement(") != 0) continue;
        ++reverse;
        EXPECT_EQ("-", f["strand"].text);
        // complement(a..b): the bases a..b read on the other strand.
        const std::string inner = f["location"].text.substr(11, f["location"].text.size() - 12);
        const std::size_t dots = inner.find("..");
        const long a = std::stol(inner.substr(0, dots)), b = std::stol(inner.substr(dots + 2));
        EXPECT_EQ(reverseComplementOf(genome.substr(a - 1, b - a + 1)), f["residues"].text) << f["name"].text;
    }
    EXPECT_EQ(3u, reverse);
}

TEST(FeaturesTool, TranslateGivesTheProteinOfEveryCds) {
    MF_REQUIRE_TESTDATA();
    std::size_t checked = 0;
    for (const char* file : {"NC_005816.gb", "cor6_6.gb", "TRBG361.embl", "U87107.embl"}) {
        SCOPED_TRACE(file);
        const ToolRun run = runTool({"features", sample(file), "--translate", "--json"});
        ASSERT_EQ(0, run.status) << describe(run);
        const JsonValue doc = jsonOf(run);
        for (const JsonValue& f : doc["features"].items) {
            EXPECT_EQ("CDS", f["key"].text); // --translate alone takes the coding sequences
            EXPECT_EQ("protein", f["molecule"].text);
            EXPECT_EQ(withoutSpace(qualifier(f, "translation")), f["residues"].text) << f["name"].text;
            ++checked;
        }
    }
    EXPECT_EQ(10u + 6u + 1u + 5u, checked);

    // FASTA by default; GenBank output of proteins is GenPept.
    const ToolRun genpept = runTool({"features", sample("TRBG361.embl"), "--translate", "--to", "genbank"});
    ASSERT_EQ(0, genpept.status) << describe(genpept);
    EXPECT_NE(std::string::npos, genpept.out.find(" aa ")) << genpept.out;
}

TEST(FeaturesTool, AFeatureInAnotherEntryIsReportedAndTheRestWritten) {
    MF_REQUIRE_TESTDATA();
    const ToolRun run = runTool({"features", sample("AF032047.gbk"), "--json"});
    EXPECT_EQ(1, run.status) << describe(run);
    const JsonValue doc = jsonOf(run);
    // source, 2 sig_peptide, exon, intron; the mRNA and the CDS join parts of AF032048.1.
    EXPECT_EQ(5.0, doc["count"].number);
    EXPECT_EQ(2.0, doc["skipped"].number);
    EXPECT_FALSE(doc["ok"].boolean);
    for (const JsonValue& f : doc["features"].items) {
        EXPECT_NE("CDS", f["key"].text);
        EXPECT_NE("mRNA", f["key"].text);
    }
    EXPECT_NE(std::string::npos, run.err.find("error: ALSEB2MP1 CDS: location join(136..202,AF032048.1:67..345,AF032048.1:1162..1175) ")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("reaches into another entry (AF032048.1)")) << run.err;

    const ToolRun cds = runTool({"features", sample("AF032047.gbk"), "--type", "CDS", "--translate"});
    EXPECT_EQ(1, cds.status) << describe(cds);
    EXPECT_EQ("", cds.out);
}

TEST(FeaturesTool, ReadsStandardInputAsItArrives) {
    MF_REQUIRE_TESTDATA();
    const ToolRun fromFile = runTool({"features", sample("cor6_6.gb"), "--type", "gene,mRNA"});
    ASSERT_EQ(0, fromFile.status) << describe(fromFile);
    const ToolRun fromPipe =
        mftest::runToolWithInput({"features", "-", "--type", "gene,mRNA"}, mftest::readFile(sample("cor6_6.gb")));
    ASSERT_EQ(0, fromPipe.status) << describe(fromPipe);
    EXPECT_EQ(fromFile.out, fromPipe.out);
    EXPECT_EQ(9u, fastaOf(fromPipe.out).size());
}

TEST(FeaturesTool, AFileWithoutFeaturesWritesNothingAndSaysSo) {
    MF_REQUIRE_TESTDATA();
    const ToolRun run = runTool({"features", sample("lupine.fasta")});
    EXPECT_EQ(0, run.status) << describe(run);
    EXPECT_EQ("", run.out);
    EXPECT_NE(std::string::npos, run.err.find("warning: no features to write in ")) << run.err;
}

TEST(FeaturesTool, CommandLineMistakes) {
    MF_REQUIRE_TESTDATA();
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } const cases[] = {
        {{"--table", "7"}, "--table takes the number of an NCBI genetic code, not '7'"},
        {{"--table", "x"}, "--table takes the number of an NCBI genetic code, not 'x'"},
        {{"--to", "nosuch"}, "unknown format 'nosuch' (--to)"},
        {{"--to", "Staden"}, "not a sequence format that can be written: 'Staden'"},
        {{"--json", "--to", "fasta"}, "--json writes the features as JSON: it cannot be used with --to"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"features", sample("NC_005816.gb")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun run = runTool(args);
        EXPECT_EQ(2, run.status) << describe(run);
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << run.err;
        EXPECT_EQ("", run.out);
    }
}

TEST(FeaturesTool, TableForCdsWithoutTranslTable) {
    MF_REQUIRE_TESTDATA();
    // cor6_6.gb names no /transl_table. The vertebrate mitochondrial code (2) reads ATA as M and AGA,
    // AGG as stops: the stops inside kin2 are warned of and kept as '*'.
    const ToolRun standard = runTool({"features", sample("cor6_6.gb"), "--translate"});
    const ToolRun mito = runTool({"features", sample("cor6_6.gb"), "--translate", "--table", "2"});
    ASSERT_EQ(0, standard.status) << describe(standard);
    ASSERT_EQ(0, mito.status) << describe(mito);
    const std::vector<FastaEntry> a = fastaOf(standard.out), b = fastaOf(mito.out);
    ASSERT_EQ(6u, a.size());
    ASSERT_EQ(6u, b.size());
    EXPECT_NE(std::string::npos, a[0].residues.find("AGKSISDAAV"));
    EXPECT_NE(std::string::npos, b[0].residues.find("AGKSMSDAAV"));
    EXPECT_EQ("MSETNKNAFQAGQAAGKAE***AMFCWT*P*", b[1].residues.substr(0, 31));
    EXPECT_NE(std::string::npos, mito.err.find("warning: kin2 (CDS ATKIN2:join(104..160,320..390,504..579)): "
                                               "internal stop codon agg at codon 20"))
        << mito.err;
    EXPECT_EQ(std::string::npos, standard.err.find("warning")) << standard.err;
}

} // namespace
