// Where the tool's output goes: devices, FIFOs and links as targets, links planted beside a
// target, a file-size limit, termination signals, and names that hold control characters. (Long
// names and setuid targets are the replacing file's, tested with it and with every writer.)
#include "TestSupport.h"
#include "ToolRunner.h"
#include "TraceWriter.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {
using mftest::describe;

using mftest::runTool;
using mftest::ToolRun;

const char* const kOld = "the old target\n";

bool hasHiddenFile(const std::string& folder) {
    for (const std::string& name : mftest::filesIn(folder))
        if (name[0] == '.')
            return true;
    return false;
}

// `entries` FASTA entries of `length` residues each.
std::string fasta(std::size_t entries, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < entries; ++i)
        text += ">s" + std::to_string(i) + " entry\n" + std::string(length, "ACGT"[i % 4]) + "\n";
    return text;
}

bool isLink(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

class ToolOutputTest : public ::testing::Test {
protected:
    void SetUp() override { input_ = mftest::writeFile(dir_.file("in.fa"), fasta(3, 70)); }

    /// What converting the input to FASTA gives in a plain new file.
    std::string expectedFasta() {
        const std::string plain = dir_.file("plain.fa");
        const ToolRun run = runTool({"convert", input_, plain, "--to", "FASTA"});
        EXPECT_EQ(run.status, 0) << describe(run);
        return mftest::readFile(plain);
    }

    mftest::TempDir dir_;
    std::string input_;
};

TEST_F(ToolOutputTest, ConvertWritesThroughDevicesAndFifosAndKeepsLinks) {
    const std::string expected = expectedFasta();
    ASSERT_FALSE(expected.empty());

    struct stat before, after;
    ASSERT_EQ(stat("/dev/null", &before), 0);
    ToolRun run = runTool({"convert", input_, "/dev/null", "--to", "FASTA"});
    EXPECT_EQ(run.status, 0) << describe(run);
    ASSERT_EQ(stat("/dev/null", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode) && after.st_rdev == before.st_rdev && after.st_ino == before.st_ino)
        << "/dev/null was replaced";

    const std::string fifo = dir_.file("out.pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = mftest::readFile(fifo); });
    run = runTool({"convert", input_, fifo, "--to", "FASTA"});
    reader.join();
    EXPECT_EQ(run.status, 0) << describe(run);
    EXPECT_EQ(received, expected);
    ASSERT_EQ(lstat(fifo.c_str(), &after), 0);
    EXPECT_TRUE(S_ISFIFO(after.st_mode));

    const std::string real = mftest::writeFile(dir_.file("real.fa"), kOld);
    ASSERT_EQ(symlink("real.fa", dir_.file("link.fa").c_str()), 0);
    run = runTool({"convert", input_, dir_.file("link.fa")});
    EXPECT_EQ(run.status, 0) << describe(run);
    EXPECT_TRUE(isLink(dir_.file("link.fa")));
    EXPECT_EQ(mftest::readFile(real), expected);
    EXPECT_FALSE(hasHiddenFile(dir_.path()));
}

TEST_F(ToolOutputTest, TraceSvgNeverFollowsALinkPlantedBesideItsTarget) {
    const std::string trace = dir_.file("read.scf");
    mftest::writeTrace(trace, mftest::TraceKind::SCF);
    const std::string victim = mftest::writeFile(dir_.file("victim"), kOld);
    const std::string svg = dir_.file("read.svg");
    // The name an earlier version wrote to before renaming, and a link as the target itself.
    ASSERT_EQ(symlink(victim.c_str(), (svg + ".part").c_str()), 0);
    const std::string real = mftest::writeFile(dir_.file("real.svg"), kOld);
    ASSERT_EQ(symlink("real.svg", dir_.file("link.svg").c_str()), 0);

    for (const std::string& target : {svg, dir_.file("link.svg")}) {
        const ToolRun run = runTool({"trace", trace, "--svg", target});
        EXPECT_EQ(run.status, 0) << describe(run);
    }
    EXPECT_EQ(mftest::readFile(victim), kOld);
    EXPECT_EQ(mftest::readFile(svg).compare(0, 5, "<?xml"), 0);
    EXPECT_TRUE(isLink(svg + ".part") && isLink(dir_.file("link.svg")));
    EXPECT_EQ(mftest::readFile(real), mftest::readFile(svg));
    EXPECT_FALSE(hasHiddenFile(dir_.path()));
}

TEST_F(ToolOutputTest, AFileSizeLimitIsAnErrorAndLeavesNothingBehind) {
    const std::string big = mftest::writeFile(dir_.file("big.fa"), fasta(8, 40000));
    const std::string trace = dir_.file("read.scf");
    mftest::writeTrace(trace, mftest::TraceKind::SCF);
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string target;
    };
    const std::vector<Case> cases = {
        {"streamed conversion", {"convert", big, dir_.file("out.gb")}, dir_.file("out.gb")},
        {"whole-model conversion", {"convert", big, dir_.file("out.xml"), "--to", "XML"}, dir_.file("out.xml")},
        {"chromatogram picture", {"trace", trace, "--svg", dir_.file("out.svg")}, dir_.file("out.svg")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mftest::writeFile(c.target, kOld);
        const std::set<std::string> before = mftest::filesIn(dir_.path());
        // The tool inherits the limit and the signal's default action (which kills the process).
        rlimit saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 2048;
        auto* previous = signal(SIGXFSZ, SIG_DFL);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const ToolRun run = runTool(c.args);
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, previous);
        EXPECT_EQ(run.status, 1) << describe(run);
        EXPECT_NE(run.err.find("File too large"), std::string::npos) << describe(run);
        EXPECT_EQ(mftest::readFile(c.target), kOld);
        EXPECT_EQ(mftest::filesIn(dir_.path()), before) << "a temporary file was left behind";
    }
}

TEST_F(ToolOutputTest, TerminationSignalsRemoveTheTemporaryFile) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        bool interrupted = false;
        // The signal is sent once the temporary file exists; should the conversion finish first
        // on a fast machine, a larger input is tried.
        for (std::size_t entries = 100000; !interrupted && entries <= 800000; entries *= 2) {
            mftest::TempDir dir;
            const std::string input = mftest::writeFile(dir.file("in.fa"), fasta(entries, 100));
            const std::string target = mftest::writeFile(dir.file("out.gb"), kOld);
            const pid_t pid = mftest::startTool({"convert", input, target});
            ASSERT_GT(pid, 0);
            int status = 0;
            while (waitpid(pid, &status, WNOHANG) == 0) {
                if (hasHiddenFile(dir.path())) {
                    kill(pid, signal);
                    waitpid(pid, &status, 0);
                    break;
                }
                usleep(200);
            }
            if (WIFEXITED(status))
                continue; // finished before the signal
            interrupted = true;
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
            EXPECT_FALSE(hasHiddenFile(dir.path())) << "the temporary file survived the signal";
            const std::string now = mftest::readFile(target);
            EXPECT_TRUE(now == kOld || now.size() > 100000 * 100) << "the target was cut short";
        }
        EXPECT_TRUE(interrupted) << "every conversion finished before it could be interrupted";
    }
}

TEST_F(ToolOutputTest, TextOutputEscapesControlCharacters) {
    const std::string fa = mftest::writeFile(dir_.file("evil.fa"),
                                             ">evil\x1b]0;owned\x07name desc\x1b[2J\nACGT\n");
    const std::string xml = mftest::writeFile(
        dir_.file("evil.xml"),
        "<?xml version=\"1.0\"?>\n<modelfactory-document version=\"1\" class=\"SeqModel\">"
        "<sequence name=\"two&#10;lines\" type=\"DNA\"><residues>ACGT</residues></sequence>"
        "</modelfactory-document>\n");
    const std::string oddPath = mftest::writeFile(dir_.file("a\nb\x1b[1m.fa"), ">x\nACGT\n");
    struct Case {
        std::vector<std::string> args;
        const char* shown; ///< what the text output holds in place of the raw characters
    };
    const std::vector<Case> cases = {
        {{"open", "FASTA@@" + fa}, "evil\\x1b]0;owned\\x07name"},
        {{"iterate", "FASTA@@" + fa}, "evil\\x1b]0;owned\\x07name"},
        {{"open", xml}, "two\\nlines"},
        {{"iterate", xml}, "two\\nlines"},
        {{"type", oddPath}, "a\\nb\\x1b[1m.fa  SeqModel  FASTA\n"},
        {{"open", oddPath}, "a\\nb\\x1b[1m.fa"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool(c.args);
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        EXPECT_EQ(run.status, 0) << describe(run);
        EXPECT_NE(run.out.find(c.shown), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find_first_of("\x1b\x07"), std::string::npos) << run.out;
    }
    // Messages on stderr quote paths and content the same way; JSON keeps the exact text.
    const ToolRun missing = runTool({"open", dir_.file("gone\x1b[31m.fa")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.find('\x1b'), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("gone\\x1b[31m.fa"), std::string::npos) << missing.err;
    const ToolRun json = runTool({"open", "FASTA@@" + fa, "--json"});
    EXPECT_NE(json.out.find("evil\\u001b]0;owned\\u0007name"), std::string::npos) << json.out;
}

} // namespace
