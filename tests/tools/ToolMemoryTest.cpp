// What one huge record costs the tool: its peak resident size, as the kernel counts it for the
// finished process (not a timing: a bound on memory, with room for the sanitizers' own).
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Peak {
    int status = -1;
    long maxRssKiB = 0;
    std::string err;
};

// Runs the tool with `args`, standard output to /dev/null, and returns its peak resident size.
Peak runMeasured(const std::vector<std::string>& args, const std::string& errPath) {
    std::vector<std::string> argv{MF_TOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(&arg[0]);
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int started = posix_spawn(&pid, MF_TOOL_PATH, &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        throw std::runtime_error("cannot start the tool");
    int wstatus = 0;
    struct rusage usage = {};
    while (wait4(pid, &wstatus, 0, &usage) < 0)
        if (errno != EINTR)
            throw std::runtime_error("wait4 failed");
    Peak peak;
    peak.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    peak.maxRssKiB = usage.ru_maxrss;
    peak.err = mftest::readFile(errPath);
    return peak;
}

// A file of `size` bytes of `c` between `head` and `tail`, written a block at a time.
std::string writeRecord(const std::string& path, const std::string& head, std::size_t size, char c,
                        const std::string& tail) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    const std::string block(1 << 20, c);
    std::fwrite(head.data(), 1, head.size(), f);
    for (std::size_t done = 0; done < size; done += block.size())
        std::fwrite(block.data(), 1, std::min(block.size(), size - done), f);
    std::fwrite(tail.data(), 1, tail.size(), f);
    if (std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
    return path;
}

// Whether two files hold the same bytes, compared a block at a time: this process stays small,
// since a child started from it counts the parent's peak in its own.
bool sameBytes(const std::string& a, const std::string& b) {
    std::FILE* fa = std::fopen(a.c_str(), "rb");
    std::FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa && fb;
    std::vector<char> ba(1 << 16), bb(1 << 16);
    while (same) {
        const std::size_t na = std::fread(ba.data(), 1, ba.size(), fa);
        const std::size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
        same = na == nb && std::equal(ba.begin(), ba.begin() + long(na), bb.begin());
        if (na == 0)
            break;
    }
    if (fa)
        std::fclose(fa);
    if (fb)
        std::fclose(fb);
    return same;
}

constexpr std::size_t kLine = std::size_t(192) << 20;

TEST(ToolMemory, ARefusedHugePlusLineIsNeverHeldWhole) {
    mftest::TempDir dir;
    const std::string in = writeRecord(dir.file("plus.fq"), "@r\nACGT\n+", kLine, 'p', "\nIIII\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"iterate", in}, std::vector<std::string>{"convert", in, dir.file("out.fa")}}) {
        const Peak peak = runMeasured(args, dir.file("err"));
        EXPECT_EQ(peak.status, 1) << args[0] << '\n' << peak.err.substr(0, 300);
        EXPECT_NE(peak.err.find("names another record"), std::string::npos) << peak.err.substr(0, 300);
        EXPECT_LT(peak.err.size(), 400u) << args[0];
        // Far below the line's own size: it went by in pieces.
        EXPECT_LT(peak.maxRssKiB, long(kLine >> 10) / 2) << args[0];
    }
}

TEST(ToolMemory, AHugeReadCostsAboutItsSizeOnce) {
    mftest::TempDir dir;
    // One read of kLine bases and as many qualities: 2 kLine of text, 2 kLine in the model.
    const std::string in = dir.file("read.fq");
    {
        std::FILE* f = std::fopen(in.c_str(), "wb");
        ASSERT_TRUE(f);
        const std::string bases(1 << 20, 'A'), qualities(1 << 20, 'I');
        std::fputs("@r\n", f);
        for (std::size_t done = 0; done < kLine; done += bases.size())
            std::fwrite(bases.data(), 1, bases.size(), f);
        std::fputs("\n+\n", f);
        for (std::size_t done = 0; done < kLine; done += qualities.size())
            std::fwrite(qualities.data(), 1, qualities.size(), f);
        std::fputs("\n", f);
        ASSERT_EQ(std::fclose(f), 0);
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"iterate", in}, std::vector<std::string>{"convert", in, dir.file("out.fq")}}) {
        const Peak peak = runMeasured(args, dir.file("err"));
        EXPECT_EQ(peak.status, 0) << args[0] << '\n' << peak.err.substr(0, 300);
        // At most 1.5 times the record's 2 kLine, and a constant.
        EXPECT_LT(peak.maxRssKiB, long(3 * kLine >> 10) + (160 << 10)) << args[0];
    }
}

// A title line of kLine bytes, in each reader that takes titles: it is gathered once at its size,
// never held in the line buffer as well, nor copied whole again by the writer; written back in
// its own format it comes out byte for byte.
TEST(ToolMemory, AHugeTitleCostsAboutItsSizeOnce) {
    mftest::TempDir dir;
    struct Case {
        const char* file;
        const char* head;
        const char* tail;
    };
    const Case cases[] = {
        {"name.fq", "@", "\nACGT\n+\nIIII\n"},              // all of it the name
        {"described.fq", "@r ", "\nACGT\n+\nIIII\n"},       // all but the name the description
        {"described.fa", ">r ", "\nACGT\n>next\nAC\n"},     // a record follows
    };
    for (const Case& c : cases) {
        const std::string in = writeRecord(dir.file(c.file), c.head, kLine, 't', c.tail);
        const std::string same = dir.file(std::string("same.") + (c.file + std::string(c.file).size() - 2));
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"iterate", in}, std::vector<std::string>{"convert", in, same},
              std::vector<std::string>{"convert", in, dir.file("out.fa")}}) {
            const Peak peak = runMeasured(args, dir.file("err"));
            EXPECT_EQ(peak.status, 0) << c.file << ' ' << args[0] << '\n' << peak.err.substr(0, 300);
            // Once its size, a constant, and room for the sanitizers; twice its size is too much.
            EXPECT_LT(peak.maxRssKiB, long(5 * kLine / 4 >> 10) + (100 << 10)) << c.file << ' ' << args.back();
        }
        EXPECT_TRUE(sameBytes(same, in)) << c.file;
    }
}

// A chromosome on one line, as many programs write FASTA: never in the line buffer as well as in
// the entry, nor twice while its string grows.
TEST(ToolMemory, ASequenceOnOneLineCostsAboutItsSizeOnce) {
    mftest::TempDir dir;
    const std::string in = writeRecord(dir.file("chromosome.fa"), ">chr1 one line\n", kLine, 'A', "\n>next\nAC\n");
    const std::string out = dir.file("out.fa");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"iterate", in}, std::vector<std::string>{"convert", in, out, "--line-width", "0"}}) {
        const Peak peak = runMeasured(args, dir.file("err"));
        EXPECT_EQ(peak.status, 0) << args[0] << '\n' << peak.err.substr(0, 300);
        EXPECT_LT(peak.maxRssKiB, long(5 * kLine / 4 >> 10) + (100 << 10)) << args[0];
    }
    EXPECT_TRUE(sameBytes(out, in));
}

// A model of many short reads loaded whole, and its report: each read costs its sequence, its
// text and its qualities, nothing the report would add of its own (a block of rarely used
// fields, a second copy of the name).
TEST(ToolMemory, AModelOfShortReadsCostsItsReadsAlone) {
    mftest::TempDir dir;
    const std::string in = dir.file("reads.fq");
    constexpr std::size_t kReads = 200000;
    {
        std::FILE* f = std::fopen(in.c_str(), "wb");
        ASSERT_TRUE(f);
        const std::string bases(89, 'A'), qualities(89, 'F');
        char name[32];
        for (std::size_t i = 0; i < kReads; ++i) {
            std::snprintf(name, sizeof name, "@read%07zu/1\n", i);
            std::fputs(name, f);
            std::fputs((bases + "\n+\n" + qualities + "\n").c_str(), f);
        }
        ASSERT_EQ(std::fclose(f), 0);
    }
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const long perRead = 1500; // the sanitizers' own room around every allocation
#else
    const long perRead = 470;
#endif
    const Peak peak = runMeasured({"open", in}, dir.file("err"));
    EXPECT_EQ(peak.status, 0) << peak.err.substr(0, 300);
    EXPECT_LT(peak.maxRssKiB, (long(kReads) * perRead >> 10) + (12 << 10));
}

} // namespace
