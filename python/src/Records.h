#ifndef MODELFACTORY_PYTHON_RECORDS_H
#define MODELFACTORY_PYTHON_RECORDS_H

// modelfactory.Record: what records() hands out for each sequence of a file. A plain C object (no
// pybind11 instance, no per-record dictionary): name, residues and qualities are made as it is
// handed out and sit in slots (what a read loop asks of every read, at the interpreter's quickest
// attribute); the description and sequence() are made when first asked for, and kept.
//
// A plain entry (a read: name, description, residues, qualities and nothing else), whether parsed
// where it lay in the reader's buffer (a record view) or built by the reader, is copied while
// reading ahead into a RecordBatch, and its Record holds that text in its own memory, one
// allocation a record; no library entry is kept for it. Entries with more to them (features,
// annotations, a chromatogram) or of many residues are shared with the library instead.
#include "Objects.h"

#include <contracts/RecordView.h>

#include <cstddef>
#include <string>
#include <vector>

namespace mfpy {

/// The text of plain entries read ahead, gathered with the GIL released; Records copy theirs out.
class RecordBatch {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    /// Copies `sequence` and gives its index when a Record can hold all of it; npos when the
    /// sequence is to be shared instead.
    std::size_t add(const Velm::Sequence& sequence);
    /// Copies a record the reader parsed where it lay (view.sequence null), whose entry would
    /// have `source` as its source; gives its index.
    std::size_t add(const Ovik::RecordView& view, const boost::shared_ptr<const std::string>& source);
    /// Forgets every entry (the storage is kept for the next batch).
    void clear();

    struct Entry {
        std::size_t offset;          // of the name in text(); description, residues, qualities follow
        std::size_t nameSize;
        std::size_t descriptionSize;
        std::size_t residueSize;     // and as many qualities, when there are any
        std::size_t source;          // index in sources()
        unsigned char moleculeType;  // a Velm::Sequence::MoleculeType
        bool nucleotideClass;        // made as a Velm::NASequence
        bool hasQualities;
        unsigned char ascii;         // bit 0: name, 1: description, 2: residues are all ASCII
    };

    const Entry& entry(std::size_t index) const { return entries_[index]; }
    const char* text() const { return text_.data(); }
    const boost::shared_ptr<const std::string>& source(std::size_t index) const { return sources_[index]; }

private:
    std::string text_;
    std::vector<Entry> entries_;
    std::vector<boost::shared_ptr<const std::string>> sources_; // one per path the entries name
};

/// Adds the Record class to the module.
void registerRecord(py::module_& module);

/// A new Record sharing `sequence` (a new reference).
PyObject* newRecord(SequencePtr sequence);
/// A new Record holding a copy of entry `index` of `batch` (a new reference).
PyObject* newRecord(const RecordBatch& batch, std::size_t index);

} // namespace mfpy

#endif
