#include <contracts/SeqArchive.h>

#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "Messages.h"

#include <contracts/Compression.h>

#include <cctype>

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

SeqArchive::SeqArchive(const std::string& path, const std::string& format, SALSource::OpenMode mode,
                       const std::string& /*extra*/)
    : path_(path), mode_(mode) {
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
    if (archive.writer_->committed())
        throw SeqArchiveError(std::string(msg::kClosedArchive) + archive.path());
    archive.writer_->write(sequence);
}

} // namespace Ovik
