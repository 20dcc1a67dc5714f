// Ovik::TraceFile on chromatograms from real instruments and on broken files.

#include "TraceTestSupport.h"

#include <trace/TraceFile.h>

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Ovik::TraceFile;

namespace {

struct RealTrace {
    const char* file;
    TraceFile::FormatType code;
    unsigned bases;  // as listed for the sample set; 0 where not listed
    unsigned points; // likewise
};

const RealTrace realTraces[] = {
    {"traces/310.ab1", TraceFile::ABI, 868, 9826},
    {"traces/3100.ab1", TraceFile::ABI, 795, 10303},
    {"traces/3730.ab1", TraceFile::ABI, 1165, 16302},
    {"traces/SDBHD01T00PB1A1672F.ab1", TraceFile::ABI, 600, 15424},
    {"traces/5565810.ab1", TraceFile::ABI, 326, 0},
    {"traces/SDBHD01T00PB1A1672F.ztr", TraceFile::ZTR, 600, 0},
    {"traces/GBKAK82TF.scf", TraceFile::SCF, 1019, 11833},
    {"traces/GBKAK82TF.ztr", TraceFile::ZTR, 1019, 0},
    {"traces/version2.scf", TraceFile::SCF, 1106, 14107},
    {"traces/version3.scf", TraceFile::SCF, 1106, 0},
    {"traces/chad100.scf", TraceFile::SCF, 761, 8893},
    {"traces/310.scf", TraceFile::SCF, 868, 0},
    {"traces/310_v2.scf", TraceFile::SCF, 868, 0},
    {"traces/310.ztr", TraceFile::ZTR, 868, 0},
    {"traces/310.exp", TraceFile::EXP, 868, 9826},
};

TEST(TraceFileRealFiles, AreRecognisedAndReadAsTheDecoderReadsThem) {
    MF_REQUIRE_TESTDATA();
    for (const RealTrace& t : realTraces) {
        SCOPED_TRACE(t.file);
        const std::string path = mftest::testdataFile(t.file);
        EXPECT_EQ(t.code, TraceFile::getFormat(path.c_str()));
        const auto data = TraceFile().read(path.c_str(), nullptr);
        ASSERT_TRUE(data);
        EXPECT_FALSE(data->empty());
        EXPECT_EQ(path, data->traceName());
        if (t.bases) {
            EXPECT_EQ(t.bases, data->numBases());
        }
        if (t.points) {
            EXPECT_EQ(t.points, data->numPoints());
        }
        // An experiment file is compared with the decoder's own reading, which opens the linked
        // trace beside it by name.
        tracetest::ReadPtr direct = tracetest::decodeDirectly(path);
        ASSERT_TRUE(direct);
        tracetest::expectSameRecord(*direct, *data);
    }
}

TEST(TraceFileRealFiles, SameReadInThreeFormatsGivesTheSameCalls) {
    MF_REQUIRE_TESTDATA();
    const auto abi = TraceFile().read(mftest::testdataFile("traces/310.ab1").c_str(), nullptr);
    const auto scf = TraceFile().read(mftest::testdataFile("traces/310.scf").c_str(), nullptr);
    const auto ztr = TraceFile().read(mftest::testdataFile("traces/310.ztr").c_str(), nullptr);
    ASSERT_TRUE(abi && scf && ztr);
    EXPECT_EQ(abi->bases(), scf->bases());
    EXPECT_EQ(abi->bases(), ztr->bases());
    EXPECT_EQ(abi->channel(0), ztr->channel(0));
    EXPECT_EQ(abi->basePos(), ztr->basePos());
    EXPECT_EQ("abi", abi->formatName());
    EXPECT_EQ("scf", scf->formatName());
    EXPECT_EQ("ztr", ztr->formatName());
    // The ABI reader calls N as '-'; the record holds N.
    EXPECT_EQ(std::string::npos, abi->bases().find('-'));
    EXPECT_NE(std::string::npos, abi->bases().find('N'));
}

TEST(TraceFileRealFiles, BrokenAndNonTraceFilesGiveNothing) {
    MF_REQUIRE_TESTDATA();
    struct Bad {
        const char* file;
        TraceFile::FormatType code; // what the first bytes claim
    };
    const Bad bad[] = {
        {"bad/empty.fa", TraceFile::Unknown},
        {"bad/fake.ab1", TraceFile::Unknown},
        {"bad/garbage.bin", TraceFile::Unknown},
        {"bad/no_origin_no_end.gb", TraceFile::Unknown},
        {"bad/test.fsa", TraceFile::ABI},          // fragment analysis: no calls
        {"bad/truncated_310.ab1", TraceFile::ABI}, // directory points past the end
        {"traces/310.pln", TraceFile::Unknown},    // plain sequence text
        {"sequences/lupine.fasta", TraceFile::Unknown},
        {"sequences/TRBG361.embl", TraceFile::Unknown},
        {"sequences/P60137.swiss", TraceFile::Unknown},
        {"sequences/lupine.sta", TraceFile::Unknown},
    };
    for (const Bad& b : bad) {
        const std::string path = mftest::testdataFile(b.file);
        ASSERT_TRUE(mftest::fileExists(path)) << path;
        EXPECT_EQ(b.code, TraceFile::getFormat(path.c_str())) << b.file;
        EXPECT_FALSE(TraceFile().read(path.c_str(), nullptr)) << b.file;
    }
}

} // namespace

namespace {

TEST(TraceFileCallsOnly, AChromatogramOfCallsWithoutSamplesKeepsItsCallsAndConfidences) {
    MF_REQUIRE_TESTDATA();
    // The same read with and without its samples: the calls and confidences are the same.
    const auto whole = TraceFile().read(mftest::testdataFile("traces/SDBHD01T00PB1A1672F.ztr").c_str(), nullptr);
    const std::string path = mftest::testdataFile("traces/calls_only.ztr");
    EXPECT_EQ(TraceFile::ZTR, TraceFile::getFormat(path.c_str()));
    const auto calls = TraceFile().read(path.c_str(), nullptr);
    ASSERT_TRUE(whole && calls);
    EXPECT_FALSE(calls->empty());
    EXPECT_FALSE(calls->hasSamples());
    EXPECT_EQ(0u, calls->numPoints());
    EXPECT_EQ(600u, calls->numBases());
    EXPECT_EQ(whole->bases(), calls->bases());
    EXPECT_EQ(whole->calledConfidences(), calls->calledConfidences());
    for (std::uint16_t position : calls->basePos())
        ASSERT_EQ(0u, position); // nothing to point into

    // Made by the decoder's own writer: an SCF of calls only is kept; one sample point is not.
    mftest::TempDir dir;
    for (int points : {0, 1}) {
        const std::string scf = dir.file("calls" + std::to_string(points) + ".scf");
        tracetest::ReadPtr written = tracetest::makeRead(points, 12);
        ASSERT_TRUE(tracetest::writeRead(*written, scf, TT_SCF));
        const auto read = TraceFile().read(scf.c_str(), nullptr);
        EXPECT_EQ(points == 0, static_cast<bool>(read)) << points << " points";
    }
}

} // namespace
