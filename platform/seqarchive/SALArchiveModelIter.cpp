#include <contracts/SeqArchive.h>

#include <boost/make_shared.hpp>

namespace Ovik {

struct SALArchiveModelIter::State {
    std::string path;      // as given, format part included: the models' URL
    std::string qualifier; // unused; kept for the caller
    cmn::OpContext* ctx = nullptr;
    std::string format;
    std::unique_ptr<ISeqArchive> archive;
    bool opened = false;
    bool done = false;
};

std::string SALArchiveModelIter::splitQualifiedPath(const std::string& path, std::string& format) {
    format.clear();
    std::size_t at = path.find('@');
    if (at == std::string::npos || at + 1 >= path.size() || path[at + 1] != '@')
        return path;
    format = path.substr(0, at);
    std::string file = path.substr(at + 2);
    // A name put in front of an already qualified path: drop the inner names.
    for (;;) {
        std::size_t inner = file.find("@@");
        if (inner == std::string::npos || file.find('@') != inner ||
            !SALSource::supports(file.substr(0, inner).c_str()))
            break;
        file.erase(0, inner + 2);
    }
    return file;
}

SALArchiveModelIter::SALArchiveModelIter(const char* path, const char* qualifier, cmn::OpContext* ctx,
                                         std::string format)
    : state_(new State) {
    state_->path = path ? path : "";
    state_->qualifier = qualifier ? qualifier : "";
    state_->ctx = ctx;
    state_->format = std::move(format);
}

SALArchiveModelIter::SALArchiveModelIter(std::unique_ptr<ISeqArchive> archive, const std::string& url,
                                         cmn::OpContext* ctx)
    : state_(new State) {
    state_->path = url;
    state_->ctx = ctx;
    state_->archive = std::move(archive);
    state_->opened = true;
    if (state_->archive)
        state_->archive->setContext(ctx);
    else
        state_->done = true;
}

SALArchiveModelIter::~SALArchiveModelIter() = default;

boost::shared_ptr<Velm::Model> SALArchiveModelIter::next() {
    State& s = *state_;
    if (s.done)
        return boost::shared_ptr<Velm::Model>();
    try {
        if (!s.opened) {
            s.opened = true;
            std::string format;
            std::string file = splitQualifiedPath(s.path, format);
            if (format.empty() && SALSource::supports(s.format.c_str()))
                format = s.format;
            s.archive.reset(new ISeqArchive(file, format, ""));
            s.archive->setContext(s.ctx);
        }
        if (s.archive->atEnd()) {
            s.done = true;
            s.archive.reset();
            return boost::shared_ptr<Velm::Model>();
        }
        boost::shared_ptr<Velm::Sequence> seq = createSequence(*s.archive);
        // One allocation for the model and its count: there is a model per entry.
        boost::shared_ptr<Velm::SeqModel> model = boost::make_shared<Velm::SeqModel>();
        model->addSeq(seq);
        model->setURL(s.path);
        model->setEncoding("SAL");
        return model;
    } catch (const SeqArchiveError& e) {
        // Reading problems end the iteration; out-of-memory and the like reach the caller.
        s.done = true;
        s.archive.reset();
        if (s.ctx)
            s.ctx->error(e.what());
        return boost::shared_ptr<Velm::Model>();
    }
}

} // namespace Ovik
