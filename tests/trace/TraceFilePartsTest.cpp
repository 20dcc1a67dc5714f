// Ovik::TraceFile::read with some parts of a chromatogram left out: what is asked for is what the
// whole reading gives, what is not is absent, and the decoder's own setting is left as it was.

#include <trace/AbiCommentTitle.h>
#include <trace/IoLibLock.h>
#include <trace/TraceFile.h>

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <io_lib/Read.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

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

TEST(TraceFileParts, TheCommentTitleIsTheFirstLineOfTheWholeReadingsComments) {
    MF_REQUIRE_TESTDATA();
    mftest::TempDir dir;
    std::vector<std::string> paths;
    for (const char* file : kChromatograms)
        paths.push_back(mftest::testdataFile(file));
    // An ABI file behind a MacBinary header is read the same.
    paths.push_back(mftest::writeFile(dir.file("macbinary.ab1"),
                                      std::string(128, '\0') + mftest::readFile(mftest::testdataFile("traces/310.ab1"))));
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const auto whole = TraceFile().read(path.c_str(), nullptr);
        const auto titled = TraceFile().read(path.c_str(), nullptr, TraceFile::Calls | TraceFile::CommentTitle);
        ASSERT_EQ(static_cast<bool>(whole), static_cast<bool>(titled));
        if (!whole)
            continue;
        expectSameCalls(*whole, *titled);
        expectNoSamples(*titled);
        EXPECT_EQ(whole->info().substr(0, whole->info().find('\n')), titled->info());
        // With the comments asked for too, they come whole.
        const auto both = TraceFile().read(path.c_str(), nullptr,
                                           TraceFile::Calls | TraceFile::Comments | TraceFile::CommentTitle);
        ASSERT_TRUE(both);
        EXPECT_EQ(whole->info(), both->info());
    }
}

// ABIF data: the header, the root entry pointing at `entries` laid out at offset 128, then `tail`.
std::string abifEntry(const char* name, std::uint32_t number, std::uint16_t type, std::uint32_t count,
                      std::uint32_t dataSize, std::uint32_t offset) {
    std::string entry(name, 4);
    auto put32 = [&entry](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            entry += static_cast<char>((v >> shift) & 0xFF);
    };
    put32(number);
    entry += static_cast<char>(type >> 8);
    entry += static_cast<char>(type & 0xFF);
    entry += std::string("\0\1", 2); // element size
    put32(count);
    put32(dataSize);
    put32(offset);
    put32(0);
    return entry;
}

std::string abifWith(const std::vector<std::string>& entries, const std::string& tail) {
    std::string directory;
    for (const std::string& entry : entries)
        directory += entry;
    std::string bytes = "ABIF" + std::string("\0\x65", 2) +
                        abifEntry("tdir", 1, 1023, static_cast<std::uint32_t>(entries.size()),
                                  static_cast<std::uint32_t>(directory.size()), 128);
    bytes.resize(128, '\0');
    return bytes + directory + tail;
}

TEST(TraceFileParts, TheABICommentTitleIsTakenFromTheDirectoryAsTheDecoderTakesIt) {
    using Ovik::detail::abiCommentTitle;
    // Directory at 128, two entries (56 bytes): data from 184 on.
    const std::uint32_t data = 128 + 2 * 28;
    struct Case {
        const char* what;
        std::vector<std::string> entries;
        std::string tail;
        bool found;
        std::string title;
    };
    const std::string comment = std::string("\x0b") + "first\nsecond";
    const std::vector<Case> cases = {
        {"comment, first line", {abifEntry("CMNT", 1, 0x12, 12, 12, data), abifEntry("SMPL", 1, 0x12, 4, 4, 0)},
         comment, true, "COMM=first"},
        {"comment held in the entry", {abifEntry("SMPL", 1, 0x12, 5, 5, data), abifEntry("CMNT", 1, 0x12, 3, 3, 0x02414200)},
         "", true, "COMM=AB"},
        {"comment ends at a NUL", {abifEntry("CMNT", 1, 0x12, 6, 6, data), abifEntry("SMPL", 1, 0x12, 4, 4, 0)},
         std::string("\x05" "ab\0cd", 6), true, "COMM=ab"},
        {"no comment: the sample name, lines joined",
         {abifEntry("CMNT", 2, 0x12, 3, 3, 0), abifEntry("SMPL", 1, 0x12, 8, 8, data)}, std::string("\x07one\ntwo"),
         true, "NAME=one two"},
        {"a comment that is no Pascal string", {abifEntry("CMNT", 1, 0x02, 12, 12, data), abifEntry("SMPL", 1, 0x12, 8, 8, data)},
         comment, false, ""},
        {"an empty comment", {abifEntry("CMNT", 1, 0x12, 0, 0, 0), abifEntry("SMPL", 1, 0x12, 8, 8, data)}, comment,
         false, ""},
        {"a comment past the end", {abifEntry("CMNT", 1, 0x12, 12, 12, data + 100), abifEntry("SMPL", 1, 0x12, 8, 8, data)},
         comment, false, ""},
        {"a comment longer than the data", {abifEntry("CMNT", 1, 0x12, 12, 12, data), abifEntry("SMPL", 1, 0x12, 8, 8, data)},
         std::string("\x40short"), false, ""},
        {"neither", {abifEntry("PBAS", 1, 2, 4, 4, 0), abifEntry("DATA", 9, 4, 4, 4, 0)}, "", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = abifWith(c.entries, c.tail);
        std::string title = "unchanged";
        EXPECT_EQ(c.found, abiCommentTitle(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), title));
        EXPECT_EQ(c.found ? c.title : std::string("unchanged"), title);
        // The same behind a MacBinary header.
        const std::string mac = std::string(128, '\0') + bytes;
        title = "unchanged";
        EXPECT_EQ(c.found, abiCommentTitle(reinterpret_cast<const unsigned char*>(mac.data()), mac.size(), title));
        EXPECT_EQ(c.found ? c.title : std::string("unchanged"), title);
    }
    // Not ABIF data at all, or too short to hold the directory's place.
    std::string title;
    EXPECT_FALSE(abiCommentTitle(reinterpret_cast<const unsigned char*>("SCF."), 4, title));
    EXPECT_FALSE(abiCommentTitle(reinterpret_cast<const unsigned char*>("ABIF\0\x65"), 6, title));
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
