#include "InputFiles.h"

#include "Messages.h"
#include "StandardStreams.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mftool {

std::string unreadableReason(const std::string& path) {
    if (isStandardStream(path))
        return std::string();
    const std::string file = cmn::QualifiedPath(path).file;
    // Non-blocking, so that a FIFO without a writer does not hang the check.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    struct stat status = {};
    const bool folder = ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
    ::close(fd);
    return folder ? std::strerror(EISDIR) : std::string();
}

bool checkReadable(const std::string& path, cmn::OpContext& ctx) {
    const std::string reason = unreadableReason(path);
    if (reason.empty())
        return true;
    ctx.error(msg::CannotRead + path + ": " + reason);
    return false;
}

} // namespace mftool
