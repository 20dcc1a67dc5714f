// The compiled core of the `modelfactory` Python package: the factory's operations, the models,
// sequences and chromatograms, as thin views over the library's own objects.
//
// Every file operation runs with the GIL released and reports into an operation context of its
// own; once the GIL is back, the context's warnings become Python warnings and its errors an
// exception. Nothing is printed.
#include "Annotation.h"
#include "Errors.h"
#include "Objects.h"

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

#include <strings.h>

#include <deque>
#include <mutex>
#include <string>
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

std::string getType(py::handle pathArg, const OptionalText& format) {
    const std::string path = pathText(pathArg);
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

ModelPtr open(py::handle pathArg, const OptionalText& typeArg, const OptionalText& format) {
    const std::string path = pathText(pathArg);
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

void save(const ModelPtr& model, py::handle pathArg, const OptionalText& format) {
    if (!model)
        throw py::type_error("save() needs a model");
    const std::string path = pathText(pathArg);
    requireOutputFolder(path);
    Reports reports(path);
    bool saved = false;
    {
        py::gil_scoped_release release;
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
// Iteration: the file open only while the iterator is. Models are read a batch at a time with the
// GIL released once, and handed out from there; a batch is small (kBatchModels models, or
// kBatchResidues residues, whichever comes first), so memory stays constant.

class ModelIterator {
public:
    ModelIterator(std::string path, const OptionalText& format) : reports_(std::move(path)) {
        const std::string& file = reports_.path();
        requireInput(file);
        {
            py::gil_scoped_release release;
            iterator_ = reports_.guard([&] {
                return factory().iterate(file.c_str(), "", &reports_.ctx, format.value_or(""));
            });
        }
        if (!iterator_ && !reports_.ctx.hasErrors())
            reports_.ctx.error(msg::NoModels + file);
        reports_.deliver();
    }

    /// The next model (a new reference), or null at the end. The reports of the model's reading
    /// are issued as it is handed out; the reports that ended the file come after the last model.
    PyObject* next() {
        ModelPtr model;
        Reports::Pending due;
        {
            Lock lock(mutex_);
            if (ahead_.empty() && iterator_) {
                py::gil_scoped_release release;
                readAhead();
            }
            if (!ahead_.empty()) {
                model = std::move(ahead_.front().model);
                due = reports_.take(ahead_.front().reportsBefore);
                ahead_.pop_front();
            } else {
                due = reports_.take(reports_.ctx.reports().size());
            }
        }
        reports_.issue(std::move(due));
        return model ? toPython(model).release().ptr() : nullptr;
    }

    void close() {
        Lock lock(mutex_);
        ahead_.clear();
        iterator_.reset();
    }

    bool closed() {
        Lock lock(mutex_);
        return ahead_.empty() && !iterator_;
    }

private:
    static constexpr std::size_t kBatchModels = 64;
    static constexpr std::size_t kBatchResidues = 1 << 20;

    struct Ahead {
        ModelPtr model;
        std::size_t reportsBefore; // the context's report count once the model was read
    };

    // Holds the mutex, letting other threads run while it waits (a thread reading ahead holds it
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

    // Reads up to a batch of models, GIL released and the mutex held. A model that comes with an
    // error is dropped and ends the iteration, as the error is raised in its place.
    void readAhead() {
        std::size_t residues = 0;
        while (iterator_ && ahead_.size() < kBatchModels && residues < kBatchResidues) {
            const std::size_t before = reports_.ctx.reports().size();
            ModelPtr model = reports_.guard([&] { return iterator_->next(); });
            if (!model || hasErrorSince(before)) {
                iterator_.reset();
                break;
            }
            residues += model->calcSize();
            ahead_.push_back({std::move(model), reports_.ctx.reports().size()});
        }
    }

    bool hasErrorSince(std::size_t index) const {
        const auto& reports = reports_.ctx.reports();
        for (; index < reports.size(); ++index)
            if (reports[index].severity == cmn::OpContext::Severity::Error)
                return true;
        return false;
    }

    // Declared first so that it outlives the iterator, which reports into it.
    Reports reports_;
    boost::shared_ptr<Velm::ModelIter> iterator_;
    std::deque<Ahead> ahead_;
    std::mutex mutex_;
};

PyObject* iteratorNext(PyObject* self) {
    return slotCall([&] { return cppObject<ModelIterator>(self).next(); }, static_cast<PyObject*>(nullptr));
}

// ---------------------------------------------------------------------------------------------
// Chromatograms.

TracePtr readTrace(py::handle pathArg) {
    const std::string path = pathText(pathArg);
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

std::string sequenceRepr(const Velm::Sequence& s) {
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
    registerErrors(m);
    // The package reads and writes FASTQ and compressed files: the library's extension sources.
    Ovik::addExtensionSources(Ovik::GetModelFactory());

    m.def("get_type", &getType, py::arg("path"), py::arg("format") = py::none(),
          R"(The model class name the file holds ("SeqModel", "AlignModel", "TraceModel", ...), or ""
when it is not classified. With `format`, the file is judged as that format.)");
    m.def("open", &open, py::arg("path"), py::arg("type") = py::none(), py::arg("format") = py::none(),
          R"(Opens the file as a model of class `type` (detected when None; a chromatogram opens as a
SeqModel), read in `format` when given. Raises FormatError when nothing could be read.)");
    m.def("save", &save, py::arg("model"), py::arg("path"), py::arg("format") = py::none(),
          R"(Writes the model to `path`, in `format` or the one the extension names. The model's URL
becomes the path.)");
    m.def("formats", [] { return factory().getSupportedFormats(); },
          "Every (format name, description) the library reads or writes, in the library's order.");

    py::class_<ModelIterator>(m, "ModelIterator", R"(The models of a file, one at a time. Only the
model being handed out is in memory. close() (or leaving a `with` block) releases the file early.)")
        .def(py::init([](py::handle path, const OptionalText& format) {
                 return new ModelIterator(pathText(path), format);
             }),
             py::arg("path"), py::arg("format") = py::none())
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__",
             [](ModelIterator& self) {
                 py::object model = py::reinterpret_steal<py::object>(self.next());
                 if (!model)
                     throw py::stop_iteration();
                 return model;
             })
        .def("close", &ModelIterator::close, "Releases the file; later next() calls stop at once.")
        .def_property_readonly("closed", &ModelIterator::closed)
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](ModelIterator& self, py::args) { self.close(); });

    py::class_<Velm::Feature>(m, "Feature", "One row of a feature table: key, location text, qualifiers.")
        .def(py::init([](std::string key, std::string location, Velm::PropertyList qualifiers) {
                 return Velm::Feature{std::move(key), std::move(location), std::move(qualifiers)};
             }),
             py::arg("key"), py::arg("location"), py::arg("qualifiers") = Velm::PropertyList())
        .def_readwrite("key", &Velm::Feature::key)
        .def_readwrite("location", &Velm::Feature::location)
        .def_readwrite("qualifiers", &Velm::Feature::qualifiers)
        .def(py::self == py::self)
        .def("__repr__", [](const Velm::Feature& f) {
            return "<modelfactory.Feature " + f.key + " " + f.location + ">";
        });

    py::class_<Velm::TraceData, TracePtr>(m, "Trace", R"(A decoded chromatogram. The channel and
position arrays are read-only views of the record's own memory.)")
        .def_property_readonly("name", &Velm::TraceData::traceName)
        .def_property_readonly("ident", &Velm::TraceData::ident)
        .def_property_readonly("info", &Velm::TraceData::info)
        .def_property_readonly("format", &Velm::TraceData::formatName)
        .def_property_readonly("bases", &Velm::TraceData::bases)
        .def_property_readonly("num_points", &Velm::TraceData::numPoints)
        .def_property_readonly("num_bases", &Velm::TraceData::numBases)
        .def_readonly("left_cutoff", &Velm::TraceData::leftCutoff)
        .def_readonly("right_cutoff", &Velm::TraceData::rightCutoff)
        .def_readonly("max_value", &Velm::TraceData::maxTraceVal)
        .def_property_readonly("a", [](py::handle self) { return view(self.cast<Velm::TraceData&>().channel(0), self); })
        .def_property_readonly("c", [](py::handle self) { return view(self.cast<Velm::TraceData&>().channel(1), self); })
        .def_property_readonly("g", [](py::handle self) { return view(self.cast<Velm::TraceData&>().channel(2), self); })
        .def_property_readonly("t", [](py::handle self) { return view(self.cast<Velm::TraceData&>().channel(3), self); })
        .def_property_readonly("base_positions",
                               [](py::handle self) { return view(self.cast<Velm::TraceData&>().basePos(), self); })
        .def_property_readonly("confidences",
                               [](const Velm::TraceData& t) { return adopt(t.calledConfidences()); },
                               "The confidence of each called base (0 for N).")
        .def("__repr__", [](const Velm::TraceData& t) {
            return "<modelfactory.Trace '" + t.traceName() + "' " + t.formatName() + ", " +
                   std::to_string(t.numBases()) + " bases, " + std::to_string(t.numPoints()) + " points>";
        });

    py::class_<Ovik::TraceFile>(m, "TraceFile", R"(Reads chromatograms (SCF, ABI, ZTR, ...). Calls into
the decoder are serialised inside the library, so threads reading chromatograms take turns there.)")
        .def_static("read", &readTrace, py::arg("path"), "Decodes the chromatogram at `path`.")
        .def_static("get_format",
                    [](py::handle path) -> py::object {
                        const std::string file = pathText(path);
                        const char* name;
                        {
                            py::gil_scoped_release release;
                            name = formatName(Ovik::TraceFile::getFormat(file.c_str()));
                        }
                        return name ? py::object(py::str(name)) : py::object(py::none());
                    },
                    py::arg("path"), "The chromatogram format of the file (\"SCF\", \"ABI\", ...) or None.")
        .def_static("formats", &Ovik::TraceFile::getSupportedFormats, "The chromatogram formats.");

    py::class_<Velm::Sequence, SequencePtr>(m, "Sequence", R"(A biological sequence with its annotation.
A nucleotide sequence may carry one quality (confidence) value per residue.)")
        .def(py::init(&makeSequence), py::arg("name") = "", py::arg("residues") = "",
             py::arg("molecule") = py::none(), py::kw_only(), py::arg("accession") = "",
             py::arg("description") = "", py::arg("qualities") = py::none())
        .def_property("name", &Velm::Sequence::name,
                      py::overload_cast<const std::string&>(&Velm::Sequence::setName))
        .def_property("accession", &Velm::Sequence::accession, &Velm::Sequence::setAccession)
        .def_property("description", &Velm::Sequence::description,
                      py::overload_cast<const std::string&>(&Velm::Sequence::setDescription))
        .def_property("residues", py::overload_cast<>(&Velm::Sequence::residues, py::const_),
                      py::overload_cast<const std::string&>(&Velm::Sequence::setResidues))
        .def_property("molecule",
                      [](const Velm::Sequence& s) { return Velm::Sequence::moleculeTypeName(s.moleculeType()); },
                      &setMolecule)
        .def_property("features", py::overload_cast<>(&Velm::Sequence::features, py::const_),
                      [](Velm::Sequence& s, std::vector<Velm::Feature> f) { s.features() = std::move(f); },
                      "A copy of the feature table; assign a list to change it.")
        .def_property("annotations", py::overload_cast<>(&Velm::Sequence::annotations, py::const_),
                      [](Velm::Sequence& s, Velm::PropertyList a) { s.annotations() = std::move(a); },
                      "A copy of the (key, value) header fields, in file order; assign a list to change them.")
        .def("annotation", &Velm::Sequence::annotation, py::arg("key"))
        .def("add_feature", &Velm::Sequence::addFeature, py::arg("feature"))
        .def_property_readonly("source", &Velm::Sequence::source)
        .def_property_readonly("trace",
                               [](const Velm::Sequence& s) -> TracePtr {
                                   auto* na = dynamic_cast<const Velm::NASequence*>(&s);
                                   return na ? na->trace() : TracePtr();
                               },
                               "The chromatogram the sequence was called from, or None.")
        .def("__len__", &Velm::Sequence::length)
        .def("__repr__", &sequenceRepr);

    // Registered so that a sequence read from a file is cast by a direct type lookup, not a failed
    // one followed by the base class's; Python code sees it as a Sequence.
    py::class_<Velm::NASequence, Velm::Sequence, boost::shared_ptr<Velm::NASequence>>(
        m, "NASequence", "A nucleotide sequence (one read from a file, or built by Sequence()).");

    py::class_<Velm::Model, ModelPtr>(m, "Model", "The root of every model the library opens.")
        .def_property_readonly("class_name", &Velm::Model::getType)
        .def_property("url", &Velm::Model::url, &Velm::Model::setURL)
        .def_property("encoding", &Velm::Model::encoding, &Velm::Model::setEncoding)
        .def_property("title", &Velm::Model::title, &Velm::Model::setTitle)
        .def_property_readonly("properties", &Velm::Model::properties)
        .def("empty", &Velm::Model::empty, "True when nothing was loaded.")
        .def("__repr__", [](const Velm::Model& model) {
            return std::string("<modelfactory.") + model.getType() + " '" + model.url() + "'>";
        });

    py::class_<Velm::BioModel, Velm::Model, boost::shared_ptr<Velm::BioModel>>(m, "BioModel",
                                                                              "A model that holds sequences.")
        .def_property_readonly("sequences", &sequencesOf, "A list of the model's sequences (shared, not copied).")
        .def("append", &Velm::BioModel::addSeq, py::arg("sequence"), "Adds a sequence at the end.")
        .def("clear", &Velm::BioModel::clear)
        .def("__len__", [](const Velm::BioModel& b) { return b.sequences().size(); })
        .def("__getitem__", &sequenceAt)
        .def("__iter__", [](const Velm::BioModel& b) { return py::iter(sequencesOf(b)); });

    py::class_<Velm::SeqModel, Velm::BioModel, boost::shared_ptr<Velm::SeqModel>>(m, "SeqModel",
                                                                                  "One or more independent sequences.")
        .def(py::init<>());
    py::class_<Velm::AlignModel, Velm::BioModel, boost::shared_ptr<Velm::AlignModel>>(m, "AlignModel",
                                                                                      "A multiple alignment.")
        .def(py::init<>())
        .def_property_readonly("columns", [](const Velm::AlignModel& a) { return a.alignment.length(); });
    py::class_<Velm::AssemblyModel, Velm::BioModel, boost::shared_ptr<Velm::AssemblyModel>>(
        m, "AssemblyModel", "An assembly of reads into contigs.")
        .def(py::init<>());

    // The calls a loop over a file's records makes for each record go straight to C functions;
    // the methods defined above remain for introspection and explicit calls.
    addQualities(m.attr("Sequence"));
    for (const char* name : {"Sequence", "NASequence"})
        fillSequenceSlots(m.attr(name));
    for (const char* name : {"BioModel", "SeqModel", "AlignModel", "AssemblyModel"})
        fillModelSlots(m.attr(name));
    fillIteratorSlots(m.attr("ModelIterator"), &iteratorNext);
    registerAnnotation(m);
}
