#include <contracts/SeqArchive.h>

#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "FileFormat.h"
#include "Messages.h"
#include "TextUtil.h"

#include <contracts/Compression.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace Ovik {

namespace {

// True when the file's content is white space only. Read block by block and stopped at the first
// other byte: content nobody recognised is never held whole (a huge file without a line end, a
// compressed stream that unpacks to gigabytes).
bool blankContent(const std::string& path) {
    cmn::InputStream in;
    if (!in.open(path))
        return false;
    char block[16 * 1024];
    try {
        while (const std::size_t got = in.read(block, sizeof block))
            for (std::size_t i = 0; i < got; ++i)
                if (!std::isspace(static_cast<unsigned char>(block[i])))
                    return false;
    } catch (const cmn::InputError& failure) {
        throw SeqArchiveError(std::string(msg::kCannotOpen) + failure.what());
    }
    return true;
}

const char* resolveFormat(const std::string& path, const std::string& format) {
    const char* name = SALSource::canonicalName(format.c_str());
    if (!name)
        throw SeqArchiveError(std::string(msg::kCannotOpen) + path + ": " + msg::kUnknownFormatName +
                              "\"" + format + "\"");
    return name;
}
} // namespace

void ArchiveWriter::checkAbsentResidues(const Velm::Sequence& seq, std::size_t index) const {
    const AbsentResidues rule = absentResidues();
    if (rule == AbsentResidues::Declare)
        return;
    const std::string what = text::tokenName(seq.name(), index + 1) + msg::kResiduesAbsent +
                             std::to_string(seq.declaredLength()) + msg::kResiduesAbsentEnd;
    if (rule == AbsentResidues::Refuse)
        throw SeqArchiveError(out_.target() + ": " + what + msg::kFormatNeedsResidues);
    warn(what + msg::kWrittenEmpty);
}

void ArchiveWriter::commit() {
    if (state_ == State::Failed)
        throw SeqArchiveError(failure_);
    if (state_ != State::Open)
        return;
    try {
        finish();
        out_.commit();
    } catch (const std::exception& e) {
        state_ = State::Failed;
        failure_ = e.what();
        out_.discard();
        throw;
    } catch (...) {
        state_ = State::Failed;
        failure_ = std::string(msg::kCannotWrite) + out_.target();
        out_.discard();
        throw;
    }
    state_ = State::Committed;
}

void ArchiveWriter::discard() {
    if (state_ == State::Committed)
        return;
    if (state_ == State::Open)
        state_ = State::Discarded;
    out_.discard();
}

SeqArchive::SeqArchive(const std::string& path, const std::string& format, SALSource::OpenMode mode,
                       const std::string& /*extra*/)
    : path_(path), mode_(mode), uncaughtAtOpen_(std::uncaught_exceptions()) {
    if (mode == SALSource::Read) {
        // Opened before the content is judged, so that a missing file says why.
        LineSource source(path);
        std::string detected;
        if (format.empty()) {
            detected = GetFileFormat(path);
            // An empty file is an empty archive; any reader sees no entry in it.
            if (detected.empty() && blankContent(path))
                detected = SALSource::FASTA;
        }
        openReader(std::move(source), format, detected);
    } else {
        openWriter(OutputTarget(path), format);
    }
}

SeqArchive::SeqArchive(SeqInputStream& input, const std::string& format)
    : path_(input.name()), mode_(SALSource::Read), uncaughtAtOpen_(std::uncaught_exceptions()) {
    std::string detected;
    if (format.empty()) {
        detected = input.format();
        if (detected.empty() && input.blank())
            detected = SALSource::FASTA;
    }
    openReader(input.take(), format, detected);
}

SeqArchive::SeqArchive(int fd, const std::string& name, const std::string& format,
                       cmn::Compression compression)
    : path_(name), mode_(SALSource::Write), uncaughtAtOpen_(std::uncaught_exceptions()) {
    openWriter(OutputTarget(fd, name, compression), format);
}

void SeqArchive::openReader(LineSource&& source, const std::string& format, std::string detected) {
    const char* name = nullptr;
    if (format.empty()) {
        if (detected.empty())
            throw SeqArchiveError(std::string(msg::kCannotOpen) + path_ + ": " + msg::kUnknownContent);
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

void SeqArchive::setLineWidth(std::size_t width) {
    if (writer_)
        writer_->setLineWidth(width);
}

SeqArchive::~SeqArchive() {
    if (!writer_ || !writer_->open())
        return;
    // Unwinding means the entries were cut short, and a failed write has already been thrown to
    // the caller: neither may replace the target.
    if (std::uncaught_exceptions() > uncaughtAtOpen_ || !writer_->ok()) {
        writer_->discard();
        return;
    }
    // A destructor must not throw: the failure goes to the context, the target stays as it was.
    std::string failure;
    try {
        writer_->commit();
        return;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = std::string(msg::kCannotWrite) + path_;
    }
    if (ctx_) {
        try {
            ctx_->error(failure);
        } catch (...) {
            // The host's report failed too; there is nobody left to tell.
        }
    }
}

bool SeqArchive::atEnd() const {
    if (!reader_)
        return true;
    return reader_->atEnd();
}

void SeqArchive::close() {
    if (writer_) {
        writer_->commit();
        return;
    }
    reader_.reset();
}

void SeqArchive::discard() {
    if (writer_) {
        writer_->discard();
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

OSeqArchive::OSeqArchive(int fd, const std::string& name, const std::string& format,
                         cmn::Compression compression)
    : SeqArchive(fd, name, format, compression), formatName_(format) {}

SeqInputStream::SeqInputStream(int fd, const std::string& name)
    : name_(name), in_(new cmn::InputStream) {
    // The stream closes what it reads from: a copy, so that the caller's descriptor stays open.
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        throw SeqArchiveError(std::string(msg::kCannotOpen) + name + ": " + std::strerror(errno));
    try {
        in_->open(own, name);
    } catch (const cmn::InputError& failure) {
        throw SeqArchiveError(std::string(msg::kCannotOpen) + failure.what());
    }
}

SeqInputStream::~SeqInputStream() = default;

cmn::InputStream& SeqInputStream::input() {
    if (!in_)
        throw SeqArchiveError(std::string(msg::kCannotOpen) + name_ + ": " + msg::kStreamTaken);
    return *in_;
}

LineSource SeqInputStream::take() {
    LineSource source(std::move(input()), name_, head_);
    in_.reset();
    head_.clear();
    return source;
}

std::string_view SeqInputStream::head(std::size_t size, bool& complete) {
    cmn::InputStream& in = input();
    try {
        while (head_.size() < size && !ended_) {
            const std::size_t have = head_.size();
            head_.resize(std::max(size, have + 1));
            const std::size_t got = in.read(&head_[have], head_.size() - have);
            head_.resize(have + got);
            ended_ = got == 0;
        }
    } catch (const cmn::InputError& failure) {
        throw SeqArchiveError(std::string(msg::kCannotOpen) + failure.what());
    }
    complete = ended_ && head_.size() <= size;
    return std::string_view(head_.data(), std::min(size, head_.size()));
}

std::string SeqInputStream::format() {
    bool complete = false;
    const std::string_view prefix = head(kFormatPrefixSize, complete);
    return detectFormat(prefix, !complete);
}

bool SeqInputStream::blank() {
    bool complete = false;
    const std::string_view prefix = head(kFormatPrefixSize, complete);
    return complete && std::all_of(prefix.begin(), prefix.end(), [](char c) {
               return std::isspace(static_cast<unsigned char>(c)) != 0;
           });
}

namespace {
void writeAll(int fd, const char* data, std::size_t size, const std::string& name) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw SeqArchiveError(std::string(msg::kCannotWrite) + name + ": " + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
}
} // namespace

bool SeqInputStream::copyTo(int fd, std::size_t maxBytes) {
    cmn::InputStream& in = input();
    in.readAhead(); // the whole content, in order: inflating overlaps the writing
    if (head_.size() > maxBytes) {
        writeAll(fd, head_.data(), maxBytes, name_);
        head_.erase(0, maxBytes);
        return false;
    }
    writeAll(fd, head_.data(), head_.size(), name_);
    std::size_t left = maxBytes - head_.size();
    head_.clear();
    std::vector<char> block(1u << 17);
    try {
        // One byte past the bound tells whether the content goes on.
        while (const std::size_t got = in.read(block.data(), std::min(block.size(), left + 1))) {
            if (got > left) {
                writeAll(fd, block.data(), left, name_);
                head_.assign(block.data() + left, got - left);
                return false;
            }
            writeAll(fd, block.data(), got, name_);
            left -= got;
        }
    } catch (const cmn::InputError& failure) {
        throw SeqArchiveError(std::string(msg::kCannotOpen) + failure.what());
    }
    ended_ = true;
    return true;
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

bool nextRecordView(ISeqArchive& archive, RecordView& view) {
    if (!archive.reader_) {
        if (archive.writer_)
            throw SeqArchiveError(std::string(msg::kWriteOnlyArchive) + archive.path());
        throw SeqArchiveError(std::string(msg::kClosedArchive) + archive.path());
    }
    archive.reader_->setContext(archive.ctx_);
    return archive.reader_->readView(view);
}

void saveSequence(Velm::Sequence& sequence, OSeqArchive& archive) {
    if (!archive.writer_)
        throw SeqArchiveError(std::string(msg::kReadOnlyArchive) + archive.path());
    if (!archive.writer_->open())
        throw SeqArchiveError(std::string(msg::kClosedArchive) + archive.path());
    archive.writer_->setContext(archive.ctx_);
    archive.writer_->write(sequence);
}

} // namespace Ovik
