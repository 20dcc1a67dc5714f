#include "StandardStreams.h"

#include <factory/ModelFactory.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace mftool {

namespace {

// As much as the factory's detection reads of a file.
constexpr std::size_t kHeadSize = 64 * 1024;
const char* const kStdin = "stdin";

bool copyAll(int from, int to) {
    char block[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        for (ssize_t done = 0; done < got;) {
            const ssize_t n = ::write(to, block + done, static_cast<std::size_t>(got - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            done += n;
        }
    }
}

int createFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    return fd;
}

void closeFile(int fd, const std::string& path) {
    if (::close(fd) != 0)
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
}

} // namespace

TempFolder::TempFolder() = default;

TempFolder::~TempFolder() {
    for (const std::string& file : files_)
        ::unlink(file.c_str());
    if (!path_.empty())
        ::rmdir(path_.c_str());
}

std::string TempFolder::file(const std::string& name) {
    if (path_.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/modelfactory-XXXXXX";
        if (!::mkdtemp(&pattern[0]))
            throw std::runtime_error("cannot make a temporary folder " + pattern + ": " +
                                     std::strerror(errno));
        path_ = pattern;
    }
    files_.push_back(path_ + "/" + name);
    return files_.back();
}

StandardInput::StandardInput() : stream_(STDIN_FILENO, "-") {}

std::string StandardInput::headFile() {
    if (!head_.empty())
        return head_;
    const std::string_view head = stream_.head(kHeadSize, complete_);
    head_ = folder_.file(kStdin);
    const int fd = createFile(head_);
    const bool written = ::write(fd, head.data(), head.size()) == static_cast<ssize_t>(head.size());
    closeFile(fd, head_);
    if (!written)
        throw std::runtime_error("cannot write " + head_);
    return head_;
}

std::string StandardInput::streamFormat(const std::string& format) {
    if (!format.empty()) {
        const char* name = Ovik::SALSource::canonicalName(format.c_str());
        return name && name != Ovik::SALSource::QUERY && name != Ovik::SALSource::LST ? name : "";
    }
    const std::string found = stream_.format();
    if (found.empty() || found == Ovik::SALSource::QUERY || found == Ovik::SALSource::LST)
        return std::string();
    // A source may claim the same text as something else (an MSF file is an alignment): what the
    // factory makes of the first bytes decides, as it would for a file.
    return Ovik::GetModelFactory().getType(headFile().c_str()) == Velm::SeqModel::className ? found
                                                                                          : "";
}

std::string StandardInput::spool() {
    const std::string path = headFile();
    if (complete_)
        return path; // the head is all there is
    const int fd = createFile(path);
    try {
        stream_.copyTo(fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
    closeFile(fd, path);
    complete_ = true;
    return path;
}

std::unique_ptr<Ovik::ISeqArchive> StandardInput::archive(const std::string& format,
                                                          cmn::OpContext* ctx) {
    std::unique_ptr<Ovik::ISeqArchive> archive(new Ovik::ISeqArchive(stream_, format));
    archive->setContext(ctx);
    return archive;
}

bool copyToStandardOutput(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool copied = copyAll(fd, STDOUT_FILENO);
    const int error = errno;
    ::close(fd);
    errno = error;
    return copied;
}

} // namespace mftool
