#include <contracts/Compression.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Kind {
    cmn::Compression compression;
    const char* ext;
};
const Kind kKinds[] = {{cmn::Compression::Gzip, "gz"},
                       {cmn::Compression::Bzip2, "bz2"},
                       {cmn::Compression::Xz, "xz"},
                       {cmn::Compression::Zstd, "zst"}};

// Text of several input blocks, varied enough not to compress to nothing.
std::string sampleText(std::size_t lines) {
    std::string text;
    unsigned state = 7;
    for (std::size_t i = 0; i < lines; ++i) {
        text += ">read" + std::to_string(i) + "\n";
        for (int j = 0; j < 70; ++j) {
            state = state * 1103515245u + 12345u;
            text += "ACGT"[(state >> 16) & 3];
        }
        text += "\n";
    }
    return text;
}

// The file's bytes as the library writes them for `name`.
std::string packed(const mftest::TempDir& dir, const std::string& name, const std::string& content) {
    int error = 0;
    EXPECT_TRUE(cmn::replaceFileContentsByName(dir.file(name), content, error)) << name << ": " << error;
    return mftest::readFile(dir.file(name));
}

TEST(Compression, MagicBytesAndNamesTellTheCompression) {
    EXPECT_EQ(cmn::compressionOfBytes(std::string("\x1f\x8b\x08", 3)), cmn::Compression::Gzip);
    EXPECT_EQ(cmn::compressionOfBytes("BZh9"), cmn::Compression::Bzip2);
    EXPECT_EQ(cmn::compressionOfBytes("BZhx"), cmn::Compression::None); // no block size digit
    EXPECT_EQ(cmn::compressionOfBytes(std::string("\xfd" "7zXZ\0", 6)), cmn::Compression::Xz);
    EXPECT_EQ(cmn::compressionOfBytes("\x28\xb5\x2f\xfd"), cmn::Compression::Zstd);
    EXPECT_EQ(cmn::compressionOfBytes("\x1f"), cmn::Compression::None);
    EXPECT_EQ(cmn::compressionOfBytes(">seq\nACGT\n"), cmn::Compression::None);

    EXPECT_EQ(cmn::compressionOfName("reads.fastq.GZ"), cmn::Compression::Gzip);
    EXPECT_EQ(cmn::compressionOfName("dir/contigs.gb.bz2"), cmn::Compression::Bzip2);
    EXPECT_EQ(cmn::compressionOfName("aln.msf.xz"), cmn::Compression::Xz);
    EXPECT_EQ(cmn::compressionOfName("a.zst"), cmn::Compression::Zstd);
    for (const char* plain : {"gz", "x.tgz", "x.gzip", "x.fa", "xgz"})
        EXPECT_EQ(cmn::compressionOfName(plain), cmn::Compression::None) << plain;
    EXPECT_EQ(cmn::withoutCompressionExtension("dir.v1/reads.fa.gz"), "dir.v1/reads.fa");
    EXPECT_EQ(cmn::withoutCompressionExtension("reads.fa"), "reads.fa");
}

TEST(Compression, EveryCompressionRoundTripsThroughTheStreamInAnyReadSize) {
    mftest::TempDir dir;
    const std::string text = sampleText(5000); // about 400 KB: several input blocks
    for (const Kind& kind : kKinds) {
        const std::string name = std::string("f.") + kind.ext;
        const std::string bytes = packed(dir, name, text);
        EXPECT_EQ(cmn::compressionOfBytes(bytes), kind.compression) << name;
        EXPECT_LT(bytes.size(), text.size()) << name;

        std::string whole, error;
        ASSERT_TRUE(cmn::readWholeFile(dir.file(name), whole, error)) << name << ": " << error;
        EXPECT_EQ(whole, text) << name;

        // Small reads see the same bytes: nothing is lost between decoder calls.
        cmn::InputStream in;
        ASSERT_TRUE(in.open(dir.file(name)));
        EXPECT_EQ(in.compression(), kind.compression);
        std::string pieces;
        char buffer[7];
        while (std::size_t got = in.read(buffer, sizeof buffer))
            pieces.append(buffer, got);
        EXPECT_EQ(pieces, text) << name;
    }
    // A plain file, whatever its name, passes unchanged.
    mftest::writeFile(dir.file("plain.gz"), text);
    std::string whole, error;
    ASSERT_TRUE(cmn::readWholeFile(dir.file("plain.gz"), whole, error));
    EXPECT_EQ(whole, text);
}

TEST(Compression, StreamsLaidEndToEndReadAsOne) {
    mftest::TempDir dir;
    const std::string first = sampleText(300), second = ">last\nTTTT\n";
    for (const Kind& kind : kKinds) {
        const std::string a = packed(dir, std::string("a.") + kind.ext, first);
        const std::string b = packed(dir, std::string("b.") + kind.ext, second);
        std::string joined = a + b;
        if (kind.compression == cmn::Compression::Gzip) {
            // BGZF ends with an empty member whose header carries an extra field.
            joined += std::string("\x1f\x8b\x08\x04\0\0\0\0\0\xff\x06\0\x42\x43\x02\0\x1b\0\x03\0\0\0\0\0\0\0\0\0", 28);
        }
        const std::string path = mftest::writeFile(dir.file(std::string("joined.") + kind.ext), joined);
        std::string whole, error;
        ASSERT_TRUE(cmn::readWholeFile(path, whole, error)) << kind.ext << ": " << error;
        EXPECT_EQ(whole, first + second) << kind.ext;
    }
}

TEST(Compression, CorruptOrTruncatedStreamsAreErrorsNamingThePath) {
    mftest::TempDir dir;
    const std::string text = sampleText(2000);
    for (const Kind& kind : kKinds) {
        const std::string bytes = packed(dir, std::string("ok.") + kind.ext, text);
        std::string corrupt = bytes;
        for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 16; ++i)
            corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5a);
        const struct {
            const char* name;
            std::string bytes;
            const char* reason; // part of the message, "" for any
        } cases[] = {
            {"half", bytes.substr(0, bytes.size() / 2), "truncated"},
            {"header", bytes.substr(0, 8), "truncated"},
            {"corrupt", corrupt, ""},
        };
        for (const auto& c : cases) {
            const std::string path = mftest::writeFile(dir.file(std::string(c.name) + "." + kind.ext), c.bytes);
            std::string whole, error;
            EXPECT_FALSE(cmn::readWholeFile(path, whole, error)) << path;
            EXPECT_NE(error.find(c.reason), std::string::npos) << path << ": " << error;
            EXPECT_FALSE(error.empty()) << path;

            cmn::InputStream in;
            ASSERT_TRUE(in.open(path));
            std::vector<char> buffer(1 << 16);
            try {
                while (in.read(buffer.data(), buffer.size()) > 0) {
                }
                ADD_FAILURE() << path << ": read to a clean end";
            } catch (const cmn::InputError& failure) {
                EXPECT_EQ(std::string(failure.what()).rfind(path + ": ", 0), 0u) << failure.what();
            }
        }
    }
}

TEST(Compression, TheContentHeadIsInflatedOnlyAsFarAsAsked) {
    mftest::TempDir dir;
    const std::string text(8 << 20, 'A'); // 8 MB that pack into a few KB
    packed(dir, "many.gz", text);
    std::string_view head;
    bool complete = true;
    ASSERT_TRUE(cmn::peekContentHead(dir.file("many.gz"), 4096, head, complete));
    EXPECT_EQ(head, std::string(4096, 'A'));
    EXPECT_FALSE(complete);

    packed(dir, "small.xz", ">s\nACGT\n");
    ASSERT_TRUE(cmn::peekContentHead(dir.file("small.xz"), 4096, head, complete));
    EXPECT_EQ(head, ">s\nACGT\n");
    EXPECT_TRUE(complete);

    // A truncated stream gives what decoded, as incomplete; the reader reports the fault.
    const std::string bytes = packed(dir, "cut.gz", sampleText(2000));
    mftest::writeFile(dir.file("cut.gz"), bytes.substr(0, bytes.size() / 2));
    ASSERT_TRUE(cmn::peekContentHead(dir.file("cut.gz"), 1 << 20, head, complete));
    EXPECT_FALSE(complete);
    EXPECT_EQ(head.substr(0, 6), ">read0");
}

TEST(Compression, AFailedCompressedWriteLeavesTheOldFile) {
    mftest::TempDir dir;
    const std::string target = mftest::writeFile(dir.file("keep.gz"), "old");
    int error = 0;
    EXPECT_FALSE(cmn::replaceFileContentsByName(dir.file("missing/x.gz"), "new", error));
    EXPECT_NE(error, 0);
    EXPECT_EQ(mftest::readFile(target), "old");
}

} // namespace
