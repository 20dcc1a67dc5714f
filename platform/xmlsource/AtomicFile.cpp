#include "AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velm {
namespace xmlsource {

bool writeFileAtomically(const std::string& path, const std::string& content, std::string& error) {
    const std::string pattern = path + ".tmpXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const std::string temp(name.data());
    // mkstemp makes the file private: give it the mode of the file it replaces, or of a new file.
    struct stat status;
    mode_t mode;
    if (::stat(path.c_str(), &status) == 0) {
        mode = status.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    int failure = ::fchmod(fd, mode) == 0 ? 0 : errno;
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0 && failure == 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno != EINTR)
                failure = errno;
            continue;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        error = std::strerror(failure);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace xmlsource
} // namespace Velm
