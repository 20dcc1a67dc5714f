#include "OutputFile.h"

#include "Messages.h"

#include <contracts/SeqArchive.h>

#include <cstring>

namespace Ovik {

// The archive layer reports failures by exception, naming the target.
OutputFile::OutputFile(const std::string& target) : file_(target) {
    if (!file_.ok())
        throw SeqArchiveError(std::string(msg::kCannotCreate) + target + ": " +
                              std::strerror(file_.error()));
}

OutputFile::~OutputFile() = default;

void OutputFile::fail() {
    throw SeqArchiveError(std::string(msg::kCannotWrite) + file_.target() + ": " +
                          std::strerror(file_.error()));
}

void OutputFile::write(const char* data, std::size_t size) {
    if (file_.committed())
        throw SeqArchiveError(std::string(msg::kCannotWrite) + file_.target() + ": " +
                              msg::kClosedArchive + file_.target());
    if (!file_.write(data, size))
        fail();
}

void OutputFile::commit() {
    if (!file_.commit())
        fail();
}

} // namespace Ovik
