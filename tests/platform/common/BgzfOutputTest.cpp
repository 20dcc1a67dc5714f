// gzip output as BGZF: content round trips through our reader and zlib at the sizes around the
// block boundaries, the members' structure, levels, and failing sinks.
#include "platform/common/BgzfWriter.h"

#include <contracts/Common.h>
#include <contracts/Compression.h>

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Bytes that do not deflate at all.
std::string noise(std::size_t size) {
    std::string out(size, '\0');
    std::uint64_t state = 88172645463325252ull;
    for (char& c : out) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        c = static_cast<char>(state);
    }
    return out;
}

// Writes `content` compressed as gzip into `path`, in pieces of `piece` bytes.
void writeGzip(const std::string& path, const std::string& content, std::size_t piece, int level = -1) {
    cmn::ReplacingFile file(path);
    cmn::OutputCompressor packer(cmn::Compression::Gzip, file, level);
    for (std::size_t at = 0; at < content.size(); at += piece)
        ASSERT_TRUE(packer.write(content.data() + at, std::min(piece, content.size() - at)));
    ASSERT_TRUE(packer.finish());
    ASSERT_TRUE(file.commit());
}

// zlib's reading of every member, one after another.
std::string inflateWithZlib(const std::string& bytes) {
    std::string out;
    std::size_t at = 0;
    while (at < bytes.size()) {
        z_stream z = {};
        EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + at));
        z.avail_in = static_cast<uInt>(bytes.size() - at);
        int result = Z_OK;
        char buffer[1 << 16];
        while (result == Z_OK) {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            result = inflate(&z, Z_NO_FLUSH);
            out.append(buffer, sizeof buffer - z.avail_out);
        }
        EXPECT_EQ(result, Z_STREAM_END) << "member at " << at;
        at = bytes.size() - z.avail_in;
        inflateEnd(&z);
        if (result != Z_STREAM_END)
            break;
    }
    return out;
}

unsigned get16(const std::string& s, std::size_t at) {
    return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}
std::uint32_t get32(const std::string& s, std::size_t at) { return get16(s, at) | get16(s, at + 2) << 16; }

struct Member {
    std::size_t offset, size, content;
};

// The members of a BGZF file, each checked against the format: gzip header with FEXTRA, one "BC"
// field of two bytes whose BSIZE + 1 is the member's size, content of at most one block, CRC-32.
std::vector<Member> members(const std::string& bytes, const std::string& content) {
    std::vector<Member> out;
    std::size_t at = 0, contentAt = 0;
    while (at < bytes.size()) {
        EXPECT_GE(bytes.size() - at, 28u);
        EXPECT_EQ(bytes.substr(at, 4), std::string("\x1f\x8b\x08\x04", 4)) << "at " << at;
        EXPECT_EQ(get16(bytes, at + 10), 6u) << "XLEN at " << at;
        EXPECT_EQ(bytes.substr(at + 12, 4), std::string("BC\x02\x00", 4)) << "at " << at;
        const std::size_t size = get16(bytes, at + 16) + 1;
        EXPECT_LE(at + size, bytes.size());
        const std::size_t length = get32(bytes, at + size - 4);
        EXPECT_LE(length, cmn::kBgzfBlockContent);
        const std::string piece = content.substr(contentAt, length);
        EXPECT_EQ(get32(bytes, at + size - 8),
                  crc32(0, reinterpret_cast<const Bytef*>(piece.data()), static_cast<uInt>(piece.size())));
        out.push_back({at, size, length});
        at += size;
        contentAt += length;
    }
    EXPECT_EQ(contentAt, content.size());
    return out;
}

TEST(BgzfOutput, RoundTripsAtEverySizeAroundTheBlocks) {
    mftest::TempDir dir;
    const std::size_t B = cmn::kBgzfBlockContent;
    const std::size_t sizes[] = {0, 1, B - 1, B, B + 1, 65535, 65536, 65537, 5 * B + 17, 40 * B};
    for (std::size_t size : sizes) {
        const std::string content = mftest::sequenceText(size, static_cast<unsigned>(size));
        for (std::size_t piece : {std::size_t(1000), std::size_t(B), std::size_t(1) << 20}) {
            if (piece == 1000 && size > 10 * B)
                continue;
            SCOPED_TRACE("size " + std::to_string(size) + ", pieces of " + std::to_string(piece));
            const std::string path = dir.file("x.gz");
            writeGzip(path, content, piece);
            const std::string bytes = mftest::readFile(path);

            std::string back, error;
            ASSERT_TRUE(cmn::readWholeFile(path, back, error)) << error;
            EXPECT_TRUE(back == content) << "our reader";
            EXPECT_TRUE(inflateWithZlib(bytes) == content) << "zlib";

            const std::vector<Member> found = members(bytes, content);
            // Full blocks but the last one, then the end-of-file member.
            ASSERT_EQ(found.size(), (size + B - 1) / B + 1);
            for (std::size_t i = 0; i + 2 < found.size(); ++i)
                EXPECT_EQ(found[i].content, B) << "member " << i;
            EXPECT_EQ(bytes.substr(found.back().offset), std::string(reinterpret_cast<const char*>(cmn::kBgzfEof),
                                                                    sizeof cmn::kBgzfEof));
        }
    }
}

TEST(BgzfOutput, ContentThatDoesNotDeflateIsStoredWithinTheBlockLimit) {
    mftest::TempDir dir;
    for (int level : {0, 1, 12}) {
        const std::string content = noise(3 * cmn::kBgzfBlockContent + 5);
        const std::string path = dir.file("noise.gz");
        writeGzip(path, content, 4096, level);
        const std::string bytes = mftest::readFile(path);
        for (const Member& m : members(bytes, content))
            EXPECT_LE(m.size, cmn::kBgzfMaxBlock) << "level " << level;
        std::string back, error;
        ASSERT_TRUE(cmn::readWholeFile(path, back, error)) << error;
        EXPECT_TRUE(back == content) << "level " << level;
        EXPECT_TRUE(inflateWithZlib(bytes) == content) << "level " << level;
    }
}

TEST(BgzfOutput, LevelsAreCheckedAndChangeTheOutput) {
    const cmn::CompressionLevels gzip = cmn::compressionLevels(cmn::Compression::Gzip);
    EXPECT_EQ(gzip.lowest, 0);
    EXPECT_EQ(gzip.highest, 12);
    EXPECT_EQ(gzip.standard, cmn::kBgzfDefaultLevel);
    const struct {
        cmn::Compression compression;
        int lowest, highest;
    } ranges[] = {{cmn::Compression::Bzip2, 1, 9}, {cmn::Compression::Xz, 0, 9}, {cmn::Compression::Zstd, 1, 22}};
    mftest::TempDir dir;
    for (const auto& r : ranges) {
        const cmn::CompressionLevels levels = cmn::compressionLevels(r.compression);
        EXPECT_EQ(levels.lowest, r.lowest) << cmn::compressionName(r.compression);
        EXPECT_EQ(levels.highest, r.highest) << cmn::compressionName(r.compression);
        EXPECT_GE(levels.standard, levels.lowest);
        EXPECT_LE(levels.standard, levels.highest);
        cmn::ReplacingFile file(dir.file("x"));
        EXPECT_THROW(cmn::OutputCompressor(r.compression, file, r.highest + 1), std::invalid_argument);
        EXPECT_THROW(cmn::OutputCompressor(r.compression, file, r.lowest - 1 < 0 ? 99 : r.lowest - 1),
                     std::invalid_argument);
        // Every level the range names works.
        for (int level : {r.lowest, r.highest}) {
            cmn::OutputCompressor packer(r.compression, file, level);
            EXPECT_TRUE(packer.write("ACGT", 4)) << level;
        }
    }
    cmn::ReplacingFile file(dir.file("x"));
    EXPECT_THROW(cmn::OutputCompressor(cmn::Compression::Gzip, file, 13), std::invalid_argument);
    try {
        cmn::OutputCompressor(cmn::Compression::Gzip, file, 13);
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "compression level 13 is outside gzip's 0-12");
    }

    // Level 0 stores, higher levels pack tighter; a scope's level is taken by writers without one.
    const std::string content = mftest::sequenceText(4 * cmn::kBgzfBlockContent);
    auto sizeAt = [&](int level) {
        writeGzip(dir.file("l.gz"), content, 1 << 16, level);
        return mftest::readFile(dir.file("l.gz")).size();
    };
    const std::size_t stored = sizeAt(0), fast = sizeAt(1), standard = sizeAt(-1), tight = sizeAt(12);
    EXPECT_GT(stored, content.size());
    EXPECT_LT(fast, content.size() / 2);
    EXPECT_LE(standard, fast);
    EXPECT_LT(tight, standard);
    {
        const cmn::CompressionLevelScope scope(0);
        EXPECT_EQ(sizeAt(-1), stored);
        {
            const cmn::CompressionLevelScope inner(12);
            EXPECT_EQ(sizeAt(-1), tight);
        }
        EXPECT_EQ(sizeAt(-1), stored);
        EXPECT_EQ(sizeAt(1), fast); // a level of its own comes first
    }
    EXPECT_EQ(sizeAt(-1), standard);
}

TEST(BgzfOutput, AFullDeviceFailsTheWriteAndNothingIsLeftBehind) {
    // /dev/full takes no byte: the sink's first flush fails with ENOSPC, and so does the stream.
    for (std::size_t size : {std::size_t(10), std::size_t(3) << 20}) {
        cmn::ReplacingFile file("/dev/full");
        cmn::OutputCompressor packer(cmn::Compression::Gzip, file);
        const std::string content = mftest::sequenceText(size);
        bool written = true;
        for (std::size_t at = 0; at < content.size() && written; at += 4096)
            written = packer.write(content.data() + at, std::min<std::size_t>(4096, content.size() - at));
        const bool finished = written && packer.finish();
        EXPECT_FALSE(finished && file.commit()) << size;
        EXPECT_EQ(file.error(), ENOSPC) << size;
        EXPECT_FALSE(packer.write("A", 1));
    }
    // Dropped part way, threads running: the temporary file goes with the file.
    mftest::TempDir dir;
    {
        cmn::ReplacingFile file(dir.file("dropped.gz"));
        cmn::OutputCompressor packer(cmn::Compression::Gzip, file);
        const std::string content = mftest::sequenceText(2 << 20);
        ASSERT_TRUE(packer.write(content.data(), content.size()));
    }
    EXPECT_TRUE(mftest::filesIn(dir.path()).empty());
}

TEST(BgzfOutput, FinishIsWrittenOnceAndEndsTheStream) {
    mftest::TempDir dir;
    cmn::ReplacingFile file(dir.file("once.gz"));
    cmn::OutputCompressor packer(cmn::Compression::Gzip, file);
    ASSERT_TRUE(packer.write("ACGT\n", 5));
    ASSERT_TRUE(packer.finish());
    EXPECT_TRUE(packer.finish());
    EXPECT_FALSE(packer.write("more", 4));
    ASSERT_TRUE(file.commit());
    const std::string bytes = mftest::readFile(dir.file("once.gz"));
    EXPECT_EQ(members(bytes, "ACGT\n").size(), 2u);
}

} // namespace
