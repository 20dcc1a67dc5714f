// The compiled core of the `modelfactory` Python package: the factory's operations, the models,
// sequences and chromatograms, as thin views over the library's own objects.
//
// Every file operation runs with the GIL released and reports into an operation context of its
// own; once the GIL is back, the context's warnings become Python warnings and its errors an
// exception. Nothing is printed.
#include "Annotation.h"
#include "Errors.h"
#include "Index.h"
#include "Objects.h"
#include "ReadAhead.h"
#include "Records.h"
#include "Streams.h"

#include <contracts/Compression.h>
#include <contracts/DataModel.h>
#include <contracts/Sequence.h>
#include <factory/Extensions.h>
#include <factory/ModelFactory.h>
#include <trace/TraceFile.h>

#include <pybind11/numpy.h>
#include <pybind11/operators.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <pthread.h>
#include <strings.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

namespace mfpy {

namespace {

using TracePtr = boost::shared_ptr<Velm::TraceData>;

Ovik::ModelFactory& factory() { return Ovik::GetModelFactory(); }

// ---------------------------------------------------------------------------------------------
// Detection and opening, as the command-line tool does them: a chromatogram opens as a sequence
// model, and FORMAT@@FILE directs detection when no format is given separately.

std::string detectType(const std::string& path, const std::string& format, cmn::OpContext& ctx) {
    if (!format.empty())
        return factory().getType(path.c_str(), format.c_str(), &ctx);
    std::string type = factory().getType(path.c_str());
    const cmn::QualifiedPath qualified(path);
    if (type.empty() && qualified.qualified)
        type = factory().getType(qualified.file.c_str(), qualified.format.c_str(), &ctx);
    return type;
}

std::string openableType(std::string type) {
    return type == Velm::TraceModel::className ? std::string(Velm::SeqModel::className) : type;
}

std::string getType(const PathArg& pathArg, const OptionalText& format) {
    const std::string& path = pathArg.text;
    requireInput(path);
    Reports reports(path);
    std::string type;
    {
        py::gil_scoped_release release;
        type = reports.guard([&] { return detectType(path, format.value_or(""), reports.ctx); });
    }
    reports.deliver();
    return type;
}

ModelPtr open(const PathArg& pathArg, const OptionalText& typeArg, const OptionalText& format) {
    const std::string& path = pathArg.text;
    requireInput(path);
    Reports reports(path);
    ModelPtr model;
    std::string type = typeArg.value_or("");
    {
        py::gil_scoped_release release;
        model = reports.guard([&] {
            if (type.empty())
                type = openableType(detectType(path, format.value_or(""), reports.ctx));
            if (type.empty())
                return ModelPtr();
            return format ? factory().open(path.c_str(), type.c_str(), format->c_str(), &reports.ctx)
                          : factory().open(path.c_str(), type.c_str(), &reports.ctx);
        });
    }
    if (type.empty())
        reports.ctx.error(msg::CannotClassify + path);
    else if ((!model || model->empty()) && !reports.ctx.hasErrors())
        reports.ctx.error(msg::NothingOpened + path);
    reports.deliver();
    return model;
}

// The level asked of a file compressed as its name says; -1 when none was asked.
int saveLevel(const std::string& path, const std::optional<int>& level) {
    if (!level)
        return -1;
    const cmn::Compression compression = cmn::compressionOfName(path);
    if (compression == cmn::Compression::None)
        throw py::value_error("level is for compressed output: name the file .gz, .bz2, .xz or .zst");
    const cmn::CompressionLevels levels = cmn::compressionLevels(compression);
    if (*level < levels.lowest || *level > levels.highest)
        throw py::value_error("level takes " + std::to_string(levels.lowest) + " to " +
                              std::to_string(levels.highest) + " for " + cmn::compressionName(compression) +
                              " output, not " + std::to_string(*level));
    return *level;
}

void save(const ModelPtr& model, const PathArg& pathArg, OptionalText format, std::optional<int> levelArg) {
    if (!model)
        throw py::type_error("save() needs a model");
    std::string path = pathArg.text;
    // FORMAT@@FILE names the format as open() takes it; a format given apart comes first.
    const cmn::QualifiedPath qualified(path);
    if (qualified.qualified && !format) {
        format = qualified.format;
        path = qualified.file;
    }
    const int level = saveLevel(path, levelArg);
    requireOutputFolder(path);
    Reports reports(path);
    bool saved = false;
    {
        py::gil_scoped_release release;
        const cmn::CompressionLevelScope compressed(level);
        saved = reports.guard([&] {
            return format ? factory().save(path.c_str(), *model, format->c_str(), &reports.ctx)
                          : factory().save(path.c_str(), *model, &reports.ctx);
        });
    }
    if (!saved && !reports.ctx.hasErrors())
        reports.ctx.error(msg::CannotWrite + path);
    reports.deliver();
}

// ---------------------------------------------------------------------------------------------
// Iteration: the file open only while the iterator is, read ahead a batch at a time (ReadAhead).

// This process's id, kept up to date across fork() (asking the kernel at every next() is a
// system call a record).
pid_t currentProcess = 0;
bool watchingForks = false;

void forkedChild() { currentProcess = ::getpid(); }

// Called once, as the module is loaded.
void watchForks() {
    currentProcess = ::getpid();
    watchingForks = ::pthread_atfork(nullptr, nullptr, &forkedChild) == 0;
}

pid_t processId() { return watchingForks ? currentProcess : ::getpid(); }

class ModelIterator {
public:
    /// Models of the file at `path`; with `records`, its sequences one by one instead.
    ModelIterator(std::string path, const OptionalText& format, bool records = false) : reports_(std::move(path)) {
        const std::string& file = reports_.path();
        requireInput(file);
        boost::shared_ptr<Velm::ModelIter> iterator;
        {
            py::gil_scoped_release release;
            iterator = reports_.guard([&] {
                return factory().iterate(file.c_str(), "", &reports_.ctx, format.value_or(""));
            });
        }
        if (!iterator && !reports_.ctx.hasErrors())
            reports_.ctx.error(msg::NoModels + file);
        reports_.deliver();
        reader_.reset(new ReadAhead(std::move(iterator), reports_, records));
    }

    /// Models (or sequences) read from descriptor `fd`, which the iterator owns from here on;
    /// `name` stands for the path. `atEnd` (when not None) is called once, before the end or an
    /// error is reported: it raises what went wrong on the side that feeds the descriptor.
    ModelIterator(int fd, std::string name, const OptionalText& format, bool records, py::object atEnd)
        : reports_(std::move(name)), atEnd_(atEnd.is_none() ? py::object() : std::move(atEnd)) {
        boost::shared_ptr<Velm::ModelIter> iterator;
        {
            py::gil_scoped_release release;
            iterator = reports_.guard(
                [&] { return streamIterator(fd, reports_.path(), format.value_or(""), &reports_.ctx); });
        }
        if (!iterator) {
            finish();
            if (!reports_.ctx.hasErrors())
                reports_.ctx.error(msg::NoModels + reports_.path());
        }
        reports_.deliver();
        reader_.reset(new ReadAhead(std::move(iterator), reports_, records));
    }

    ~ModelIterator() {
        // In a child of os.fork() the reader's state is a copy (its read-ahead threads are not
        // there, its file offset is the parent's): it is let go without being destroyed.
        if (processId() != owner_)
            (void)reader_.release();
    }

    /// The next model (a new reference), or null at the end. The reports of the model's reading
    /// are issued as it is handed out; the reports that ended the file come after the last model.
    PyObject* next() {
        requireOwner();
        py::object item;
        Reports::Pending due;
        {
            Lock lock(mutex_);
            item = reader_->next(due);
        }
        if (!item)
            finish();
        reports_.issue(std::move(due));
        return item.release().ptr();
    }

    void close() {
        requireOwner();
        {
            Lock lock(mutex_);
            py::gil_scoped_release release;
            reader_->stop();
        }
        // The feeding side is told nothing more is read; what it failed at before is no news now.
        if (atEnd_) {
            py::object atEnd = std::move(atEnd_);
            try {
                atEnd();
            } catch (py::error_already_set&) {
            }
        }
    }

    bool closed() {
        requireOwner();
        Lock lock(mutex_);
        return reader_->exhausted();
    }

private:
    // Calls the feeding side's check once (GIL held); it raises when feeding failed.
    void finish() {
        if (atEnd_) {
            py::object atEnd = std::move(atEnd_);
            atEnd();
        }
    }

    // Holds the mutex, letting other threads run while it waits (a thread in next() may hold it
    // with the GIL released).
    class Lock {
    public:
        explicit Lock(std::mutex& mutex) : lock_(mutex, std::try_to_lock) {
            if (!lock_) {
                py::gil_scoped_release release;
                lock_.lock();
            }
        }

    private:
        std::unique_lock<std::mutex> lock_;
    };

    // The parent and a forked child would share the file's offset and read each other's records:
    // the child's first use is refused, before anything is read (or a lock taken that a thread
    // of the parent may have held at the fork).
    void requireOwner() const {
        if (processId() != owner_)
            throw std::runtime_error(msg::IteratorOfAnotherProcess);
    }

    // Declared first so that it outlives the reader, which reports into it.
    Reports reports_;
    std::unique_ptr<ReadAhead> reader_;
    std::mutex mutex_; // one caller of the reader at a time
    const pid_t owner_ = processId();
    py::object atEnd_;
};

// The sequences of a file, one by one, rather than one-sequence models: records().
class RecordIterator : public ModelIterator {
public:
    using ModelIterator::ModelIterator;
};

template <class Iterator>
PyObject* iteratorNext(PyObject* self) {
    return slotCall([&] { return cppObject<Iterator>(self).next(); }, static_cast<PyObject*>(nullptr));
}

// What both iterator classes have besides their constructors.
template <class Iterator>
py::class_<Iterator> bindIterator(py::module_& m, const char* name, const char* doc, const char* item) {
    py::class_<Iterator> type(m, name, doc);
    type.def("__iter__", [](py::object self) { return self; }, "The iterator itself.")
        .def("__next__",
             [](Iterator& self) {
                 py::object next = py::reinterpret_steal<py::object>(self.next());
                 if (!next)
                     throw py::stop_iteration();
                 return next;
             },
             (std::string("The next ") + item +
              ". Raises StopIteration at the end, FormatError or FileError when reading fails (after "
              "the items read before the failure).")
                 .c_str())
        .def("close", &Iterator::close,
             "Releases the file (or stream) at once; later next() calls stop. Raises nothing.")
        .def_property_readonly("closed", &Iterator::closed,
                               "True once the iterator is exhausted or closed and holds nothing more.")
        .def("__enter__", [](py::object self) { return self; }, "The iterator itself, for a `with` block.")
        .def("__exit__", [](Iterator& self, py::args) { self.close(); }, "Closes the iterator.");
    return type;
}

py::object sequenceNamed(const Velm::BioModel& model, const std::string& name) {
    for (const SequencePtr& sequence : model.sequences())
        if (sequence && sequence->name() == name)
            return toPython(sequence);
    throw py::key_error(name);
}

py::list sequenceSlice(const Velm::BioModel& model, const py::slice& range) {
    const auto& list = model.sequences();
    py::ssize_t start = 0, stop = 0, step = 0, count = 0;
    if (!range.compute(static_cast<py::ssize_t>(list.size()), &start, &stop, &step, &count))
        throw py::error_already_set();
    py::list out;
    for (py::ssize_t i = 0; i < count; ++i, start += step)
        out.append(toPython(list[static_cast<std::size_t>(start)]));
    return out;
}

bool holds(const Velm::BioModel& model, const py::object& item) {
    if (py::isinstance<py::str>(item)) {
        const std::string name = item.cast<std::string>();
        for (const SequencePtr& sequence : model.sequences())
            if (sequence && sequence->name() == name)
                return true;
        return false;
    }
    py::detail::make_caster<SequencePtr> caster;
    if (!caster.load(item, false))
        return false;
    const SequencePtr wanted = py::detail::cast_op<SequencePtr>(caster);
    for (const SequencePtr& sequence : model.sequences())
        if (sequence == wanted)
            return true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Chromatograms.

TracePtr readTrace(const PathArg& pathArg) {
    const std::string& path = pathArg.text;
    requireInput(path);
    Reports reports(path);
    TracePtr trace;
    {
        py::gil_scoped_release release;
        trace = reports.guard([&] {
            Ovik::TraceFile reader;
            return reader.read(path.c_str(), &reports.ctx);
        });
    }
    if (!trace && !reports.ctx.hasErrors())
        reports.ctx.error(msg::NotAChromatogram + path);
    reports.deliver();
    return trace;
}

const char* formatName(Ovik::TraceFile::FormatType type) {
    // The list is in the order of the format codes, SCF (1) first.
    static const Velm::FormatList names = Ovik::TraceFile::getSupportedFormats();
    const int index = static_cast<int>(type) - 1;
    return index >= 0 && index < static_cast<int>(names.size()) ? names[index].first.c_str() : nullptr;
}

// A read-only array over memory the chromatogram owns; `owner` (the Python Trace) keeps it alive.
template <class T>
py::array_t<T> view(const std::vector<T>& values, py::handle owner) {
    py::array_t<T> array(static_cast<py::ssize_t>(values.size()), values.data(), owner);
    py::detail::array_proxy(array.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return array;
}

// An array that takes the vector over, so its values are not copied again.
template <class T>
py::array_t<T> adopt(std::vector<T>&& values) {
    auto* held = new std::vector<T>(std::move(values));
    py::capsule owner(held, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(static_cast<py::ssize_t>(held->size()), held->data(), owner);
}

// ---------------------------------------------------------------------------------------------
// Sequences.

const char* const kMoleculeNames[] = {"unknown", "DNA", "RNA", "protein"};

Velm::Sequence::MoleculeType moleculeOf(const std::string& name) {
    for (int i = 0; i < 4; ++i)
        if (strcasecmp(name.c_str(), kMoleculeNames[i]) == 0)
            return static_cast<Velm::Sequence::MoleculeType>(i);
    throw py::value_error("molecule must be one of 'DNA', 'RNA', 'protein', 'unknown', not '" + name + "'");
}

void setMolecule(Velm::Sequence& sequence, const std::string& name) {
    const auto type = moleculeOf(name);
    // A nucleotide sequence object always answers isProtein() with false, which writers rely on.
    if (type == Velm::Sequence::MoleculeType::Protein && dynamic_cast<Velm::NASequence*>(&sequence))
        throw py::value_error("a nucleotide sequence cannot be made a protein; build a new Sequence");
    sequence.setMoleculeType(type);
}

SequencePtr makeSequence(const std::string& name, const std::string& residues, const OptionalText& molecule,
                         const std::string& accession, const std::string& description,
                         const py::object& qualities) {
    const auto type = molecule ? moleculeOf(*molecule) : Velm::Sequence::guessMoleculeType(residues);
    SequencePtr sequence;
    if (type == Velm::Sequence::MoleculeType::Protein)
        sequence = boost::make_shared<Velm::Sequence>(name, residues, type);
    else
        sequence = boost::make_shared<Velm::NASequence>(name, residues);
    sequence->setMoleculeType(type);
    sequence->setAccession(accession);
    sequence->setDescription(description);
    setQualities(*sequence, qualities);
    return sequence;
}

// A text property of bytes read from a file: decoded and encoded as Python does file names.
template <class Object, const std::string& (Object::*Get)() const>
py::str textOf(const Object& object) {
    return fileText((object.*Get)());
}

std::string sequenceReprBytes(const Velm::Sequence& s);

py::str sequenceRepr(const Velm::Sequence& s) { return messageText(sequenceReprBytes(s)); }

std::string sequenceReprBytes(const Velm::Sequence& s) {
    return "<modelfactory.Sequence '" + s.name() + "' " + std::to_string(s.length()) + " " +
           Velm::Sequence::moleculeTypeName(s.moleculeType()) + ">";
}

py::list sequencesOf(const Velm::BioModel& model) {
    const auto& sequences = model.sequences();
    py::list list(sequences.size());
    for (std::size_t i = 0; i < sequences.size(); ++i)
        PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i), toPython(sequences[i]).release().ptr());
    return list;
}

py::object sequenceAt(const Velm::BioModel& model, py::ssize_t index) {
    const auto& list = model.sequences();
    const auto size = static_cast<py::ssize_t>(list.size());
    if (index < 0)
        index += size;
    if (index < 0 || index >= size)
        throw py::index_error("sequence index out of range");
    return toPython(list[static_cast<std::size_t>(index)]);
}

} // namespace

} // namespace mfpy

PYBIND11_MODULE(_core, m) {
    using namespace mfpy;
    m.doc() = "Compiled core of modelfactory; import the `modelfactory` package instead.";
    m.attr("__version__") = MF_VERSION;
    registerErrors(m);
    // The package reads and writes FASTQ and compressed files: the library's extension sources.
    Ovik::addExtensionSources(Ovik::GetModelFactory());

    // Classes first, so that the signatures of the functions below name them as Python does.
    py::class_<Velm::Feature>(m, "Feature", R"(One row of a feature table: its key ("CDS", "gene", ...),
its location text, such as complement(join(12..78,90..120)), and its (name, value) qualifiers in order.)")
        .def(py::init([](std::string key, std::string location, Velm::PropertyList qualifiers) {
                 return Velm::Feature{std::move(key), std::move(location), std::move(qualifiers)};
             }),
             py::arg("key"), py::arg("location"), py::arg("qualifiers") = Velm::PropertyList(),
             R"(A feature.

Args:
    key: the feature key, such as "CDS".
    location: the location in feature-table syntax, such as "12..78".
    qualifiers: (name, value) pairs, in order; a name may repeat.)")
        .def_readwrite("key", &Velm::Feature::key, "The feature key (str), such as \"CDS\".")
        .def_readwrite("location", &Velm::Feature::location,
                       "The location text (str) in feature-table syntax, as the file wrote it.")
        .def_readwrite("qualifiers", &Velm::Feature::qualifiers,
                       "The (name, value) qualifiers, in order (a copy; assign a list to change them).")
        .def(py::self == py::self, "True when key, location and qualifiers are equal.")
        .def("__repr__", [](const Velm::Feature& f) {
            return "<modelfactory.Feature " + f.key + " " + f.location + ">";
        });

    py::class_<Velm::TraceData, TracePtr>(m, "Trace", R"(A decoded chromatogram. The channel and
position arrays are read-only views of the record's own memory. Made by TraceFile.read().)")
        .def_property_readonly("name", &Velm::TraceData::traceName, "The reading's name (str).")
        .def_property_readonly("ident", &Velm::TraceData::ident, "The identifier the file gives (str).")
        .def_property_readonly("info", &Velm::TraceData::info, "The file's free-text comments (str).")
        .def_property_readonly("format", &Velm::TraceData::formatName,
                               "The chromatogram format read (\"SCF\", \"ABI\", ...).")
        .def_property_readonly("bases", &Velm::TraceData::bases, "The called bases (str).")
        .def_property_readonly("num_points", &Velm::TraceData::numPoints, "Sample points per channel (int).")
        .def_property_readonly("num_bases", &Velm::TraceData::numBases, "Number of called bases (int).")
        .def_readonly("left_cutoff", &Velm::TraceData::leftCutoff,
                      "Bases clipped at the left as poor quality (int).")
        .def_readonly("right_cutoff", &Velm::TraceData::rightCutoff,
                      "Bases clipped at the right as poor quality (int).")
        .def_readonly("max_value", &Velm::TraceData::maxTraceVal, "The highest sample of any channel (int).")
        .def_property_readonly(
            "a", [](py::handle self) { return view(self.cast<Velm::TraceData&>().channel(0), self); },
            "The A channel: read-only numpy uint16 view, one sample per point.")
        .def_property_readonly(
            "c", [](py::handle self) { return view(self.cast<Velm::TraceData&>().channel(1), self); },
            "The C channel: read-only numpy uint16 view, one sample per point.")
        .def_property_readonly(
            "g", [](py::handle self) { return view(self.cast<Velm::TraceData&>().channel(2), self); },
            "The G channel: read-only numpy uint16 view, one sample per point.")
        .def_property_readonly(
            "t", [](py::handle self) { return view(self.cast<Velm::TraceData&>().channel(3), self); },
            "The T channel: read-only numpy uint16 view, one sample per point.")
        .def_property_readonly(
            "base_positions", [](py::handle self) { return view(self.cast<Velm::TraceData&>().basePos(), self); },
            "The sample point of each called base: read-only numpy uint16 view.")
        .def_property_readonly(
            "confidences", [](const Velm::TraceData& t) { return adopt(t.calledConfidences()); },
            "The confidence of each called base (0 for N): a new numpy uint8 array.")
        .def("__repr__", [](const Velm::TraceData& t) {
            return "<modelfactory.Trace '" + t.traceName() + "' " + t.formatName() + ", " +
                   std::to_string(t.numBases()) + " bases, " + std::to_string(t.numPoints()) + " points>";
        });

    py::class_<Ovik::TraceFile>(m, "TraceFile", R"(Reads chromatograms (SCF, ABI, ZTR, ...). Calls into
the decoder are serialised inside the library, so threads reading chromatograms take turns there.)")
        .def_static("read", &readTrace, py::arg("path"), R"(Decodes the chromatogram at `path`.

Args:
    path: the file (str, bytes or os.PathLike).

Raises:
    FileError: the file does not exist or cannot be read.
    FormatError: it is not a chromatogram io_lib decodes.)")
        .def_static(
            "get_format",
            [](const PathArg& path) -> py::object {
                const char* name;
                {
                    py::gil_scoped_release release;
                    name = formatName(Ovik::TraceFile::getFormat(path.text.c_str()));
                }
                return name ? py::object(py::str(name)) : py::object(py::none());
            },
            py::arg("path"), R"(The chromatogram format of the file ("SCF", "ABI", ...) from its content,
or None when it is not one (or cannot be read). Raises nothing for a missing file.)")
        .def_static("formats", &Ovik::TraceFile::getSupportedFormats,
                    "The chromatogram formats read, as (name, description) pairs.");

    py::class_<Velm::Sequence, SequencePtr>(m, "Sequence", R"(A biological sequence with its annotation.
A nucleotide sequence may carry one quality (confidence) value per residue.

`len(seq)` is its length; `seq[i]` one residue (str), `seq[i:j]` a new Sequence of those residues
with their qualities and the features that lie inside; `"ACG" in seq` looks for residues.)")
        .def(py::init(&makeSequence), py::arg("name") = "", py::arg("residues") = "",
             py::arg("molecule") = py::none(), py::kw_only(), py::arg("accession") = "",
             py::arg("description") = "", py::arg("qualities") = py::none(),
             R"(A new sequence.

Args:
    name: the sequence name.
    residues: its residues, one letter each.
    molecule: "DNA", "RNA", "protein" or "unknown" (any case); guessed from the residues when None.
    accession: the accession, with its version when known ("NC_005816.1").
    description: the definition line.
    qualities: one Phred value (0..255) per residue, for a nucleotide sequence; None for none.

Raises:
    ValueError: an unknown molecule name, qualities for a protein, or the wrong number of them.)")
        .def_property("name", &textOf<Velm::Sequence, &Velm::Sequence::name>,
                      [](Velm::Sequence& s, py::handle text) { s.setName(textBytes(text)); },
                      "The sequence name (str; bytes that are not UTF-8 as os.fsdecode gives them).")
        .def_property("accession", &textOf<Velm::Sequence, &Velm::Sequence::accession>,
                      [](Velm::Sequence& s, py::handle text) { s.setAccession(textBytes(text)); },
                      "The accession (str), with its version when the file gives one; \"\" when none.")
        .def_property("description", &textOf<Velm::Sequence, &Velm::Sequence::description>,
                      [](Velm::Sequence& s, py::handle text) { s.setDescription(textBytes(text)); },
                      "The definition or title line (str; bytes that are not UTF-8 as os.fsdecode gives them).")
        .def_property("residues", py::overload_cast<>(&Velm::Sequence::residues, py::const_),
                      py::overload_cast<const std::string&>(&Velm::Sequence::setResidues),
                      "The residues (str), one letter each.")
        .def_property(
            "molecule", [](const Velm::Sequence& s) { return Velm::Sequence::moleculeTypeName(s.moleculeType()); },
            &setMolecule, R"(The molecule: "DNA", "RNA", "protein" or "unknown". Assigning an unknown
name, or "protein" to a nucleotide sequence, raises ValueError.)")
        .def_property("features", py::overload_cast<>(&Velm::Sequence::features, py::const_),
                      [](Velm::Sequence& s, std::vector<Velm::Feature> f) { s.features() = std::move(f); },
                      "A copy of the feature table (list of Feature); assign a list to change it.")
        .def_property("annotations", py::overload_cast<>(&Velm::Sequence::annotations, py::const_),
                      [](Velm::Sequence& s, Velm::PropertyList a) { s.annotations() = std::move(a); },
                      "A copy of the (key, value) header fields, in file order; assign a list to change them.")
        .def("annotation", &Velm::Sequence::annotation, py::arg("key"),
             R"(The value of the first header field named `key`, or "" when there is none.

Args:
    key: the field name, such as "DIVISION" or "ORGANISM".)")
        .def("add_feature", &Velm::Sequence::addFeature, py::arg("feature"),
             R"(Appends a feature to the feature table.

Args:
    feature: the Feature to add (copied).)")
        .def_property_readonly("source", &Velm::Sequence::source,
                               "Where the sequence came from (str): the file or reading it was read from.")
        .def_property_readonly(
            "trace",
            [](const Velm::Sequence& s) -> TracePtr {
                auto* na = dynamic_cast<const Velm::NASequence*>(&s);
                return na ? na->trace() : TracePtr();
            },
            "The chromatogram (Trace) the sequence was called from, or None.")
        .def("__len__", &Velm::Sequence::length, "The number of residues.")
        .def("__repr__", &sequenceRepr);

    // Registered so that a sequence read from a file is cast by a direct type lookup, not a failed
    // one followed by the base class's; Python code sees it as a Sequence.
    py::class_<Velm::NASequence, Velm::Sequence, boost::shared_ptr<Velm::NASequence>>(
        m, "NASequence", "A nucleotide sequence (one read from a file, or built by Sequence()).");

    py::class_<Velm::Model, ModelPtr>(m, "Model", "The root of every model the library opens.")
        .def_property_readonly("class_name", &Velm::Model::getType,
                               "The model class name (\"SeqModel\", \"AlignModel\", ...).")
        .def_property("url", &textOf<Velm::Model, &Velm::Model::url>,
                      [](Velm::Model& m, py::handle text) { m.setURL(textBytes(text)); },
                      "Where the model was read from or last saved to (str).")
        .def_property("encoding", &Velm::Model::encoding, &Velm::Model::setEncoding,
                      "The reader that filled the model (str), such as \"SAL\".")
        .def_property("title", &Velm::Model::title, &Velm::Model::setTitle, "The model's title (str).")
        .def_property_readonly("properties", &Velm::Model::properties,
                               "The model's (key, value) properties, in order (a copy).")
        .def("empty", &Velm::Model::empty, "True when nothing was loaded.")
        .def("__repr__", [](const Velm::Model& model) {
            return messageText(std::string("<modelfactory.") + model.getType() + " '" + model.url() + "'>");
        });

    py::class_<Velm::BioModel, Velm::Model, boost::shared_ptr<Velm::BioModel>>(m, "BioModel", R"(A model that
holds sequences: `len(model)`, `model[0]`, `model["name"]`, `model[1:3]`, `"name" in model` and
iteration over its sequences.)")
        .def_property_readonly("sequences", &sequencesOf, "A list of the model's sequences (shared, not copied).")
        .def("append", &Velm::BioModel::addSeq, py::arg("sequence"), R"(Adds a sequence at the end.

Args:
    sequence: the Sequence to add; the model shares it (not a copy).)")
        .def("clear", &Velm::BioModel::clear, "Removes every sequence.")
        .def("__len__", [](const Velm::BioModel& b) { return b.sequences().size(); }, "The number of sequences.")
        .def("__getitem__", &sequenceAt, py::arg("index"),
             "The sequence at `index` (negative counts from the end). Raises IndexError when out of range.")
        .def("__getitem__", &sequenceNamed, py::arg("name"),
             "The first sequence called `name`. Raises KeyError when there is none.")
        .def("__getitem__", &sequenceSlice, py::arg("range"), "A list of the sequences in the slice.")
        .def("__contains__", &holds, py::arg("item"),
             "True when a sequence is called `item` (a str), or is `item` (a Sequence).")
        .def("__iter__", [](py::object self) { return ModelSequenceIterator{std::move(self), 0}; },
             "An iterator over the sequences.");
    py::class_<ModelSequenceIterator>(m, "_ModelSequenceIterator", "An iterator over a model's sequences.")
        .def("__iter__", [](py::object self) { return self; }, "The iterator itself.")
        .def("__next__",
             [](ModelSequenceIterator& it) {
                 const auto& sequences = it.model.cast<const Velm::BioModel&>().sequences();
                 if (it.next >= sequences.size())
                     throw py::stop_iteration();
                 return toPython(sequences[it.next++]);
             },
             "The next sequence; StopIteration after the last.");

    py::class_<Velm::SeqModel, Velm::BioModel, boost::shared_ptr<Velm::SeqModel>>(m, "SeqModel",
                                                                                  "One or more independent sequences.")
        .def(py::init<>(), "An empty sequence model; append() sequences to it.");
    py::class_<Velm::AlignModel, Velm::BioModel, boost::shared_ptr<Velm::AlignModel>>(
        m, "AlignModel", "A multiple alignment: its sequences are the aligned rows, gaps included.")
        .def(py::init<>(), "An empty alignment; append() the aligned rows to it.")
        .def_property_readonly("columns", [](const Velm::AlignModel& a) { return a.alignment.length(); },
                               "The number of alignment columns (int).");
    py::class_<Velm::AssemblyModel, Velm::BioModel, boost::shared_ptr<Velm::AssemblyModel>>(
        m, "AssemblyModel", "An assembly of reads into contigs.")
        .def(py::init<>(), "An empty assembly.");

    bindIterator<ModelIterator>(m, "ModelIterator", R"(The models of a file, one at a time. Only the
models being handed out are in memory. close() (or leaving a `with` block) releases the file early.)",
                                "model")
        .def(py::init([](const PathArg& path, const OptionalText& format) {
                 return new ModelIterator(path.text, format);
             }),
             py::arg("path"), py::arg("format") = py::none(), R"(Opens the file for iteration (see iterate()).

Raises:
    FileError: the file does not exist or cannot be read.
    FormatError: the file holds nothing the library iterates.)");
    watchForks();
    registerRecord(m);
    bindIterator<RecordIterator>(m, "RecordIterator", R"(The sequences of a file, one at a time, as
records() hands them out (as Record objects). close() (or leaving a `with` block) releases the file
early.)",
                                 "record")
        .def(py::init([](const PathArg& path, const OptionalText& format) {
                 return new RecordIterator(path.text, format, true);
             }),
             py::arg("path"), py::arg("format") = py::none(), R"(Opens the file for iteration (see records()).

Raises:
    FileError: the file does not exist or cannot be read.
    FormatError: the file holds nothing the library iterates.)");

    m.def("get_type", &getType, py::arg("path"), py::arg("format") = py::none(),
          R"(The model class name the file holds ("SeqModel", "AlignModel", "TraceModel", ...), or "" when
it is not classified.

Args:
    path: the file (str, bytes or os.PathLike); "FORMAT@@FILE" names the format in front.
    format: judge the file as this format (a name from formats()).

Raises:
    FileError: the file does not exist or is a folder.)");
    m.def("open", [](const PathArg& path, const OptionalText& type, const OptionalText& format) {
              return toPython(open(path, type, format));
          }, py::arg("path"), py::arg("type") = py::none(), py::arg("format") = py::none(),
          R"(Opens a file as a model (see modelfactory.open()).)");
    m.def("save", &save, py::arg("model"), py::arg("path"), py::arg("format") = py::none(),
          py::arg("level") = py::none(),
          R"(Writes a model to a file (see modelfactory.save()).)");
    m.def("formats", [] { return factory().getSupportedFormats(); },
          "Every (format name, description) the library reads or writes, in the library's order.");
    m.def(
        "_iterate_descriptor",
        [](int fd, std::string name, const OptionalText& format, bool records, py::object atEnd) -> py::object {
            if (records)
                return py::cast(new RecordIterator(fd, std::move(name), format, true, std::move(atEnd)),
                                py::return_value_policy::take_ownership);
            return py::cast(new ModelIterator(fd, std::move(name), format, false, std::move(atEnd)),
                            py::return_value_policy::take_ownership);
        },
        py::arg("fd"), py::arg("name"), py::arg("format"), py::arg("records"), py::arg("at_end"),
        "An iterator over descriptor `fd`, which it owns from then on (used by iterate() for streams).");

    // The calls a loop over a file's records makes for each record go straight to C functions;
    // the methods defined above remain for introspection and explicit calls.
    addQualities(m.attr("Sequence"));
    for (const char* name : {"Sequence", "NASequence"})
        fillSequenceSlots(m.attr(name));
    for (const char* name : {"BioModel", "SeqModel", "AlignModel", "AssemblyModel"})
        fillModelSlots(m.attr(name));
    fillIteratorSlots(m.attr("ModelIterator"), &iteratorNext<ModelIterator>);
    fillIteratorSlots(m.attr("RecordIterator"), &iteratorNext<RecordIterator>);
    registerAnnotation(m);
    registerIndex(m);
}
