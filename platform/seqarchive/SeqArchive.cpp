#include <contracts/SeqArchive.h>

#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "FileFormat.h"
#include "Messages.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace Ovik {

namespace {
const char* resolveFormat(const std::string& path, const std::string& format) {
    const char* name = SALSource::canonicalName(format.c_str());
    if (!name)
        throw SeqArchiveError(std::string(msg::kCannotOpen) + path + ": " + msg::kUnknownFormatName +
                              "\"" + format + "\"");
    return name;
}
} // namespace

SeqArchive::SeqArchive(const std::string& path, const std::string& format, SALSource::OpenMode mode,
                       const std::string& /*extra*/)
    : path_(path), mode_(mode) {
    if (mode == SALSource::Read) {
        // Opened before the content is judged, so that a missing file says why.
        LineSource source(path);
        openReader(std::move(source), format, format.empty() ? GetFileFormat(path) : std::string());
    } else {
        openWriter(OutputTarget(path), format);
    }
}

SeqArchive::SeqArchive(SeqInputStream& input, const std::string& format)
    : path_(input.name()), mode_(SALSource::Read) {
    const std::string detected = format.empty() ? input.format() : std::string();
    openReader(std::move(*input.take()), format, detected);
}

SeqArchive::SeqArchive(int fd, const std::string& name, const std::string& format)
    : path_(name), mode_(SALSource::Write) {
    openWriter(OutputTarget(fd, name), format);
}

void SeqArchive::openReader(LineSource&& source, const std::string& format, std::string detected) {
    const char* name = nullptr;
    if (format.empty()) {
        if (detected.empty()) {
            if (source.skipBlank())
                throw SeqArchiveError(std::string(msg::kCannotOpen) + path_ + ": " +
                                      msg::kUnknownContent);
            // An empty file is an empty archive; any reader sees no entry in it.
            detected = SALSource::FASTA;
        }
        name = SALSource::canonicalName(detected.c_str());
    } else {
        name = resolveFormat(path_, format);
    }
    if (name == SALSource::QUERY || name == SALSource::LST)
        throw SeqArchiveError(std::string(msg::kCannotOpen) + path_ + ": " + msg::kUnknownContent +
                              " (" + name + " files hold no sequence data)");
    format_ = name;
    reader_ = makeReader(name, std::move(source));
}

void SeqArchive::openWriter(const OutputTarget& target, const std::string& format) {
    const char* name = resolveFormat(path_, format);
    if (!SALSource::isWritable(name))
        throw SeqArchiveError(std::string(msg::kCannotCreate) + path_ + ": " + msg::kNotWritable +
                              name);
    format_ = name;
    writer_ = makeWriter(name, target);
}

void SeqArchive::setDefaultQuality(int quality) {
    if (writer_)
        writer_->setDefaultQuality(quality);
}

SeqArchive::~SeqArchive() = default; // an uncommitted writer discards its temporary file

bool SeqArchive::atEnd() const {
    if (!reader_)
        return true;
    return reader_->atEnd();
}

void SeqArchive::close() {
    if (writer_) {
        if (!writer_->committed())
            writer_->commit();
        return;
    }
    reader_.reset();
}

ISeqArchive::ISeqArchive(const std::string& path, const std::string& format, const std::string& extra)
    : SeqArchive(path, format, SALSource::Read, extra) {}

ISeqArchive::ISeqArchive(SeqInputStream& input, const std::string& format)
    : SeqArchive(input, format) {}

OSeqArchive::OSeqArchive(const std::string& path, const std::string& format, const std::string& extra)
    : SeqArchive(path, format, SALSource::Write, extra), formatName_(format) {}

OSeqArchive::OSeqArchive(int fd, const std::string& name, const std::string& format)
    : SeqArchive(fd, name, format), formatName_(format) {}

SeqInputStream::SeqInputStream(int fd, const std::string& name)
    : name_(name), source_(new LineSource(fd, name)) {}

SeqInputStream::~SeqInputStream() = default;

std::unique_ptr<LineSource> SeqInputStream::take() {
    if (!source_)
        throw SeqArchiveError(std::string(msg::kCannotOpen) + name_ + ": " + msg::kStreamTaken);
    return std::move(source_);
}

std::string_view SeqInputStream::head(std::size_t size, bool& complete) {
    if (!source_)
        throw SeqArchiveError(std::string(msg::kCannotOpen) + name_ + ": " + msg::kStreamTaken);
    return source_->peek(size, complete);
}

std::string SeqInputStream::format() {
    bool complete = false;
    const std::string_view prefix = head(kFormatPrefixSize, complete);
    return detectFormat(prefix, !complete);
}

void SeqInputStream::copyTo(int fd) {
    if (!source_)
        throw SeqArchiveError(std::string(msg::kCannotOpen) + name_ + ": " + msg::kStreamTaken);
    std::vector<char> block(1u << 17);
    for (;;) {
        const std::size_t got = source_->read(block.data(), block.size());
        if (got == 0)
            return;
        for (std::size_t done = 0; done < got;) {
            const ssize_t n = ::write(fd, block.data() + done, got - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw SeqArchiveError(std::string(msg::kCannotWrite) + name_ + ": " +
                                      std::strerror(errno));
            done += static_cast<std::size_t>(n);
        }
    }
}

boost::shared_ptr<Velm::Sequence> createSequence(ISeqArchive& archive) {
    if (!archive.reader_) {
        if (archive.writer_)
            throw SeqArchiveError(std::string(msg::kWriteOnlyArchive) + archive.path());
        throw SeqArchiveError(std::string(msg::kClosedArchive) + archive.path());
    }
    archive.reader_->setContext(archive.ctx_);
    return archive.reader_->read();
}

void saveSequence(Velm::Sequence& sequence, OSeqArchive& archive) {
    if (!archive.writer_)
        throw SeqArchiveError(std::string(msg::kReadOnlyArchive) + archive.path());
    if (archive.writer_->committed())
        throw SeqArchiveError(std::string(msg::kClosedArchive) + archive.path());
    archive.writer_->write(sequence);
}

} // namespace Ovik
