#include "ToolRunner.h"

#include "TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <unistd.h>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace mftest {

namespace {

// Starts MF_TOOL_PATH with `args`; -1 when it cannot start.
pid_t spawnTool(const std::vector<std::string>& args, const posix_spawn_file_actions_t* actions,
                const posix_spawnattr_t* attributes) {
    std::vector<std::string> argv{MF_TOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(&arg[0]);
    pointers.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, MF_TOOL_PATH, actions, attributes, pointers.data(), environ) != 0)
        return -1;
    return pid;
}


ToolRun run(const std::vector<std::string>& args, const std::string* input) {
    // Output goes to files rather than pipes: nothing can block however much the tool writes.
    TempDir dir;
    const std::string outPath = dir.file("stdout");
    const std::string errPath = dir.file("stderr");

    int feed[2] = {-1, -1};
    if (input && ::pipe2(feed, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make a pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input)
        posix_spawn_file_actions_adddup2(&actions, feed[0], 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const pid_t pid = spawnTool(args, &actions, nullptr);
    posix_spawn_file_actions_destroy(&actions);
    if (input)
        ::close(feed[0]);
    if (pid < 0)
        throw std::runtime_error("cannot start " + std::string(MF_TOOL_PATH));
    if (input) {
        // The tool may stop reading early (and the pipe break): that is its business.
        const auto previous = ::signal(SIGPIPE, SIG_IGN);
        for (std::size_t done = 0; done < input->size();) {
            const ssize_t n = ::write(feed[1], input->data() + done, input->size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::close(feed[1]);
        ::signal(SIGPIPE, previous);
    }

    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0)
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed");
    ToolRun result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

} // namespace

ToolRun runTool(const std::vector<std::string>& args) { return run(args, nullptr); }

ToolRun runToolWithInput(const std::vector<std::string>& args, const std::string& input) {
    return run(args, &input);
}

pid_t startTool(const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (int stop : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&defaults, stop);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    const pid_t pid = spawnTool(args, &actions, &attributes);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

std::string describe(const ToolRun& run) {
    constexpr std::size_t kShown = 4000;
    return "status " + std::to_string(run.status) + "\n--- stdout ---\n" + run.out.substr(0, kShown) +
           "\n--- stderr ---\n" + run.err.substr(0, kShown);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> wordsOf(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

} // namespace mftest
