// gzip-compressed chromatograms: known by their first bytes whatever their name, inflated in
// memory (never by a program, never into a file) and read as the chromatogram inside.

#include <trace/TraceFile.h>
#include <trace/TraceFileBytes.h>

#include <TestSupport.h>
#include <TraceWriter.h>

#include <gtest/gtest.h>

#include <string>

using Ovik::TraceFile;

namespace {

TEST(TraceFileGzip, IsReadAsTheChromatogramInsideWhateverItsName) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    mftest::writeTrace(dir.file("plain.scf"), mftest::TraceKind::SCF);
    mftest::writeTrace(dir.file("plain.ztr"), mftest::TraceKind::ZTR);
    for (const std::string& plain : {dir.file("plain.scf"), dir.file("plain.ztr"), mftest::testdataFile("traces/310.ab1")}) {
        const auto want = TraceFile().read(plain.c_str(), nullptr);
        ASSERT_TRUE(want) << plain;
        for (const char* name : {"trace.ab1.gz", "trace"})
            for (unsigned members : {1u, 3u}) {
                const std::string path = mftest::writeFile(dir.file(name), mftest::gzipped(mftest::readFile(plain), members));
                SCOPED_TRACE(plain + " as " + name + " in " + std::to_string(members) + " members");
                EXPECT_EQ(TraceFile::getFormat(plain.c_str()), TraceFile::getFormat(path.c_str()));
                const auto got = TraceFile().read(path.c_str(), nullptr);
                ASSERT_TRUE(got);
                EXPECT_EQ(path, got->traceName());
                EXPECT_EQ(want->formatName(), got->formatName());
                EXPECT_EQ(want->bases(), got->bases());
                EXPECT_EQ(want->basePos(), got->basePos());
                for (unsigned c = 0; c < 4; ++c)
                    EXPECT_EQ(want->channel(c), got->channel(c));
            }
    }
    // An experiment file and the trace it links to may each be compressed.
    mftest::writeFile(dir.file("packed.scf.gz"), mftest::gzipped(mftest::readFile(dir.file("plain.scf"))));
    for (const std::string& exp : {mftest::writeFile(dir.file("a.exp"), "ID   a\nLN   packed.scf.gz\nQL   2\n"),
                                   mftest::writeFile(dir.file("b.exp.gz"), mftest::gzipped("ID   b\nLN   plain.scf\nQL   2\n"))}) {
        EXPECT_EQ(TraceFile::EXP, TraceFile::getFormat(exp.c_str())) << exp;
        const auto got = TraceFile().read(exp.c_str(), nullptr);
        ASSERT_TRUE(got) << exp;
        EXPECT_EQ(2, got->leftCutoff);
    }
}

TEST(TraceFileGzip, DamagedStreamsAreRefusedAndInflationStopsAtTheLimit) {
    mftest::TempDir dir;
    mftest::writeTrace(dir.file("plain.scf"), mftest::TraceKind::SCF);
    const std::string packed = mftest::gzipped(mftest::readFile(dir.file("plain.scf")));
    std::string flipped = packed;
    flipped[packed.size() / 2] ^= 0x55;
    std::string badCheck = packed;
    badCheck[packed.size() - 6] ^= 1; // the CRC
    for (const std::string& bad : {packed.substr(0, packed.size() - 10), packed.substr(0, 5), flipped, badCheck,
                                   packed + packed.substr(0, 12) + std::string(40, 'x')}) { // a bad second member
        const std::string path = mftest::writeFile(dir.file("bad.gz"), bad);
        EXPECT_FALSE(TraceFile().read(path.c_str(), nullptr)) << bad.size();
    }
    // What follows a whole stream and is no member is ignored, as gzip itself does.
    const std::string padded = mftest::writeFile(dir.file("padded.gz"), packed + std::string(512, '\0'));
    EXPECT_TRUE(TraceFile().read(padded.c_str(), nullptr));

    // Inflated no further than 64 MiB: a chromatogram with padding behind it opens below that and
    // is refused above it, without inflating the rest.
    const std::string scf = mftest::readFile(dir.file("plain.scf"));
    for (const std::size_t total : {std::size_t(63) << 20, std::size_t(65) << 20}) {
        std::string content = scf;
        content.resize(total, '\0');
        const std::string path = mftest::writeFile(dir.file("padded.scf.gz"), mftest::gzipped(content));
        EXPECT_EQ(total < (std::size_t(64) << 20), bool(TraceFile().read(path.c_str(), nullptr))) << total;
    }

    const std::string content(50000, 'A');
    const std::string big = mftest::writeFile(dir.file("big.gz"), mftest::gzipped(content, 2));
    for (const std::size_t limit : {content.size() - 1, content.size()}) {
        Ovik::detail::TraceFileBytes file(big.c_str());
        ASSERT_TRUE(file.isCompressed());
        const std::string prefix = file.readNext(100);
        EXPECT_EQ(content.substr(0, 100), prefix);
        std::size_t size = 0;
        Ovik::detail::MallocBuffer all = file.readAll(prefix, limit, size);
        EXPECT_EQ(limit == content.size() ? content : "", all ? std::string(all.get(), size) : "") << limit;
    }
}

} // namespace
