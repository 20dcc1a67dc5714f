// The command-line tool on the bad inputs of the reader table: every command ends with status 0
// or 1 (never a signal), a failure says "error: " and names the file, and a failed conversion
// leaves the target as it was.
#include "ToolRunner.h"

#include <TestSupport.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <random>

namespace {

struct BadFile {
    const char* label;
    std::string path;
    bool mayReadSomething; ///< a letters-only line is a plain sequence to some readers
};

std::vector<BadFile> badFiles(const mftest::TempDir& dir) {
    std::mt19937 random(7);
    std::string garbage(4096, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random() & 0xFF);
    const std::string gb = mftest::readFile(std::string(MF_SEEDS_DIR) + "/seqarchive/b.gb");
    const std::string nex = mftest::readFile(std::string(MF_SEEDS_DIR) + "/align/b.nex");
    mkdir(dir.file("a folder.fa").c_str(), 0700);
    {
        std::ofstream out(dir.file("long line.txt"), std::ios::binary);
        const std::string chunk(1 << 20, '#');
        for (int i = 0; i < 50; ++i)
            out << chunk;
    }
    return {
        {"empty", mftest::writeFile(dir.file("empty.gb"), ""), false},
        {"garbage", mftest::writeFile(dir.file("garbage ü.bin"), garbage), false},
        {"cut GenBank", mftest::writeFile(dir.file("cut é.gb"), gb.substr(0, gb.size() / 2)), false},
        {"cut NEXUS", mftest::writeFile(dir.file("cut.nex"), nex.substr(0, nex.size() / 2)), false},
        {"enormous line", dir.file("long line.txt"), false},
        {"folder", dir.file("a folder.fa"), false},
        {"missing", dir.file("no such file.fa"), false},
    };
}

TEST(ToolBadInput, EveryCommandFailsCleanlyNamingTheFile) {
    mftest::TempDir dir;
    const std::string target = mftest::writeFile(dir.file("target.fa"), ">keep\nACGT\n");
    for (const BadFile& bad : badFiles(dir)) {
        const std::vector<std::vector<std::string>> commands = {
            {"type", bad.path}, {"open", bad.path}, {"iterate", bad.path},
            {"convert", bad.path, target}, {"trace", bad.path}};
        for (const auto& args : commands) {
            const mftest::ToolRun run = mftest::runTool(args);
            SCOPED_TRACE(std::string(bad.label) + ": " + args[0] + " -> status " + std::to_string(run.status) +
                         "\nstdout: " + run.out.substr(0, 500) + "\nstderr: " + run.err.substr(0, 500));
            ASSERT_TRUE(run.status == 0 || run.status == 1) << "the tool did not end normally";
            const bool emptyIteration = args[0] == "iterate" && std::string(bad.label) == "empty";
            if (args[0] == "type" || emptyIteration) {
                // Detection answers "unclassified" or a class; iterating no entries is no error.
                // "type" prints one line per path ("unclassified" included) and exits 1 for those.
                if (run.status == 1) {
                    EXPECT_NE((run.out + run.err).find(bad.path), std::string::npos);
                }
                continue;
            }
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err.rfind("error: ", 0), 0u);
            EXPECT_NE(run.err.find(bad.path), std::string::npos) << "the error does not name the file";
            EXPECT_EQ(mftest::readFile(target), ">keep\nACGT\n");
        }
    }
}

} // namespace
