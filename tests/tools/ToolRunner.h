#ifndef MODELFACTORY_TESTS_TOOLS_TOOLRUNNER_H
#define MODELFACTORY_TESTS_TOOLS_TOOLRUNNER_H

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace mftest {

/// What one run of the built tool gave back.
struct ToolRun {
    int status = -1; ///< the exit status; -1 when the process did not exit normally
    std::string out;
    std::string err;
};

/// Runs the modelfactory executable with `args` (no shell), stdin from /dev/null, and captures
/// its output streams whole.
ToolRun runTool(const std::vector<std::string>& args);

/// Starts the tool with `args` without waiting for it, its streams on /dev/null and SIGINT,
/// SIGTERM and SIGHUP at their default actions whatever this process was given. The process id,
/// or -1 when it could not start; the caller waits for it.
pid_t startTool(const std::vector<std::string>& args);

/// The same with `input` fed to the tool's stdin through a pipe (not a file), as a shell pipeline
/// would.
ToolRun runToolWithInput(const std::vector<std::string>& args, const std::string& input);

/// A run's status and output streams, for a failed assertion's message (long streams cut short).
std::string describe(const ToolRun& run);
/// The lines of `text`, without their line ends.
std::vector<std::string> linesOf(const std::string& text);
/// The blank-separated words of `line`.
std::vector<std::string> wordsOf(const std::string& line);

/// A test with a temporary folder of its own: file() writes a file into it and gives its path.
class FilesInATempDir : public ::testing::Test {
protected:
    std::string file(const std::string& name, const std::string& content) {
        return writeFile(dir_.file(name), content);
    }
    TempDir dir_;
};

} // namespace mftest

#endif
