// modelfactory.Index: entries and regions of a FASTA or FASTQ file by seeking, through the index
// other tools share (FILE.fai, and FILE.gzi for BGZF), built in memory when the file has none.
#include "Index.h"

#include "Errors.h"
#include "Objects.h"

#include <contracts/SeqArchive.h>
#include <contracts/SeqIndex.h>

#include <pybind11/stl.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mfpy {

namespace {

// The archive reads through one descriptor and keeps the block it inflated last: one call at a
// time, with the GIL released while it reads.
class Index {
public:
    explicit Index(const PathArg& pathArg) : path_(pathArg.text) {
        requireInput(path_);
        Reports reports(path_);
        {
            py::gil_scoped_release release;
            archive_ = reports.guard([&] {
                if (Ovik::IndexedSeqArchive::hasIndex(path_))
                    return std::make_shared<Ovik::IndexedSeqArchive>(path_);
                reports.ctx.warning("no index " + path_ + ".fai: built in memory (write one with "
                                    "'modelfactory index " + path_ + "' to keep it)");
                return std::make_shared<Ovik::IndexedSeqArchive>(path_,
                                                                  Ovik::SeqIndex::build(path_, &reports.ctx));
            });
        }
        reports.deliver();
    }

    const std::string& path() const { return path_; }
    bool fastq() const { return archive_->index().fastq(); }

    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const Ovik::SeqIndexEntry& e : archive_->index().entries())
            out.push_back(e.name);
        return out;
    }
    std::size_t size() const { return archive_->index().entries().size(); }
    bool contains(const std::string& name) const { return archive_->contains(name); }

    const Ovik::SeqIndexEntry& entry(const std::string& name) const {
        const Ovik::SeqIndexEntry* e = archive_->index().find(name);
        if (!e)
            throw py::key_error(name);
        return *e;
    }

    std::uint64_t length(const std::string& name) const { return entry(name).length; }

    py::object sequence(const std::string& name) const {
        entry(name);
        SequencePtr seq = read([&] { return archive_->sequence(name); });
        return toPython(seq);
    }

    std::string fetch(const std::string& name, std::int64_t start, std::optional<std::int64_t> end) const {
        const Ovik::SeqIndexEntry& e = entry(name);
        if (start < 0 || (end && *end < 0))
            throw py::value_error("positions count from 0 and cannot be negative");
        const std::uint64_t stop = end ? static_cast<std::uint64_t>(*end) : e.length;
        return read([&] { return archive_->fetch(name, static_cast<std::uint64_t>(start), stop); });
    }

private:
    template <class Body>
    auto read(Body&& body) const -> decltype(body()) {
        Reports reports(path_);
        decltype(body()) result;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(mutex_);
            result = reports.guard(body);
        }
        reports.deliver();
        return result;
    }

    std::string path_;
    std::shared_ptr<Ovik::IndexedSeqArchive> archive_;
    mutable std::mutex mutex_;
};

} // namespace

void registerIndex(py::module_& m) {
    py::class_<Index>(m, "Index", R"(A FASTA or FASTQ file read through its index, by seeking.

The index is the one samtools faidx and modelfactory's `index` command write: PATH.fai, and
PATH.gzi for a BGZF-compressed file. Without PATH.fai one is built in memory (the file is read
once, and a modelfactory.Warning says so). Plain gzip cannot be read from the middle: FormatError.

    genome = modelfactory.Index("genome.fa")
    genome.fetch("chr2", 9999, 10500)   # residues 10,000 to 10,500 (0-based, end excluded)
    genome["chrM"]                      # the whole entry as a Sequence
)")
        .def(py::init<const PathArg&>(), py::arg("path"), "Opens the file with its index (built in memory when it has none).")
        .def_property_readonly("path", &Index::path, "The file, as given.")
        .def_property_readonly("fastq", &Index::fastq, "True for a FASTQ file (entries have qualities).")
        .def_property_readonly("names", &Index::names, "The entries' names, in file order.")
        .def("__len__", &Index::size)
        .def("__contains__", &Index::contains, py::arg("name"))
        .def("__iter__", [](const Index& index) { return py::iter(py::cast(index.names())); })
        .def("__getitem__", &Index::sequence, py::arg("name"),
             "The whole entry as a Sequence (title, residues and, for FASTQ, qualities); KeyError "
             "for a name the file does not hold.")
        .def("length", &Index::length, py::arg("name"), "The entry's number of residues.")
        .def("fetch", &Index::fetch, py::arg("name"), py::arg("start") = 0,
             py::arg("end") = py::none(),
             "The residues from `start` to `end` (0-based, end excluded, as Python slices and "
             "pysam count; None: to the end), clipped to the entry. Only the lines (or BGZF "
             "blocks) that hold them are read.")
        .def("__repr__", [](const Index& index) {
            return "<modelfactory.Index " + index.path() + ": " + std::to_string(index.size()) +
                   (index.fastq() ? " FASTQ" : " FASTA") + " entries>";
        });
}

} // namespace mfpy
