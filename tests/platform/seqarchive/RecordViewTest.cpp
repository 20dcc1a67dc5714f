// Entries read as views (nextRecordView) hold what entries read whole (createSequence) hold, for
// records parsed where they lie in the buffer and for those read line by line, across the
// buffer's refills; faults give the same messages, with the same line numbers, either way.
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace satest;

namespace {

using Type = Velm::Sequence::MoleculeType;

// What a test expects of one entry.
struct Expected {
    std::string name, description, residues;
    std::string scores; // one byte a residue, the Phred score
    bool hasQualities = false;
    Type type = Type::DNA;
};

// What a view showed, copied before the next call voids it.
Expected copyOf(const Ovik::RecordView& view) {
    return {std::string(view.name),     std::string(view.description), std::string(view.residues),
            std::string(view.qualities), view.hasQualities,             view.moleculeType};
}

Expected copyOf(const Velm::Sequence& seq) {
    Expected e{seq.name(), seq.description(), seq.residues(), "", false, seq.moleculeType()};
    if (const auto* na = dynamic_cast<const Velm::NASequence*>(&seq)) {
        e.hasQualities = na->hasConfidences();
        e.scores.assign(na->confidences().begin(), na->confidences().end());
    }
    return e;
}

std::vector<Expected> viewAll(const std::string& path, const std::string& format) {
    Ovik::ISeqArchive archive(path, format, "");
    std::vector<Expected> out;
    Ovik::RecordView view;
    while (Ovik::nextRecordView(archive, view))
        out.push_back(copyOf(view));
    EXPECT_TRUE(archive.atEnd());
    EXPECT_FALSE(Ovik::nextRecordView(archive, view)); // and stays at the end
    return out;
}

std::vector<Expected> readWhole(const std::string& path, const std::string& format) {
    std::vector<Expected> out;
    for (const auto& seq : readAll(path, format))
        out.push_back(copyOf(*seq));
    return out;
}

void expectSame(const std::vector<Expected>& got, const std::vector<Expected>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].name, want[i].name) << what << " #" << i;
        EXPECT_EQ(got[i].description, want[i].description) << what << " #" << i;
        EXPECT_EQ(got[i].residues, want[i].residues) << what << " #" << i;
        EXPECT_EQ(got[i].scores, want[i].scores) << what << " #" << i;
        EXPECT_EQ(got[i].hasQualities, want[i].hasQualities) << what << " #" << i;
        EXPECT_EQ(got[i].type, want[i].type) << what << " #" << i;
    }
}

std::string scores(const std::string& phred33) {
    std::string s;
    for (char c : phred33)
        s += static_cast<char>(c - 33);
    return s;
}

TEST(RecordView, FastqLayoutsGiveWhatEntriesHold) {
    struct Case {
        const char* what;
        const char* text;
        const char* format;
        std::vector<Expected> want;
    };
    const Case cases[] = {
        {"four lines, blanks in the title", "@r1  first read \nACGT\n+\n!+5I\n@r2\tx\nGG\n+r2\tx\nII\n", "FASTQ",
         {{"r1", "first read", "ACGT", scores("!+5I"), true}, {"r2", "x", "GG", scores("II"), true}}},
        {"CRLF, blank lines", "\r\n@c\r\nACG\r\n+\r\nIII\r\n\r\n@d\r\nT\r\n+d\r\n#\r\n", "FASTQ",
         {{"c", "", "ACG", scores("III"), true}, {"d", "", "T", scores("#"), true}}},
        {"wrapped between short ones", "@a\nAC\n+\nII\n@w\nAC\nGT\n+\n@+\n!!\n@b\nG\n+\nI\n", "FASTQ",
         {{"a", "", "AC", scores("II"), true},
          {"w", "", "ACGT", scores("@+!!"), true},
          {"b", "", "G", scores("I"), true}}},
        {"empty reads", "@e\n\n+\n\n@f\n\n+\n@g\nA\n+\nI\n", "FASTQ",
         {{"e", "", "", "", true}, {"f", "", "", "", true}, {"g", "", "A", scores("I"), true}}},
        {"lower case, IUPAC codes, RNA", "@l\nacgtn\n+\nIIIII\n@i\nRYKM-\n+\nIIIII\n@u\nACGU\n+\nIIII\n", "FASTQ",
         {{"l", "", "acgtn", scores("IIIII"), true},
          {"i", "", "RYKM-", scores("IIIII"), true},
          {"u", "", "ACGU", scores("IIII"), true, Type::RNA}}},
        {"no line end at the end", "@a\nAC\n+\nII\n@z\nA\n+\nI", "FASTQ",
         {{"a", "", "AC", scores("II"), true}, {"z", "", "A", scores("I"), true}}},
        {"Phred+64 named", "@p\nAC\n+\n@h\n", "fastq-illumina", {{"p", "", "AC", std::string("\0\x28", 2), true}}},
    };
    for (const Case& c : cases) {
        mftest::TempDir dir;
        const std::string path = mftest::writeFile(dir.file("in.fq"), c.text);
        expectSame(viewAll(path, c.format), c.want, c.what);
        expectSame(readWhole(path, c.format), c.want, std::string(c.what) + " (whole)");
    }
}

TEST(RecordView, FastaLayoutsGiveWhatEntriesHold) {
    struct Case {
        const char* what;
        const char* text;
        std::vector<Expected> want;
    };
    const Case cases[] = {
        {"one line each", ">a one\nACGT\n>b\ngattaca\n", {{"a", "one", "ACGT", ""}, {"b", "", "gattaca", ""}}},
        {"wrapped, comments, blank lines", ">a\nAC\nGT\n\n;note\n>b\nA C\n>c\nTT\n",
         {{"a", "", "ACGT", ""}, {"b", "", "AC", ""}, {"c", "", "TT", ""}}},
        {"CRLF, no line end at the end", ">a\r\nACG\r\n>b\r\nT", {{"a", "", "ACG", ""}, {"b", "", "T", ""}}},
        {"empty entry, protein", ">e\n>p\nMKVLAAGIVW\n>d\nAC\n",
         {{"e", "", "", "", false, Type::Unknown}, {"p", "", "MKVLAAGIVW", "", false, Type::Protein}, {"d", "", "AC", ""}}},
    };
    for (const Case& c : cases) {
        mftest::TempDir dir;
        const std::string path = mftest::writeFile(dir.file("in.fa"), c.text);
        expectSame(viewAll(path, "FASTA"), c.want, c.what);
        expectSame(readWhole(path, "FASTA"), c.want, std::string(c.what) + " (whole)");
    }
}

// Enough records of varied sizes that many lie across the buffer's end; now and then one that
// only the line-by-line reader takes (wrapped, CRLF), so that both ways take turns.
TEST(RecordView, ManyRecordsAcrossBufferRefills) {
    std::string fastq, fasta;
    std::vector<Expected> wantFastq, wantFasta;
    for (int i = 0; i < 6000; ++i) {
        const std::size_t n = 1 + static_cast<std::size_t>(i * 37 % 290);
        std::string bases, quals;
        for (std::size_t k = 0; k < n; ++k) {
            bases += "ACGTN"[(i + k * 7) % 5];
            quals += static_cast<char>('!' + (i + k) % 41);
        }
        const std::string name = "r" + std::to_string(i);
        const std::string description = i % 3 ? "lane=" + std::to_string(i % 8) : "";
        const std::string title = name + (description.empty() ? "" : " " + description);
        if (i % 97 == 5) {
            const std::size_t half = n / 2;
            fastq += "@" + title + "\n" + bases.substr(0, half) + "\n" + bases.substr(half) + "\n+\n" + quals + "\n";
            fasta += ">" + title + "\n" + bases.substr(0, half) + "\n" + bases.substr(half) + "\n";
        } else if (i % 89 == 7) {
            fastq += "@" + title + "\r\n" + bases + "\r\n+" + title + "\r\n" + quals + "\r\n";
            fasta += ">" + title + "\r\n" + bases + "\r\n";
        } else {
            fastq += "@" + title + "\n" + bases + "\n+\n" + quals + "\n";
            fasta += ">" + title + "\n" + bases + "\n";
        }
        wantFastq.push_back({name, description, bases, scores(quals), true});
        wantFasta.push_back({name, description, bases, ""});
    }
    ASSERT_GT(fastq.size(), 4u << 17);
    mftest::TempDir dir;
    const std::string fq = mftest::writeFile(dir.file("many.fq"), fastq);
    const std::string fa = mftest::writeFile(dir.file("many.fa"), fasta);
    expectSame(viewAll(fq, "FASTQ"), wantFastq, "FASTQ views");
    expectSame(readWhole(fq, "FASTQ"), wantFastq, "FASTQ entries");
    expectSame(viewAll(fa, "FASTA"), wantFasta, "FASTA views");
    expectSame(readWhole(fa, "FASTA"), wantFasta, "FASTA entries");

    // Views and whole entries taking turns read every record once, in order.
    Ovik::ISeqArchive archive(fq, "FASTQ", "");
    Ovik::RecordView view;
    std::vector<Expected> mixed;
    while (!archive.atEnd()) {
        if (mixed.size() % 3 == 1)
            mixed.push_back(copyOf(*Ovik::createSequence(archive)));
        else if (Ovik::nextRecordView(archive, view))
            mixed.push_back(copyOf(view));
    }
    expectSame(mixed, wantFastq, "taking turns");
}

TEST(RecordView, EntriesOfOtherFormatsComeWithTheirSequence) {
    const char* genbank =
        "LOCUS       AB000001                  8 bp    DNA     linear   PLN 01-JAN-2000\n"
        "DEFINITION  a test entry.\n"
        "ACCESSION   AB000001\n"
        "FEATURES             Location/Qualifiers\n"
        "     source          1..8\n"
        "ORIGIN\n"
        "        1 acgtacgt\n"
        "//\n";
    mftest::TempDir dir;
    const std::string path = mftest::writeFile(dir.file("in.gb"), genbank);
    Ovik::ISeqArchive archive(path, "", "");
    Ovik::RecordView view;
    ASSERT_TRUE(Ovik::nextRecordView(archive, view));
    ASSERT_NE(view.sequence, nullptr);
    EXPECT_EQ(view.name, view.sequence->name());
    EXPECT_EQ(view.accession, "AB000001");
    EXPECT_EQ(view.residues, "acgtacgt");
    EXPECT_EQ(view.sequence->features().size(), 1u);
    EXPECT_FALSE(view.hasQualities);
    EXPECT_FALSE(Ovik::nextRecordView(archive, view));

    // A short FASTQ record is parsed in place: no entry is built for it.
    const std::string fq = mftest::writeFile(dir.file("in.fq"), "@r\nAC\n+\nII\n");
    Ovik::ISeqArchive reads(fq, "FASTQ", "");
    ASSERT_TRUE(Ovik::nextRecordView(reads, view));
    EXPECT_EQ(view.sequence, nullptr);
    EXPECT_EQ(view.name, "r");
}

TEST(RecordView, FaultsGiveTheMessagesOfWholeEntriesAndStay) {
    struct Case {
        const char* text;
        const char* format;
        const char* error; // after the path
    };
    const std::string goodFastq = "@ok\nAC\n+\nII\n";
    const std::string goodFasta = ">ok\nAC\n";
    const Case cases[] = {
        {"@r\nACG\n+\nII\n@s\nA\n+\nI\n", "FASTQ", ":8: quality string length differs from the sequence length: 2 qualities for 3 bases"},
        {"@r\nAC\n+\nIII\n", "FASTQ", ":8: quality string length differs from the sequence length: 3 qualities for 2 bases"},
        {"@r\nAC\n@s\n", "FASTQ", ":7: missing '+' line after the sequence of the record that starts at line 5"},
        {"@r\nAC\n+\nI", "FASTQ", ":8: record cut short: the file ends in the record that starts at line 5 (1 of 2 qualities)"},
        {"@r\nAC\n+s\nII\n", "FASTQ", ":7: the '+' line names another record than its '@' line: s"},
        {"@r\nACG\n+\nI\x7FI\n", "FASTQ", ":8: invalid quality character 0x7F"},
        {"@r\nA\tC\n+\nIII\n", "FASTQ", ":6: invalid character in the sequence: 0x09"},
        {"@r\nA\xC3\xA9\n+\nIII\n", "FASTQ", ":6: invalid character in the sequence: 0xC3"},
        {"r\nAC\n+\nII\n", "FASTQ", ":5: expected a FASTQ header line starting with '@'"},
        {"@r\nAC\n+\n@5\n", "fastq-illumina", ":8: invalid quality character '5' (below the Phred+64 range)"},
        {">r\nA\xC3\xA9\n", "FASTA", ":4: not a residue: byte 0xC3 (residues are ASCII letters and symbols)"},
    };
    for (const Case& c : cases) {
        mftest::TempDir dir;
        const bool fastq = std::string(c.format) != "FASTA";
        const std::string path =
            mftest::writeFile(dir.file("in.txt"), (fastq ? goodFastq : goodFasta) + c.text);
        const std::string want = path + c.error;
        {
            Ovik::ISeqArchive archive(path, c.format, "");
            Ovik::RecordView view;
            ASSERT_TRUE(Ovik::nextRecordView(archive, view)) << c.text;
            EXPECT_EQ(view.name, "ok");
            const std::string first = errorOf([&] { Ovik::nextRecordView(archive, view); });
            EXPECT_EQ(first.substr(0, want.size()), want) << c.text;
            EXPECT_FALSE(archive.atEnd()) << c.text; // an error is never taken for the end
            EXPECT_EQ(errorOf([&] { Ovik::nextRecordView(archive, view); }), first) << c.text;
            EXPECT_EQ(errorOf([&] { Ovik::createSequence(archive); }), first) << c.text;
        }
        Ovik::ISeqArchive archive(path, c.format, "");
        Ovik::createSequence(archive);
        const std::string whole = errorOf([&] { Ovik::createSequence(archive); });
        EXPECT_EQ(whole.substr(0, want.size()), want) << c.text;
    }
    mftest::TempDir dir;
    const std::string path = mftest::writeFile(dir.file("in.fa"), "\n;c\nx\nAC\n");
    Ovik::ISeqArchive archive(path, "FASTA", "");
    Ovik::RecordView view;
    EXPECT_EQ(errorOf([&] { Ovik::nextRecordView(archive, view); }),
              path + ":3: expected a FASTA header line starting with '>'");
}

} // namespace
