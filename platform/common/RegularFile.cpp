#include <contracts/Common.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cmn {

namespace {

int refusal(const struct stat& status) { return S_ISDIR(status.st_mode) ? EISDIR : NotRegularFile; }

} // namespace

int openRegularFile(const std::string& path, int& error) {
    // A stat first, so that a device or FIFO is not even opened (opening some devices has effects
    // of its own); the descriptor is checked as well, in case the path was replaced in between.
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) {
        error = errno;
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        error = refusal(status);
        return -1;
    }
    // O_NONBLOCK: a FIFO swapped in after the stat must not block the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (::fstat(fd, &status) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        error = refusal(status);
        ::close(fd);
        return -1;
    }
    // Reads of a regular file never wait, but the descriptor should behave as a plain open's.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::string openErrorText(int error) {
    return error == NotRegularFile ? std::string("not a regular file") : std::string(std::strerror(error));
}

} // namespace cmn
