#include "OutputFile.h"

#include "Messages.h"

#include <contracts/SeqArchive.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Ovik {

namespace {
constexpr std::size_t kBufferSize = 1u << 20;
std::atomic<unsigned> tempCounter{0};

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
std::string fileOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

OutputFile::OutputFile(const std::string& target) : target_(target) {
    // A hidden name in the target's folder, so that the final rename stays on one file system.
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_ = folderOf(target) + "." + fileOf(target) + ".tmp" + std::to_string(::getpid()) + "_" +
                std::to_string(tempCounter++);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0 || errno != EEXIST)
            break;
    }
    if (fd_ < 0)
        throw SeqArchiveError(std::string(msg::kCannotCreate) + target + ": " + std::strerror(errno));
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        (void)::fchmod(fd_, st.st_mode & 07777); // keep the permissions of the file replaced
    buf_.reserve(kBufferSize);
}

OutputFile::~OutputFile() {
    if (!committed_)
        discard();
}

void OutputFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

void OutputFile::fail(int err) {
    discard();
    throw SeqArchiveError(std::string(msg::kCannotWrite) + target_ + ": " + std::strerror(err));
}

void OutputFile::write(const char* data, std::size_t size) {
    if (fd_ < 0)
        throw SeqArchiveError(std::string(msg::kCannotWrite) + target_ + ": " + msg::kClosedArchive +
                              target_);
    if (buf_.size() + size > kBufferSize) {
        flush();
        if (size > kBufferSize) {
            buf_.assign(data, size);
            flush();
            return;
        }
    }
    buf_.append(data, size);
}

void OutputFile::flush() {
    const char* p = buf_.data();
    std::size_t left = buf_.size();
    while (left > 0) {
        ssize_t got = ::write(fd_, p, left);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        p += got;
        left -= static_cast<std::size_t>(got);
    }
    buf_.clear();
}

void OutputFile::commit() {
    if (committed_)
        return;
    if (fd_ < 0)
        fail(EBADF);
    flush();
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        fail(errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        fail(errno);
    if (std::rename(temp_.c_str(), target_.c_str()) != 0)
        fail(errno);
    temp_.clear();
    committed_ = true;
}

} // namespace Ovik
