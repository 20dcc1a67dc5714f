// Standard output and standard input as a shell hands them over: a full device, a closed
// descriptor, a pipe whose reader leaves early, signals; and what the tool leaves in its
// temporary folder afterwards (nothing).
#include "TestSupport.h"
#include "TraceWriter.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <csignal>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct ShellRun {
    int status = -1; ///< the script's exit status
    std::string out;
    std::string err;
};

// Runs `script` with bash, $MF naming the tool and TMPDIR the folder `tmp` (so that whatever the
// tool leaves there is seen). The tool's status is the script's business to report.
ShellRun runScript(const std::string& script, const std::string& tmp) {
    mftest::TempDir dir;
    const std::string outPath = dir.file("out");
    const std::string errPath = dir.file("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> env = {"MF=" MF_TOOL_PATH, "TMPDIR=" + tmp, "PATH=/usr/bin:/bin"};
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        // The sanitizers' settings go along; nothing else of this process matters.
        if (entry.rfind("ASAN_", 0) == 0 || entry.rfind("UBSAN_", 0) == 0 || entry.rfind("LSAN_", 0) == 0)
            env.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(&entry[0]);
    envp.push_back(nullptr);
    std::string bash = "/bin/bash", dashC = "-c", text = script;
    char* argv[] = {&bash[0], &dashC[0], &text[0], nullptr};
    pid_t pid = -1;
    // SIGPIPE as a login shell has it, whatever this process was given.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const int started = posix_spawn(&pid, argv[0], &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (started != 0)
        throw std::runtime_error("cannot start bash");
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0)
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed");
    ShellRun run;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.out = mftest::readFile(outPath);
    run.err = mftest::readFile(errPath);
    return run;
}

std::string describe(const ShellRun& run) {
    return "status " + std::to_string(run.status) + "\n--- stdout ---\n" + run.out.substr(0, 2000) +
           "\n--- stderr ---\n" + run.err.substr(0, 2000);
}

std::string fasta(std::size_t entries, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < entries; ++i)
        text += ">s" + std::to_string(i) + " entry\n" + std::string(length, "ACGT"[i % 4]) + "\n";
    return text;
}

class ToolStreamsTest : public ::testing::Test {
protected:
    void SetUp() override {
        small_ = mftest::writeFile(dir_.file("small.fa"), fasta(3, 70));
        // Far more than a pipe holds, so that a reader leaving early breaks the pipe.
        big_ = mftest::writeFile(dir_.file("big.fa"), fasta(40000, 60));
        alignment_ = mftest::testdataFile("alignments/testaln.nexus");
        trace_ = dir_.file("read.scf");
        mftest::writeTrace(trace_, mftest::TraceKind::SCF);
        tmp_ = dir_.file("tmp");
        ASSERT_EQ(::mkdir(tmp_.c_str(), 0700), 0);
    }
    ShellRun script(const std::string& text) { return runScript(text, tmp_); }
    std::set<std::string> leftovers() const { return mftest::filesIn(tmp_); }

    mftest::TempDir dir_;
    std::string small_, big_, alignment_, trace_, tmp_;
};

// Every command's output, each way it can be lost.
std::vector<std::string> commandLines(const std::string& fa, const std::string& aln,
                                      const std::string& trace) {
    return {"type " + fa,
            "type --json " + fa,
            "open " + fa,
            "open --json " + aln,
            "iterate " + fa,
            "iterate --json " + fa,
            "trace " + trace,
            "formats",
            "stats " + fa,
            "formats --json",
            "convert " + fa + " - --to FASTA",
            "convert " + aln + " - --to NEXUS",
            "convert " + fa + " " + fa + ".copy.fa",
            "--help",
            "--version"};
}

TEST_F(ToolStreamsTest, AFullDeviceIsAFailure) {
    for (const std::string& line : commandLines(small_, alignment_, trace_)) {
        const ShellRun run = script("\"$MF\" " + line + " >/dev/full; echo \"status $?\"");
        EXPECT_EQ(run.out, "status 1\n") << line << '\n' << describe(run);
        EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << line << '\n' << describe(run);
    }
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(ToolStreamsTest, AClosedStandardOutputIsAFailureAndTakesNoFile) {
    for (const std::string& line : commandLines(small_, alignment_, trace_)) {
        const ShellRun run = script("\"$MF\" " + line + " >&-; echo \"status $?\"");
        EXPECT_EQ(run.out, "status 1\n") << line << '\n' << describe(run);
        EXPECT_NE(run.err.find("Bad file descriptor"), std::string::npos) << line << '\n' << describe(run);
    }
    // The copy's report did not land in a file opened where standard output was.
    const std::string copy = mftest::readFile(small_ + ".copy.fa");
    EXPECT_EQ(copy.rfind(">s0 entry\n", 0), 0u) << copy;
    EXPECT_EQ(copy.find("wrote"), std::string::npos) << copy;
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(ToolStreamsTest, AFullFileSystemStopsTheListing) {
    // A file-size limit fails the writes as a full disk does, part way through.
    const ShellRun run = script("ulimit -f 64; \"$MF\" iterate --json " + big_ + " > " + dir_.file("list.json") +
                                "; echo \"status $?\"");
    EXPECT_EQ(run.out, "status 1\n") << describe(run);
    EXPECT_NE(run.err.find("cannot write standard output: File too large"), std::string::npos) << describe(run);
}

TEST_F(ToolStreamsTest, AReaderLeavingEarlyEndsTheToolQuietlyAndLeavesNothing) {
    const std::vector<std::string> lines = {
        "iterate " + big_, "iterate --json " + big_, "convert " + big_ + " - --to FASTA",
        // Through a file of its own: an alignment written to standard output.
        "convert " + big_ + " - --type AlignModel --to NEXUS",
        "iterate - < " + big_, "convert - - --to FASTA < " + big_};
    for (const std::string& line : lines) {
        for (const char* ignore : {"", "trap '' PIPE; "}) {
            const ShellRun run = script(std::string(ignore) + "\"$MF\" " + line +
                                        " | head -c 10 >/dev/null; echo \"status ${PIPESTATUS[0]}\"");
            EXPECT_NE(run.out, "status 0\n") << line << '\n' << describe(run);
            EXPECT_EQ(run.out.rfind("status ", 0), 0u) << line << '\n' << describe(run);
            EXPECT_EQ(run.err, "") << line << '\n' << describe(run);
            EXPECT_TRUE(leftovers().empty()) << line << '\n' << describe(run);
        }
    }
}

TEST_F(ToolStreamsTest, BinaryStandardInputIsRefusedFromItsFirstBytes) {
    for (const std::string& line : {std::string("iterate -"), std::string("open -"),
                                    std::string("convert - ") + dir_.file("out.fa")}) {
        const ShellRun run = script("head -c 50000000 /dev/zero | \"$MF\" " + line + "; echo \"status ${PIPESTATUS[1]}\"");
        EXPECT_EQ(run.out, "status 1\n") << line << '\n' << describe(run);
        EXPECT_NE(run.err.find("cannot tell what kind of model standard input holds"), std::string::npos)
            << line << '\n' << describe(run);
        // Messages name standard input, never a file of the tool's.
        EXPECT_EQ(run.err.find(tmp_), std::string::npos) << line << '\n' << describe(run);
        EXPECT_TRUE(leftovers().empty()) << line;
    }
}

TEST_F(ToolStreamsTest, StandardInputCopiedToAFileIsBounded) {
    // An alignment is read from a file: its copy stops at the bound, which the message names.
    const ShellRun run = script("{ cat " + alignment_ + "; head -c 300000000 /dev/zero | tr '\\0' A; } | \"$MF\" iterate -; echo \"status ${PIPESTATUS[1]}\"");
    EXPECT_EQ(run.out, "status 1\n") << describe(run);
    EXPECT_NE(run.err.find("standard input holds more than 256 MiB"), std::string::npos) << describe(run);
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(ToolStreamsTest, SignalsLeaveNoTemporaryFiles) {
    // Killed while it copies an alignment from a pipe that stays open.
    for (const char* signal : {"TERM", "INT", "HUP"}) {
        const ShellRun run = script("set -m; { cat " + alignment_ + "; sleep 3; } | \"$MF\" iterate - & "
                                    "sleep 0.5; kill -" + signal + " $!; wait $!; echo \"status $?\"");
        EXPECT_NE(run.out, "status 0\n") << signal << '\n' << describe(run);
        EXPECT_TRUE(leftovers().empty()) << signal << '\n' << describe(run);
    }
}

TEST_F(ToolStreamsTest, EmptyStandardInputIsUnclassified) {
    const ShellRun run = script("\"$MF\" type - </dev/null; echo \"status $?\"");
    EXPECT_EQ(run.out.rfind("-  unclassified", 0), 0u) << describe(run);
    EXPECT_NE(run.out.find("\nstatus 1\n"), std::string::npos) << describe(run);
}

TEST_F(ToolStreamsTest, SequenceArchivesOnStandardInputOpenWithoutACopy) {
    // While the pipe is open, only the first bytes (for detection) are in a file.
    const ShellRun run = script("{ cat " + big_ + "; sleep 1; } | \"$MF\" open - > " + dir_.file("open.txt") +
                                " & sleep 0.6; find \"$TMPDIR\" -type f -size +64k; wait $!; echo \"status $?\"");
    EXPECT_EQ(run.out, "status 0\n") << describe(run);
    const std::string shown = mftest::readFile(dir_.file("open.txt"));
    EXPECT_EQ(shown.rfind("path       -\n", 0), 0u) << shown.substr(0, 500);
    EXPECT_NE(shown.find("SeqModel"), std::string::npos) << shown.substr(0, 500);
    EXPECT_NE(shown.find("s39999"), std::string::npos) << shown.substr(0, 500);
}

TEST_F(ToolStreamsTest, CompressedStandardOutputIsAskedFor) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {small_ + " - --to FASTA", "gzip -dc"},
        {small_ + " - --to FASTA", "xz -dc"},
        {small_ + " - --to FASTA", "bzip2 -dc"},
        {small_ + " - --to FASTA", "zstd -dcq"},
        // Written by the factory's writers to a file of the tool's first.
        {alignment_ + " - --to NEXUS", "gzip -dc"},
        {"- - --to FASTA < " + small_, "gzip -dc"}};
    const std::map<std::string, std::string> names = {
        {"gzip -dc", "gz"}, {"xz -dc", "xz"}, {"bzip2 -dc", "bz2"}, {"zstd -dcq", "zst"}};
    for (const auto& c : cases) {
        const ShellRun plain = script("\"$MF\" convert " + c.first);
        const ShellRun packed = script("set -o pipefail; \"$MF\" convert " + c.first + " --compress " +
                                       names.at(c.second) + " | " + c.second);
        EXPECT_EQ(plain.status, 0) << describe(plain);
        EXPECT_EQ(packed.status, 0) << c.first << '\n' << describe(packed);
        EXPECT_FALSE(plain.out.empty());
        EXPECT_EQ(packed.out, plain.out) << c.first << ' ' << c.second;
    }
    EXPECT_TRUE(leftovers().empty());
    // A compression is not a format, and a file is compressed as its name says.
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"convert " + small_ + " - --to FASTA.gz", "FASTA.gz"},
        {"convert " + small_ + " " + dir_.file("x.fa") + " --compress gz", "--compress is for standard output"},
        {"convert " + small_ + " - --to FASTA --compress zip", "--compress takes gz, bz2, xz or zst"}};
    for (const auto& line : refused) {
        const ShellRun run = script("\"$MF\" " + line.first);
        EXPECT_EQ(run.status, 2) << line.first << '\n' << describe(run);
        EXPECT_NE(run.err.find(line.second), std::string::npos) << line.first << '\n' << describe(run);
        EXPECT_EQ(run.err.find(tmp_), std::string::npos) << line.first << '\n' << describe(run);
        EXPECT_EQ(run.out, "") << line.first;
    }
}

} // namespace

namespace {

TEST_F(ToolStreamsTest, CompressLevelIsCheckedAndTaken) {
    // big_ spans many BGZF blocks; the level changes the bytes, never the content.
    const ShellRun plain = script("\"$MF\" convert " + big_ + " - --to FASTA");
    ASSERT_EQ(plain.status, 0) << describe(plain);
    std::size_t stored = 0, tight = 0;
    for (const char* level : {"0", "12"}) {
        const std::string out = dir_.file(std::string("big") + level + ".fa.gz");
        const ShellRun run = script("\"$MF\" convert " + big_ + " " + out + " --compress-level " + level +
                                    " > /dev/null && gzip -dc " + out);
        ASSERT_EQ(run.status, 0) << level << '\n' << describe(run);
        EXPECT_TRUE(run.out == plain.out) << level;
        const std::string bytes = mftest::readFile(out);
        EXPECT_EQ(bytes.substr(0, 4), std::string("\x1f\x8b\x08\x04", 4)) << level;
        EXPECT_EQ(bytes.substr(bytes.size() - 28, 18), std::string("\x1f\x8b\x08\x04\0\0\0\0\0\xff\x06\0BC\x02\0\x1b\0", 18));
        (level[0] == '0' ? stored : tight) = bytes.size();
    }
    EXPECT_GT(stored, plain.out.size());
    EXPECT_LT(tight, plain.out.size() / 3);
    // Standard output, and the other compressions' own ranges.
    for (const char* line : {"--compress gz --compress-level 1 | gzip -dc", "--compress zst --compress-level 19 | zstd -dcq",
                             "--compress bz2 --compress-level 1 | bzip2 -dc"}) {
        const ShellRun run = script("set -o pipefail; \"$MF\" convert " + small_ + " - --to FASTA " + line);
        EXPECT_EQ(run.status, 0) << line << '\n' << describe(run);
        EXPECT_EQ(run.out, script("\"$MF\" convert " + small_ + " - --to FASTA").out) << line;
    }
    const std::string target = dir_.file("refused.fa.gz");
    const std::vector<std::pair<std::string, std::string>> refused = {
        {target + " --compress-level 13", "--compress-level takes 0 to 12 for gzip output, not '13'"},
        {target + " --compress-level -1", "not '-1'"},
        {target + " --compress-level +3", "not '+3'"},
        {target + " --compress-level 3.0", "not '3.0'"},
        {target + " --compress-level 007", "not '007'"},
        {target + " --compress-level=", "not ''"},
        {dir_.file("refused.fa.bz2") + " --compress-level 0", "takes 1 to 9 for bzip2 output, not '0'"},
        {"- --to FASTA --compress xz --compress-level 10", "takes 0 to 9 for xz output"},
        {dir_.file("refused.fa") + " --compress-level 1", "--compress-level is for compressed output"},
        {"- --to FASTA --compress-level 1", "--compress-level is for compressed output"}};
    for (const auto& line : refused) {
        const ShellRun run = script("\"$MF\" convert " + small_ + " " + line.first);
        EXPECT_EQ(run.status, 2) << line.first << '\n' << describe(run);
        EXPECT_NE(run.err.find(line.second), std::string::npos) << line.first << '\n' << describe(run);
        EXPECT_EQ(run.out, "") << line.first;
    }
    EXPECT_FALSE(mftest::fileExists(target));
    EXPECT_FALSE(mftest::fileExists(dir_.file("refused.fa")));
    EXPECT_TRUE(leftovers().empty());
}

} // namespace
