// gzip-compressed chromatograms: known by their first bytes whatever their name, inflated in
// memory (never by a program, never into a file) and read as the chromatogram inside.

#include "TraceTestSupport.h"

#include <trace/TraceFile.h>
#include <trace/TraceFileBytes.h>

#include <TestSupport.h>
#include <TraceWriter.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Ovik::TraceFile;

namespace {

void expectSameTrace(const Velm::TraceData& want, const Velm::TraceData& got) {
    EXPECT_EQ(want.formatName(), got.formatName());
    EXPECT_EQ(want.bases(), got.bases());
    EXPECT_EQ(want.basePos(), got.basePos());
    EXPECT_EQ(want.info(), got.info());
    EXPECT_EQ(want.leftCutoff, got.leftCutoff);
    EXPECT_EQ(want.rightCutoff, got.rightCutoff);
    for (unsigned c = 0; c < 4; ++c) {
        EXPECT_EQ(want.channel(c), got.channel(c));
        EXPECT_EQ(want.probs(c), got.probs(c));
    }
}

TEST(TraceFileGzip, IsReadAsTheChromatogramInsideWhateverItsName) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    mftest::TraceSample sample;
    sample.bases = "ACGTACGGTTCA";
    sample.points = 300;
    mftest::writeTrace(dir.file("plain.scf"), mftest::TraceKind::SCF, sample);
    mftest::writeTrace(dir.file("plain.ztr"), mftest::TraceKind::ZTR, sample);
    const std::string plains[] = {dir.file("plain.scf"), dir.file("plain.ztr"),
                                  mftest::testdataFile("traces/310.ab1")};
    for (const std::string& plain : plains) {
        const auto want = TraceFile().read(plain.c_str(), nullptr);
        ASSERT_TRUE(want) << plain;
        const std::string bytes = mftest::readFile(plain);
        for (const char* name : {"trace.gz", "trace.ab1.gz", "trace", "trace.dat"})
            for (unsigned members : {1u, 3u}) {
                const std::string path = mftest::writeFile(dir.file(name), mftest::gzipped(bytes, members));
                SCOPED_TRACE(plain + " as " + name + " in " + std::to_string(members) + " members");
                EXPECT_EQ(TraceFile::getFormat(plain.c_str()), TraceFile::getFormat(path.c_str()));
                const auto got = TraceFile().read(path.c_str(), nullptr);
                ASSERT_TRUE(got);
                EXPECT_EQ(path, got->traceName());
                expectSameTrace(*want, *got);
            }
    }
}

TEST(TraceFileGzip, ExperimentFilesAndTheirLinkedTracesMayBeCompressed) {
    mftest::TempDir dir;
    mftest::TraceSample sample;
    sample.bases = "ACGTACGGTTCA";
    sample.points = 300;
    mftest::writeTrace(dir.file("plain.scf"), mftest::TraceKind::SCF, sample);
    mftest::writeFile(dir.file("packed.scf.gz"), mftest::gzipped(mftest::readFile(dir.file("plain.scf"))));
    const std::string toPacked = mftest::writeFile(dir.file("a.exp"), "ID   a\nLN   packed.scf.gz\nQL   2\n");
    const std::string packedExp =
        mftest::writeFile(dir.file("b.exp.gz"), mftest::gzipped("ID   b\nLN   plain.scf\nQL   2\n"));
    for (const std::string& path : {toPacked, packedExp}) {
        EXPECT_EQ(TraceFile::EXP, TraceFile::getFormat(path.c_str())) << path;
        const auto got = TraceFile().read(path.c_str(), nullptr);
        ASSERT_TRUE(got) << path;
        EXPECT_EQ(sample.bases, got->bases());
        EXPECT_EQ(2, got->leftCutoff);
    }
}

TEST(TraceFileGzip, DamagedStreamsAreRefused) {
    mftest::TempDir dir;
    mftest::writeTrace(dir.file("plain.scf"), mftest::TraceKind::SCF);
    const std::string packed = mftest::gzipped(mftest::readFile(dir.file("plain.scf")));
    std::string flipped = packed;
    flipped[packed.size() / 2] = static_cast<char>(flipped[packed.size() / 2] ^ 0x55);
    std::string badCheck = packed;
    badCheck[packed.size() - 6] = static_cast<char>(badCheck[packed.size() - 6] ^ 1); // the CRC
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"cut short", packed.substr(0, packed.size() - 10)},
        {"cut in the header", packed.substr(0, 5)},
        {"damaged data", flipped},
        {"wrong checksum", badCheck},
        {"a bad second member", packed + packed.substr(0, 12) + std::string(40, 'x')},
    };
    for (const auto& c : cases) {
        const std::string path = mftest::writeFile(dir.file("bad.gz"), c.second);
        EXPECT_FALSE(TraceFile().read(path.c_str(), nullptr)) << c.first;
    }
    // What follows a whole stream and is no member is ignored, as gzip itself does.
    const std::string padded = mftest::writeFile(dir.file("padded.gz"), packed + std::string(512, '\0'));
    EXPECT_TRUE(TraceFile().read(padded.c_str(), nullptr));
}

TEST(TraceFileGzip, IsInflatedNoFurtherThanTheSizeLimit) {
    mftest::TempDir dir;
    const std::string content(50000, 'A');
    const std::string path = mftest::writeFile(dir.file("big.gz"), mftest::gzipped(content, 2));
    for (const std::size_t limit : {content.size() - 1, content.size()}) {
        Ovik::detail::TraceFileBytes file(path.c_str());
        ASSERT_TRUE(file.isCompressed());
        const std::string prefix = file.readNext(100);
        EXPECT_EQ(content.substr(0, 100), prefix);
        std::size_t size = 0;
        Ovik::detail::MallocBuffer all = file.readAll(prefix, limit, size);
        const bool fits = limit >= content.size();
        EXPECT_EQ(fits, static_cast<bool>(all)) << limit;
        if (all) {
            EXPECT_EQ(content, std::string(all.get(), size));
        }
    }
}

} // namespace
