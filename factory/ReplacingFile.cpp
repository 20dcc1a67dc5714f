#include "factory/ReplacingFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Ovik {

ReplacingFile::ReplacingFile(const std::string& target) : target_(target) {
    struct stat existing;
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    // A target the user may not write stays as it is, as a plain open would have refused it.
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        errno_ = errno;
        stream_.setstate(std::ios::failbit);
        return;
    }
    std::vector<char> name(target.begin(), target.end());
    const std::string suffix = ".tmpXXXXXX";
    name.insert(name.end(), suffix.begin(), suffix.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        errno_ = errno;
        stream_.setstate(std::ios::failbit);
        return;
    }
    temp_.assign(name.data());
    // Keep the permissions of the file being replaced; a new file gets the usual ones.
    if (exists)
        ::fchmod(fd, existing.st_mode & 07777);
    else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    ::close(fd);
    stream_.open(temp_, std::ios::out | std::ios::trunc);
    open_ = stream_.is_open();
    if (!open_)
        errno_ = errno;
}

ReplacingFile::~ReplacingFile() {
    if (!temp_.empty() && !committed_) {
        if (stream_.is_open())
            stream_.close();
        std::remove(temp_.c_str());
    }
}

bool ReplacingFile::commit() {
    if (!open_ || committed_)
        return committed_;
    stream_.flush();
    stream_.close();
    if (stream_.fail())
        return false;
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        errno_ = errno;
        return false;
    }
    committed_ = true;
    return true;
}

} // namespace Ovik
