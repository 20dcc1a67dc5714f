// The FASTA/FASTQ index: building it by the faidx rules (the expected lines are what samtools
// faidx 1.16 writes for the same text), reading one back, BGZF blocks, and reading regions.
#include <contracts/Compression.h>
#include <contracts/SeqArchive.h>
#include <contracts/SeqIndex.h>

#include <TestSupport.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Ovik::IndexedSeqArchive;
using Ovik::SeqArchiveError;
using Ovik::SeqIndex;

// BGZF: one gzip member per `blockSize` bytes of content, each with its "BC" size field, and the
// empty end-of-file block.
std::string bgzf(const std::string& content, std::size_t blockSize = 65280) {
    auto member = [](const std::string& data) {
        z_stream z = {};
        deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        std::string deflated(deflateBound(&z, data.size()) + 16, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z.avail_in = static_cast<uInt>(data.size());
        z.next_out = reinterpret_cast<Bytef*>(&deflated[0]);
        z.avail_out = static_cast<uInt>(deflated.size());
        deflate(&z, Z_FINISH);
        deflated.resize(z.total_out);
        deflateEnd(&z);
        const std::size_t size = 18 + deflated.size() + 8;
        std::string block = {'\x1f', '\x8b', '\x08', '\x04', 0, 0, 0, 0, 0, '\xff', 6, 0, 'B', 'C', 2, 0};
        block += static_cast<char>((size - 1) & 0xff);
        block += static_cast<char>((size - 1) >> 8);
        block += deflated;
        const uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()),
                                static_cast<uInt>(data.size()));
        for (uLong v : {crc, static_cast<uLong>(data.size())})
            for (int i = 0; i < 4; ++i)
                block += static_cast<char>((v >> (8 * i)) & 0xff);
        return block;
    };
    std::string out;
    for (std::size_t at = 0; at < content.size(); at += blockSize)
        out += member(content.substr(at, blockSize));
    return out + member("");
}

struct Built {
    std::string fai;
    std::string error;
    std::vector<std::string> warnings;
};

Built build(const std::string& text) {
    mftest::TempDir dir;
    const std::string path = mftest::writeFile(dir.file("in.fa"), text);
    Built built;
    cmn::OpContext ctx;
    try {
        built.fai = SeqIndex::build(path, &ctx).faiText();
    } catch (const SeqArchiveError& e) {
        built.error = std::string(e.what()).substr(path.size());
    }
    built.warnings = ctx.warnings();
    return built;
}

TEST(SeqIndex, BuildsFastaIndexesAsFaidxDoes) {
    struct Case {
        const char* what;
        const char* text;
        const char* fai;
    };
    const Case cases[] = {
        {"lines, a short last one, a description", ">a desc\nACGT\nACGT\nAC\n>b\nAAA\n",
         "a\t10\t8\t4\t5\nb\t3\t24\t3\t4\n"},
        {"CRLF line ends", ">a\r\nACGT\r\nAC\r\n", "a\t6\t4\t4\t6\n"},
        {"spaces before the name and inside a line", "> a b\nAC GT\nACGT\n", "a\t8\t6\t4\t6\n"},
        {"no line end at the end", ">a\nACGT\nAC", "a\t6\t3\t4\t5\n"},
        {"blank lines before and between entries", "\n\n>a\nACGT\nAC\n\n\n>b\nA\n",
         "a\t6\t5\t4\t5\nb\t1\t18\t1\t2\n"},
        {"one line an entry", ">x\nACGTACGTAC\n>y\nGG\n", "x\t10\t3\t10\t11\ny\t2\t17\t2\t3\n"},
    };
    for (const Case& c : cases) {
        const Built built = build(c.text);
        EXPECT_EQ(built.error, "") << c.what;
        EXPECT_EQ(built.fai, c.fai) << c.what;
    }
}

TEST(SeqIndex, RefusesWhatFaidxRefusesWithTheLine) {
    struct Case {
        const char* what;
        const char* text;
        const char* error; // after the path
    };
    const Case cases[] = {
        {"a longer line", ">a\nACGT\nACGTA\n", ":3: different line length in sequence 'a'"},
        {"residues after a short line", ">a\nACGT\nAC\nACGT\n", ":4: unexpected 'A' in entry 'a'"},
        {"a blank line inside an entry", ">a\nACGT\n\nACGT\n", ":4: unexpected 'A' in entry 'a'"},
        {"the last entry without residues", ">a\nACGT\n>b\n", ": the last entry 'b' is incomplete"},
        {"text before the first title", "x\n>a\nAC\n", ":1: unexpected 'x' where a title"},
        {"an empty file", "", ": nothing to index"},
        // In FASTA an '@' line is residues; the '+' line is then a short last line.
        {"FASTQ record in FASTA", ">a\nAC\n@b\nAC\n+\nII\n", ":6: unexpected 'I' in entry 'a'"},
        {"FASTA title in FASTQ", "@r\nAC\n+\nII\n>b\nAC\n", ":5: more qualities than residues in 'r'"},
        {"FASTA title after a blank line in FASTQ", "@r\nAC\n+\nII\n\n>b\nAC\n", ":6: a FASTA title ('>') in a FASTQ file"},
        {"a FASTQ quality line too long", "@r\nACGT\n+\nIIIII\n", ":4: quality line longer"},
        {"FASTQ qualities short", "@r\nACGT\n+\nII\n", ":4: quality line shorter"},
        {"a blank line in FASTQ residues", "@r\nAC\n\n+\nII\n", ":3: blank line inside the residues"},
        {"FASTQ without qualities", "@r\nACGT\n", ": the last entry 'r' is incomplete"},
    };
    for (const Case& c : cases) {
        const Built built = build(c.text);
        EXPECT_EQ(built.fai, "") << c.what;
        EXPECT_EQ(built.error.rfind(c.error, 0), 0u) << c.what << ": " << built.error;
    }
}

TEST(SeqIndex, WarnsOfWhatItLeavesOut) {
    const Built empty = build(">a\nACGT\n>b\n>c\nAC\n");
    EXPECT_EQ(empty.fai, "a\t4\t3\t4\t5\nc\t2\t14\t2\t3\n");
    ASSERT_EQ(empty.warnings.size(), 1u);
    EXPECT_NE(empty.warnings[0].find("entry 'b' has no residues"), std::string::npos);

    const Built twice = build(">a\nACGT\n>a\nAC\n");
    EXPECT_EQ(twice.fai, "a\t4\t3\t4\t5\n");
    ASSERT_EQ(twice.warnings.size(), 1u);
    EXPECT_NE(twice.warnings[0].find("duplicate sequence name 'a' at byte offset 11"),
              std::string::npos);
}

TEST(SeqIndex, BuildsFastqIndexesWithTheQualityOffset) {
    EXPECT_EQ(build("@r1 x\nACGT\n+\nIIII\n@r2\nAC\n+r2\nII\n").fai,
              "r1\t4\t6\t4\t5\t13\nr2\t2\t22\t2\t3\t29\n");
    // Wrapped records: every line but the last as long as the first, qualities likewise.
    EXPECT_EQ(build("@w\nACG\nTA\n+\nIII\nII\n@v\nA\n+\n@\n").fai,
              "w\t5\t3\t3\t4\t12\nv\t1\t22\t1\t2\t26\n");
}

TEST(SeqIndex, RefusesPlainGzipAndNamesBgzip) {
    mftest::TempDir dir;
    std::string gz = mftest::writeFile(dir.file("x.fa.gz"), std::string("\x1f\x8b\x08\x00", 4) + "junk");
    try {
        SeqIndex::build(gz);
        FAIL() << "plain gzip was indexed";
    } catch (const SeqArchiveError& e) {
        EXPECT_NE(std::string(e.what()).find("bgzip"), std::string::npos) << e.what();
    }
}

std::string genome(std::size_t entries, unsigned seed, std::vector<std::string>& residues,
                   std::size_t width = 60, const char* eol = "\n") {
    std::mt19937 rng(seed);
    std::string text;
    for (std::size_t e = 0; e < entries; ++e) {
        const std::size_t length = 1 + rng() % 150000;
        std::string seq(length, 'A');
        for (char& c : seq)
            c = "ACGTN"[rng() % 5];
        residues.push_back(seq);
        text += ">chr" + std::to_string(e + 1) + " entry " + std::to_string(e + 1) + eol;
        for (std::size_t i = 0; i < length; i += width)
            text += seq.substr(i, width) + eol;
    }
    return text;
}

TEST(SeqIndex, WritesAndReadsBackTheSameIndex) {
    mftest::TempDir dir;
    std::vector<std::string> residues;
    const std::string text = genome(5, 3, residues);
    const std::string path = mftest::writeFile(dir.file("g.fa"), text);
    const std::string gzPath = mftest::writeFile(dir.file("g.fa.gz"), bgzf(text));
    for (const std::string& file : {path, gzPath}) {
        const SeqIndex built = SeqIndex::build(file);
        built.write(file + ".fai", file + ".gzi");
        const SeqIndex loaded = SeqIndex::load(file + ".fai", built.compressed() ? file + ".gzi" : "");
        EXPECT_EQ(loaded.faiText(), built.faiText());
        EXPECT_EQ(loaded.gziBytes(), built.gziBytes());
        EXPECT_EQ(loaded.blocks(), built.blocks());
    }
    // The same content, compressed or not, has the same index; the blocks are BGZF's alone.
    EXPECT_EQ(SeqIndex::build(gzPath).faiText(), SeqIndex::build(path).faiText());
    const SeqIndex compressed = SeqIndex::build(gzPath);
    ASSERT_TRUE(compressed.compressed());
    EXPECT_EQ(compressed.blocks().size(), (text.size() + 65279) / 65280);
    EXPECT_EQ(compressed.blocks()[1].second, 65280u);
    EXPECT_EQ(compressed.gziBytes().size(), 8 + 16 * (compressed.blocks().size() - 1));
}

TEST(SeqIndex, RefusesMalformedIndexFiles) {
    mftest::TempDir dir;
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"a\t10\t4\t60\n", ":1: an index line has four numbers"},
        {"a\t10\t4\tx\t61\n", ":1: not a number: 'x'"},
        {"a\t10\t4\t60\t61\nb\t1\t2\t3\t4\t5\n", ":2: FASTA and FASTQ index lines mixed"},
        {"a\t10\t4\t0\t1\n", ":1: bases a line and bytes a line do not fit"},
        {"a 10 4 60 61\n", ":1: not an index line"},
    };
    for (const auto& c : cases) {
        const std::string path = mftest::writeFile(dir.file("x.fai"), c.text);
        try {
            SeqIndex::load(path);
            ADD_FAILURE() << c.text;
        } catch (const SeqArchiveError& e) {
            EXPECT_EQ(std::string(e.what()).substr(path.size()).rfind(c.error, 0), 0u) << e.what();
        }
    }
}

TEST(IndexedSeqArchive, FetchesRegionsAsTheTextHoldsThem) {
    mftest::TempDir dir;
    struct Layout {
        const char* what;
        std::size_t width;
        const char* eol;
        bool compressed;
    };
    const Layout layouts[] = {{"60 a line", 60, "\n", false},
                              {"CRLF, 70 a line", 70, "\r\n", false},
                              {"BGZF, 61 a line", 61, "\n", true}};
    for (const Layout& layout : layouts) {
        std::vector<std::string> residues;
        const std::string text = genome(4, 11, residues, layout.width, layout.eol);
        const std::string path = mftest::writeFile(dir.file(layout.compressed ? "r.fa.gz" : "r.fa"),
                                                   layout.compressed ? bgzf(text) : text);
        SeqIndex::build(path).write(path + ".fai", path + ".gzi");
        ASSERT_TRUE(IndexedSeqArchive::hasIndex(path));
        const IndexedSeqArchive archive(path);
        std::mt19937 rng(5);
        for (int i = 0; i < 300; ++i) {
            const std::size_t e = rng() % residues.size();
            const std::string name = "chr" + std::to_string(e + 1);
            const std::size_t length = residues[e].size();
            const std::size_t begin = rng() % length;
            const std::size_t end = begin + rng() % 3000;
            ASSERT_EQ(archive.fetch(name, begin, end), residues[e].substr(begin, end - begin))
                << layout.what << " " << name << ":" << begin << "-" << end;
        }
        EXPECT_EQ(archive.fetch("chr1", residues[0].size() + 5, residues[0].size() + 10), "");
        EXPECT_EQ(archive.title("chr2"), "chr2 entry 2") << layout.what;
        const auto whole = archive.sequence("chr3");
        EXPECT_EQ(whole->name(), "chr3");
        EXPECT_EQ(whole->description(), "entry 3");
        EXPECT_EQ(whole->residues(), residues[2]);
        EXPECT_THROW(archive.fetch("chr9", 0, 5), SeqArchiveError);
    }
}

TEST(IndexedSeqArchive, SeeksInTheGzipTheLibraryWrites) {
    // The library's own .gz output is BGZF: indexed, its regions read by seeking to their blocks.
    mftest::TempDir dir;
    std::vector<std::string> residues;
    const std::string text = genome(16, 23, residues);
    const std::string path = dir.file("written.fa.gz");
    int error = 0;
    ASSERT_TRUE(cmn::replaceFileContentsByName(path, text, error)) << error;
    const SeqIndex index = SeqIndex::build(path);
    ASSERT_TRUE(index.compressed());
    EXPECT_GT(index.blocks().size(), 8u);
    index.write(path + ".fai", path + ".gzi");
    const IndexedSeqArchive archive(path);
    std::mt19937 rng(9);
    for (int i = 0; i < 200; ++i) {
        const std::size_t e = rng() % residues.size();
        const std::size_t begin = rng() % residues[e].size();
        const std::size_t end = begin + rng() % 70000;
        ASSERT_EQ(archive.fetch("chr" + std::to_string(e + 1), begin, end),
                  residues[e].substr(begin, end - begin))
            << "chr" << e + 1 << ":" << begin << "-" << end;
    }
}

TEST(IndexedSeqArchive, ReadsFastqQualitiesThroughTheIndex) {
    mftest::TempDir dir;
    const std::string path =
        mftest::writeFile(dir.file("r.fq"), "@r1 first\nACGTAC\n+\n!+5?IJ\n@r2\nGG\n+\nII\n");
    const IndexedSeqArchive archive(path, SeqIndex::build(path));
    EXPECT_EQ(archive.fetch("r1", 1, 4), "CGT");
    EXPECT_EQ(archive.fetchQualities("r1", 1, 4), "+5?");
    const auto read = archive.sequence("r1");
    EXPECT_EQ(read->description(), "first");
    EXPECT_EQ(dynamic_cast<const Velm::NASequence&>(*read).confidences(),
              (std::vector<unsigned char>{0, 10, 20, 30, 40, 41}));
}

TEST(IndexedSeqArchive, RefusesAnIndexThatDoesNotFitItsFile) {
    mftest::TempDir dir;
    const std::string path = mftest::writeFile(dir.file("s.fa"), ">a\nACGT\n");
    mftest::writeFile(path + ".fai", "a\t400\t3\t4\t5\n");
    EXPECT_THROW(IndexedSeqArchive archive(path), SeqArchiveError);
    // Missing index: the reason is the system's.
    const std::string bare = mftest::writeFile(dir.file("t.fa"), ">a\nACGT\n");
    try {
        IndexedSeqArchive archive(bare);
        FAIL();
    } catch (const SeqArchiveError& e) {
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos);
    }
}

} // namespace
