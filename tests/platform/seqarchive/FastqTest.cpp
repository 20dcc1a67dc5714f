// FASTQ in the archive layer: record layouts, quality encodings, errors that keep what was read,
// the writer, detection, and archives over open descriptors (pipes).
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <thread>

using namespace satest;

namespace {

using Confidences = std::vector<unsigned char>;

const Confidences& confidencesOf(const boost::shared_ptr<Velm::Sequence>& seq) {
    return dynamic_cast<const Velm::NASequence&>(*seq).confidences();
}

Sequences readText(const std::string& text, const std::string& format = "FASTQ") {
    mftest::TempDir dir;
    return readAll(mftest::writeFile(dir.file("in.fq"), text), format);
}

struct Layout {
    const char* what;
    const char* text;
    std::vector<std::string> names, residues;
    std::vector<Confidences> confidences;
};

TEST(Fastq, ReadsEveryRecordLayout) {
    const Layout layouts[] = {
        {"four lines, description kept apart", "@r1 first read\nACGT\n+\n!+5I\n@r2\nGG\n+r2\nII\n",
         {"r1", "r2"}, {"ACGT", "GG"}, {{0, 10, 20, 40}, {40, 40}}},
        {"wrapped, qualities starting with @ and +", "@w\nAC\nGT\n+w\n@+\n!!\n@x\nA\n+\n@\n",
         {"w", "x"}, {"ACGT", "A"}, {{31, 10, 0, 0}, {31}}},
        {"CRLF and blank lines around", "\r\n@c\r\nACG\r\n+\r\nIII\r\n\r\n\r\n", {"c"}, {"ACG"},
         {{40, 40, 40}}},
        {"empty read with and without a quality line", "@e\n\n+\n\n@f\n\n+\n@g\nA\n+\nI\n",
         {"e", "f", "g"}, {"", "", "A"}, {{}, {}, {40}}},
    };
    for (const Layout& l : layouts) {
        const Sequences got = readText(l.text);
        ASSERT_EQ(got.size(), l.names.size()) << l.what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i]->name(), l.names[i]) << l.what;
            EXPECT_EQ(got[i]->residues(), l.residues[i]) << l.what;
            EXPECT_EQ(confidencesOf(got[i]), l.confidences[i]) << l.what;
        }
    }
    EXPECT_EQ(readText("@r1 first read\nACGT\n+\nIIII\n")[0]->description(), "first read");
    EXPECT_EQ(readText("@u\nACGU\n+\nIIII\n")[0]->moleculeType(), Velm::Sequence::MoleculeType::RNA);
}

TEST(Fastq, QualitiesArePhred33UnlessAnOldEncodingIsNamed) {
    struct Case {
        const char* format;
        std::string qualities;
        Confidences expected;
    };
    const Case cases[] = {
        {"FASTQ", "!5I", {0, 20, 40}},
        // High-quality modern reads: nothing below ';', much above 'J'. Still Phred+33.
        {"FASTQ", "KLM~", {42, 43, 44, 93}},
        {"FASTQ", "@Th", {31, 51, 71}},
        {"fastq-illumina", "@Th", {0, 20, 40}},
        {"FASTQ-Illumina", "@Th", {0, 20, 40}},
        // Solexa scores below 0 (';' to '?') are converted to Phred.
        {"fastq-solexa", ";@h", {1, 3, 40}},
    };
    for (const Case& c : cases) {
        const Sequences got = readText("@q\nACG" + std::string(c.qualities.size() - 3, 'A') + "\n+\n" +
                                       c.qualities + "\n", c.format);
        ASSERT_EQ(got.size(), 1u) << c.format << " " << c.qualities;
        EXPECT_EQ(confidencesOf(got[0]), c.expected) << c.format << " " << c.qualities;
    }
    // Many high reads, then one low read: all Phred+33, no error.
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "@r" + std::to_string(i) + "\nAC\n+\nhh\n";
    text += "@low\nAC\n+\n!!\n";
    const Sequences all = readText(text);
    ASSERT_EQ(all.size(), 2001u);
    EXPECT_EQ(confidencesOf(all.front()), (Confidences{71, 71}));
    EXPECT_EQ(confidencesOf(all.back()), (Confidences{0, 0}));
    // Named Phred+64: a character below '@' is an error with its line.
    const std::string low = errorOf([&] { readText("@a\nAC\n+\nhh\n@b\nAC\n+\n5h\n", "fastq-illumina"); });
    EXPECT_NE(low.find(":8: invalid quality character '5' (below the Phred+64 range)"), std::string::npos) << low;
    // Outside '!'..'~': an error in every encoding.
    for (const char* format : {"FASTQ", "fastq-illumina", "fastq-solexa"}) {
        const std::string bad = errorOf([&] { readText("@a\nAC\n+\nh\x7f\n", format); });
        EXPECT_NE(bad.find(":4: invalid quality character 0x7F"), std::string::npos) << format << bad;
    }
}

TEST(Fastq, QualitiesThatLookPhred64AreWarnedAboutOnce) {
    struct Case {
        std::string text;
        const char* format;
        std::size_t reads;
        const char* named; // the format the warning names, or null for none
    };
    std::string many;
    for (int i = 0; i < 1500; ++i)
        many += "@r" + std::to_string(i) + "\nACGT\n+\nKLM~\n";
    const Case cases[] = {
        {"@r\nACGT\n+\nKLM~\n", "FASTQ", 1, "fastq-illumina"},
        {"@r\nACGT\n+\n;LM~\n", "", 1, "fastq-solexa"},
        {many, "FASTQ", 1500, "fastq-illumina"},
        {"@r\nACGT\n+\n!LM~\n", "FASTQ", 1, nullptr},
        {"@r\nACGT\n+\nIIII\n", "FASTQ", 1, nullptr},
        {"@r\nACGT\n+\nKLM~\n", "fastq-illumina", 1, nullptr},
    };
    for (const Case& c : cases) {
        mftest::TempDir dir;
        cmn::OpContext ctx;
        const Sequences got = readAll(mftest::writeFile(dir.file("in.fq"), c.text), c.format, &ctx);
        EXPECT_EQ(got.size(), c.reads);
        const std::vector<std::string> warnings = ctx.warnings();
        if (!c.named) {
            EXPECT_TRUE(warnings.empty()) << c.text.substr(0, 20);
            continue;
        }
        ASSERT_EQ(warnings.size(), 1u) << c.text.substr(0, 20);
        EXPECT_NE(warnings[0].find(c.named), std::string::npos) << warnings[0];
        EXPECT_NE(warnings[0].find("read as Phred+33"), std::string::npos) << warnings[0];
    }
}

TEST(Fastq, MalformedRecordsNameTheLineAndKeepWhatWasRead) {
    struct Case {
        const char* text;
        const char* line; // "path:<line>: <reason>"
        const char* reason;
    };
    const std::string good = "@ok\nAC\n+\nII\n";
    const Case cases[] = {
        {"@r\nACG\n+\nII\n@s\nA\n+\nI\n", ":8: ", "quality string length differs from the sequence length: 2 qualities for 3 bases"},
        {"@r\nAC\n+\nIII\n", ":8: ", "quality string length differs from the sequence length: 3 qualities for 2 bases"},
        {"@r\nAC\n@s\n", ":7: ", "missing '+' line after the sequence of the record that starts at line 5"},
        {"@r\nAC\n+\nI", ":8: ", "record cut short: the file ends in the record that starts at line 5 (1 of 2 qualities)"},
        {"@r\nAC\n", ":6: ", "record cut short: the file ends in the record that starts at line 5"},
        {"@r\nAC\n+s\nII\n", ":7: ", "the '+' line names another record than its '@' line: s"},
        {"@r\nACG\n+\nI I\n", ":8: ", "invalid quality character 0x20"},
        {"@r\nA C\n+\nIII\n", ":6: ", "invalid character in the sequence: 0x20"},
        {"r\nAC\n+\nII\n", ":5: ", "expected a FASTQ header line starting with '@'"},
    };
    for (const Case& c : cases) {
        mftest::TempDir dir;
        const std::string path = mftest::writeFile(dir.file("in.fq"), good + c.text);
        Ovik::ISeqArchive archive(path, "FASTQ", "");
        ASSERT_FALSE(archive.atEnd());
        EXPECT_EQ(Ovik::createSequence(archive)->name(), "ok") << c.text;
        EXPECT_FALSE(archive.atEnd()) << c.text; // an error is never taken for the end
        EXPECT_EQ(errorOf([&] { Ovik::createSequence(archive); }), path + c.line + c.reason);
    }
}

TEST(Fastq, WriterKeepsQualitiesAndRefusesToInventThem) {
    mftest::TempDir dir;
    const Sequences reads = readText("@r1 a read\nACGT\n+\n!+5~\n");
    writeAll(dir.file("out.fq"), "fq", reads);
    EXPECT_EQ(mftest::readFile(dir.file("out.fq")), "@r1 a read\nACGT\n+\n!+5~\n");

    // FASTA has no place for qualities: they are left out.
    writeAll(dir.file("out.fa"), "FASTA", reads);
    EXPECT_EQ(mftest::readFile(dir.file("out.fa")), ">r1 a read\nACGT\n");

    // Without confidences, FASTQ needs a default quality; the old target survives the refusal.
    const Sequences plain{boost::make_shared<Velm::Sequence>("p", "ACG")};
    mftest::writeFile(dir.file("old.fq"), "old");
    EXPECT_EQ(errorOf([&] { writeAll(dir.file("old.fq"), "FASTQ", plain); }),
              "Cannot write sequence file " + dir.file("old.fq") +
                  ": no qualities to write for sequence 'p' (and no default quality was given)");
    EXPECT_EQ(mftest::readFile(dir.file("old.fq")), "old");
    {
        Ovik::OSeqArchive archive(dir.file("old.fq"), "FASTQ", "");
        archive.setDefaultQuality(30);
        Ovik::saveSequence(*plain[0], archive);
        archive.close();
    }
    EXPECT_EQ(mftest::readFile(dir.file("old.fq")), "@p\nACG\n+\n???\n");
}

TEST(Fastq, DetectedByContentAlsoWhenCompressed) {
    mftest::TempDir dir;
    const std::string text = "@r1\nACGT\n+\nIIII\n";
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(mftest::writeFile(dir.file("a.txt"), text)), "FASTQ");
    writeGzip(dir.file("b.gz"), text);
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(dir.file("b.gz")), "FASTQ");
    // A long read cut by the prefix still counts; an '@' line without a '+' after it does not.
    const std::string longRead = "@long\n" + std::string(100000, 'A') + "\n+\n" + std::string(100000, 'I') + "\n";
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(mftest::writeFile(dir.file("c"), longRead)), "FASTQ");
    EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(mftest::writeFile(dir.file("d"), "@home\nnot a read\n")), "");
    EXPECT_EQ(readAll(dir.file("b.gz")).size(), 1u);
}

// Feeds `text` into a pipe from another thread and returns the read end.
int pipeWith(const std::string& text, std::thread& feeder) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    feeder = std::thread([fd = fds[1], text] {
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
    });
    return fds[0];
}

TEST(Fastq, ArchivesReadPipesFromTheirFirstByteAndWriteToDescriptors) {
    std::string text;
    for (int i = 0; i < 5000; ++i) // more than one look ahead and one buffer
        text += "@read" + std::to_string(i) + "\nACGTACGTAC\n+\nIIIIIIIIII\n";
    std::thread feeder;
    const int fd = pipeWith(text, feeder);
    Ovik::SeqInputStream input(fd, "-");
    bool complete = true;
    EXPECT_EQ(std::string(input.head(6, complete)), "@read0");
    EXPECT_FALSE(complete);
    EXPECT_EQ(input.format(), "FASTQ");
    Ovik::ISeqArchive archive(input, "");
    EXPECT_EQ(archive.archiveFormat(), "FASTQ");
    std::size_t count = 0;
    std::string first;
    while (!archive.atEnd()) {
        const auto seq = Ovik::createSequence(archive);
        if (count++ == 0)
            first = seq->name();
    }
    feeder.join();
    ::close(fd);
    EXPECT_EQ(count, 5000u);
    EXPECT_EQ(first, "read0");
    EXPECT_NE(errorOf([&] { input.format(); }).find("the stream has already been read"), std::string::npos);

    mftest::TempDir dir;
    const int out = ::open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    {
        Ovik::OSeqArchive writer(out, "-", "FASTA");
        Ovik::saveSequence(*readText("@r\nAC\n+\nII\n")[0], writer);
        writer.close();
    }
    ::close(out);
    EXPECT_EQ(mftest::readFile(dir.file("out")), ">r\nAC\n");
}

// Files written by other tools (tests/data/fastq, see SOURCES.md).
std::string sample(const std::string& name) { return mftest::testdataFile("fastq/" + name); }

TEST(FastqThirdParty, EncodingsAndLayoutsComeOutAsThePublishedPhred33Forms) {
    MF_REQUIRE_TESTDATA();
    for (const char* stem : {"solexa_full_range", "illumina_full_range", "wrapping"}) {
        mftest::TempDir dir;
        const std::string original = stem == std::string("wrapping")
                                         ? sample("wrapping_original_sanger.fastq")
                                         : sample(std::string(stem) + "_original_" +
                                                  (stem[0] == 's' ? "solexa" : "illumina") + ".fastq");
        const char* format = stem[0] == 's' ? "fastq-solexa" : stem[0] == 'i' ? "fastq-illumina" : "FASTQ";
        writeAll(dir.file("out.fq"), "FASTQ", readAll(original, format));
        EXPECT_EQ(mftest::readFile(dir.file("out.fq")),
                  mftest::readFile(sample(std::string(stem) + "_as_sanger.fastq")))
            << stem;
    }
    // And back: Phred+64 written under its name gives the original characters.
    {
        mftest::TempDir dir;
        writeAll(dir.file("back.fq"), "fastq-illumina",
                 readAll(sample("illumina_full_range_as_sanger.fastq"), "FASTQ"));
        EXPECT_EQ(mftest::readFile(dir.file("back.fq")),
                  mftest::readFile(sample("illumina_full_range_original_illumina.fastq")));
    }
    const Sequences full = readAll(sample("sanger_full_range_original_sanger.fastq"));
    ASSERT_EQ(full.size(), 2u);
    EXPECT_EQ(confidencesOf(full[0]).front(), 0);
    EXPECT_EQ(confidencesOf(full[0]).back(), 93);
}

TEST(FastqThirdParty, ReadsEveryWellFormedSample) {
    MF_REQUIRE_TESTDATA();
    struct Case {
        const char* file;
        std::size_t count;
        const char* lastName;
        std::size_t lastLength;
    };
    const Case cases[] = {
        {"tricky.fastq", 4, "071113_EAS56_0053:1:3:990:501", 36},
        {"example.fastq", 3, "EAS54_6_R1_2_1_443_348", 25},
        {"example_dos.fastq", 3, "EAS54_6_R1_2_1_443_348", 25},
        {"example.fastq.bgz", 3, "EAS54_6_R1_2_1_443_348", 25},
        {"zero_length.fastq", 5, "EMWLCP001AOVPY", 68},
        {"longreads_original_sanger.fastq.gz", 10, "FSRRS4401EG0ZW", 424},
        {"misc_rna_original_sanger.fastq", 4, "FAKE0014", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(sample(c.file)), "FASTQ") << c.file;
        const Sequences got = readAll(sample(c.file));
        ASSERT_EQ(got.size(), c.count) << c.file;
        EXPECT_EQ(got.back()->name(), c.lastName) << c.file;
        if (c.lastLength) {
            EXPECT_EQ(got.back()->length(), c.lastLength) << c.file;
        }
        for (const auto& seq : got)
            EXPECT_EQ(confidencesOf(seq).size(), seq->length()) << c.file << " " << seq->name();
    }
}

TEST(FastqThirdParty, EveryBrokenSampleFailsWithItsLineAfterTheGoodRecords) {
    MF_REQUIRE_TESTDATA();
    struct Case {
        const char* file;
        std::size_t good; // records read before the error
        const char* where;
    };
    const Case cases[] = {
        {"error_diff_ids.fastq", 2, ":11: the '+' line names another record"},
        {"error_double_seq.fastq", 3, ":15: missing '+' line"},
        {"error_long_qual.fastq", 3, ":16: quality string length differs"},
        {"error_short_qual.fastq", 2, ":12: quality string length differs"},
        {"error_no_qual.fastq", 0, ":4: quality string length differs"},
        {"error_qual_null.fastq", 0, ":4: invalid quality character 0x00"},
        {"error_qual_space.fastq", 3, ":16: invalid quality character 0x20"},
        {"error_spaces.fastq", 0, ":2: invalid character in the sequence"},
        {"error_trunc_at_plus.fastq", 4, ":19: record cut short"},
        {"error_trunc_in_qual.fastq", 4, ":20: record cut short"},
        {"error_trunc_in_title.fastq", 4, ":17: record cut short"},
    };
    for (const Case& c : cases) {
        Ovik::ISeqArchive archive(sample(c.file), "FASTQ", "");
        std::size_t read = 0;
        const std::string error = errorOf([&] {
            while (!archive.atEnd()) {
                Ovik::createSequence(archive);
                ++read;
            }
        });
        EXPECT_EQ(read, c.good) << c.file;
        EXPECT_EQ(error.find(sample(c.file) + c.where), 0u) << c.file << ": " << error;
    }
}

} // namespace

namespace {

// Lines far longer than the reader's buffer are read in pieces: a piece may end between a CR and
// its LF, a '+' line is compared piece by piece, and the title's split is the same as for a short
// one.
TEST(Fastq, RecordsOfHugeLinesReadAsShortOnes) {
    const std::size_t n = 700000; // several buffers
    std::string bases, qualities;
    for (std::size_t i = 0; i < n; ++i) {
        bases += "ACGT"[i % 4];
        qualities += static_cast<char>('!' + i % 40);
    }
    const std::string name(n, 'n'), description(n / 2, 'd');
    for (const char* eol : {"\n", "\r\n"}) {
        const std::string title = "  " + name + " \t" + description + " ";
        const std::string e = eol;
        const std::string text = "@" + title + e + bases + e + "+" + title + e + qualities + e +
                                 "@s" + e + "AC" + e + "+" + e + "II" + e;
        const Sequences got = readText(text);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0]->name(), name);
        EXPECT_EQ(got[0]->description(), description);
        EXPECT_EQ(got[0]->residues(), bases);
        const Confidences& q = confidencesOf(got[0]);
        ASSERT_EQ(q.size(), n);
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_EQ(q[i], i % 40) << i;
        EXPECT_EQ(got[1]->name(), "s");
        EXPECT_EQ(confidencesOf(got[1]), Confidences({40, 40}));
    }
    // A description larger than the name keeps the title's bytes just as well.
    const std::string longDescription = "@r " + std::string(n, 'x') + "\nA\n+\nI\n";
    EXPECT_EQ(readText(longDescription)[0]->description(), std::string(n, 'x'));
    EXPECT_EQ(readText(longDescription)[0]->name(), "r");
}

TEST(Fastq, HugeLinesAreRefusedWithTheirLineAndAShortQuote) {
    const std::size_t n = 500000;
    const std::string title(n, 't');
    struct Case {
        std::string text, message;
    };
    std::string otherPlus = title;
    otherPlus[n - 1] = 'u'; // differs only in its last byte
    const Case cases[] = {
        {"@" + title + "\nACGT\n+" + otherPlus + "\nIIII\n", "in.fq:3: the '+' line names another record"},
        {"@" + title + "\nACGT\n+" + title + "x\nIIII\n", "(500001 bytes)"},
        {"@r\n" + std::string(n, 'A') + " \n+\n" + std::string(n + 1, 'I') + "\n", "in.fq:2:"},
        {"@r\n" + std::string(n, 'A') + "\n+\n" + std::string(n + 3, 'I') + "\n", "500003 qualities for 500000 bases"},
        {"@r\nACGT\n+\n" + std::string(n, 'I') + "\n", "in.fq:4:"},
    };
    for (const Case& c : cases) {
        try {
            readText(c.text);
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const Ovik::SeqArchiveError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(c.message), std::string::npos) << what.substr(0, 300);
            EXPECT_LT(what.size(), 400u) << what.substr(0, 300);
        }
    }
}

} // namespace

namespace {

// A byte above 127 is no residue (a UTF-8 letter, a Latin-1 sign): refused as a space in a read is.
TEST(ArchiveResidues, BytesAbove127AreRefused) {
    const std::pair<const char*, std::string> cases[] = {
        {"FASTQ", "@s\nAC\xb6GT\n+\nIIIII\n"},
        {"FASTA", ">s\nACGT\nAC\xb6GT\n"},
        {"FASTA", ">s\n" + std::string(5000, 'A') + "\xc3\xa9\n"},
        {"EMBL", "ID   s; SV 1; linear; DNA; STD; UNC; 5 BP.\nXX\nSQ   Sequence 5 BP;\n     ac\xb6gt                                                      5\n//\n"},
    };
    for (const auto& c : cases) {
        try {
            const Sequences got = readText(c.second, c.first);
            ADD_FAILURE() << c.first << " accepted: " << (got.empty() ? "" : got[0]->residues());
        } catch (const Ovik::SeqArchiveError& e) {
            const std::string what = e.what();
            EXPECT_TRUE(what.find("0xB6") != std::string::npos || what.find("0xC3") != std::string::npos)
                << c.first << ": " << what;
        }
    }
}

} // namespace
