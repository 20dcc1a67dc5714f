#include <contracts/SeqArchive.h>

#include "ArchiveReader.h"
#include "Recycler.h"

namespace Ovik {

namespace {

const char* const kEncoding = "SAL";

// A model per entry is the iteration's main cost for short reads: the one the caller dropped is
// reused, unless the caller gave it something an iterator never sets.
bool emptyModelForReuse(Velm::SeqModel& model) {
    constexpr std::size_t kFewSequences = 4;
    if (!model.title().empty() || !model.author().empty() || !model.project().empty() ||
        !model.projectID().empty() || !model.owner().empty() || !model.group().empty() ||
        model.syncCount() != 0 || !model.syncedURL().empty() || !model.properties().empty() ||
        model.sequences().capacity() > kFewSequences)
        return false;
    model.clear();
    return true;
}

} // namespace

struct SALArchiveModelIter::State {
    std::string path;      // as given, format part included: the models' URL
    std::string qualifier; // unused; kept for the caller
    cmn::OpContext* ctx = nullptr;
    std::string format;
    std::string encoding = kEncoding;
    std::unique_ptr<ISeqArchive> archive;
    bool opened = false;
    bool done = false;
    Recycler<Velm::SeqModel> models{&emptyModelForReuse};
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
    if (state_->archive) {
        state_->archive->setContext(ctx);
        if (state_->archive->reader_)
            state_->archive->reader_->recycleEntries();
    } else
        state_->done = true;
}

SALArchiveModelIter::~SALArchiveModelIter() = default;

void SALArchiveModelIter::setEncoding(const std::string& encoding) { state_->encoding = encoding; }

void SALArchiveModelIter::open() {
    State& s = *state_;
    if (s.opened)
        return;
    s.opened = true;
    std::string format;
    std::string file = splitQualifiedPath(s.path, format);
    if (format.empty() && SALSource::supports(s.format.c_str()))
        format = s.format;
    s.archive.reset(new ISeqArchive(file, format, ""));
    s.archive->setContext(s.ctx);
    s.archive->reader_->recycleEntries();
}

void SALArchiveModelIter::fail(const SeqArchiveError& e) {
    // Reading problems end the iteration; out-of-memory and the like reach the caller.
    State& s = *state_;
    s.done = true;
    s.archive.reset();
    s.models.release();
    if (s.ctx)
        s.ctx->error(e.what());
}

boost::shared_ptr<Velm::Model> SALArchiveModelIter::next() {
    State& s = *state_;
    if (s.done)
        return boost::shared_ptr<Velm::Model>();
    try {
        open();
        // The model the caller dropped lets its entry go first, so that it can be reused too.
        boost::shared_ptr<Velm::SeqModel> model = s.models.get();
        if (s.archive->atEnd()) {
            s.done = true;
            s.archive.reset();
            s.models.release();
            return boost::shared_ptr<Velm::Model>();
        }
        model->addSeq(createSequence(*s.archive));
        if (model->url() != s.path) // a reused model has them already
            model->setURL(s.path);
        if (model->encoding() != s.encoding)
            model->setEncoding(s.encoding);
        return model;
    } catch (const SeqArchiveError& e) {
        fail(e);
        return boost::shared_ptr<Velm::Model>();
    }
}

bool SALArchiveModelIter::nextView(RecordView& view, boost::shared_ptr<Velm::Sequence>& entry,
                                   boost::shared_ptr<const std::string>& source) {
    State& s = *state_;
    entry.reset();
    if (s.done)
        return false;
    try {
        open();
        if (!nextRecordView(*s.archive, view)) {
            s.done = true;
            s.archive.reset();
            s.models.release();
            return false;
        }
        const ArchiveReader& reader = *s.archive->reader_;
        if (view.sequence)
            entry = reader.heldEntry();
        if (source != reader.sharedPath())
            source = reader.sharedPath();
        return true;
    } catch (const SeqArchiveError& e) {
        fail(e);
        return false;
    }
}

} // namespace Ovik
