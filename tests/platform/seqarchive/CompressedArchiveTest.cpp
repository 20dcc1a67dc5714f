#include "SeqArchiveTestUtil.h"
#include "TestSupport.h"

#include <contracts/Compression.h>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using namespace satest;

const char* const kFasta = ">one first\nACGTACGTAC\nGGTT\n>two\nMKLVVPQRSTW\n";
const char* const kGenBank =
    "LOCUS       AB000001                  10 bp    DNA     linear   PLN 01-JAN-2000\n"
    "ORIGIN\n        1 acgtacgtac\n//\n";

// `content` compressed as `ext` says, stored under `name` (whatever that says).
std::string packedAs(const mftest::TempDir& dir, const std::string& ext, const std::string& name,
                     const std::string& content) {
    int error = 0;
    const std::string packed = dir.file("packing." + ext);
    EXPECT_TRUE(cmn::replaceFileContentsByName(packed, content, error));
    EXPECT_EQ(::rename(packed.c_str(), dir.file(name).c_str()), 0);
    return dir.file(name);
}

TEST(CompressedArchives, AreRecognisedAndReadByContentWhateverTheName) {
    mftest::TempDir dir;
    for (const char* ext : {"gz", "bz2", "xz", "zst"}) {
        const std::string fasta = packedAs(dir, ext, std::string("reads_") + ext + ".txt", kFasta);
        EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(fasta), Ovik::SALSource::FASTA) << ext;
        const Sequences reads = readAll(fasta);
        ASSERT_EQ(reads.size(), 2u) << ext;
        EXPECT_EQ(reads[0]->residues(), "ACGTACGTACGGTT");
        EXPECT_EQ(reads[1]->residues(), "MKLVVPQRSTW");

        const std::string gb = packedAs(dir, ext, std::string("contigs_") + ext, kGenBank);
        EXPECT_EQ(Ovik::SeqArchive::GetFileFormat(gb), Ovik::SALSource::GB) << ext;
        const Sequences contigs = readAll(gb);
        ASSERT_EQ(contigs.size(), 1u) << ext;
        EXPECT_EQ(contigs[0]->name(), "AB000001");
    }
}

TEST(CompressedArchives, WritersCompressByTheTargetName) {
    mftest::TempDir dir;
    const Sequences reads = readAll(mftest::writeFile(dir.file("in.fa"), kFasta));
    for (const char* ext : {"gz", "bz2", "xz", "zst"}) {
        const std::string out = dir.file(std::string("out.fa.") + ext);
        writeAll(out, "FASTA", reads);
        EXPECT_NE(cmn::compressionOfBytes(mftest::readFile(out)), cmn::Compression::None) << ext;
        std::string text, error;
        ASSERT_TRUE(cmn::readWholeFile(out, text, error)) << error;
        EXPECT_EQ(text, ">one first\nACGTACGTACGGTT\n>two\nMKLVVPQRSTW\n") << ext;
    }
    // An archive abandoned before it is closed leaves the old target as it was.
    const std::string target = mftest::writeFile(dir.file("kept.fa.gz"), "old");
    {
        Ovik::OSeqArchive archive(target, "FASTA", "");
        Ovik::saveSequence(*reads[0], archive);
    }
    EXPECT_EQ(mftest::readFile(target), "old");
    EXPECT_TRUE(tempFilesIn(dir.path()).empty());
}

TEST(CompressedArchives, BinaryContentIsRefusedBeforeItIsBuffered) {
    mftest::TempDir dir;
    // A large file of NULs without a line end: refused on its first block, by the reader of a
    // named format and by the archive probe alike.
    const std::string zeros = dir.file("zeros");
    mftest::writeFile(zeros, "");
    ASSERT_EQ(::truncate(zeros.c_str(), 256 << 20), 0); // sparse: nothing on disk
    std::string error = errorOf([&] { readAll(zeros, "FASTA"); });
    EXPECT_NE(error.find("binary content"), std::string::npos) << error;
    EXPECT_EQ(error.rfind(zeros + ":1:", 0), 0u) << error;
    error = errorOf([&] { readAll(zeros); });
    EXPECT_NE(error.find("unrecognised sequence format"), std::string::npos) << error;

    // The same NULs compressed: judged on the first inflated block.
    const std::string packed = packedAs(dir, "gz", "zeros.gz", std::string(4 << 20, '\0'));
    error = errorOf([&] { readAll(packed, "FASTA"); });
    EXPECT_NE(error.find("binary content"), std::string::npos) << error;
    // Blank content is still an empty archive.
    EXPECT_TRUE(readAll(packedAs(dir, "xz", "blank.xz", "\n \n\t\n")).empty());
}

TEST(CompressedArchives, ALineLongerThanTheBufferReadsWholeAndTheNextEntryFollows) {
    mftest::TempDir dir;
    std::string chromosome(3 << 20, 'A');
    for (std::size_t i = 0; i < chromosome.size(); i += 7)
        chromosome[i] = 'C';
    const std::string text = ">chr1\n" + chromosome + "\n>chr2\nGGGG\n>chr3\n" + chromosome;
    for (const std::string& path : {mftest::writeFile(dir.file("long.fa"), text),
                                    packedAs(dir, "zst", "long.fa.zst", text)}) {
        const Sequences entries = readAll(path);
        ASSERT_EQ(entries.size(), 3u) << path;
        EXPECT_EQ(entries[0]->residues(), chromosome);
        EXPECT_EQ(entries[1]->residues(), "GGGG");
        EXPECT_EQ(entries[2]->residues(), chromosome);
    }
}

} // namespace
