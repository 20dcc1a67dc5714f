#include "OutputFile.h"

#include "Messages.h"

#include <contracts/SeqArchive.h>

#include <cerrno>
#include <cstring>

namespace Ovik {

// The archive layer reports failures by exception, naming the target.
OutputFile::OutputFile(const std::string& target) : file_(target) {
    if (!file_.ok())
        throw SeqArchiveError(std::string(msg::kCannotCreate) + target + ": " +
                              std::strerror(file_.error()));
    const cmn::Compression compression = cmn::compressionOfName(target);
    if (compression != cmn::Compression::None)
        packer_.reset(new cmn::OutputCompressor(compression, file_));
}

OutputFile::~OutputFile() = default;

void OutputFile::fail() {
    failed_ = true;
    // Without a file error the encoder itself failed (it could not get memory).
    throw SeqArchiveError(std::string(msg::kCannotWrite) + file_.target() + ": " +
                          std::strerror(file_.error() != 0 ? file_.error() : ENOMEM));
}

void OutputFile::write(const char* data, std::size_t size) {
    if (file_.committed())
        throw SeqArchiveError(std::string(msg::kCannotWrite) + file_.target() + ": " +
                              msg::kClosedArchive + file_.target());
    if (!(packer_ ? packer_->write(data, size) : file_.write(data, size)))
        fail();
}

void OutputFile::commit() {
    if ((packer_ && !packer_->finish()) || !file_.commit())
        fail();
}

} // namespace Ovik
