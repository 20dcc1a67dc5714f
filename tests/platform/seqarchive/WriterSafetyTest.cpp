// "Nothing lost": a save that does not finish leaves the old target as it was and no temporary file.
#include "SeqArchiveTestUtil.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace satest;

namespace {

boost::shared_ptr<Velm::Sequence> makeSeq(const std::string& name, std::size_t length) {
    return boost::shared_ptr<Velm::Sequence>(new Velm::Sequence(name, std::string(length, 'A')));
}

const char* const kOld = ">old\nGGGG\n";

TEST(WriterSafety, ClosingReplacesTheTargetAndKeepsItsPermissions) {
    mftest::TempDir dir;
    std::string target = mftest::writeFile(dir.file("t.fa"), kOld);
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    writeAll(target, "FASTA", {makeSeq("new", 4)});
    EXPECT_EQ(mftest::readFile(target), ">new\nAAAA\n");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_TRUE(tempFilesIn(dir.path()).empty());
}

TEST(WriterSafety, DiscardedWriterLeavesTheOldTarget) {
    mftest::TempDir dir;
    std::string target = mftest::writeFile(dir.file("t.fa"), kOld);
    {
        Ovik::OSeqArchive archive(target, "FASTA", "");
        Ovik::saveSequence(*makeSeq("new", 4000000), archive); // more than the write buffer
        EXPECT_EQ(tempFilesIn(dir.path()).size(), 1u);
        archive.discard();
        EXPECT_TRUE(tempFilesIn(dir.path()).empty());
        EXPECT_EQ(errorOf([&] { Ovik::saveSequence(*makeSeq("b", 3), archive); }),
                  "the archive is closed: " + target);
        archive.close(); // nothing to put in place
    }
    EXPECT_EQ(mftest::readFile(target), kOld);
    EXPECT_TRUE(tempFilesIn(dir.path()).empty());
}

TEST(WriterSafety, TheDestructorClosesAnArchiveLeftOpen) {
    mftest::TempDir dir;
    std::string target = mftest::writeFile(dir.file("t.msf"), kOld);
    {
        Ovik::OSeqArchive archive(target, "MSF", ""); // MSF is written whole when closed
        Ovik::saveSequence(*makeSeq("a", 4), archive);
        Ovik::saveSequence(*makeSeq("b", 4), archive);
    }
    EXPECT_EQ(readAll(target, "MSF").size(), 2u);
    EXPECT_TRUE(tempFilesIn(dir.path()).empty());
    // An archive opened while another exception unwinds is still closed by its destructor.
    struct Unwinding {
        std::string path;
        ~Unwinding() {
            Ovik::OSeqArchive archive(path, "FASTA", "");
            Ovik::saveSequence(*makeSeq("late", 4), archive);
        }
    };
    try {
        Unwinding unwinding{dir.file("late.fa")};
        throw std::runtime_error("unwinding");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(mftest::readFile(dir.file("late.fa")), ">late\nAAAA\n");
}

TEST(WriterSafety, ExceptionDuringASaveLeavesTheOldTarget) {
    mftest::TempDir dir;
    std::string target = mftest::writeFile(dir.file("t.gb"), kOld);
    try {
        Ovik::OSeqArchive archive(target, "GenBank", "");
        Ovik::saveSequence(*makeSeq("one", 100), archive);
        throw std::runtime_error("the caller fails half-way");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(mftest::readFile(target), kOld);
    EXPECT_TRUE(tempFilesIn(dir.path()).empty());
}

TEST(WriterSafety, NoTargetIsCreatedWhenDiscardedOrUnwound) {
    mftest::TempDir dir;
    {
        Ovik::OSeqArchive archive(dir.file("new.fa"), "FASTA", "");
        Ovik::saveSequence(*makeSeq("a", 10), archive);
        archive.discard();
    }
    EXPECT_EQ(errorOf([&] {
                  Ovik::OSeqArchive archive(dir.file("new.gb"), "GenBank", "");
                  Ovik::saveSequence(*makeSeq("a", 10), archive);
                  throw Ovik::SeqArchiveError("stopped");
              }),
              "stopped");
    EXPECT_FALSE(mftest::fileExists(dir.file("new.fa")));
    EXPECT_FALSE(mftest::fileExists(dir.file("new.gb")));
    EXPECT_TRUE(tempFilesIn(dir.path()).empty());
}

TEST(WriterSafety, WriteErrorThrowsAndLeavesTheOldTarget) {
    mftest::TempDir dir;
    std::string target = mftest::writeFile(dir.file("t.fa"), kOld);
    // A file size limit makes the writes fail with EFBIG, like a full disk would.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string expected = "Cannot write sequence file " + target + ": File too large";
    std::string error = errorOf([&] {
        Ovik::OSeqArchive archive(target, "FASTA", "");
        Ovik::saveSequence(*makeSeq("big", 100000), archive);
        try {
            archive.close();
        } catch (const Ovik::SeqArchiveError& e) {
            EXPECT_EQ(e.what(), expected);
            EXPECT_TRUE(tempFilesIn(dir.path()).empty());
        }
        archive.close(); // a failed close is not forgotten
    });
    EXPECT_EQ(error, expected);

    // Left to the destructor, the failure cannot be thrown: it goes to the archive's context.
    cmn::OpContext ctx;
    error = errorOf([&] {
        Ovik::OSeqArchive archive(target, "FASTA", "");
        archive.setContext(&ctx);
        Ovik::saveSequence(*makeSeq("big", 100000), archive);
    });
    EXPECT_EQ(error, "");
    EXPECT_EQ(ctx.errors(), std::vector<std::string>{expected});

    // A write that failed was thrown already: the destructor then discards without a second word.
    ctx.clear();
    error = errorOf([&] {
        Ovik::OSeqArchive archive(target, "FASTA", "");
        archive.setContext(&ctx);
        EXPECT_EQ(errorOf([&] { Ovik::saveSequence(*makeSeq("huge", 3000000), archive); }), expected);
    });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, "");
    EXPECT_TRUE(ctx.errors().empty());
    EXPECT_EQ(mftest::readFile(target), kOld);
    EXPECT_TRUE(tempFilesIn(dir.path()).empty());
}

TEST(WriterSafety, MissingFolderFailsAtOpening) {
    mftest::TempDir dir;
    std::string target = dir.file("no/such/folder/t.fa");
    EXPECT_EQ(errorOf([&] { Ovik::OSeqArchive archive(target, "FASTA", ""); }),
              "Cannot create sequence file " + target + ": No such file or directory");
}

TEST(WriterSafety, ClosedArchiveRefusesMoreEntries) {
    mftest::TempDir dir;
    Ovik::OSeqArchive archive(dir.file("a.fa"), "fasta", "");
    EXPECT_EQ(archive.formatName(), "fasta");
    EXPECT_EQ(archive.archiveFormat(), "FASTA");
    EXPECT_TRUE(archive.atEnd());
    Ovik::saveSequence(*makeSeq("a", 3), archive);
    archive.close();
    archive.close(); // a second close does nothing
    EXPECT_EQ(errorOf([&] { Ovik::saveSequence(*makeSeq("b", 3), archive); }),
              "the archive is closed: " + dir.file("a.fa"));
    EXPECT_EQ(mftest::readFile(dir.file("a.fa")), ">a\nAAA\n");
}

} // namespace
