#include <contracts/Common.h>
#include <contracts/Compression.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace cmn {

namespace {

// Every sniffer asks for a few KiB; reading at least this much on a miss lets the larger asks of
// later sources be answered from the same read.
constexpr std::size_t kMinimumRead = 32 * 1024;

// What one thread last learnt of one file.
struct FileRecord {
    std::string path;
    bool known = false;          // `regular`, `identity` describe `path`...
    unsigned long checkedIn = 0; // ...as checked in this probe scope (0: none)
    bool regular = false;
    struct stat identity {};
    bool haveBytes = false;
    std::vector<char> buffer;    // the file's first `size` bytes (kept from file to file, so that
    std::size_t size = 0;        // reading into it neither clears nor copies)
    bool whole = false;          // the bytes are all of the file
    // A compressed file's first decompressed bytes (peekContentHead), as for the raw ones.
    bool haveContent = false;
    std::vector<char> content;
    std::size_t contentSize = 0;
    bool contentWhole = false;

    bool sameFile(const struct stat& s) const {
        return identity.st_dev == s.st_dev && identity.st_ino == s.st_ino &&
               identity.st_size == s.st_size && identity.st_mtim.tv_sec == s.st_mtim.tv_sec &&
               identity.st_mtim.tv_nsec == s.st_mtim.tv_nsec;
    }
};

thread_local FileRecord t_record;
thread_local int t_scopes = 0;
thread_local unsigned long t_scope = 0; // the current outermost scope's number; 0 outside any
thread_local unsigned long t_scopesOpened = 0;

// Reads up to `want` bytes from the start of the file into `out`; `size` receives the count.
// `expected` is the size the file was seen with: once that much has come, the read that would
// only confirm the end is saved (most files sniffed are smaller than `want`). Files that
// report no size (those of /proc among them) are read to their end.
bool readFrom(const std::string& path, std::size_t want, std::size_t expected, std::vector<char>& out,
              std::size_t& size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    if (out.size() < want)
        out.resize(want);
    const std::size_t stopAt = expected > 0 ? std::min(want, expected) : want;
    std::size_t got = 0;
    while (got < stopAt) {
        const ssize_t n = ::read(fd, out.data() + got, want - got);
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
    size = got;
    return true;
}

// The record for `path`, its stat brought up to date unless a scope vouches for it.
FileRecord& recordOf(const std::string& path) {
    FileRecord& r = t_record;
    const bool samePath = r.known && r.path == path;
    // Only what was checked in the running scope is vouched for: a file learnt of before it may
    // have been replaced since (saved over, by this thread or another).
    if (samePath && t_scope != 0 && r.checkedIn == t_scope)
        return r;
    struct stat status;
    const bool found = ::stat(path.c_str(), &status) == 0;
    if (!samePath || !found || !r.sameFile(status)) {
        r.path = path;
        r.haveBytes = false;
        r.haveContent = false;
    }
    r.known = true;
    r.checkedIn = t_scope;
    r.regular = found && S_ISREG(status.st_mode);
    if (found)
        r.identity = status;
    return r;
}

} // namespace

ProbeScope::ProbeScope() {
    if (t_scopes++ == 0)
        t_scope = ++t_scopesOpened;
}

ProbeScope::~ProbeScope() {
    if (--t_scopes == 0)
        t_scope = 0;
}

bool isRegularFile(const std::string& path) { return recordOf(path).regular; }

bool peekFileHead(const std::string& path, std::size_t maxBytes, std::string_view& head, bool& complete) {
    FileRecord& r = recordOf(path);
    if (!r.regular)
        return false;
    if (!r.haveBytes || (!r.whole && r.size < maxBytes)) {
        const std::size_t want = std::max(maxBytes, kMinimumRead);
        r.haveBytes = readFrom(path, want, static_cast<std::size_t>(r.identity.st_size), r.buffer, r.size);
        r.haveContent = false;
        if (!r.haveBytes)
            return false;
        r.whole = r.size < want;
    }
    head = std::string_view(r.buffer.data(), std::min(r.size, maxBytes));
    complete = head.size() < maxBytes;
    return true;
}

bool peekContentHead(const std::string& path, std::size_t maxBytes, std::string_view& head,
                     bool& complete) {
    if (!peekFileHead(path, maxBytes, head, complete))
        return false;
    if (compressionOfBytes(head) == Compression::None)
        return true;
    FileRecord& r = t_record;
    if (!r.haveContent || (!r.contentWhole && r.contentSize < maxBytes)) {
        // Only what the sniffers ask for is inflated: a small file may unpack to gigabytes.
        const std::size_t want = std::max(maxBytes, kMinimumRead);
        if (r.content.size() < want)
            r.content.resize(want);
        InputStream in;
        if (!in.open(path))
            return false;
        r.contentWhole = false;
        r.contentSize = 0;
        try {
            while (r.contentSize < want) {
                const std::size_t got = in.read(r.content.data() + r.contentSize, want - r.contentSize);
                if (got == 0) {
                    r.contentWhole = true;
                    break;
                }
                r.contentSize += got;
            }
        } catch (const InputError&) {
            // What decoded before the fault is judged; the reader reports the fault.
        }
        r.haveContent = true;
    }
    head = std::string_view(r.content.data(), std::min(r.contentSize, maxBytes));
    complete = r.contentWhole && r.contentSize < maxBytes;
    return true;
}

bool readFileHead(const std::string& path, std::size_t maxBytes, std::string& head, bool& complete) {
    std::string_view bytes;
    if (!peekFileHead(path, maxBytes, bytes, complete))
        return false;
    head.assign(bytes.data(), bytes.size());
    return true;
}

} // namespace cmn
