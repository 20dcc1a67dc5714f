#include <contracts/Common.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace cmn {

namespace {

constexpr std::size_t kBufferSize = 1u << 20;
// The temporary name repeats the start of the target's name, so that a file left by a crash can
// be told apart, but never so much that the name passes NAME_MAX when the target's is near it.
constexpr std::size_t kNameStem = 24;
constexpr std::size_t kRandomChars = 12;
// The kernel's own limit on the links one lookup follows.
constexpr int kMaxLinks = 40;

// The temporary files alive in the process, for removeTemporaryFiles. It runs in signal handlers,
// so the registry is fixed memory claimed through lock-free atomics: no allocation, no lock.
enum SlotState : int { Free, Filling, Live };
struct Slot {
    std::atomic<int> state{Free};
    char path[PATH_MAX] = {};
};
constexpr int kSlots = 64;
Slot g_slots[kSlots];

std::atomic<std::uint64_t> g_counter{0};

// A free slot in the Filling state, or -1 when all are taken (the file is then still removed by
// its owner, only not by a signal handler).
int claimSlot() {
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (g_slots[i].state.compare_exchange_strong(expected, Filling))
            return i;
    }
    return -1;
}

// A slot's path is written only while the slot is not Live, so a handler never reads half a path.
void setSlot(int slot, const std::string& path, SlotState state) {
    if (slot < 0)
        return;
    if (state == Live) {
        if (path.size() >= PATH_MAX)
            return;
        std::memcpy(g_slots[slot].path, path.c_str(), path.size() + 1);
    }
    g_slots[slot].state.store(state, std::memory_order_release);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The start of a file name, cut at a character boundary so that the name stays valid UTF-8.
std::string stemOf(const std::string& name) {
    std::size_t length = std::min(name.size(), kNameStem);
    while (length > 0 && length < name.size() && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
        --length;
    return name.substr(0, length);
}

// Random letters and digits: a planted file cannot be placed at the name in advance (exclusive
// creation already keeps such a file from being written through; this keeps it from blocking).
std::string randomPart() {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[kRandomChars];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // The kernel's generator is not ready (early boot): clock, process and counter still vary.
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        std::uint64_t x = static_cast<std::uint64_t>(now.tv_nsec) ^
                          (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
                          (static_cast<std::uint64_t>(::getpid()) << 12) ^ g_counter++;
        for (unsigned char& byte : bytes) {
            x += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
            byte = static_cast<unsigned char>((z ^ (z >> 27)) >> 24);
        }
    }
    std::string text;
    for (unsigned char byte : bytes)
        text += kAlphabet[byte % (sizeof kAlphabet - 1)];
    return text;
}

// The file a rename must replace so that a symbolic link at `path` stays and the file it points to
// gets the new content. Only the last component matters: the temporary file is created through
// the same folders. 0, or the errno that stopped the walk.
int followLinks(const std::string& path, std::string& resolved) {
    resolved = path;
    for (int hops = 0;; ++hops) {
        struct stat status;
        if (::lstat(resolved.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return 0;
        if (hops == kMaxLinks)
            return ELOOP;
        char link[PATH_MAX];
        const ssize_t length = ::readlink(resolved.c_str(), link, sizeof link);
        if (length < 0)
            return errno;
        if (length == 0 || static_cast<std::size_t>(length) == sizeof link)
            return ENAMETOOLONG;
        const std::string text(link, static_cast<std::size_t>(length));
        resolved = text[0] == '/' ? text : folderOf(resolved) + text;
    }
}

// The descriptor number a path names when it is one of the process's own (/dev/fd/N,
// /proc/self/fd/N, /dev/stdout, /dev/stderr), else -1.
int ownDescriptor(const std::string& path) {
    if (path == "/dev/stdout")
        return 1;
    if (path == "/dev/stderr")
        return 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const std::size_t length = std::strlen(prefix);
        if (path.compare(0, length, prefix) != 0 || path.size() == length || path.size() > length + 9)
            continue;
        int number = 0;
        for (std::size_t i = length; i < path.size(); ++i) {
            if (path[i] < '0' || path[i] > '9')
                return -1;
            number = number * 10 + (path[i] - '0');
        }
        return number;
    }
    return -1;
}

// A socket cannot be opened. One of the process's own descriptors (its standard output may be a
// socket) is duplicated; a named socket is connected to. The descriptor, or -1 with errno set.
int openSocket(const std::string& path, const struct stat& status) {
    const int own = ownDescriptor(path);
    struct stat held;
    if (own >= 0 && ::fstat(own, &held) == 0 && held.st_dev == status.st_dev && held.st_ino == status.st_ino)
        return ::fcntl(own, F_DUPFD_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

ReplacingFile::ReplacingFile(const std::string& target) : target_(target) {
    struct stat status;
    const bool exists = ::stat(target.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) {
        error_ = EISDIR;
        return;
    }
    // Devices, FIFOs and sockets are destinations, not files to replace: a rename would put a
    // regular file in place of the node.
    if (exists && !S_ISREG(status.st_mode)) {
        direct_ = true;
        fd_ = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        struct stat opened;
        // Swapped between the stat and the open (a link to a file planted in place of a FIFO):
        // without O_TRUNC nothing was changed yet, and nothing will be.
        if (fd_ >= 0 && (::fstat(fd_, &opened) != 0 || opened.st_dev != status.st_dev ||
                         opened.st_ino != status.st_ino)) {
            ::close(fd_);
            fd_ = -1;
            errno = EAGAIN;
        }
        if (fd_ < 0 && errno == ENXIO && S_ISSOCK(status.st_mode))
            fd_ = openSocket(target, status);
        if (fd_ < 0)
            error_ = errno;
        else
            buffer_.reserve(kBufferSize);
        return;
    }

    if (const int error = followLinks(target, replaced_)) {
        error_ = error;
        return;
    }
    struct stat existing;
    const bool replacing = ::stat(replaced_.c_str(), &existing) == 0;
    // A link whose text does not name the file it leads to (/proc/self/fd/N of a deleted file) or
    // that changed on the way: the rename would put the file somewhere the caller did not mean.
    if (exists && (!replacing || existing.st_dev != status.st_dev || existing.st_ino != status.st_ino)) {
        error_ = ENOENT;
        return;
    }
    // A target the user may not write stays as it is, as a plain open would have refused it.
    if (replacing && ::access(replaced_.c_str(), W_OK) != 0) {
        error_ = errno;
        return;
    }
    // A hidden name in the target's folder, so that the final rename stays on one file system.
    // The name is registered before the file exists: registered after, a signal arriving between
    // the creation and the registration would leave the file behind.
    slot_ = claimSlot();
    const std::string prefix = folderOf(replaced_) + "." + stemOf(fileOf(replaced_)) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_ = prefix + randomPart() + ".tmp";
        setSlot(slot_, temp_, Live);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            break;
        const int error = errno;
        setSlot(slot_, temp_, Filling); // the name is someone else's, or nothing was created
        if (error != EEXIST) {
            errno = error;
            break;
        }
    }
    if (fd_ < 0) {
        error_ = errno;
        temp_.clear();
        setSlot(slot_, temp_, Free);
        slot_ = -1;
        return;
    }
    if (replacing) {
        // The owner stays when the process may set it (the superuser saving a user's file), and
        // the permissions stay less setuid and setgid, as cp leaves them.
        if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())
            (void)::fchown(fd_, existing.st_uid, existing.st_gid);
        (void)::fchmod(fd_, existing.st_mode & 0777);
    }
    buffer_.reserve(kBufferSize);
}

ReplacingFile::ReplacingFile(int fd, const std::string& name) : target_(name), direct_(true) {
    fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0)
        error_ = errno;
    else
        buffer_.reserve(kBufferSize);
}

ReplacingFile::~ReplacingFile() {
    if (!committed_)
        discard();
}

void ReplacingFile::release() {
    setSlot(slot_, temp_, Free);
    slot_ = -1;
    temp_.clear();
}

void ReplacingFile::discard() {
    if (committed_)
        return;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    release();
    buffer_.clear();
    fail(ECANCELED);
}

void ReplacingFile::fail(int error) {
    if (error_ == 0)
        error_ = error;
}

bool ReplacingFile::write(const char* data, std::size_t size) {
    if (!ok() || committed_)
        return false;
    if (buffer_.size() + size > kBufferSize && !flush())
        return false;
    if (size > kBufferSize) {
        // Written from the caller's bytes: a copy would double the memory of a huge entry.
        if (!flush())
            return false;
        for (std::size_t done = 0; done < size;) {
            const ssize_t written = ::write(fd_, data + done, size - done);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                fail(errno);
                return false;
            }
            done += static_cast<std::size_t>(written);
        }
        return true;
    }
    buffer_.append(data, size);
    return true;
}

bool ReplacingFile::flush() {
    const char* p = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t written = ::write(fd_, p, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
            return false;
        }
        p += written;
        left -= static_cast<std::size_t>(written);
    }
    buffer_.clear();
    return true;
}

bool ReplacingFile::commit() {
    if (committed_)
        return true;
    if (!ok() || !flush())
        return false;
    // Some file systems cannot sync; that is no reason to refuse the file. What is written
    // straight through has no file of its own to sync.
    if (!direct_ && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        fail(errno);
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        fail(errno);
        return false;
    }
    if (!direct_ && std::rename(temp_.c_str(), replaced_.c_str()) != 0) {
        fail(errno);
        return false;
    }
    committed_ = true;
    release();
    return true;
}

bool replaceFileContents(const std::string& path, const std::string& content, int& error) {
    ReplacingFile file(path);
    file.write(content);
    const bool done = file.commit();
    error = file.error();
    return done;
}

void removeTemporaryFiles() noexcept {
    const int saved = errno; // a signal handler must leave errno as it found it
    for (Slot& slot : g_slots)
        if (slot.state.load(std::memory_order_acquire) == Live)
            ::unlink(slot.path);
    errno = saved;
}

} // namespace cmn
