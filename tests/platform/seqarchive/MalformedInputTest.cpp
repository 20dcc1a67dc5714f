// Truncated and malformed input: an exception naming the path and the line, never a crash or a
// silently short result; CRLF input reads like LF input.
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

using namespace satest;

namespace {

struct BadInput {
    const char* label;
    const char* format; // "" lets the content decide
    const char* content;
    const char* error;  // what follows "<path>:"
    std::size_t goodEntries; // entries read before the failure
};

const BadInput kBad[] = {
    {"genbank_no_end", "", "LOCUS       A 4 bp DNA\nORIGIN\n        1 acgt\n//\nLOCUS       B 4 bp DNA\nORIGIN\n        1 ac",
     "7: unexpected end of file in the entry that starts at line 5", 1},
    {"genbank_two_locus", "", "LOCUS       A 4 bp DNA\nORIGIN\n        1 acgt\nLOCUS       B 4 bp DNA\n",
     "4: missing '//' at the end of the entry that starts at line 1", 0},
    {"genbank_not_locus", "GenBank", ">x\nACGT\n", "1: expected a LOCUS line", 0},
    {"genbank_feature_before_key", "", "LOCUS       A 4 bp DNA\nFEATURES             Location/Qualifiers\n                     /note=\"x\"\n//\n",
     "3: feature line outside a feature key", 0},
    {"embl_no_end", "", "ID   A; SV 1; linear; DNA; STD; UNC; 4 BP.\nSQ   Sequence 4 BP;\n     acgt    4\n",
     "3: unexpected end of file in the entry that starts at line 1", 0},
    {"swiss_not_id", "Swiss", "LOCUS x\n", "1: expected an ID line", 0},
    {"fasta_no_header", "FASTA", "ACGT\n>x\nAC\n", "1: expected a FASTA header line starting with '>'", 0},
    {"nbrf_no_star", "", ">P1;A\ntitle\nMKVL\n>P1;B\ntitle\nMK*\n", "4: sequence does not end with '*'", 0},
    {"nbrf_truncated", "", ">P1;A\ntitle\nMKVL*\n>P1;B\ntitle\nMKV", "6: unexpected end of file in the entry that starts at line 4", 1},
    {"nbrf_no_title", "NBRF", ">P1;A", "1: missing title line", 0},
    {"gcg_no_dots", "GCG", "!!AA_SEQUENCE 1.0\nheader only\n", "1: missing the '..' line that ends the GCG header", 0},
    {"msf_no_names", "MSF", "PileUp\n MSF: 4 Type: N Check: 1 ..\n//\nA ACGT\n", "1: no 'Name:' lines before '//'", 0},
    {"msf_unknown_row", "", "x MSF: 4 Type: N Check: 1 ..\n Name: A Len: 4 Check: 1 Weight: 1\n//\n\nB ACGT\n",
     "5: sequence row for a name that the header does not list: B", 0},
    {"experiment_no_end", "", "ID   r\nEN   r\nSQ\n     ACGT\n", "4: missing '//' at the end of the entry that starts at line 3", 0},
    {"experiment_tag_in_sequence", "", "ID   r\nEN   r\nSQ\n     ACGT\nAV   1 2\n",
     "5: missing '//' at the end of the entry that starts at line 3", 0},
    {"experiment_no_sq", "", "ID   r\nEN   r\nLN   r.ab1\n", "3: no SQ line: the experiment file holds no sequence of its own", 0},
    {"experiment_bad_av", "", "ID   r\nEN   r\nAV   1 x2 3\nSQ\n     ACG\n//\n", "3: not a confidence value in AV: x2", 0},
    {"experiment_two_readings", "Experiment", "ID   r\nSQ\n     AC\n//\nID   s\n",
     "5: a second reading: an experiment file holds one", 0},
    {"experiment_not_a_tag", "Experiment", "ID   r\nacgt\n", "2: unexpected line: acgt", 0},
    {"rsf_no_brace", "", "!!RICH_SEQUENCE 1.0\n..\nname x\n", "3: expected '{' to open an RSF entry", 0},
    {"rsf_truncated", "", "!!RICH_SEQUENCE 1.0\n..\n{\nname x\nsequence\n ACGT\n", "6: unexpected end of file in the entry that starts at line 3", 0},
};

class Malformed : public ::testing::TestWithParam<BadInput> {};

TEST_P(Malformed, FailsWithPathAndLine) {
    const BadInput& b = GetParam();
    mftest::TempDir dir;
    std::string path = mftest::writeFile(dir.file("bad"), b.content);
    Ovik::ISeqArchive archive(path, b.format, "");
    std::size_t good = 0;
    std::string error;
    try {
        while (!archive.atEnd()) {
            Ovik::createSequence(archive);
            ++good;
        }
    } catch (const Ovik::SeqArchiveError& e) {
        error = e.what();
    }
    EXPECT_EQ(error, path + ":" + b.error);
    EXPECT_EQ(good, b.goodEntries);
    EXPECT_FALSE(archive.atEnd()) << "a failure must not look like the end of the archive";
}

INSTANTIATE_TEST_SUITE_P(Inputs, Malformed, ::testing::ValuesIn(kBad),
                         [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.label); });

std::string toCrlf(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

TEST(LineEndings, CrlfInputReadsLikeLf) {
    const char* samples[] = {
        ">a first\nACGT\nAC\n\n>b\nGG\n",
        "LOCUS       A 6 bp DNA linear PLN 01-JAN-2000\nDEFINITION  two\n            lines.\nACCESSION   X1\n"
        "FEATURES             Location/Qualifiers\n     gene            1..6\n                     /note=\"a\n"
        "                     b\"\nORIGIN\n        1 acgtac\n//\n",
        "ID   A; SV 1; linear; DNA; STD; UNC; 4 BP.\nDE   d\nFT   gene            1..4\nSQ   Sequence 4 BP;\n     acgt    4\n//\n",
        ">P1;A\ntitle\nMKVL*\n",
        "!!NA_SEQUENCE 1.0\nhead\nx  Length: 4  Type: N  Check: 748  ..\n\n 1 ACGT\n",
        "<name---->\nACGT\nAC\n",
        "!!RICH_SEQUENCE 1.0\n..\n{\nname x\ndescrip  y\nsequence\n  ACGT\n}\n",
        "x MSF: 4 Type: N Check: 1 ..\n Name: A Len: 4 Check: 748 Weight: 1\n//\n\nA ACGT\n",
    };
    for (const char* sample : samples) {
        SCOPED_TRACE(sample);
        mftest::TempDir dir;
        Sequences lf = readAll(mftest::writeFile(dir.file("lf"), sample));
        Sequences crlf = readAll(mftest::writeFile(dir.file("crlf"), toCrlf(sample)));
        ASSERT_EQ(lf.size(), crlf.size());
        ASSERT_FALSE(lf.empty());
        for (std::size_t i = 0; i < lf.size(); ++i) {
            EXPECT_EQ(crlf[i]->residues().find('\r'), std::string::npos);
            EXPECT_EQ(crlf[i]->name(), lf[i]->name());
            EXPECT_EQ(crlf[i]->residues(), lf[i]->residues());
            EXPECT_EQ(crlf[i]->description(), lf[i]->description());
            EXPECT_EQ(crlf[i]->features(), lf[i]->features());
        }
    }
}

TEST(Warnings, GcgChecksumMismatchIsAWarningNotAFailure) {
    mftest::TempDir dir;
    std::string path = mftest::writeFile(dir.file("x.ssf"),
                                         "!!NA_SEQUENCE 1.0\nhead\nx  Length: 4  Type: N  Check: 1234  ..\n\n 1 ACGT\n");
    cmn::OpContext ctx;
    Sequences seqs = readAll(path, "", &ctx);
    ASSERT_EQ(seqs.size(), 1u);
    EXPECT_EQ(seqs[0]->residues(), "ACGT");
    ASSERT_EQ(ctx.warnings().size(), 1u);
    EXPECT_EQ(ctx.warnings()[0],
              "GCG checksum mismatch for x in " + path + ": the file says 1234, the sequence gives 748");
    EXPECT_FALSE(ctx.hasErrors());
    // Without a context the mismatch is dropped silently.
    EXPECT_EQ(readAll(path).size(), 1u);
}

TEST(Reading, CreateSequenceAtTheEndThrows) {
    mftest::TempDir dir;
    std::string path = mftest::writeFile(dir.file("a.fa"), ">a\nAC\n\n\n");
    Ovik::ISeqArchive archive(path, "", "");
    Ovik::createSequence(archive);
    EXPECT_TRUE(archive.atEnd()); // trailing blank lines are not an entry
    EXPECT_EQ(errorOf([&] { Ovik::createSequence(archive); }), path + ":4: no entry left to read");
}

} // namespace

namespace {

// Entries of different molecules in one file: each gets its own class and type, keeps its header,
// and all share the file's path as their source.
TEST(Reading, MixedMoleculesEachGetTheirClassAndKeepTheirHeader) {
    using T = Velm::Sequence::MoleculeType;
    mftest::TempDir dir;
    std::string path = mftest::writeFile(dir.file("mixed.fa"), ">d1 first dna\nACGTACGT\n"
                                                                ">p1 a protein\nMKVLAWGHSTRE\n"
                                                                ">r1 some rna\nACGUACGU\n"
                                                                ">d2\nacgtn\n"
                                                                ">p2 last\nEEEEQQ\n");
    const struct { const char* name; const char* description; T type; bool nucleotideClass; } want[] = {
        {"d1", "first dna", T::DNA, true},        {"p1", "a protein", T::Protein, false},
        {"r1", "some rna", T::RNA, false},        {"d2", "", T::DNA, true},
        {"p2", "last", T::Protein, false},
    };
    Sequences got = readAll(path);
    ASSERT_EQ(got.size(), 5u);
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i]->name(), want[i].name) << i;
        EXPECT_EQ(got[i]->description(), want[i].description) << i;
        EXPECT_EQ(got[i]->moleculeType(), want[i].type) << i;
        EXPECT_EQ(dynamic_cast<Velm::NASequence*>(got[i].get()) != nullptr, want[i].nucleotideClass) << i;
        EXPECT_EQ(got[i]->source(), path) << i;
    }
    // A copy of a sequence keeps its source; another source set later does not touch the first.
    Velm::Sequence copy = *got[0];
    copy.setSource("elsewhere.fa");
    EXPECT_EQ(got[0]->source(), path);
    copy.setSource("");
    EXPECT_EQ(copy.source(), "");
}

} // namespace
