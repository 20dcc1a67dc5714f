#include <contracts/SeqArchive.h>

#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "Messages.h"

#include <contracts/Compression.h>

#include <cctype>
#include <exception>

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
        const char* name = nullptr;
        if (format.empty()) {
            // Checked before sniffing so that a missing file says why.
            LineSource probe(path);
            std::string found = GetFileFormat(path);
            if (found.empty()) {
                if (!blankContent(path))
                    throw SeqArchiveError(std::string(msg::kCannotOpen) + path + ": " +
                                          msg::kUnknownContent);
                // An empty file is an empty archive; any reader sees no entry in it.
                found = SALSource::FASTA;
            }
            name = SALSource::canonicalName(found.c_str());
        } else {
            name = resolveFormat(path, format);
        }
        if (name == SALSource::QUERY || name == SALSource::LST)
            throw SeqArchiveError(std::string(msg::kCannotOpen) + path + ": " + msg::kUnknownContent +
                                  " (" + name + " files hold no sequence data)");
        format_ = name;
        reader_ = makeReader(name, path);
    } else {
        const char* name = resolveFormat(path, format);
        if (!SALSource::isWritable(name))
            throw SeqArchiveError(std::string(msg::kCannotCreate) + path + ": " + msg::kNotWritable +
                                  name);
        format_ = name;
        writer_ = makeWriter(name, path);
    }
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

OSeqArchive::OSeqArchive(const std::string& path, const std::string& format, const std::string& extra)
    : SeqArchive(path, format, SALSource::Write, extra), formatName_(format) {}

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
    if (!archive.writer_->open())
        throw SeqArchiveError(std::string(msg::kClosedArchive) + archive.path());
    archive.writer_->write(sequence);
}

} // namespace Ovik
