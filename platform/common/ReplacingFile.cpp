#include <contracts/Common.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cmn {

namespace {

constexpr std::size_t kBufferSize = 1u << 20;
std::atomic<unsigned> g_tempCounter{0};

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

ReplacingFile::ReplacingFile(const std::string& target) : target_(target) {
    struct stat existing;
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    // A target the user may not write stays as it is, as a plain open would have refused it.
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        error_ = errno;
        return;
    }
    // A hidden name in the target's folder, so that the final rename stays on one file system.
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_ = folderOf(target) + "." + fileOf(target) + ".tmp" + std::to_string(::getpid()) + "_" +
                std::to_string(g_tempCounter++);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0 || errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        error_ = errno;
        temp_.clear();
        return;
    }
    if (exists && S_ISREG(existing.st_mode))
        (void)::fchmod(fd_, existing.st_mode & 07777); // keep the permissions of the file replaced
    buffer_.reserve(kBufferSize);
}

ReplacingFile::~ReplacingFile() {
    if (committed_)
        return;
    if (fd_ >= 0)
        ::close(fd_);
    if (!temp_.empty())
        ::unlink(temp_.c_str());
}

void ReplacingFile::fail(int error) {
    if (error_ == 0)
        error_ = error;
}

bool ReplacingFile::write(const char* data, std::size_t size) {
    if (!ok())
        return false;
    if (buffer_.size() + size > kBufferSize && !flush())
        return false;
    if (size > kBufferSize) {
        buffer_.assign(data, size);
        return flush();
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
    // Some file systems cannot sync; that is no reason to refuse the file.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        fail(errno);
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        fail(errno);
        return false;
    }
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        fail(errno);
        return false;
    }
    committed_ = true;
    return true;
}

bool replaceFileContents(const std::string& path, const std::string& content, int& error) {
    ReplacingFile file(path);
    file.write(content);
    const bool done = file.commit();
    error = file.error();
    return done;
}

} // namespace cmn
