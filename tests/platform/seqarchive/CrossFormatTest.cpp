// What the annotated writers keep of an entry read from another format, and what they refuse to
// write into their own layout (line ends, another format's lines, invalid locations).
#include "SeqArchiveTestUtil.h"

#include "../../../platform/seqarchive/CrossFormat.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

using namespace satest;

namespace {

using T = Velm::Sequence::MoleculeType;

boost::shared_ptr<Velm::Sequence> protein(const std::string& name) {
    return boost::shared_ptr<Velm::Sequence>(new Velm::Sequence(name, std::string(600, 'M'), T::Protein));
}

std::string written(const std::string& format, const boost::shared_ptr<Velm::Sequence>& seq,
                    cmn::OpContext* ctx = nullptr) {
    mftest::TempDir dir;
    Ovik::OSeqArchive archive(dir.file("out"), format, "");
    archive.setContext(ctx);
    Ovik::saveSequence(*seq, archive);
    archive.close();
    return mftest::readFile(dir.file("out"));
}

TEST(SwissLocations, BecomeTheNearestInsdcLocation) {
    const struct {
        const char* swiss;
        const char* insdc; // "" when left out
    } cases[] = {
        {"1..594", "1..594"},   {"?..594", "<594..594"}, {"1..?", "1..>1"},
        {"?31..40", "31..40"},  {"<1..>30", "<1..>30"},  {"17", "17"},
        {"?", ""},              {"?..?", ""},            {"P12345-2:5..?", "P12345-2:5..>5"},
        {"12..x", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.swiss);
        std::string out;
        EXPECT_EQ(Ovik::swissToInsdcLocation(c.swiss, out), *c.insdc != '\0');
        if (*c.insdc) {
            EXPECT_EQ(out, c.insdc);
        }
    }
}

TEST(InsdcLocations, GrammarIsChecked) {
    for (const char* ok : {"12", "1..594", "<1..>594", "complement(join(1..5,8..>20))", "order(1,5..9)",
                           "123^124", "J00194.1:100..202", "bond(12,45)", "(9.10)..(20.25)", "gap(100)"})
        EXPECT_TRUE(Ovik::validInsdcLocation(ok)) << ok;
    for (const char* bad : {"", "?..594", "1..?", "join(1..5", "1..5 ", "1..5\nFT   x", "complement()", "a..b"})
        EXPECT_FALSE(Ovik::validInsdcLocation(bad)) << bad;
}

TEST(SwissWriter, LongNamesStayApartFromTheStatusAndReadBack) {
    mftest::TempDir dir;
    const std::string name = "uniprot|P48347|14310_ARATH"; // 26 characters
    writeAll(dir.file("p.swl"), "Swiss", {protein(name), protein("P1234_SHORT")});
    const std::string text = mftest::readFile(dir.file("p.swl"));
    EXPECT_NE(text.find("ID   " + name + " Reviewed;       600 AA.\n"), std::string::npos);
    EXPECT_NE(text.find("ID   P1234_SHORT             Reviewed;       600 AA.\n"), std::string::npos);
    Sequences back = readAll(dir.file("p.swl"));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0]->name(), name);
    EXPECT_EQ(back[0]->annotation("status"), "Reviewed");

    // What earlier versions wrote, the name against the status, reads back too.
    mftest::writeFile(dir.file("old.swl"),
                      "ID   " + name + "Unreviewed;     4 AA.\nSQ   SEQUENCE   4 AA;\n     MKVL\n//\n");
    back = readAll(dir.file("old.swl"), "Swiss");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->name(), name);
    EXPECT_EQ(back[0]->annotation("status"), "Unreviewed");
}

TEST(SwissWriter, TranslatesInsdcFeaturesAndDropsWhatHasNoPlace) {
    auto seq = protein("P1");
    seq->addFeature({"source", "1..600", {{"organism", "Homo sapiens"}}});
    seq->addFeature({"mat_peptide", "25..600", {{"product", "mature chain"}, {"transl_table", "11"}}});
    seq->addFeature({"Region", "30..90", {{"region_name", "Domain"}, {"note", "kinase"}}});
    seq->addFeature({"Bond", "bond(40,88)", {{"bond_type", "disulfide"}}});
    seq->addFeature({"Site", "order(5,9)", {{"site_type", "active"}}});
    cmn::OpContext ctx;
    const std::string text = written("Swiss", seq, &ctx);
    EXPECT_NE(text.find("FT   CHAIN           25..600\nFT                   /note=\"mature chain\"\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("FT   DOMAIN          30..90\nFT                   /note=\"kinase\"\n"), std::string::npos);
    EXPECT_NE(text.find("FT   DISULFID        40..88\n"), std::string::npos);
    EXPECT_EQ(text.find("source"), std::string::npos);
    EXPECT_EQ(text.find("transl_table"), std::string::npos);
    EXPECT_EQ(text.find("order("), std::string::npos);
    ASSERT_EQ(ctx.warnings().size(), 1u);
    EXPECT_NE(ctx.warnings()[0].find("feature Site at order(5,9) of P1 left out"), std::string::npos);
}

TEST(InsdcWriters, TranslateSwissFeaturesAndLeaveOutUnknownPositions) {
    auto seq = protein("P1");
    seq->addFeature({"CHAIN", "?..594", {{"note", "14-3-3-like protein"}, {"id", "PRO_0000058675"}}});
    seq->addFeature({"DISULFID", "12..45", {}});
    seq->addFeature({"HELIX", "?", {}});
    for (const char* format : {"GenPept", "EMBL"}) {
        SCOPED_TRACE(format);
        cmn::OpContext ctx;
        const std::string text = written(format, seq, &ctx);
        EXPECT_NE(text.find("mat_peptide     <594..594"), std::string::npos) << text;
        EXPECT_NE(text.find("/note=\"14-3-3-like protein; FTId=PRO_0000058675\""), std::string::npos);
        EXPECT_NE(text.find("Bond            bond(12,45)"), std::string::npos);
        EXPECT_NE(text.find("/bond_type=\"disulfide\""), std::string::npos);
        EXPECT_EQ(text.find('?'), std::string::npos);
        ASSERT_EQ(ctx.warnings().size(), 1u);
        EXPECT_NE(ctx.warnings()[0].find("feature HELIX at ? of P1 left out"), std::string::npos);
    }
}

TEST(CrossFormatHeaders, EachWriterKeepsOnlyItsOwnLines) {
    // An entry as the EMBL reader gives it, and one as the Swiss-Prot reader gives it.
    auto embl = boost::shared_ptr<Velm::Sequence>(new Velm::Sequence("X1", "ACGTACGT", T::DNA));
    embl->annotations() = {{"SV", "X1.1"},
                           {"DT", "12-SEP-1991 (Rel. 29, Created)\n03-NOV-2004 (Rel. 81, Last updated, Version 13)"},
                           {"KW", "kw1; kw2."}, {"OS", "Homo sapiens (human)"}, {"OC", "Eukaryota; Metazoa."},
                           {"RN", "[1]"}, {"RP", "1-8"}, {"RX", "DOI; 10.1/x.\nPUBMED; 123."},
                           {"RA", "Smith J.A., Jones K.;"}, {"RT", "\"A title\";"}, {"RL", "Gene 1:2-3(1997)."}};
    auto swiss = protein("P1");
    swiss->annotations() = {{"status", "Reviewed"},
                            {"DT", "01-JAN-1990, integrated into UniProtKB/Swiss-Prot."},
                            {"GN", "Name=GRF1;"}, {"OX", "NCBI_TaxID=3702;"}, {"RN", "[1]"},
                            {"RP", "NUCLEOTIDE SEQUENCE [MRNA]."}, {"RC", "STRAIN=cv. Columbia;"},
                            {"RX", "PubMed=8605294; DOI=10.1/y;"}, {"RA", "Doe J.;"}};
    const struct {
        const char* format;
        boost::shared_ptr<Velm::Sequence> seq;
        std::vector<const char*> present;
        std::vector<const char*> absent;
    } cases[] = {
        {"Swiss", embl,
         {"DT   12-SEP-1991 (Rel. 29, Created)\n", "DT   03-NOV-2004 (Rel. 81, Last annotation update)\n",
          "RX   DOI=10.1/x; PubMed=123;\n", "KW   kw1; kw2.\n"},
         {"SV   ", "RP   ", "Last updated"}},
        {"EMBL", swiss,
         {"RX   PUBMED; 8605294.\nRX   DOI; 10.1/y.\n", "RC   STRAIN=cv. Columbia;\n", "RA   Doe J.;\n"},
         {"RP   ", "GN   ", "OX   ", "DT   "}},
        {"GenBank", embl,
         {"LOCUS       X1                         8 bp    DNA     linear   UNA 03-NOV-2004\n",
          "VERSION     X1.1\n", "KEYWORDS    kw1; kw2.\n", "SOURCE      Homo sapiens (human)\n",
          "  ORGANISM  Homo sapiens\n            Eukaryota; Metazoa.\n", "REFERENCE   1  (bases 1 to 8)\n",
          "  AUTHORS   Smith,J.A. and Jones,K.\n", "  TITLE     A title\n", "  JOURNAL   Gene 1:2-3(1997).\n",
          "  PUBMED    123\n"},
         {"DT ", "RA ", "KW "}},
        {"GenPept", swiss,
         {"REFERENCE   1\n", "  REMARK    NUCLEOTIDE SEQUENCE [MRNA]; STRAIN=cv. Columbia\n",
          "  PUBMED    8605294\n", " 01-JAN-1990\n"},
         {"GN ", "OX ", "RP "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const std::string text = written(c.format, c.seq);
        for (const char* p : c.present)
            EXPECT_NE(text.find(p), std::string::npos) << p << "\n" << text;
        for (const char* a : c.absent)
            EXPECT_EQ(text.find(a), std::string::npos) << a << "\n" << text;
    }

    // And the way back: GenBank fields become EMBL lines.
    mftest::TempDir dir;
    writeAll(dir.file("x.gb"), "GenBank", {embl});
    Sequences gb = readAll(dir.file("x.gb"));
    ASSERT_EQ(gb.size(), 1u);
    const std::string text = written("EMBL", gb[0]);
    for (const char* p : {"ID   X1; SV 1;", "RN   [1]\n", "RP   1-8\n", "RX   PUBMED; 123.\n",
                          "RA   Smith J.A., Jones K.;\n", "RT   \"A title\";\n", "OS   Homo sapiens (human)\n",
                          "OC   Eukaryota; Metazoa.\n", "KW   kw1; kw2.\n"})
        EXPECT_NE(text.find(p), std::string::npos) << p << "\n" << text;
}

// Line ends and other control characters in one-line fields never start a line of their own.
TEST(OneLineFields, ControlCharactersBecomeSpaces) {
    auto seq = boost::shared_ptr<Velm::Sequence>(new Velm::Sequence("na\nme", "ACGTACGT", T::DNA));
    seq->setDescription("first\nLOCUS       INJECTED\r\x1b[31m");
    seq->setAccession("AC\n1");
    seq->annotations() = {{"topology", "linear\nORIGIN"}, {"division", "X\nY"}, {"KEYWORDS", "a\x07b."},
                          {"molecule", "DNA\n//"}};
    seq->addFeature({"CDS", "1..8\nFT   evil", {{"note", "x\ny\"z"}, {"bad name", "v"}}});
    seq->addFeature({"gene", "2..3", {{"gene", "g\x01h"}}});
    for (const char* format : {"FASTA", "GenBank", "EMBL", "Swiss", "NBRF", "GCG", "RSF", "MSF"}) {
        SCOPED_TRACE(format);
        const std::string text = written(format, seq);
        for (char c : text)
            ASSERT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << static_cast<int>(c);
        EXPECT_EQ(text.find("\nLOCUS       INJECTED"), std::string::npos);
        EXPECT_EQ(text.find("\nFT   evil"), std::string::npos);
        EXPECT_EQ(text.find("\n//\n//"), std::string::npos);
        mftest::TempDir dir;
        mftest::writeFile(dir.file("f"), text);
        Sequences back = readAll(dir.file("f"), format);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0]->name(), "na_me");
        EXPECT_EQ(back[0]->residues(), "ACGTACGT");
    }
    const std::string gb = written("GenBank", seq);
    EXPECT_NE(gb.find("     gene            2..3\n                     /gene=\"g h\"\n"), std::string::npos) << gb;
    EXPECT_EQ(gb.find("CDS"), std::string::npos); // its location is not a location
}

TEST(Writers, LongNamesAreWrittenWholeAndReadBack) {
    const std::string name(300, 'n');
    auto seq = boost::shared_ptr<Velm::Sequence>(new Velm::Sequence(name, "ACGTACGT", T::DNA));
    for (const char* format : {"FASTA", "GenBank", "EMBL", "Swiss", "NBRF", "GCG", "RSF", "MSF"}) {
        SCOPED_TRACE(format);
        mftest::TempDir dir;
        mftest::writeFile(dir.file("f"), written(format, seq));
        Sequences back = readAll(dir.file("f"), format);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0]->name(), name);
        EXPECT_EQ(back[0]->residues(), "ACGTACGT");
    }
}

TEST(GcgWriters, WriteResiduesOnlyAndAChecksumOfWhatTheyWrite) {
    // PIR notation: a group of uncertain order, a fragment mark, a frame mark; '?' is a position.
    auto seq = boost::shared_ptr<Velm::Sequence>(
        new Velm::Sequence("CCFG", "GDVEK(V,Q.K)KV.G/AB!C?*", T::Protein));
    const std::string expected = "GDVEKVQKKV.GABC?*";
    for (const char* format : {"GCG", "RSF", "MSF"}) {
        SCOPED_TRACE(format);
        cmn::OpContext writing;
        const std::string text = written(format, seq, &writing);
        ASSERT_EQ(writing.warnings().size(), 1u);
        EXPECT_NE(writing.warnings()[0].find("CCFG: 6 characters that are not residues"), std::string::npos);
        mftest::TempDir dir;
        mftest::writeFile(dir.file("f"), text);
        cmn::OpContext reading;
        Sequences back = readAll(dir.file("f"), format, &reading);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0]->residues(), expected);
        EXPECT_TRUE(reading.reports().empty()) << reading.reports()[0].text; // checksum and length agree
    }
}

TEST(MsfWriter, MakesRowNamesUnique) {
    mftest::TempDir dir;
    Sequences in;
    for (const char* name : {"a", "a", "a_2", "b c", "b_c"})
        in.push_back(boost::shared_ptr<Velm::Sequence>(new Velm::Sequence(name, "ACGT")));
    writeAll(dir.file("x.msf"), "MSF", in);
    Sequences back = readAll(dir.file("x.msf"));
    std::vector<std::string> names;
    for (const auto& s : back)
        names.push_back(s->name());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "a_2", "a_2_2", "b_c", "b_c_2"}));
}

} // namespace

// NCBI indents PUBMED by three columns, the other reference keywords by two: both are keywords of
// their own, not lines of the JOURNAL before them. A SOURCE line's closing full stop is the
// layout's; a name that ends in one keeps it in the EMBL layout.
TEST(GenBankHeaders, PubmedIsAKeywordAndSourceKeepsItsOwnFullStop) {
    mftest::TempDir dir;
    mftest::writeFile(dir.file("x.gb"),
                      "LOCUS       X1                         8 bp    DNA     linear   UNA 03-NOV-2004\n"
                      "SOURCE      thale cress..\n"
                      "  ORGANISM  thale cress.\n"
                      "            Eukaryota.\n"
                      "REFERENCE   1  (bases 1 to 8)\n"
                      "  JOURNAL   J. Bacteriol. 186 (15), 5147-5152 (2004)\n"
                      "   PUBMED   15262951\n"
                      "ORIGIN\n        1 acgtacgt\n//\n");
    Sequences gb = readAll(dir.file("x.gb"));
    ASSERT_EQ(gb.size(), 1u);
    EXPECT_EQ(gb[0]->annotation("JOURNAL"), "J. Bacteriol. 186 (15), 5147-5152 (2004)");
    EXPECT_EQ(gb[0]->annotation("PUBMED"), "15262951");
    const std::string text = written("EMBL", gb[0]);
    for (const char* p : {"RX   PUBMED; 15262951.\n", "RL   J. Bacteriol. 186 (15), 5147-5152 (2004)\n",
                          "OS   thale cress.\n"})
        EXPECT_NE(text.find(p), std::string::npos) << p << "\n" << text;
}
