#include "Streams.h"

#include <contracts/SeqArchive.h>
#include <factory/ModelFactory.h>

#include <boost/make_shared.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace mfpy {

namespace {

// The archive format to read the stream in as it arrives, or "" when it must go through a file.
// MSF is an alignment to the factory, whatever the archive layer makes of it.
std::string archiveFormat(Ovik::SeqInputStream& stream, const std::string& format) {
    const char* name = nullptr;
    std::string found;
    if (!format.empty()) {
        name = Ovik::SALSource::canonicalName(format.c_str());
        found = name ? name : "";
    } else {
        found = stream.format();
        if (found == Ovik::SALSource::MSF)
            return std::string();
    }
    if (found == Ovik::SALSource::QUERY || found == Ovik::SALSource::LST)
        return std::string();
    return found;
}

class StreamModelIter : public Velm::ModelIter {
public:
    StreamModelIter(int fd, const std::string& name, const std::string& format, cmn::OpContext* ctx)
        : fd_(fd), name_(name) {
        try {
            stream_.reset(new Ovik::SeqInputStream(fd, name));
            const std::string archive = archiveFormat(*stream_, format);
            if (!archive.empty()) {
                std::unique_ptr<Ovik::ISeqArchive> reader(new Ovik::ISeqArchive(*stream_, archive));
                inner_ = boost::make_shared<Ovik::SALArchiveModelIter>(std::move(reader), name, ctx);
                return;
            }
            spool();
            inner_ = Ovik::GetModelFactory().iterate(file_.c_str(), "", ctx, format);
        } catch (...) {
            release();
            throw;
        }
    }

    ~StreamModelIter() override { release(); }

    StreamModelIter(const StreamModelIter&) = delete;
    StreamModelIter& operator=(const StreamModelIter&) = delete;

    boost::shared_ptr<Velm::Model> next() override {
        if (!inner_)
            return boost::shared_ptr<Velm::Model>();
        boost::shared_ptr<Velm::Model> model = inner_->next();
        // A spooled file's models name the stream, not the temporary file.
        if (model && model->url() != name_)
            model->setURL(name_);
        return model;
    }

private:
    // Everything the iterator holds, on every way out: the readers, the temporary file, the descriptor.
    void release() noexcept {
        inner_.reset();
        stream_.reset();
        if (!file_.empty())
            ::unlink(file_.c_str());
        if (!folder_.empty())
            ::rmdir(folder_.c_str());
        file_.clear();
        folder_.clear();
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    void spool() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/modelfactory-XXXXXX";
        if (!::mkdtemp(&pattern[0]))
            throw std::runtime_error("cannot make a temporary folder " + pattern + ": " + std::strerror(errno));
        folder_ = pattern;
        file_ = folder_ + "/stream";
        const int out = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (out < 0)
            throw std::runtime_error("cannot create " + file_ + ": " + std::strerror(errno));
        try {
            stream_->copyTo(out);
        } catch (...) {
            ::close(out);
            throw;
        }
        if (::close(out) != 0)
            throw std::runtime_error("cannot write " + file_ + ": " + std::strerror(errno));
    }

public:
    Velm::ModelIter* inner() const { return inner_.get(); }

private:
    int fd_;
    std::string name_;
    std::string folder_, file_;
    std::unique_ptr<Ovik::SeqInputStream> stream_;
    boost::shared_ptr<Velm::ModelIter> inner_; // reads stream_ or file_, so goes first
};

} // namespace

boost::shared_ptr<Velm::ModelIter> streamIterator(int fd, const std::string& name, const std::string& format,
                                                  cmn::OpContext* ctx) {
    return boost::shared_ptr<Velm::ModelIter>(new StreamModelIter(fd, name, format, ctx));
}

Ovik::RecordViewSource* recordViews(Velm::ModelIter* iterator) {
    if (const auto* stream = dynamic_cast<const StreamModelIter*>(iterator))
        iterator = stream->inner();
    return dynamic_cast<Ovik::RecordViewSource*>(iterator);
}

} // namespace mfpy
