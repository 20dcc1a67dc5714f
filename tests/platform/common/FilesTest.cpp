#include <contracts/Common.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

std::size_t entriesIn(const std::string& dir) {
    std::size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(dir); it != std::filesystem::directory_iterator(); ++it)
        ++n;
    return n;
}

TEST(QualifiedPath, SplitsAtAFirstDoubleAt) {
    struct Case { const char* path; bool qualified; const char* format; const char* file; };
    const Case cases[] = {
        {"FASTA@@dir/x.fa", true, "FASTA", "dir/x.fa"},
        {"@@x", true, "", "x"},
        {"SDN@@FASTA@@x", true, "SDN", "FASTA@@x"},
        {"F@x@@y", false, "", "F@x@@y"},   // the first '@' is not doubled: an ordinary path
        {"plain/path", false, "", "plain/path"},
        {"trailing@", false, "", "trailing@"},
        {"", false, "", ""},
    };
    for (const Case& c : cases) {
        const cmn::QualifiedPath split(c.path);
        EXPECT_EQ(split.qualified, c.qualified) << c.path;
        EXPECT_EQ(split.format, c.format) << c.path;
        EXPECT_EQ(split.file, c.file) << c.path;
    }
    EXPECT_FALSE(cmn::QualifiedPath(static_cast<const char*>(nullptr)).qualified);
}

TEST(ReplacingFile, CommitPutsTheWholeFileInPlaceKeepingPermissions) {
    mftest::TempDir dir;
    const std::string target = mftest::writeFile(dir.file("out.txt"), "old");
    ::chmod(target.c_str(), 0640);
    {
        cmn::ReplacingFile file(target);
        ASSERT_TRUE(file.ok());
        EXPECT_TRUE(file.write("new "));
        EXPECT_TRUE(file.write(std::string(3 << 20, 'x'))); // larger than the buffer
        EXPECT_EQ(mftest::readFile(target), "old");        // nothing visible before commit
        EXPECT_TRUE(file.commit());
    }
    EXPECT_EQ(mftest::readFile(target).size(), 4u + (3u << 20));
    struct stat status;
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(ReplacingFile, WithoutCommitTheOldFileStaysAndNoTemporaryIsLeft) {
    mftest::TempDir dir;
    const std::string target = mftest::writeFile(dir.file("keep.txt"), "precious");
    {
        cmn::ReplacingFile file(target);
        file.write("half of a new file");
    }
    EXPECT_EQ(mftest::readFile(target), "precious");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(ReplacingFile, AWriteErrorFailsTheCommitAndKeepsTheOldFile) {
    mftest::TempDir dir;
    const std::string target = mftest::writeFile(dir.file("full.txt"), "precious");
    // A small file-size limit stands in for a full disk.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    bool committed = true;
    int error = 0;
    {
        cmn::ReplacingFile file(target);
        file.write(std::string(2 << 20, 'x'));
        committed = file.commit();
        error = file.error();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(committed);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(mftest::readFile(target), "precious");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(ReplacingFile, AMissingFolderIsReportedAtOnce) {
    mftest::TempDir dir;
    int error = 0;
    EXPECT_FALSE(cmn::replaceFileContents(dir.file("no/such/folder/x"), "text", error));
    EXPECT_EQ(error, ENOENT);
    cmn::ReplacingFile file(dir.file("no/x"));
    EXPECT_FALSE(file.ok());
    EXPECT_FALSE(file.write("x"));
    EXPECT_FALSE(file.commit());
}

// Everything that arrives on a descriptor until the writer closes it.
std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

bool commitThrough(const std::string& target, const std::string& content) {
    cmn::ReplacingFile file(target);
    EXPECT_TRUE(file.direct()) << target;
    file.write(content);
    return file.commit();
}

TEST(ReplacingFile, WritesDevicesFifosAndSocketsStraightThrough) {
    const std::string content = ">a\nACGT\n" + std::string(3 << 20, 'C'); // past the buffer
    mftest::TempDir dir;

    struct stat before, after;
    ASSERT_EQ(::stat("/dev/null", &before), 0);
    EXPECT_TRUE(commitThrough("/dev/null", content));
    ASSERT_EQ(::stat("/dev/null", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode)) << "the device node was replaced";
    EXPECT_EQ(after.st_rdev, before.st_rdev);
    EXPECT_EQ(after.st_ino, before.st_ino);

    const std::string fifo = dir.file("pipe.fa");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = drain(::open(fifo.c_str(), O_RDONLY)); });
    EXPECT_TRUE(commitThrough(fifo, content));
    reader.join();
    EXPECT_EQ(received, content);
    ASSERT_EQ(::lstat(fifo.c_str(), &after), 0);
    EXPECT_TRUE(S_ISFIFO(after.st_mode));

    const std::string socketPath = dir.file("s");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    received.clear();
    std::thread server([&] { received = drain(::accept(listener, nullptr, nullptr)); });
    EXPECT_TRUE(commitThrough(socketPath, content));
    server.join();
    ::close(listener);
    EXPECT_EQ(received, content);
    ASSERT_EQ(::lstat(socketPath.c_str(), &after), 0);
    EXPECT_TRUE(S_ISSOCK(after.st_mode));

    // The process's own descriptors, by their /proc and /dev/fd names: a pipe and an anonymous
    // socket (neither can be replaced, and the socket cannot be opened).
    for (bool socket : {false, true}) {
        for (const char* prefix : {"/proc/self/fd/", "/dev/fd/"}) {
            int ends[2];
            ASSERT_EQ(socket ? ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) : ::pipe(ends), 0);
            received.clear();
            std::thread drainer([&] { received = drain(ends[0]); });
            EXPECT_TRUE(commitThrough(prefix + std::to_string(ends[1]), content)) << prefix << socket;
            ::close(ends[1]);
            drainer.join();
            EXPECT_EQ(received.size(), content.size()) << prefix << socket;
        }
    }
    EXPECT_EQ(entriesIn(dir.path()), 2u) << "no temporary file beside a FIFO or a socket";

    cmn::ReplacingFile folder(dir.path());
    EXPECT_EQ(folder.error(), EISDIR);
}

TEST(ReplacingFile, ALinkStaysALinkAndTheFileItNamesIsReplaced) {
    mftest::TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("data").c_str(), 0700), 0);
    const std::string real = mftest::writeFile(dir.file("data/real.fa"), "old");
    ::chmod(real.c_str(), 0640);
    // link.fa -> data/hop.fa -> real.fa: relative links, each resolved from its own folder.
    ASSERT_EQ(::symlink("real.fa", dir.file("data/hop.fa").c_str()), 0);
    ASSERT_EQ(::symlink("data/hop.fa", dir.file("link.fa").c_str()), 0);
    ASSERT_EQ(::symlink("data/new.fa", dir.file("dangling.fa").c_str()), 0);
    ASSERT_EQ(::symlink("loop.fa", dir.file("loop.fa").c_str()), 0);
    int error = 0;
    EXPECT_TRUE(cmn::replaceFileContents(dir.file("link.fa"), "new", error)) << std::strerror(error);
    EXPECT_TRUE(cmn::replaceFileContents(dir.file("dangling.fa"), "created", error));
    EXPECT_FALSE(cmn::replaceFileContents(dir.file("loop.fa"), "x", error));
    EXPECT_EQ(error, ELOOP);

    struct stat status;
    for (const char* link : {"link.fa", "data/hop.fa", "dangling.fa", "loop.fa"}) {
        ASSERT_EQ(::lstat(dir.file(link).c_str(), &status), 0);
        EXPECT_TRUE(S_ISLNK(status.st_mode)) << link << " was replaced by a file";
    }
    EXPECT_EQ(mftest::readFile(real), "new");
    ASSERT_EQ(::stat(real.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    EXPECT_EQ(mftest::readFile(dir.file("data/new.fa")), "created");
    EXPECT_EQ(entriesIn(dir.file("data")), 3u);
    EXPECT_EQ(entriesIn(dir.path()), 4u);
}

TEST(ReplacingFile, LongNamesSaveAndSetuidBitsAreDropped) {
    mftest::TempDir dir;
    for (std::size_t length : {241u, 255u}) {
        const std::string target = dir.file(std::string(length - 3, 'n') + ".fa");
        int error = 0;
        EXPECT_TRUE(cmn::replaceFileContents(target, "x", error)) << length << ": " << std::strerror(error);
        EXPECT_EQ(mftest::readFile(target), "x");
        ::unlink(target.c_str());
    }
    const std::string program = mftest::writeFile(dir.file("tool"), "old");
    ASSERT_EQ(::chmod(program.c_str(), 06755), 0);
    int error = 0;
    ASSERT_TRUE(cmn::replaceFileContents(program, "new", error));
    struct stat status;
    ASSERT_EQ(::stat(program.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0755u);
}

TEST(ReplacingFile, TemporaryNamesAreHiddenShortAndUnguessable) {
    mftest::TempDir dir;
    const std::string target = dir.file(std::string(200, 'z') + ".fa");
    std::set<std::string> names;
    {
        cmn::ReplacingFile first(target), second(target);
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.insert(entry.path().filename().string());
    }
    ASSERT_EQ(names.size(), 2u) << "two files for one target share a name";
    for (const std::string& name : names) {
        EXPECT_EQ(name[0], '.');
        EXPECT_LE(name.size(), 48u);
        EXPECT_EQ(name.find(std::to_string(::getpid())), std::string::npos) << name;
    }
    EXPECT_EQ(entriesIn(dir.path()), 0u);
}

TEST(ReplacingFile, RemoveTemporaryFilesClearsTheLiveOnesAndDiscardGivesUp) {
    mftest::TempDir dir;
    const std::string kept = mftest::writeFile(dir.file("kept.fa"), "old");
    cmn::ReplacingFile a(kept), b(dir.file("new.fa"));
    ASSERT_TRUE(a.write("x") && b.write("y"));
    EXPECT_EQ(entriesIn(dir.path()), 3u);
    cmn::removeTemporaryFiles(); // what a signal handler does before the process ends
    EXPECT_EQ(entriesIn(dir.path()), 1u);
    EXPECT_EQ(mftest::readFile(kept), "old");

    cmn::ReplacingFile c(kept);
    c.discard();
    EXPECT_EQ(entriesIn(dir.path()), 1u);
    EXPECT_FALSE(c.write("z"));
    EXPECT_FALSE(c.commit());
    EXPECT_EQ(c.error(), ECANCELED);
    EXPECT_EQ(mftest::readFile(kept), "old");
}

} // namespace

namespace {

TEST(FileHead, ReadsTheStartAndSeesChangesToTheFile) {
    mftest::TempDir dir;
    const std::string path = mftest::writeFile(dir.file("f.txt"), "CLUSTAL W\nrow1 ACGT\n");
    std::string head;
    bool complete = false;
    ASSERT_TRUE(cmn::readFileHead(path, 7, head, complete));
    EXPECT_EQ(head, "CLUSTAL");
    EXPECT_FALSE(complete);
    ASSERT_TRUE(cmn::readFileHead(path, 1000, head, complete));
    EXPECT_EQ(head, "CLUSTAL W\nrow1 ACGT\n");
    EXPECT_TRUE(complete);
    // A rewritten file (new size) is read again, not answered from memory.
    mftest::writeFile(path, "#NEXUS\n");
    ASSERT_TRUE(cmn::readFileHead(path, 1000, head, complete));
    EXPECT_EQ(head, "#NEXUS\n");
    // Larger asks than the first read are honoured.
    mftest::writeFile(path, std::string(100000, 'A'));
    ASSERT_TRUE(cmn::readFileHead(path, 90000, head, complete));
    EXPECT_EQ(head.size(), 90000u);
    EXPECT_FALSE(complete);
}

// The head is read as far as the size the file was seen with; files that report no size (those
// of /proc) are read to their end all the same.
TEST(FileHead, FilesReportingNoSizeAreReadToTheirEnd) {
    struct stat st;
    ASSERT_EQ(::stat("/proc/self/status", &st), 0);
    if (!S_ISREG(st.st_mode) || st.st_size != 0)
        GTEST_SKIP() << "/proc/self/status does not report size 0 here";
    std::string head;
    bool complete = false;
    ASSERT_TRUE(cmn::readFileHead("/proc/self/status", 100000, head, complete));
    EXPECT_TRUE(complete);
    EXPECT_EQ(head.compare(0, 5, "Name:"), 0) << head.substr(0, 40);

    mftest::TempDir dir;
    for (std::size_t size : {std::size_t(1), std::size_t(4095), std::size_t(32 * 1024), std::size_t(40000)}) {
        const std::string bytes(size, 'G');
        const std::string path = mftest::writeFile(dir.file("s" + std::to_string(size)), bytes);
        ASSERT_TRUE(cmn::readFileHead(path, 100000, head, complete));
        EXPECT_EQ(head, bytes);
        EXPECT_TRUE(complete);
    }
}

TEST(FileHead, RefusesWhatIsNotARegularFileWithoutOpeningIt) {
    mftest::TempDir dir;
    std::string head;
    bool complete = false;
    EXPECT_FALSE(cmn::readFileHead(dir.file("missing"), 100, head, complete));
    EXPECT_FALSE(cmn::readFileHead(dir.path(), 100, head, complete));
    // Opening a pipe with no writer would block a sniffer forever.
    const std::string fifo = dir.file("pipe.aln");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(cmn::readFileHead(fifo, 100, head, complete));
}

// A probe scope vouches only for what was learnt inside it: two questions in one scope cost one
// look at the file, and a file replaced between scopes (saved over) is seen anew.
TEST(FileHead, ProbeScopeTrustsOnlyWhatItLearnt) {
    mftest::TempDir dir;
    const std::string path = mftest::writeFile(dir.file("f.aln"), "CLUSTAL W\n");
    std::string_view head;
    bool complete = false;
    {
        cmn::ProbeScope scope;
        ASSERT_TRUE(cmn::peekFileHead(path, 1000, head, complete));
        EXPECT_EQ(head, "CLUSTAL W\n");
        EXPECT_TRUE(complete);
        // Within the burst of questions the record stands, even for a file changed meanwhile.
        mftest::writeFile(path, "#NEXUS\nbegin data;\n");
        ASSERT_TRUE(cmn::peekFileHead(path, 7, head, complete));
        EXPECT_EQ(head, "CLUSTAL");
        EXPECT_FALSE(complete);
        EXPECT_TRUE(cmn::isRegularFile(path));
    }
    {
        cmn::ProbeScope scope; // a later burst checks the file first
        ASSERT_TRUE(cmn::peekFileHead(path, 1000, head, complete));
        EXPECT_EQ(head, "#NEXUS\nbegin data;\n");
        ::unlink(path.c_str());
    }
    EXPECT_FALSE(cmn::isRegularFile(path));
    EXPECT_FALSE(cmn::peekFileHead(path, 1000, head, complete));
    // Another file in between replaces the record; the first is then read afresh.
    const std::string other = mftest::writeFile(dir.file("g.txt"), "other");
    mftest::writeFile(path, ">x\nACGT\n");
    {
        cmn::ProbeScope scope;
        ASSERT_TRUE(cmn::peekFileHead(other, 100, head, complete));
        EXPECT_EQ(head, "other");
        ASSERT_TRUE(cmn::peekFileHead(path, 100, head, complete));
        EXPECT_EQ(head, ">x\nACGT\n");
        EXPECT_FALSE(cmn::isRegularFile(dir.path()));
    }
}

// A file rewritten in place keeping its size and modification time (cp -p, rsync -t) is read
// anew by the next question asked outside a probe scope.
TEST(FileHead, RewriteKeepingSizeAndTimesIsSeen) {
    mftest::TempDir dir;
    const std::string path = mftest::writeFile(dir.file("same"), "CLUSTAL W\n");
    struct stat before;
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    std::string_view head;
    bool complete = false;
    ASSERT_TRUE(cmn::peekFileHead(path, 100, head, complete));
    EXPECT_EQ(head, "CLUSTAL W\n");
    mftest::writeFile(path, ">x\nACGTAC\n");
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    ASSERT_TRUE(cmn::peekFileHead(path, 100, head, complete));
    EXPECT_EQ(head, ">x\nACGTAC\n");
}

TEST(RegularFile, OpensRegularFilesOnlyAndSaysWhy) {
    mftest::TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        int error;
        const char* text;
    };
    const Case refused[] = {
        {fifo, cmn::NotRegularFile, "not a regular file"}, // no writer: an open would wait for one
        {"/dev/null", cmn::NotRegularFile, "not a regular file"},
        {dir.path(), EISDIR, "Is a directory"},
        {dir.file("missing"), ENOENT, "No such file or directory"},
    };
    for (const Case& c : refused) {
        int error = 0;
        EXPECT_EQ(cmn::openRegularFile(c.path, error), -1) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
        EXPECT_EQ(cmn::openErrorText(error), c.text);
    }
    const std::string path = mftest::writeFile(dir.file("plain"), ">x\nACGT\n");
    int error = 0;
    const int fd = cmn::openRegularFile(path, error);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    ::close(fd);
}

} // namespace
