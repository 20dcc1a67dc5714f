#include "StandardStreams.h"

#include "Cli.h"
#include "Messages.h"

#include <factory/ModelFactory.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <pthread.h>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <stdexcept>
#include <streambuf>
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

// Standard output's buffer: large writes to descriptor 1, each line at once on a terminal. The
// first failure is kept and ends the writing; the stream then goes bad, so later output is
// dropped rather than written after a gap.
class OutputBuffer : public std::streambuf {
public:
    OutputBuffer() : lines_(::isatty(STDOUT_FILENO) == 1) { setp(buffer_, buffer_ + sizeof buffer_); }
    int error() const { return error_; }
    void fail(int error) {
        if (error_ == 0)
            error_ = error;
    }

protected:
    int_type overflow(int_type c) override {
        if (!drain())
            return traits_type::eof();
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        if (lines_ && c == '\n' && !drain())
            return traits_type::eof();
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const std::size_t size = static_cast<std::size_t>(n);
        if (size > static_cast<std::size_t>(epptr() - pptr())) {
            if (!drain())
                return 0;
            if (size >= sizeof buffer_)
                return send(s, size) ? n : 0;
        }
        std::memcpy(pptr(), s, size);
        pbump(static_cast<int>(n));
        if (lines_ && std::memchr(s, '\n', size) && !drain())
            return 0;
        return n;
    }
    int sync() override { return drain() ? 0 : -1; }

private:
    bool send(const char* data, std::size_t size) {
        if (error_ != 0)
            return false;
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::write(STDOUT_FILENO, data + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                fail(errno);
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    bool drain() {
        const bool sent = send(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(buffer_, buffer_ + sizeof buffer_);
        return sent;
    }

    char buffer_[1 << 16];
    bool lines_;
    int error_ = 0;
};

OutputBuffer& outputBuffer() {
    // Never destroyed: std::cout keeps it as its buffer until the very end of the process, when
    // the streams' own clean-up flushes it after every static object has gone.
    static OutputBuffer* const buffer = new OutputBuffer;
    return *buffer;
}

// The tool's temporary files and folders, for removeTemporaryFolders. A signal handler reads
// them, so the registry is fixed memory claimed through atomics: no allocation, no lock.
enum SlotState : int { Free, Filling, LiveFile, LiveFolder };
struct Slot {
    std::atomic<int> state{Free};
    char path[PATH_MAX] = {};
};
constexpr int kSlots = 32;
Slot g_slots[kSlots];

// A slot holding `path` as `state`; -1 when all are taken or the path does not fit (the owner
// still removes it, only a signal handler does not).
int registerPath(const std::string& path, SlotState state) {
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (g_slots[i].state.compare_exchange_strong(expected, Filling)) {
            std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
            g_slots[i].state.store(state, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot >= 0)
        g_slots[slot].state.store(Free, std::memory_order_release);
}

// A descriptor that is not open: the next open() would take its number.
bool isClosed(int fd) { return ::fcntl(fd, F_GETFD) < 0 && errno == EBADF; }

} // namespace

void openStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (!isClosed(fd))
            continue;
        // Opened the other way round, so that every read or write fails with EBADF as on the
        // closed descriptor. open() takes the lowest free number: this one.
        const int placeholder = ::open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
        if (placeholder >= 0 && placeholder != fd)
            ::close(placeholder);
    }
    std::cout.rdbuf(&outputBuffer());
}

int standardOutputError() { return outputBuffer().error(); }

int closeStandardOutput(int status, std::ostream& err) {
    std::cout.flush();
    OutputBuffer& buffer = outputBuffer();
    // A file system may report a failed write only at the close (NFS, a quota).
    if (::close(STDOUT_FILENO) != 0 && errno != EINTR)
        buffer.fail(errno);
    const int error = buffer.error();
    if (error == 0)
        return status;
    if (error == EPIPE)
        return status != ExitOk ? status : ExitFailed;
    err << msg::ErrorPrefix << msg::CannotWriteStandardOutput << std::strerror(error) << std::endl;
    return ExitFailed;
}

void removeTemporaryFolders() noexcept {
    const int saved = errno; // a signal handler must leave errno as it found it
    for (Slot& slot : g_slots)
        if (slot.state.load(std::memory_order_acquire) == LiveFile)
            ::unlink(slot.path);
    for (Slot& slot : g_slots)
        if (slot.state.load(std::memory_order_acquire) == LiveFolder)
            ::rmdir(slot.path);
    errno = saved;
}

TempFolder::TempFolder() = default;

TempFolder::~TempFolder() {
    for (const std::string& file : files_)
        ::unlink(file.c_str());
    if (!path_.empty())
        ::rmdir(path_.c_str());
    for (int slot : slots_)
        releaseSlot(slot);
}

std::string TempFolder::file(const std::string& name) {
    if (path_.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/modelfactory-XXXXXX";
        // The name is known only once the folder exists: termination signals wait until it is
        // registered, so that none finds it there unregistered.
        sigset_t stops, previous;
        sigemptyset(&stops);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            sigaddset(&stops, signal);
        pthread_sigmask(SIG_BLOCK, &stops, &previous);
        const bool made = ::mkdtemp(&pattern[0]) != nullptr;
        const int error = errno;
        if (made)
            slots_.push_back(registerPath(pattern, LiveFolder));
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        if (!made)
            throw std::runtime_error("cannot make a temporary folder " + pattern + ": " +
                                     std::strerror(error));
        path_ = pattern;
    }
    files_.push_back(path_ + "/" + name);
    // Before the caller creates it, so that no moment exists when it is there unregistered.
    slots_.push_back(registerPath(files_.back(), LiveFile));
    return files_.back();
}

StandardInput::StandardInput(ToolContext& ctx) : ctx_(ctx), stream_(STDIN_FILENO, "-") {}

std::string StandardInput::headFile() {
    if (!head_.empty())
        return head_;
    const std::string_view head = stream_.head(kHeadSize, complete_);
    head_ = folder_.file(kStdin);
    ctx_.showFileAs(head_, "-");
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

bool StandardInput::empty() {
    bool complete = false;
    return stream_.head(1, complete).empty() && complete;
}

std::string StandardInput::spool(const std::string& format) {
    const std::string path = headFile();
    // Detection takes whatever no reader claims for a sequence archive; binary content that is
    // not a chromatogram is refused here, as the archive reader refuses it in a named file.
    if (format.empty() && !empty()) {
        const std::string type = Ovik::GetModelFactory().getType(path.c_str());
        bool complete = false;
        const std::string_view head = stream_.head(kHeadSize, complete);
        if (type.empty() || (type == Velm::SeqModel::className &&
                             std::memchr(head.data(), '\0', head.size()) != nullptr))
            throw std::runtime_error(msg::CannotClassifyStandardInput);
    }
    if (complete_)
        return path; // the head is all there is
    const int fd = createFile(path);
    bool whole = false;
    try {
        whole = stream_.copyTo(fd, kStandardInputCopyLimit);
    } catch (...) {
        ::close(fd);
        throw;
    }
    closeFile(fd, path);
    if (!whole)
        throw std::runtime_error(msg::StandardInputTooLarge +
                                 std::to_string(kStandardInputCopyLimit >> 20) + msg::GiveItAsAFile);
    complete_ = true;
    return path;
}

boost::shared_ptr<Velm::Model> StandardInput::readModel(const std::string& format,
                                                       cmn::OpContext* ctx) {
    std::unique_ptr<Ovik::ISeqArchive> in = archive(format, ctx);
    boost::shared_ptr<Velm::SeqModel> model(new Velm::SeqModel);
    while (!in->atEnd())
        model->addSeq(Ovik::createSequence(*in));
    model->setURL("-");
    return model;
}

std::unique_ptr<Ovik::ISeqArchive> StandardInput::archive(const std::string& format,
                                                          cmn::OpContext* ctx) {
    std::unique_ptr<Ovik::ISeqArchive> archive(new Ovik::ISeqArchive(stream_, format));
    archive->setContext(ctx);
    return archive;
}

cmn::Compression outputCompression(const std::string& name, const std::string& output,
                                   const std::string& format) {
    if (cmn::compressionOfName(format) != cmn::Compression::None)
        throw UsageError(msg::ToNamesNoCompression);
    if (name.empty())
        return cmn::Compression::None;
    static const std::pair<const char*, cmn::Compression> kNames[] = {
        {"gz", cmn::Compression::Gzip},  {"gzip", cmn::Compression::Gzip},
        {"bz2", cmn::Compression::Bzip2}, {"bzip2", cmn::Compression::Bzip2},
        {"xz", cmn::Compression::Xz},     {"zst", cmn::Compression::Zstd},
        {"zstd", cmn::Compression::Zstd}};
    for (const auto& known : kNames) {
        if (name != known.first)
            continue;
        if (!isStandardStream(output) && cmn::compressionOfName(output) != known.second)
            throw UsageError(msg::CompressIsForStandardOutput);
        return known.second;
    }
    throw UsageError(msg::UnknownCompression + name + "'");
}

const char* compressionExtension(cmn::Compression compression) {
    switch (compression) {
    case cmn::Compression::Gzip: return ".gz";
    case cmn::Compression::Bzip2: return ".bz2";
    case cmn::Compression::Xz: return ".xz";
    case cmn::Compression::Zstd: return ".zst";
    case cmn::Compression::None: break;
    }
    return "";
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
