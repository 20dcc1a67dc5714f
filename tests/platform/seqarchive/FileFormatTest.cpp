// Format names, aliases, and recognising formats from content.
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

using namespace satest;
using Ovik::SALSource;

namespace {

// The factory's saving rules: tested in this order, each a case-insensitive prefix test.
int compareNoCase(const char* a, const char* b, unsigned n) {
    for (unsigned i = 0; i < n; ++i) {
        int ca = std::toupper(static_cast<unsigned char>(a[i]));
        int cb = std::toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
    return 0;
}

const char* firstSavingRule(const char* format) {
    const char* rules[] = {SALSource::RSF,  SALSource::MSF,  SALSource::FASTA, "fasta",
                           SALSource::NBRF, SALSource::STADEN, SALSource::SSF, SALSource::EMBL,
                           SALSource::GB,   SALSource::SW,   SALSource::SPT,   SALSource::GENPEPT};
    for (const char* rule : rules)
        if (compareNoCase(format, rule, static_cast<unsigned>(std::strlen(rule))) == 0)
            return rule;
    return nullptr;
}

TEST(FormatNames, EveryNameReachesItsOwnSavingRule) {
    const char* names[] = {SALSource::RSF,    SALSource::MSF, SALSource::FASTA, SALSource::NBRF,
                           SALSource::STADEN, SALSource::SSF, SALSource::EMBL,  SALSource::GB,
                           SALSource::SW,     SALSource::SPT, SALSource::GENPEPT};
    for (const char* name : names) {
        EXPECT_EQ(firstSavingRule(name), name) << name;
        std::string lower = name;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(firstSavingRule(lower.c_str()), name) << lower;
    }
    // Names users type for saving reach the rule of their format.
    EXPECT_EQ(firstSavingRule("genbank"), SALSource::GB);
    EXPECT_EQ(firstSavingRule("SwissProt"), SALSource::SW);
    EXPECT_EQ(firstSavingRule("Swiss-Prot"), SALSource::SW);
    EXPECT_EQ(firstSavingRule("fasta"), SALSource::FASTA);
    EXPECT_EQ(firstSavingRule("embl"), SALSource::EMBL);
    EXPECT_EQ(firstSavingRule("gcg"), SALSource::SSF);
    EXPECT_EQ(firstSavingRule("trembl"), SALSource::SPT);
    EXPECT_EQ(firstSavingRule("SDN"), nullptr); // Staden files are read only
}

TEST(FormatNames, SupportsConstantsAndAliasesIgnoringCase) {
    const char* known[] = {"EMBL", "GenPept", "GenBank", "RSF", "MSF", "FASTA", "NBRF", "Staden", "GCG", "Swiss",
                           "TrEMBL", "Experiment", "Query", "List", "SDN", "sdn", "fasta", "fa", "genbank", "gb", "gbk",
                           "embl", "swissprot", "Swiss-Prot", "pir", "ssf", "spt", "gp", "lst",
                           "FASTQ", "fastq", "fq"};
    for (const char* name : known)
        EXPECT_TRUE(SALSource::supports(name)) << name;
    const char* unknown[] = {"", "fastqx", "sff", "ABI", "SCF", "nexus", "genbankx", "fast"};
    for (const char* name : unknown)
        EXPECT_FALSE(SALSource::supports(name)) << name;
    EXPECT_FALSE(SALSource::supports(nullptr));
    EXPECT_EQ(SALSource::canonicalName("SDN"), SALSource::STADEN);
    EXPECT_EQ(SALSource::canonicalName("pir"), SALSource::NBRF);
}

TEST(FormatNames, SupportedFormatsListEachReadableFormatOnce) {
    Velm::FormatList list = SALSource::getSupportedFormats();
    EXPECT_EQ(list.size(), 13u);
    for (const auto& entry : list) {
        EXPECT_TRUE(SALSource::supports(entry.first.c_str())) << entry.first;
        EXPECT_FALSE(entry.second.empty());
    }
}

struct Sniff {
    const char* label;
    const char* content;
    const char* format;
};

const Sniff kSniffs[] = {
    {"fasta", "\n>seq1 desc\nACGT\n", "FASTA"},
    {"fasta_comments", ";old comment\n>seq1\nACGT\n", "FASTA"},
    {"nbrf", ">P1;CCHU\ncytochrome c\nMGDVEK*\n", "NBRF"},
    {"nbrf_comments", "C;exported 2024\nC;two entries\n\n>P1;CCHU\ncytochrome c\nMGDVEK*\n", "NBRF"},
    {"comments_without_entry", "C;a note\nsome prose here\n", ""},
    {"experiment", "ID   310\nEN   310\nLN   310.ab1\nLT   ABI\nSQ   \n     ACGT-ACGT\n//\n", "Experiment"},
    {"experiment_bare_sq", "ID   n\nSQ\n     ACGTACGTAC\n//\n", "Experiment"},
    {"embl_bare_id", "ID   X56734\nXX\nSQ   Sequence 4 BP;\n     acgt         4\n//\n", "EMBL"},
    {"genbank", "LOCUS       X 4 bp    DNA     linear   PLN 01-JAN-2000\n", "GenBank"},
    {"genpept", "LOCUS       X 4 aa            linear   BCT 01-JAN-2000\n", "GenPept"},
    {"embl", "ID   X56734; SV 1; linear; mRNA; STD; PLN; 1859 BP.\n", "EMBL"},
    {"embl_old", "ID   U87107     standard; DNA; SYN; 8840 BP.\n", "EMBL"},
    {"embl_protein", "ID   A00022; SV 1; linear; protein; PRT; SYN; 14 AA.\n", "EMBL"},
    {"swiss", "ID   PSBL_ORYSJ              Reviewed;          38 AA.\n", "Swiss"},
    {"swiss_old", "ID   CYC_HUMAN      STANDARD;      PRT;   104 AA.\n", "Swiss"},
    {"trembl", "ID   F2CXE6_HORVD            Unreviewed;       291 AA.\n", "TrEMBL"},
    {"rsf", "!!RICH_SEQUENCE 1.0\n..\n{\nname x\n}\n", "RSF"},
    {"msf_bang", "!!NA_MULTIPLE_ALIGNMENT 1.0\n\n x.msf MSF: 4 Type: N Check: 1 ..\n", "MSF"},
    {"msf_plain", "PileUp\n\n   MSF:  393  Type: P    Check:  3400   .. \n", "MSF"},
    {"gcg_bang", "!!AA_SEQUENCE 1.0\nheader\nx  Length: 4  Type: P  Check: 1  ..\n", "GCG"},
    {"gcg_plain", "text\nx  Length: 4  Type: P  Check: 1  ..\n\n  1 MKVL\n", "GCG"},
    {"staden_named", "<AI730987---->\nGAAAATTCAT\nTTTT\n", "Staden"},
    {"staden_comments", ";comment\nACGT-ACGT\n", "Staden"},
    {"staden_plain", "ACGTACGTAC\nGGTT\n", "Staden"},
    {"list", "reads/one.fa\n# comment\n/data/two.gb\nthree.embl\n", "List"},
    {"list_db", "embl:X56734\nswissprot:P60137\n", "List"},
    {"query_report", "BLASTN 2.2.26\n\nQuery= seq1\n         (655 letters)\n", "Query"},
    {"query_listing", "QUERY: tubulin AND lupine\nDATABASE: nucleotide\nAI730987\n", "Query"},
    {"crlf_genbank", "LOCUS       X 4 bp    DNA     linear   PLN 01-JAN-2000\r\n", "GenBank"},
    {"crlf_staden", "ACGTACGTAC\r\nGGTT\r\n", "Staden"},
    {"empty", "", ""},
    {"blank", "\n  \n\t\n", ""},
    {"xml", "<?xml version=\"1.0\"?>\n<doc/>\n", ""},
    {"prose", "This is a letter to a friend.\nIt has words.\n", ""},
    {"binary", "\x01\x02\x03\x00\x10 binary", ""},
};

class Sniffing : public ::testing::TestWithParam<Sniff> {};

TEST_P(Sniffing, RecognisesTheContent) {
    mftest::TempDir dir;
    const Sniff& s = GetParam();
    std::string content(s.content, std::strlen(s.content) + (std::string(s.label) == "binary" ? 10 : 0));
    std::string path = mftest::writeFile(dir.file("file"), content);
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(path), s.format);
    // Compressed, whatever the name, it is the same.
    writeGzip(dir.file("file.bin"), content);
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(dir.file("file.bin")), s.format);
}

INSTANTIATE_TEST_SUITE_P(Content, Sniffing, ::testing::ValuesIn(kSniffs),
                         [](const ::testing::TestParamInfo<Sniff>& info) { return std::string(info.param.label); });

TEST(Sniffing, MissingFileAndDirectoryGiveNothing) {
    mftest::TempDir dir;
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(dir.file("missing")), "");
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(dir.path()), "");
}

TEST(Sniffing, LooksOnlyAtTheFirst64KiB) {
    mftest::TempDir dir;
    // 70 KiB of blank lines, then a FASTA header: the header is past the prefix examined.
    std::string path = mftest::writeFile(dir.file("late.fa"), std::string(70 * 1024, '\n') + ">x\nACGT\n");
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(path), "");
    // A first line that the prefix cuts does not spoil the answer.
    std::string longLine = ">x\n" + std::string(100 * 1024, 'A') + "\n";
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(mftest::writeFile(dir.file("long.fa"), longLine)), "FASTA");
}

// Text is what holds no NUL and at most 1% other control bytes; bytes above 0x7F are text.
TEST(Sniffing, BinaryIsANulOrMoreThanOnePercentControlBytes) {
    const std::string head = ">x\n"; // 3 bytes; the file is 1,000 bytes in all
    auto fasta = [&](std::size_t controls, char control, std::size_t at) {
        std::string body(997, 'A');
        for (std::size_t i = 0; i < controls; ++i)
            body[at + i * 7] = control;
        return head + body;
    };
    struct Case {
        const char* what;
        std::string content;
        const char* format;
    } cases[] = {
        {"ten control bytes in 1,000", fasta(10, '\x01', 20), "FASTA"},
        {"eleven control bytes in 1,000", fasta(11, '\x1F', 20), ""},
        {"line ends, tabs and form feeds are text", fasta(100, '\t', 20) , "FASTA"},
        {"bytes above 0x7F are text", fasta(100, '\xE9', 20), "FASTA"},
        {"a NUL inside a 16-byte block", fasta(1, '\0', 40), ""},
        {"a NUL in the last bytes", fasta(1, '\0', 996), ""},
        {"a short file with a NUL", std::string(">x\nA\0", 6), ""},
        {"a short file of text", ">x\nAC\n", "FASTA"},
    };
    mftest::TempDir dir;
    for (const Case& c : cases)
        EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(mftest::writeFile(dir.file("f.dat"), c.content)), c.format)
            << c.what;
}

TEST(Opening, UnknownFormatNameAndMissingFileNameThePath) {
    mftest::TempDir dir;
    std::string path = mftest::writeFile(dir.file("a.fa"), ">a\nACGT\n");
    EXPECT_EQ(errorOf([&] { Ovik::ISeqArchive a(path, "sff", ""); }),
              "Cannot open sequence file " + path + ": unknown sequence format name \"sff\"");
    std::string missing = dir.file("missing.fa");
    EXPECT_EQ(errorOf([&] { Ovik::ISeqArchive a(missing, "", ""); }),
              "Cannot open sequence file " + missing + ": No such file or directory");
    EXPECT_EQ(errorOf([&] { Ovik::ISeqArchive a(missing, "FASTA", ""); }),
              "Cannot open sequence file " + missing + ": No such file or directory");
    std::string list = mftest::writeFile(dir.file("files.lst"), "a.fa\nb.fa\n");
    EXPECT_EQ(errorOf([&] { Ovik::ISeqArchive a(list, "", ""); }),
              "Cannot open sequence file " + list + ": unrecognised sequence format (List files hold no sequence data)");
    EXPECT_EQ(errorOf([&] { Ovik::OSeqArchive a(dir.file("x.sta"), "SDN", ""); }),
              "Cannot create sequence file " + dir.file("x.sta") + ": the format cannot be written: Staden");
}

TEST(Opening, ReadsCompressedArchivesWhateverTheirName) {
    mftest::TempDir dir;
    std::string content;
    for (int i = 0; i < 2000; ++i)
        content += ">s" + std::to_string(i) + " entry\n" + std::string(100, "ACGT"[i % 4]) + "\n";
    writeGzip(dir.file("reads.fa"), content);
    Ovik::ISeqArchive archive(dir.file("reads.fa"), "", "");
    EXPECT_EQ(archive.archiveFormat(), "FASTA");
    Sequences seqs;
    while (!archive.atEnd())
        seqs.push_back(Ovik::createSequence(archive));
    ASSERT_EQ(seqs.size(), 2000u);
    EXPECT_EQ(seqs.back()->name(), "s1999");
    EXPECT_EQ(seqs.back()->residues(), std::string(100, 'T'));
}

TEST(Opening, CorruptCompressedDataFailsWithPathAndLine) {
    mftest::TempDir dir;
    std::string content;
    for (int i = 0; i < 5000; ++i)
        content += ">s" + std::to_string(i) + "\nACGTTGCAACGTAGCTAGCATCGACTAGCATCGACGAT\n";
    writeGzip(dir.file("c.gz"), content);
    std::string bytes = mftest::readFile(dir.file("c.gz"));
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
    mftest::writeFile(dir.file("c.gz"), bytes);
    std::string error = errorOf([&] { readAll(dir.file("c.gz"), "FASTA"); });
    EXPECT_EQ(error.rfind(dir.file("c.gz") + ":", 0), 0u) << error;
    EXPECT_NE(error.find("corrupt compressed data"), std::string::npos) << error;
}

} // namespace

namespace {

TEST(Opening, TruncatedCompressedFileIsNotTakenForAComplete) {
    mftest::TempDir dir;
    std::string content;
    for (int i = 0; i < 5000; ++i)
        content += ">s" + std::to_string(i) + "\nACGTTGCAACGTAGCTAGCATCGACTAGCATCGACGAT\n";
    writeGzip(dir.file("t.gz"), content);
    std::string bytes = mftest::readFile(dir.file("t.gz"));
    mftest::writeFile(dir.file("t.gz"), bytes.substr(0, bytes.size() * 2 / 3));
    std::string error = errorOf([&] { readAll(dir.file("t.gz")); });
    EXPECT_EQ(error.rfind(dir.file("t.gz") + ":", 0), 0u) << error;
    EXPECT_NE(error.find("corrupt compressed data"), std::string::npos) << error;
}

} // namespace
