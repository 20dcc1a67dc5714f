// The read-ahead thread: order, errors, and stopping early. Run under ThreadSanitizer too.
#include "platform/common/ReadAhead.h"

#include <contracts/Compression.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Bytes 0, 1, 2, ... (mod 251) in pieces of at most 5, then an exception after `failAt` bytes
// when that is below `total`.
struct Counting {
    std::size_t total, failAt;
    std::size_t made = 0;
    std::size_t operator()(unsigned char* dest, std::size_t size) {
        if (made == failAt && failAt < total)
            throw std::runtime_error("broken at " + std::to_string(made));
        std::size_t n = std::min({size, std::size_t(5), total - made, failAt - made});
        for (std::size_t i = 0; i < n; ++i)
            dest[i] = static_cast<unsigned char>((made + i) % 251);
        made += n;
        return n;
    }
};

TEST(ReadAhead, BytesArriveInOrderThenTheEndOrTheErrorAfterThem) {
    for (std::size_t failAt : {std::size_t(1000), std::size_t(640), std::size_t(0), std::size_t(17)}) {
        cmn::ReadAhead ahead(Counting{1000, failAt}, 64, 3);
        std::vector<unsigned char> got;
        unsigned char buffer[37];
        std::string error;
        try {
            while (std::size_t n = ahead.read(buffer, sizeof buffer))
                got.insert(got.end(), buffer, buffer + n);
        } catch (const std::runtime_error& failure) {
            error = failure.what();
        }
        ASSERT_EQ(got.size(), std::min<std::size_t>(failAt, 1000)) << failAt;
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], i % 251) << i;
        if (failAt < 1000) {
            EXPECT_EQ(error, "broken at " + std::to_string(failAt));
            EXPECT_THROW(ahead.read(buffer, sizeof buffer), std::runtime_error); // and stays so
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(ahead.read(buffer, sizeof buffer), 0u);
        }
    }
}

TEST(ReadAhead, DestroyingItMidStreamStopsTheProducer) {
    std::atomic<std::size_t> calls{0};
    {
        cmn::ReadAhead ahead(
            [&calls](unsigned char* dest, std::size_t size) {
                ++calls;
                std::fill(dest, dest + size, 'x');
                return size; // endless
            },
            16, 2);
        unsigned char buffer[8];
        EXPECT_EQ(ahead.read(buffer, sizeof buffer), 8u);
    }
    EXPECT_LE(calls.load(), 2u); // the ring's two blocks, never more: the reader freed none
}

TEST(ReadAhead, APipeHandsOverWhatCameAndAnIdleWriterDoesNotHoldTheStreamOpen) {
    // 3 MiB that pack small: half the stream fits in the pipe and inflates past the first MiB
    // (which is read without a thread), so that the thread runs and then waits on the pipe.
    std::string text;
    while (text.size() < (3u << 20))
        text += ">r\nACGTTGCAACGGTTAC\n";
    mftest::TempDir dir;
    int error = 0;
    ASSERT_TRUE(cmn::replaceFileContentsByName(dir.file("t.gz"), text, error));
    const std::string packed = mftest::readFile(dir.file("t.gz"));
    const std::size_t half = packed.size() / 2;
    ASSERT_LT(half, 60000u);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], packed.data(), half), static_cast<ssize_t>(half));
    {
        cmn::InputStream in;
        in.open(fds[0], "pipe");
        in.readAhead();
        std::vector<char> buffer(1 << 20);
        EXPECT_EQ(in.readFully(buffer.data(), buffer.size()), buffer.size());
        // What the writer gave so far comes without waiting for a whole block.
        EXPECT_GT(in.read(buffer.data(), buffer.size()), 0u);
    } // returns although the pipe has neither more bytes nor an end
    ::close(fds[1]);
}

TEST(ReadAhead, CompressedContentReadsTheSameWithItAndErrorsKeepTheirPlace) {
    mftest::TempDir dir;
    std::string text;
    for (unsigned i = 0; text.size() < (3u << 20); ++i)
        text += ">read" + std::to_string(i) + "\nACGTTGCAACGGTTACGGATCCAAGT\n";
    // The thread is the same for every decoder; xz is left out as the slowest to write.
    for (const char* ext : {"gz", "bz2", "zst"}) {
        const std::string path = dir.file(std::string("big.") + ext);
        int error = 0;
        ASSERT_TRUE(cmn::replaceFileContentsByName(path, text, error)) << ext;
        const std::string bytes = mftest::readFile(path);
        const std::string cut = mftest::writeFile(dir.file(std::string("cut.") + ext),
                                                  bytes.substr(0, bytes.size() * 3 / 4));
        for (const std::string& file : {path, cut}) {
            cmn::InputStream in;
            ASSERT_TRUE(in.open(file));
            in.readAhead();
            std::string got;
            std::vector<char> buffer(100000);
            std::string failure;
            try {
                while (std::size_t n = in.read(buffer.data(), buffer.size()))
                    got.append(buffer.data(), n);
            } catch (const cmn::InputError& e) {
                failure = e.what();
            }
            if (file == path) {
                EXPECT_EQ(failure, "") << ext;
                EXPECT_TRUE(got == text) << ext << ": " << got.size() << " bytes of " << text.size();
            } else {
                EXPECT_EQ(failure.rfind(file + ": truncated", 0), 0u) << failure;
                EXPECT_GT(got.size(), 1u << 20) << ext; // what came before the cut was delivered
                EXPECT_TRUE(text.compare(0, got.size(), got) == 0) << ext;
            }
        }
    }
}

} // namespace
