// Where the annotated writers put the lines that close an entry (EMBL CO, GenBank CONTIG and a
// master record's WGS/TSA/TLS lines), and the EMBL molecule word of an old-style entry.
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

using namespace satest;

namespace {

std::string rewritten(const std::string& content, const std::string& from, const std::string& to) {
    mftest::TempDir dir;
    const std::string in = mftest::writeFile(dir.file("in"), content);
    const Sequences entries = readAll(in, from);
    writeAll(dir.file("out"), to, entries);
    return mftest::readFile(dir.file("out"));
}

/// The first line codes (up to 12 characters, trimmed) of `text` in order, each run once.
std::vector<std::string> lineOrder(const std::string& text, std::size_t width) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string code = text.substr(pos, std::min(width, end - pos));
        while (!code.empty() && code.back() == ' ')
            code.pop_back();
        if (!code.empty() && (out.empty() || out.back() != code))
            out.push_back(code);
        pos = end + 1;
    }
    return out;
}

const char* const kEmblContigHead =
    "ID   AB000001; SV 1; linear; genomic DNA; CON; HUM; 20 BP.\n"
    "XX\nAC   AB000001;\nXX\nDE   a constructed entry\nXX\n"
    "FH   Key             Location/Qualifiers\nFH\n"
    "FT   source          1..20\nFT                   /organism=\"Homo sapiens\"\nXX\n"
    "CO   join(AB000002.1:1..10,AB000003.1:1..10)\n";

TEST(EmblLineOrder, ContigLineFollowsTheFeatureTableAndEndsTheEntry) {
    const std::string out = rewritten(std::string(kEmblContigHead) + "//\n", "EMBL", "EMBL");
    const std::vector<std::string> order = lineOrder(out, 2);
    const auto at = [&](const char* code) { return std::find(order.begin(), order.end(), code) - order.begin(); };
    ASSERT_LT(at("CO"), static_cast<long>(order.size())) << out;
    EXPECT_LT(at("FT"), at("CO")) << out;
    EXPECT_EQ(order.back(), "//") << out;
    EXPECT_EQ(order[order.size() - 2], "CO") << out; // nothing between CO and "//"
    EXPECT_NE(out.find("XX\nCO   join(AB000002.1:1..10,AB000003.1:1..10)\n//\n"), std::string::npos) << out;
}

TEST(EmblLineOrder, ContigLineBesideResiduesIsLeftOutWithAWarning) {
    mftest::TempDir dir;
    const std::string in = mftest::writeFile(
        dir.file("in.embl"), std::string(kEmblContigHead) +
                                 "SQ   Sequence 20 BP; 5 A; 5 C; 5 G; 5 T; 0 other;\n"
                                 "     acgtacgtac gtacgtacgt                                                20\n//\n");
    const Sequences entries = readAll(in, "EMBL");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0]->annotation("CO"), "join(AB000002.1:1..10,AB000003.1:1..10)");
    cmn::OpContext ctx;
    {
        Ovik::OSeqArchive archive(dir.file("out.embl"), "EMBL", "");
        archive.setContext(&ctx);
        Ovik::saveSequence(*entries[0], archive);
        archive.close();
    }
    const std::string out = mftest::readFile(dir.file("out.embl"));
    EXPECT_EQ(out.find("\nCO "), std::string::npos) << out;
    EXPECT_NE(out.find("XX\nSQ   Sequence 20 BP;"), std::string::npos) << out;
    ASSERT_EQ(ctx.warnings().size(), 1u);
    EXPECT_NE(ctx.warnings()[0].find("CO line of AB000001 left out"), std::string::npos) << ctx.warnings()[0];
}

TEST(GenBankLineOrder, MasterRecordAndContigLinesFollowTheFeatureTable) {
    const std::string gb =
        "LOCUS       GAAA01000000        20 bp    mRNA    linear   TSA 01-JAN-2020\n"
        "DEFINITION  a master record.\nACCESSION   GAAA01000000\nKEYWORDS    TSA; Transcriptome Shotgun Assembly.\n"
        "SOURCE      Homo sapiens\n  ORGANISM  Homo sapiens\n            Eukaryota.\n"
        "FEATURES             Location/Qualifiers\n"
        "     source          1..20\n                     /organism=\"Homo sapiens\"\n"
        "TSA         GAAA01000001-GAAA01000020\n"
        "TLS         KAAA01000001-KAAA01000002\n"
        "WGS_SCAFLD  CM000001-CM000002\n"
        "CONTIG      join(AB000002.1:1..10,\n            AB000003.1:1..10)\n"
        "ORIGIN\n        1 acgtacgtac gtacgtacgt\n//\n";
    const std::string out = rewritten(gb, "GenBank", "GenBank");
    const std::vector<std::string> order = lineOrder(out, 12);
    const auto at = [&](const char* code) { return std::find(order.begin(), order.end(), code) - order.begin(); };
    for (const char* key : {"TSA", "TLS", "WGS_SCAFLD", "CONTIG"}) {
        SCOPED_TRACE(key);
        ASSERT_LT(at(key), static_cast<long>(order.size())) << out;
        EXPECT_LT(at("FEATURES"), at(key)) << out;
        EXPECT_LT(at(key), at("ORIGIN")) << out;
    }
    EXPECT_NE(out.find("TSA         GAAA01000001-GAAA01000020\n"), std::string::npos) << out;
    EXPECT_NE(out.find("CONTIG      join(AB000002.1:1..10,\n            AB000003.1:1..10)\n"), std::string::npos)
        << out;
}

TEST(EmblMolecule, OldStyleUnspecifiedBecomesAMoleculeEmblAllows) {
    const struct {
        const char* residues;
        const char* molecule;
    } cases[] = {{"ACGTACGTAC", "; unassigned DNA; "}, {"ACGUACGUAC", "; unassigned RNA; "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.residues);
        const std::string embl = std::string("ID   OLD1       standard; unspecified; UNC; 10 BP.\nXX\n"
                                             "SQ   Sequence 10 BP;\n     ") +
                                 c.residues + "\n//\n";
        const std::string out = rewritten(embl, "EMBL", "EMBL");
        const std::string id = out.substr(0, out.find('\n'));
        EXPECT_NE(id.find(c.molecule), std::string::npos) << id;
        EXPECT_EQ(id.find("unspecified"), std::string::npos) << id;
    }
}

} // namespace
