#ifndef MODELFACTORY_PYTHON_READAHEAD_H
#define MODELFACTORY_PYTHON_READAHEAD_H

// What iterate() and records() read from: the library's iterator, read a batch at a time with the
// GIL released. When the process may use two cores or more, a thread of its own reads the next
// batches while Python works through the current one (from the second batch on), so that a loop over short reads pays for
// its Python objects and hardly for the parsing; on one core the caller reads each batch itself.
// A batch is small (kBatchModels models or kBatchResidues residues, whichever comes first), and
// at most kBatchesAhead are read ahead, so memory stays constant; reading several ahead lets each
// side go on while the other waits for a core.
#include "Errors.h"
#include "Objects.h"
#include "Records.h"

#include <contracts/SeqArchive.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace mfpy {

class ReadAhead {
public:
    /// Reads from `iterator`, reporting into `reports`, which must outlive this object (its context
    /// is the one the iterator was made with). With `records`, items are the models' sequences,
    /// handed out as Records.
    ReadAhead(boost::shared_ptr<Velm::ModelIter> iterator, Reports& reports, bool records);
    /// Stops reading (see stop()).
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    /// The next item as a Python object (a model of its own class, or a Record), with the reports
    /// of its reading in `due`; an empty object at the end, `due` then holding the reports left.
    /// GIL held (released while it waits); one caller at a time. Raises what reading raised
    /// beyond a report (MemoryError, say) after the items read before it.
    py::object next(Reports::Pending& due);
    /// Stops reading and lets the library's iterator and every item go; the thread is joined.
    /// No GIL needed.
    void stop();
    /// True once nothing is left to read or hand out.
    bool exhausted();

private:
    struct Item {
        ModelPtr model;            // iterate(): the model
        SequencePtr sequence;      // records(): a sequence shared with the library...
        std::size_t held;          // ...or its entry in the batch's text
        std::size_t reportsBefore; // the context's report count once the item was read
    };
    struct Batch {
        std::vector<Item> items;
        RecordBatch text;
        std::size_t next = 0; // the first item not handed out
        bool last = false;    // nothing is read after it
        std::exception_ptr failure; // what ended the reading after its items, beyond a report
    };

    void run();
    void fill(Batch& batch);
    void read(Batch& batch);
    void readViews(Batch& batch);
    bool advance();
    bool hasErrorSince(std::size_t index) const;

    static constexpr std::size_t kBatchModels = 1024;
    static constexpr std::size_t kBatchResidues = 1 << 20;
    static constexpr std::size_t kBatchesAhead = 4;
    // Once it has read kBatchesAhead, the thread waits until this many are left: it is woken once
    // for a few batches rather than for each.
    static constexpr std::size_t kBatchesLow = 1;

    Reports& reports_;
    const bool records_;
    // The reading side's: the library's iterator (empty once it ended).
    boost::shared_ptr<Velm::ModelIter> iterator_;
    Ovik::RecordViewSource* views_ = nullptr; // records(): the iterator's, when it gives views
    boost::shared_ptr<const std::string> viewSource_;
    // Held while the library reports into the context, and while the caller takes reports out.
    std::mutex reportsLock_;
    // Hand-over between the thread and the caller.
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Batch>> ready_;  // read, not yet taken by the caller
    std::vector<std::unique_ptr<Batch>> spare_; // handed out, for the thread to fill again
    bool ended_ = false;           // the last batch was read
    std::atomic<bool> stopping_{false};
    // The caller's.
    std::unique_ptr<Batch> current_;
    std::size_t reportsTaken_ = 0;
    const bool threaded_; // the batches after the first are read by thread_
    std::thread thread_;
};

} // namespace mfpy

#endif
