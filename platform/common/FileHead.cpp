#include <contracts/Common.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cmn {

namespace {

// Every sniffer asks for a few KiB; reading at least this much on a miss lets the larger asks of
// later sources be answered from the same read.
constexpr std::size_t kMinimumRead = 32 * 1024;

struct CachedHead {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified = {0, 0};
    std::string bytes;
    bool whole = false;

    bool matches(const std::string& p, const struct stat& s) const {
        return size >= 0 && path == p && device == s.st_dev && inode == s.st_ino &&
               size == s.st_size && modified.tv_sec == s.st_mtim.tv_sec &&
               modified.tv_nsec == s.st_mtim.tv_nsec;
    }
};

thread_local CachedHead t_cache;

bool readFrom(const std::string& path, std::size_t want, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    out.resize(want);
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, &out[got], want - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    out.resize(got);
    return true;
}

} // namespace

bool readFileHead(const std::string& path, std::size_t maxBytes, std::string& head, bool& complete) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    CachedHead& cache = t_cache;
    if (!cache.matches(path, status) || (!cache.whole && cache.bytes.size() < maxBytes)) {
        const std::size_t want = std::max(maxBytes, kMinimumRead);
        std::string bytes;
        if (!readFrom(path, want, bytes)) {
            cache.size = -1;
            return false;
        }
        cache.path = path;
        cache.device = status.st_dev;
        cache.inode = status.st_ino;
        cache.size = status.st_size;
        cache.modified = status.st_mtim;
        cache.whole = bytes.size() < want;
        cache.bytes.swap(bytes);
    }
    head.assign(cache.bytes, 0, std::min(maxBytes, cache.bytes.size()));
    complete = head.size() < maxBytes;
    return true;
}

} // namespace cmn
