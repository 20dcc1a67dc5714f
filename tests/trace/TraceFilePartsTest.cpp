// Ovik::TraceFile::read with some parts of a chromatogram left out: what is asked for is what the
// whole reading gives, what is not is absent, and the decoder's own setting is left as it was.

#include <trace/IoLibLock.h>
#include <trace/TraceFile.h>

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <io_lib/Read.h>

#include <mutex>
#include <string>

using Ovik::TraceFile;

namespace {

const char* const kChromatograms[] = {
    "traces/310.ab1",     "traces/3100.ab1",        "traces/3730.ab1", "traces/SDBHD01T00PB1A1672F.ab1",
    "traces/5565810.ab1", "traces/GBKAK82TF.scf",   "traces/310.scf",  "traces/version2.scf",
    "traces/chad100.scf", "traces/GBKAK82TF.ztr",   "traces/310.ztr",  "traces/calls_only.ztr",
    "traces/310.exp",     "traces/310_v2.scf",
};

void expectSameCalls(const Velm::TraceData& whole, const Velm::TraceData& part) {
    EXPECT_EQ(whole.bases(), part.bases());
    EXPECT_EQ(whole.calledConfidences(), part.calledConfidences());
    for (unsigned channel = 0; channel < 4; ++channel)
        EXPECT_EQ(whole.probs(channel), part.probs(channel));
    EXPECT_EQ(whole.leftCutoff, part.leftCutoff);
    EXPECT_EQ(whole.rightCutoff, part.rightCutoff);
    EXPECT_EQ(whole.traceName(), part.traceName());
    EXPECT_EQ(whole.ident(), part.ident());
    EXPECT_EQ(whole.formatName(), part.formatName());
}

void expectNoSamples(const Velm::TraceData& part) {
    EXPECT_FALSE(part.hasSamples());
    EXPECT_FALSE(part.empty());
    EXPECT_EQ(0u, part.numPoints());
    EXPECT_EQ(0, part.maxTraceVal);
    for (std::uint16_t position : part.basePos())
        ASSERT_EQ(0u, position);
}

TEST(TraceFileParts, EachPartAskedForIsWhatTheWholeReadingGives) {
    MF_REQUIRE_TESTDATA();
    for (const char* file : kChromatograms) {
        SCOPED_TRACE(file);
        const std::string path = mftest::testdataFile(file);
        const auto whole = TraceFile().read(path.c_str(), nullptr);
        ASSERT_TRUE(whole);
        ASSERT_FALSE(whole->empty());

        const auto withComments = TraceFile().read(path.c_str(), nullptr, TraceFile::Calls | TraceFile::Comments);
        ASSERT_TRUE(withComments);
        expectSameCalls(*whole, *withComments);
        EXPECT_EQ(whole->info(), withComments->info());
        expectNoSamples(*withComments);

        const auto withSamples = TraceFile().read(path.c_str(), nullptr, TraceFile::Calls | TraceFile::Samples);
        ASSERT_TRUE(withSamples);
        expectSameCalls(*whole, *withSamples);
        EXPECT_EQ("", withSamples->info());
        EXPECT_EQ(whole->numPoints(), withSamples->numPoints());
        EXPECT_EQ(whole->maxTraceVal, withSamples->maxTraceVal);
        EXPECT_EQ(whole->basePos(), withSamples->basePos());
        for (unsigned channel = 0; channel < 4; ++channel)
            EXPECT_EQ(whole->channel(channel), withSamples->channel(channel));

        // The calls come whatever is asked: nothing at all asks for them alone.
        for (unsigned parts : {static_cast<unsigned>(TraceFile::Calls), 0u}) {
            const auto calls = TraceFile().read(path.c_str(), nullptr, parts);
            ASSERT_TRUE(calls);
            expectSameCalls(*whole, *calls);
            EXPECT_EQ("", calls->info());
            expectNoSamples(*calls);
        }

        const auto all = TraceFile().read(path.c_str(), nullptr, TraceFile::AllParts);
        ASSERT_TRUE(all);
        EXPECT_EQ(whole->info(), all->info());
        EXPECT_EQ(whole->channel(0), all->channel(0));
    }
}

TEST(TraceFileParts, ABIAndSCFCommentsAreTheDescriptionsTheWholeReadingGives) {
    MF_REQUIRE_TESTDATA();
    // The comments are decoded, not left out: their first line names the read.
    const auto abi = TraceFile().read(mftest::testdataFile("traces/310.ab1").c_str(), nullptr,
                                      TraceFile::Calls | TraceFile::Comments);
    ASSERT_TRUE(abi);
    EXPECT_EQ(0u, abi->info().find("COMM=Hassan,Ina\n"));
    const auto scf = TraceFile().read(mftest::testdataFile("traces/GBKAK82TF.scf").c_str(), nullptr,
                                      TraceFile::Calls | TraceFile::Comments);
    ASSERT_TRUE(scf);
    EXPECT_EQ(0u, scf->info().find("COMM=3730-TIGR"));
}

TEST(TraceFileParts, TheDecodersSettingIsLeftAsItWas) {
    MF_REQUIRE_TESTDATA();
    const std::string path = mftest::testdataFile("traces/310.ab1");
    ASSERT_TRUE(TraceFile().read(path.c_str(), nullptr, TraceFile::Calls));
    {
        std::lock_guard<std::mutex> lock(Ovik::detail::ioLibMutex());
        EXPECT_EQ(READ_ALL, read_sections(0));
    }
    // A whole reading right after one of calls only has its samples and comments.
    const auto whole = TraceFile().read(path.c_str(), nullptr);
    ASSERT_TRUE(whole);
    EXPECT_EQ(9826u, whole->numPoints());
    EXPECT_NE(0, whole->maxTraceVal);
    EXPECT_FALSE(whole->info().empty());
}

TEST(TraceFileParts, FilesThatAreNoChromatogramGiveNothingWhateverIsAsked) {
    MF_REQUIRE_TESTDATA();
    for (const char* file : {"bad/fake.ab1", "bad/truncated_310.ab1", "bad/test.fsa", "traces/310.pln",
                             "sequences/lupine.fasta", "bad/garbage.bin"}) {
        const std::string path = mftest::testdataFile(file);
        ASSERT_TRUE(mftest::fileExists(path)) << path;
        const unsigned asked[] = {TraceFile::Calls, TraceFile::Calls | TraceFile::Comments,
                                  TraceFile::Calls | TraceFile::Samples};
        for (unsigned parts : asked)
            EXPECT_FALSE(TraceFile().read(path.c_str(), nullptr, parts)) << file << " parts " << parts;
    }
    EXPECT_FALSE(TraceFile().read("/nonexistent/x.ab1", nullptr, TraceFile::Calls));
}

} // namespace
