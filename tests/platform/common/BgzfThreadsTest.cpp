// The BGZF writer's threads: blocks in order whatever the pool's size, many writers at once, and
// sinks that fail part way (threads joined, nothing left behind). Run under ThreadSanitizer too.
#include "platform/common/BgzfWriter.h"

#include <contracts/Common.h>
#include <contracts/Compression.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string readBack(const std::string& path) {
    std::string back, error;
    EXPECT_TRUE(cmn::readWholeFile(path, back, error)) << path << ": " << error;
    return back;
}

TEST(BgzfThreads, BlocksComeOutInOrderWhateverThePoolsSize) {
    mftest::TempDir dir;
    const std::string content = mftest::sequenceText(60 * cmn::kBgzfBlockContent + 333, 11);
    std::string expected;
    for (unsigned threads : {0u, 1u, 2u, 5u}) {
        const std::string path = dir.file("t" + std::to_string(threads) + ".gz");
        {
            cmn::ReplacingFile file(path);
            cmn::BgzfWriter writer(3, file, threads);
            ASSERT_TRUE(writer.live());
            // Odd pieces: blocks fill across write() calls.
            for (std::size_t at = 0; at < content.size(); at += 7777)
                ASSERT_TRUE(writer.write(content.data() + at, std::min<std::size_t>(7777, content.size() - at)));
            ASSERT_TRUE(writer.finish());
            ASSERT_TRUE(file.commit());
        }
        EXPECT_TRUE(readBack(path) == content) << threads << " threads";
        // The same bytes, deflated by one thread or by many.
        const std::string bytes = mftest::readFile(path);
        if (expected.empty())
            expected = bytes;
        EXPECT_TRUE(bytes == expected) << threads << " threads";
    }
}

TEST(BgzfThreads, ManyWritersAtOnce) {
    mftest::TempDir dir;
    constexpr int kWriters = 6;
    std::vector<std::string> contents;
    for (int i = 0; i < kWriters; ++i)
        contents.push_back(mftest::sequenceText((8 + i) * cmn::kBgzfBlockContent + 100 * i, 100 + i));
    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (int i = 0; i < kWriters; ++i)
        writers.emplace_back([&, i] {
            cmn::ReplacingFile file(dir.file("w" + std::to_string(i) + ".gz"));
            cmn::OutputCompressor packer(cmn::Compression::Gzip, file, i % 3 + 1);
            const std::string& content = contents[i];
            const std::size_t piece = 1000 + 5000 * i;
            bool ok = true;
            for (std::size_t at = 0; at < content.size() && ok; at += piece)
                ok = packer.write(content.data() + at, std::min(piece, content.size() - at));
            if (!(ok && packer.finish() && file.commit()))
                ++failures;
        });
    for (std::thread& t : writers)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    for (int i = 0; i < kWriters; ++i)
        EXPECT_TRUE(readBack(dir.file("w" + std::to_string(i) + ".gz")) == contents[i]) << "writer " << i;
}

TEST(BgzfThreads, SinksFailingPartWayStopEveryWriter) {
    // A reader that leaves (EPIPE), a full device (ENOSPC), and writers dropped unfinished, all at
    // once: each writer sees its own failure, and every thread is joined.
    struct sigaction ignore = {}, old = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGPIPE, &ignore, &old), 0);
    mftest::TempDir dir;
    // Far more than the file's buffer takes: the sink fails while blocks are in flight.
    const std::string content = mftest::sequenceText(120 * cmn::kBgzfBlockContent, 7);
    std::vector<int> errors(6, 0);
    std::vector<std::thread> writers;
    for (int i = 0; i < 6; ++i)
        writers.emplace_back([&, i] {
            int pipeEnds[2] = {-1, -1};
            std::unique_ptr<cmn::ReplacingFile> file;
            if (i % 3 == 0) {
                if (::pipe(pipeEnds) != 0)
                    return;
                ::close(pipeEnds[0]);
                file.reset(new cmn::ReplacingFile(pipeEnds[1], "pipe"));
            } else if (i % 3 == 1) {
                file.reset(new cmn::ReplacingFile("/dev/full"));
            } else {
                file.reset(new cmn::ReplacingFile(dir.file("dropped" + std::to_string(i) + ".gz")));
            }
            {
                cmn::BgzfWriter writer(1, *file, 2);
                bool ok = true;
                for (std::size_t at = 0; at < content.size() && ok; at += 10000)
                    ok = writer.write(content.data() + at, std::min<std::size_t>(10000, content.size() - at));
                if (i % 3 != 2) {
                    EXPECT_FALSE(ok) << "writer " << i;
                    EXPECT_FALSE(writer.finish()) << "writer " << i;
                }
            } // the dropped ones are destroyed unfinished, blocks still in flight
            errors[i] = file->error();
            file.reset();
            if (pipeEnds[1] >= 0)
                ::close(pipeEnds[1]);
        });
    for (std::thread& t : writers)
        t.join();
    sigaction(SIGPIPE, &old, nullptr);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(errors[i], i % 3 == 0 ? EPIPE : i % 3 == 1 ? ENOSPC : 0) << "writer " << i;
    EXPECT_TRUE(mftest::filesIn(dir.path()).empty());
}

} // namespace
