#include "OutputFile.h"

#include "Messages.h"

#include <contracts/SeqArchive.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace Ovik {

namespace {
// Pieces of this size keep a pipe busy without holding much.
constexpr std::size_t kDescriptorBuffer = 1u << 16;
} // namespace

// The archive layer reports failures by exception, naming the target.
OutputFile::OutputFile(const OutputTarget& target) : target_(target.path), fd_(target.fd) {
    if (fd_ >= 0 && target.compression == cmn::Compression::None) {
        buffer_.reserve(kDescriptorBuffer);
        return;
    }
    // A compressed descriptor goes through the compressor's sink, written straight through.
    file_.reset(fd_ >= 0 ? new cmn::ReplacingFile(fd_, target.path) : new cmn::ReplacingFile(target.path));
    if (!file_->ok())
        throw SeqArchiveError(std::string(msg::kCannotCreate) + target.path + ": " +
                              std::strerror(file_->error()));
    const cmn::Compression compression =
        fd_ >= 0 ? target.compression : cmn::compressionOfName(target.path);
    if (compression != cmn::Compression::None)
        packer_.reset(new cmn::OutputCompressor(compression, *file_));
}

OutputFile::~OutputFile() = default;

void OutputFile::fail(int error) {
    failed_ = true;
    throw SeqArchiveError(std::string(msg::kCannotWrite) + target_ + ": " + std::strerror(error));
}

int OutputFile::fileError() const {
    // Without a file error the encoder itself failed (it could not get memory).
    return file_->error() != 0 ? file_->error() : ENOMEM;
}

void OutputFile::write(const char* data, std::size_t size) {
    if (committed())
        throw SeqArchiveError(std::string(msg::kCannotWrite) + target_ + ": " +
                              msg::kClosedArchive + target_);
    if (file_) {
        if (!(packer_ ? packer_->write(data, size) : file_->write(data, size)))
            fail(fileError());
        return;
    }
    buffer_.append(data, size);
    if (buffer_.size() >= kDescriptorBuffer)
        flush();
}

void OutputFile::flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(errno);
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void OutputFile::discard() {
    if (file_)
        file_->discard();
    else
        buffer_.clear();
}

void OutputFile::commit() {
    if (file_) {
        if ((packer_ && !packer_->finish()) || !file_->commit())
            fail(fileError());
        return;
    }
    flush();
    committed_ = true;
}

} // namespace Ovik
