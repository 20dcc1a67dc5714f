#include "ToolRunner.h"

#include "TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
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

} // namespace

ToolRun runTool(const std::vector<std::string>& args) {
    // Output goes to files rather than pipes: nothing can block however much the tool writes.
    TempDir dir;
    const std::string outPath = dir.file("stdout");
    const std::string errPath = dir.file("stderr");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const pid_t pid = spawnTool(args, &actions, nullptr);
    posix_spawn_file_actions_destroy(&actions);
    if (pid < 0)
        throw std::runtime_error("cannot start " + std::string(MF_TOOL_PATH));

    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0)
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed");
    ToolRun run;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
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

} // namespace mftest
