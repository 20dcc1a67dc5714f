#include "Records.h"

#include <cstring>
#include <new>
#include <string>
#include <typeinfo>
#include <utility>

namespace mfpy {

namespace {

struct RecordObject {
    PyObject_HEAD
    SequencePtr sequence;
};

PyTypeObject* recordType = nullptr;

RecordObject* record(PyObject* self) { return reinterpret_cast<RecordObject*>(self); }

// Text as Python str: UTF-8, with any byte that is not (surrogateescape) kept.
PyObject* text(const std::string& value) {
    return PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), "surrogateescape");
}

const Velm::NASequence* nucleotides(const Velm::Sequence& sequence) {
    return typeid(sequence) == typeid(Velm::NASequence) ? static_cast<const Velm::NASequence*>(&sequence)
                                                        : dynamic_cast<const Velm::NASequence*>(&sequence);
}

void deallocate(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    record(self)->sequence.~SequencePtr();
    type->tp_free(self);
    Py_DECREF(type); // a heap type's instances hold a reference to it
}

PyObject* name(PyObject* self, void*) { return text(record(self)->sequence->name()); }
PyObject* description(PyObject* self, void*) { return text(record(self)->sequence->description()); }
PyObject* accession(PyObject* self, void*) { return text(record(self)->sequence->accession()); }
PyObject* residues(PyObject* self, void*) { return text(record(self)->sequence->residues()); }

PyObject* qualities(PyObject* self, void*) {
    const Velm::NASequence* na = nucleotides(*record(self)->sequence);
    if (!na || na->confidences().empty())
        Py_RETURN_NONE;
    const auto& values = na->confidences();
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(values.data()),
                                     static_cast<Py_ssize_t>(values.size()));
}

PyObject* qualityArray(PyObject* self, PyObject*) {
    return slotCall([&] { return qualitiesArray(*record(self)->sequence).release().ptr(); },
                    static_cast<PyObject*>(nullptr));
}

PyObject* sequence(PyObject* self, PyObject*) {
    return slotCall([&] { return toPython(record(self)->sequence).release().ptr(); },
                    static_cast<PyObject*>(nullptr));
}

Py_ssize_t length(PyObject* self) { return static_cast<Py_ssize_t>(record(self)->sequence->length()); }

PyObject* represent(PyObject* self) {
    const Velm::Sequence& s = *record(self)->sequence;
    const std::string shown = "<modelfactory.Record '" + s.name() + "' " + std::to_string(s.length()) + ">";
    return text(shown);
}

PyGetSetDef properties[] = {
    {"name", &name, nullptr, "The sequence name (str), made at each access.", nullptr},
    {"description", &description, nullptr, "The definition or title line (str).", nullptr},
    {"accession", &accession, nullptr, "The accession (str); \"\" when there is none.", nullptr},
    {"residues", &residues, nullptr, "The residues (str), made at each access.", nullptr},
    {"qualities", &qualities, nullptr,
     "The Phred quality of each residue as bytes (one value 0..255 a residue, not offset by 33),\n"
     "or None when there are none. numpy.frombuffer(record.qualities, numpy.uint8) views them;\n"
     "quality_array() gives a numpy array of its own.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyMethodDef methods[] = {
    {"quality_array", &qualityArray, METH_NOARGS,
     "quality_array() -> Optional[numpy.ndarray]\n\nThe qualities as a new numpy uint8 array, or None "
     "when there are none."},
    {"sequence", &sequence, METH_NOARGS,
     "sequence() -> modelfactory.Sequence\n\nThe record as a full Sequence (features, annotations, "
     "the chromatogram), sharing the library's object rather than copying it."},
    {nullptr, nullptr, 0, nullptr}};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&deallocate)},
    {Py_tp_repr, reinterpret_cast<void*>(&represent)},
    {Py_tp_getset, properties},
    {Py_tp_methods, methods},
    {Py_sq_length, reinterpret_cast<void*>(&length)},
    {Py_tp_doc, const_cast<char*>(
                    "One sequence of a file, as records() hands it out: name, description, accession,\n"
                    "residues and qualities, each made when asked for; len() is its length.\n"
                    "sequence() gives the full Sequence. Records are made by records() only.")},
    {0, nullptr}};

PyType_Spec recordTypeShape = {"modelfactory._core.Record", sizeof(RecordObject), 0, Py_TPFLAGS_DEFAULT, slots};

} // namespace

void registerRecord(py::module_& module) {
    PyObject* type = PyType_FromSpec(&recordTypeShape);
    if (!type)
        throw py::error_already_set();
    recordType = reinterpret_cast<PyTypeObject*>(type);
    // Only records() makes records: Record() from Python would hold no sequence.
    recordType->tp_new = nullptr;
    PyType_Modified(recordType);
    module.add_object("Record", py::reinterpret_steal<py::object>(type));
}

PyObject* newRecord(SequencePtr sequence) {
    if (!sequence)
        Py_RETURN_NONE;
    PyObject* self = recordType->tp_alloc(recordType, 0);
    if (!self)
        return nullptr;
    new (&record(self)->sequence) SequencePtr(std::move(sequence));
    return self;
}

} // namespace mfpy
