#include "Records.h"

#include <boost/make_shared.hpp>

#include <structmember.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>

namespace mfpy {

namespace {

// An entry of more text than this is shared rather than copied: a copy would cost more than the
// allocations it saves.
constexpr std::size_t kMaxCopiedBytes = 64 * 1024;

enum Field { kName, kDescription, kResidues, kQualities, kFields };

// The Python values of a Record: name, residues and qualities are made as the record is handed
// out (a loop asks for them of every read, and a value in a slot is the interpreter's quickest
// attribute); the description when first asked for.
struct RecordValues {
    PyObject_VAR_HEAD
    PyObject* made[kFields];
};

// A Record holds either a sequence shared with the library or, after the object, the text of a
// plain entry: name, description, residues, qualities (ob_size bytes in all).
struct RecordObject : RecordValues {
    SequencePtr sequence;                        // shared, or the one sequence() made for held text
    boost::shared_ptr<const std::string> source; // of held text
    Py_ssize_t sizes[kQualities];                // of held text, by field
    bool holdsText;
    bool hasQualities;
    bool nucleotideClass;
    unsigned char moleculeType;
    unsigned char ascii; // bit per field of held text that is all ASCII
};

PyTypeObject* recordType = nullptr;

RecordObject* record(PyObject* self) { return reinterpret_cast<RecordObject*>(self); }

const char* heldText(RecordObject* r) { return reinterpret_cast<const char*>(r + 1); }

const char* heldField(RecordObject* r, int field) {
    const char* p = heldText(r);
    for (int f = 0; f < field; ++f)
        p += r->sizes[f];
    return p;
}

bool isAscii(const char* data, std::size_t size) {
    // Eight bytes at a time: this runs over every read's text.
    std::uint64_t any = 0;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        any |= word;
    }
    for (; i < size; ++i)
        any |= static_cast<unsigned char>(data[i]);
    return (any & 0x8080808080808080ull) == 0;
}

// Text as Python str: UTF-8, with any byte that is not (surrogateescape) kept.
PyObject* text(const char* data, std::size_t size, bool ascii) {
    if (!ascii)
        return PyUnicode_DecodeUTF8(data, static_cast<Py_ssize_t>(size), "surrogateescape");
    PyObject* out = PyUnicode_New(static_cast<Py_ssize_t>(size), 127);
    if (out)
        std::memcpy(PyUnicode_1BYTE_DATA(out), data, size);
    return out;
}

PyObject* text(const std::string& value) {
    return text(value.data(), value.size(), isAscii(value.data(), value.size()));
}

const Velm::NASequence* nucleotides(const Velm::Sequence& sequence) {
    return typeid(sequence) == typeid(Velm::NASequence) ? static_cast<const Velm::NASequence*>(&sequence)
                                                        : dynamic_cast<const Velm::NASequence*>(&sequence);
}

void deallocate(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    RecordObject* r = record(self);
    for (PyObject*& value : r->made)
        Py_CLEAR(value);
    r->sequence.~SequencePtr();
    r->source.~shared_ptr();
    type->tp_free(self);
    Py_DECREF(type); // a heap type's instances hold a reference to it
}

PyObject* makeField(RecordObject* r, int field) {
    if (r->holdsText) {
        const char* data = heldField(r, field);
        if (field == kQualities) {
            if (!r->hasQualities)
                Py_RETURN_NONE;
            return PyBytes_FromStringAndSize(data, r->sizes[kResidues]);
        }
        return text(data, static_cast<std::size_t>(r->sizes[field]), (r->ascii >> field) & 1);
    }
    const Velm::Sequence& s = *r->sequence;
    switch (field) {
    case kName:
        return text(s.name());
    case kDescription:
        return text(s.description());
    case kResidues:
        return text(s.residues());
    default: {
        const Velm::NASequence* na = nucleotides(s);
        if (!na || !na->hasConfidences())
            Py_RETURN_NONE;
        const auto& values = na->confidences();
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(values.data()),
                                         static_cast<Py_ssize_t>(values.size()));
    }
    }
}

// The value of a field, made on first access and kept (a new reference).
template <int field>
PyObject* get(PyObject* self, void*) {
    RecordObject* r = record(self);
    if (!r->made[field]) {
        r->made[field] = makeField(r, field);
        if (!r->made[field])
            return nullptr;
    }
    Py_INCREF(r->made[field]);
    return r->made[field];
}

PyObject* accession(PyObject* self, void*) {
    RecordObject* r = record(self);
    return r->holdsText ? PyUnicode_New(0, 0) : text(r->sequence->accession());
}

// The sequence a Record stands for: the shared one, or one made from the held text (once).
const SequencePtr& sequenceOf(RecordObject* r) {
    if (r->sequence)
        return r->sequence;
    SequencePtr s;
    if (r->nucleotideClass) {
        auto na = boost::make_shared<Velm::NASequence>();
        if (r->hasQualities) {
            const auto* q = reinterpret_cast<const unsigned char*>(heldField(r, kQualities));
            na->confidences().assign(q, q + r->sizes[kResidues]); // held even when empty
        }
        s = na;
    } else {
        s = boost::make_shared<Velm::Sequence>();
    }
    s->setName(heldField(r, kName), static_cast<std::size_t>(r->sizes[kName]));
    s->setDescription(heldField(r, kDescription), static_cast<std::size_t>(r->sizes[kDescription]));
    s->residues().assign(heldField(r, kResidues), static_cast<std::size_t>(r->sizes[kResidues]));
    s->setMoleculeType(static_cast<Velm::Sequence::MoleculeType>(r->moleculeType));
    if (r->source)
        s->setSource(r->source);
    r->sequence = std::move(s);
    return r->sequence;
}

PyObject* qualityArray(PyObject* self, PyObject*) {
    RecordObject* r = record(self);
    return slotCall(
        [&] {
            if (!r->holdsText)
                return qualitiesArray(*r->sequence).release().ptr();
            if (!r->hasQualities)
                return py::none().release().ptr();
            return qualitiesArray(reinterpret_cast<const unsigned char*>(heldField(r, kQualities)),
                                  static_cast<std::size_t>(r->sizes[kResidues]))
                .release()
                .ptr();
        },
        static_cast<PyObject*>(nullptr));
}

PyObject* sequence(PyObject* self, PyObject*) {
    return slotCall([&] { return toPython(sequenceOf(record(self))).release().ptr(); },
                    static_cast<PyObject*>(nullptr));
}

Py_ssize_t length(PyObject* self) {
    RecordObject* r = record(self);
    return r->holdsText ? r->sizes[kResidues] : static_cast<Py_ssize_t>(r->sequence->length());
}

PyObject* represent(PyObject* self) {
    PyObject* name = get<kName>(self, nullptr);
    if (!name)
        return nullptr;
    PyObject* shown = PyUnicode_FromFormat("<modelfactory.Record '%U' %zd>", name, length(self));
    Py_DECREF(name);
    return shown;
}

constexpr Py_ssize_t slotOf(int field) {
    return static_cast<Py_ssize_t>(offsetof(RecordValues, made) + sizeof(PyObject*) * static_cast<std::size_t>(field));
}

PyMemberDef members[] = {
    {"name", T_OBJECT_EX, slotOf(kName), READONLY, "The sequence name (str)."},
    {"residues", T_OBJECT_EX, slotOf(kResidues), READONLY, "The residues (str)."},
    {"qualities", T_OBJECT_EX, slotOf(kQualities), READONLY,
     "The Phred quality of each residue as bytes (one value 0..255 a residue, not offset by 33),\n"
     "or None when there are none. numpy.frombuffer(record.qualities, numpy.uint8) views them;\n"
     "quality_array() gives a numpy array of its own."},
    {nullptr, 0, 0, 0, nullptr}};

PyGetSetDef properties[] = {
    {"description", &get<kDescription>, nullptr, "The definition or title line (str), made when first asked for.",
     nullptr},
    {"accession", &accession, nullptr, "The accession (str); \"\" when there is none.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyMethodDef methods[] = {
    {"quality_array", &qualityArray, METH_NOARGS,
     "quality_array() -> Optional[numpy.ndarray]\n\nThe qualities as a new numpy uint8 array, or None "
     "when there are none."},
    {"sequence", &sequence, METH_NOARGS,
     "sequence() -> modelfactory.Sequence\n\nThe record as a full Sequence (features, annotations, "
     "the chromatogram). Made on the first call (a read's is made from the record's text) and the "
     "same object on later calls; changing it leaves the record's values as they were read."},
    {nullptr, nullptr, 0, nullptr}};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&deallocate)},
    {Py_tp_repr, reinterpret_cast<void*>(&represent)},
    {Py_tp_members, members},
    {Py_tp_getset, properties},
    {Py_tp_methods, methods},
    {Py_sq_length, reinterpret_cast<void*>(&length)},
    {Py_tp_doc, const_cast<char*>(
                    "One sequence of a file, as records() hands it out: name, description, accession,\n"
                    "residues and qualities as they were read (name, residues and qualities made with the\n"
                    "record, the others when asked for); len() is its length. sequence() gives the full\n"
                    "Sequence. Records are made by records() only.")},
    {0, nullptr}};

// Item size 1: the held text follows the object.
PyType_Spec recordTypeShape = {"modelfactory._core.Record", sizeof(RecordObject), 1, Py_TPFLAGS_DEFAULT, slots};

// A Record with room for `textSize` bytes after it, its fields empty.
RecordObject* allocate(std::size_t textSize) {
    void* memory = PyObject_Malloc(sizeof(RecordObject) + textSize);
    if (!memory) {
        PyErr_NoMemory();
        return nullptr;
    }
    auto* r = static_cast<RecordObject*>(memory);
    PyObject_InitVar(reinterpret_cast<PyVarObject*>(r), recordType, static_cast<Py_ssize_t>(textSize));
    new (&r->sequence) SequencePtr();
    new (&r->source) boost::shared_ptr<const std::string>();
    for (PyObject*& value : r->made)
        value = nullptr;
    return r;
}

} // namespace

std::size_t RecordBatch::add(const Ovik::RecordView& view, const boost::shared_ptr<const std::string>& source) {
    if (sources_.empty() || sources_.back() != source)
        sources_.push_back(source);
    Entry entry;
    entry.offset = text_.size();
    entry.nameSize = view.name.size();
    entry.descriptionSize = view.description.size();
    entry.residueSize = view.residues.size();
    entry.source = sources_.size() - 1;
    entry.moleculeType = static_cast<unsigned char>(view.moleculeType);
    // The class the reader would have made: reads keep qualities, and DNA is made as such.
    entry.nucleotideClass = view.hasQualities || view.moleculeType == Velm::Sequence::MoleculeType::DNA;
    entry.hasQualities = view.hasQualities;
    entry.ascii = static_cast<unsigned char>(isAscii(view.name.data(), view.name.size()) << kName |
                                             isAscii(view.description.data(), view.description.size()) << kDescription |
                                             isAscii(view.residues.data(), view.residues.size()) << kResidues);
    text_.append(view.name).append(view.description).append(view.residues);
    // One quality a residue, as the entry's confidences hold them.
    if (view.hasQualities)
        text_.append(view.qualities.substr(0, view.residues.size())).append(
            view.residues.size() - std::min(view.residues.size(), view.qualities.size()), '\0');
    entries_.push_back(entry);
    return entries_.size() - 1;
}

std::size_t RecordBatch::add(const Velm::Sequence& sequence) {
    const bool nucleotideClass = typeid(sequence) == typeid(Velm::NASequence);
    if (!nucleotideClass && typeid(sequence) != typeid(Velm::Sequence))
        return npos;
    const auto* na = nucleotideClass ? static_cast<const Velm::NASequence*>(&sequence) : nullptr;
    if (!sequence.accession().empty() || !sequence.annotations().empty() || !sequence.features().empty() ||
        sequence.declaredLength() != 0 || (na && na->trace()))
        return npos;
    const bool hasQualities = na && na->hasConfidences();
    const std::string& name = sequence.name();
    const std::string& description = sequence.description();
    const std::string& residues = sequence.residues();
    const std::size_t size = name.size() + description.size() + residues.size() * (hasQualities ? 2 : 1);
    if (size > kMaxCopiedBytes || (hasQualities && na->confidences().size() != residues.size()))
        return npos;

    const std::string& path = sequence.source();
    if (sources_.empty() || (sources_.back().get() != &path && *sources_.back() != path))
        sources_.push_back(boost::make_shared<const std::string>(path));

    Entry entry;
    entry.offset = text_.size();
    entry.nameSize = name.size();
    entry.descriptionSize = description.size();
    entry.residueSize = residues.size();
    entry.source = sources_.size() - 1;
    entry.moleculeType = static_cast<unsigned char>(sequence.moleculeType());
    entry.nucleotideClass = nucleotideClass;
    entry.hasQualities = hasQualities;
    entry.ascii = static_cast<unsigned char>(isAscii(name.data(), name.size()) << kName |
                                             isAscii(description.data(), description.size()) << kDescription |
                                             isAscii(residues.data(), residues.size()) << kResidues);
    text_.append(name).append(description).append(residues);
    if (hasQualities)
        text_.append(reinterpret_cast<const char*>(na->confidences().data()), residues.size());
    entries_.push_back(entry);
    return entries_.size() - 1;
}

void RecordBatch::clear() {
    text_.clear();
    entries_.clear();
    // The path most likely stays the same: the last one is kept for the next batch.
    if (sources_.size() > 1)
        sources_.erase(sources_.begin(), sources_.end() - 1);
}

void registerRecord(py::module_& module) {
    PyObject* type = PyType_FromSpec(&recordTypeShape);
    if (!type)
        throw py::error_already_set();
    recordType = reinterpret_cast<PyTypeObject*>(type);
    // Only records() makes records: Record() from Python would hold nothing.
    recordType->tp_new = nullptr;
    PyType_Modified(recordType);
    module.add_object("Record", py::reinterpret_steal<py::object>(type));
}

namespace {

// Makes the values a record is handed out with; null (the record let go) when one fails.
PyObject* withValues(RecordObject* r) {
    for (int field : {kName, kResidues, kQualities}) {
        r->made[field] = makeField(r, field);
        if (!r->made[field]) {
            Py_DECREF(reinterpret_cast<PyObject*>(r));
            return nullptr;
        }
    }
    return reinterpret_cast<PyObject*>(r);
}

} // namespace

PyObject* newRecord(SequencePtr sequence) {
    if (!sequence)
        Py_RETURN_NONE;
    RecordObject* r = allocate(0);
    if (!r)
        return nullptr;
    r->holdsText = false;
    r->sequence = std::move(sequence);
    return withValues(r);
}

PyObject* newRecord(const RecordBatch& batch, std::size_t index) {
    const RecordBatch::Entry& e = batch.entry(index);
    const std::size_t size = e.nameSize + e.descriptionSize + e.residueSize * (e.hasQualities ? 2 : 1);
    RecordObject* r = allocate(size);
    if (!r)
        return nullptr;
    r->source = batch.source(e.source);
    r->sizes[kName] = static_cast<Py_ssize_t>(e.nameSize);
    r->sizes[kDescription] = static_cast<Py_ssize_t>(e.descriptionSize);
    r->sizes[kResidues] = static_cast<Py_ssize_t>(e.residueSize);
    r->holdsText = true;
    r->hasQualities = e.hasQualities;
    r->nucleotideClass = e.nucleotideClass;
    r->moleculeType = e.moleculeType;
    r->ascii = e.ascii;
    std::memcpy(reinterpret_cast<char*>(r + 1), batch.text() + e.offset, size);
    return withValues(r);
}

} // namespace mfpy
