#include "ReadAhead.h"

#include "Streams.h"

#include <contracts/Common.h>

#include <string>
#include <typeinfo>
#include <utility>

namespace mfpy {

namespace {

// Takes `mutex`, letting other Python threads run while it waits (GIL held on entry).
std::unique_lock<std::mutex> lockHoldingGil(std::mutex& mutex) {
    std::unique_lock<std::mutex> lock(mutex, std::try_to_lock);
    if (!lock) {
        py::gil_scoped_release release;
        lock.lock();
    }
    return lock;
}

} // namespace

ReadAhead::ReadAhead(boost::shared_ptr<Velm::ModelIter> iterator, Reports& reports, bool records)
    : reports_(reports), records_(records), iterator_(std::move(iterator)), threaded_(cmn::usableCores() > 1) {
    if (!iterator_)
        ended_ = true;
    else if (records_)
        views_ = recordViews(iterator_.get());
}

ReadAhead::~ReadAhead() { stop(); }

void ReadAhead::stop() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        stopping_ = true;
        ended_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
    iterator_.reset();
    views_ = nullptr;
    current_.reset();
    ready_.clear();
    spare_.clear();
}

bool ReadAhead::exhausted() {
    if (current_ && current_->next < current_->items.size())
        return false;
    std::lock_guard<std::mutex> lock(lock_);
    return ended_ && ready_.empty();
}

bool ReadAhead::hasErrorSince(std::size_t index) const {
    const auto& reports = reports_.ctx.reports();
    for (; index < reports.size(); ++index)
        if (reports[index].severity == cmn::OpContext::Severity::Error)
            return true;
    return false;
}

// Reads up to a batch of items (no GIL). A model that comes with an error is dropped and ends the
// reading, as the error is raised in its place.
void ReadAhead::read(Batch& batch) {
    std::lock_guard<std::mutex> lock(reportsLock_);
    std::size_t residues = 0;
    if (views_) {
        readViews(batch);
        return;
    }
    while (iterator_ && !stopping_ && batch.items.size() < kBatchModels && residues < kBatchResidues) {
        const std::size_t before = reports_.ctx.reports().size();
        ModelPtr model = reports_.guard([&] { return iterator_->next(); });
        if (!model || hasErrorSince(before)) {
            iterator_.reset();
            break;
        }
        residues += model->calcSize();
        if (!records_) {
            batch.items.push_back({std::move(model), SequencePtr(), RecordBatch::npos, reports_.ctx.reports().size()});
            continue;
        }
        // Archives give sequence models: no cast across the libraries for them.
        const auto* bio = typeid(*model) == typeid(Velm::SeqModel)
                              ? static_cast<const Velm::BioModel*>(static_cast<const Velm::SeqModel*>(model.get()))
                              : dynamic_cast<const Velm::BioModel*>(model.get());
        if (!bio) {
            reports_.ctx.error(std::string("records() reads sequences; the file holds a ") + model->getType() +
                               ", which iterate() reads: " + reports_.path());
            iterator_.reset();
            break;
        }
        // Plain entries are copied and the model let go here, so that the reader reuses its
        // objects for the next entry.
        for (const SequencePtr& s : bio->sequences()) {
            const std::size_t held = batch.text.add(*s);
            batch.items.push_back({ModelPtr(), held == RecordBatch::npos ? s : SequencePtr(), held,
                                   reports_.ctx.reports().size()});
        }
    }
    if (!iterator_ || stopping_)
        batch.last = true;
}

// As read(), for records whose reader gives views: a record parsed where it lay is copied into
// the batch, an entry read whole is copied when plain and shared otherwise.
void ReadAhead::readViews(Batch& batch) {
    std::size_t residues = 0;
    Ovik::RecordView view;
    SequencePtr entry;
    while (iterator_ && !stopping_ && batch.items.size() < kBatchModels && residues < kBatchResidues) {
        const std::size_t before = reports_.ctx.reports().size();
        const bool read = reports_.guard([&] { return views_->nextView(view, entry, viewSource_); });
        if (!read || hasErrorSince(before)) {
            iterator_.reset();
            views_ = nullptr;
            break;
        }
        residues += view.residues.size();
        std::size_t held = entry ? batch.text.add(*entry) : batch.text.add(view, viewSource_);
        batch.items.push_back({ModelPtr(), held == RecordBatch::npos ? std::move(entry) : SequencePtr(), held,
                               reports_.ctx.reports().size()});
    }
    if (!iterator_ || stopping_)
        batch.last = true;
}

// As read(), from an emptied batch; what escapes the reports (running out of memory) ends the
// reading after the items read before it.
void ReadAhead::fill(Batch& batch) {
    batch.items.clear();
    batch.text.clear();
    batch.next = 0;
    batch.last = false;
    batch.failure = nullptr;
    try {
        read(batch);
    } catch (...) {
        batch.failure = std::current_exception();
        batch.last = true;
        iterator_.reset();
        views_ = nullptr;
    }
}

// The thread: a batch whenever the caller has taken the last one.
void ReadAhead::run() {
    for (;;) {
        std::unique_ptr<Batch> batch;
        {
            std::unique_lock<std::mutex> lock(lock_);
            if (ready_.size() >= kBatchesAhead)
                changed_.wait(lock, [&] { return stopping_ || ready_.size() <= kBatchesLow; });
            if (stopping_)
                return;
            if (spare_.empty()) {
                batch.reset(new Batch);
            } else {
                batch = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        fill(*batch);
        const bool last = batch->last;
        {
            std::lock_guard<std::mutex> lock(lock_);
            ready_.push_back(std::move(batch));
            ended_ = ended_ || last;
        }
        changed_.notify_all();
        if (last)
            return;
    }
}

// The current batch used up: the next one into current_ (GIL held, released while waiting or
// reading). False when there is none.
bool ReadAhead::advance() {
    if (current_ && current_->failure) {
        std::exception_ptr failure = std::move(current_->failure);
        current_->failure = nullptr;
        std::rethrow_exception(failure);
    }
    py::gil_scoped_release release;
    if (!thread_.joinable()) {
        if (ended_)
            return false;
        // The first batch is read here: a file that fits in one never starts the thread.
        if (!current_ || !threaded_) {
            if (!current_)
                current_.reset(new Batch);
            fill(*current_);
            ended_ = current_->last;
            return true;
        }
        thread_ = std::thread([this] { run(); });
    }
    std::unique_lock<std::mutex> lock(lock_);
    if (current_)
        spare_.push_back(std::move(current_));
    changed_.wait(lock, [&] { return !ready_.empty() || ended_; });
    if (ready_.empty())
        return false;
    current_ = std::move(ready_.front());
    ready_.pop_front();
    const bool wanted = ready_.size() <= kBatchesLow;
    lock.unlock();
    if (wanted)
        changed_.notify_all(); // the thread may read the next batches
    return true;
}

py::object ReadAhead::next(Reports::Pending& due) {
    while (!current_ || current_->next == current_->items.size()) {
        if (!advance()) {
            std::unique_lock<std::mutex> lock = lockHoldingGil(reportsLock_);
            due = reports_.take(reports_.ctx.reports().size());
            reportsTaken_ = reports_.ctx.reports().size();
            return py::object();
        }
    }
    Item& item = current_->items[current_->next];
    py::object out;
    if (item.model)
        out = toPython(item.model);
    else if (item.sequence)
        out = py::reinterpret_steal<py::object>(newRecord(std::move(item.sequence)));
    else
        out = py::reinterpret_steal<py::object>(newRecord(current_->text, item.held));
    if (!out)
        throw py::error_already_set();
    item.model.reset();
    ++current_->next;
    if (item.reportsBefore > reportsTaken_) {
        std::unique_lock<std::mutex> lock = lockHoldingGil(reportsLock_);
        due = reports_.take(item.reportsBefore);
        reportsTaken_ = item.reportsBefore;
    }
    return out;
}

} // namespace mfpy
