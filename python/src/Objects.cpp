#include "Objects.h"

#include "Errors.h"

#include <pybind11/numpy.h>

#include <cstring>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace mfpy {

namespace {

// The Python object of `object` as class T, when that is exactly its class and T is bound (`out`
// is left empty otherwise). Done here rather than by pybind11's cast, which looks the class up by
// name again. A `findable` object is registered, so that casting the same C++ object again gives
// the same Python object; a model an iterator hands out is new and handed out once, and skips that.
template <class T, class Base>
bool castExactly(const boost::shared_ptr<Base>& object, py::object& out, bool findable) {
    if (typeid(*object) != typeid(T))
        return false;
    const py::detail::type_info* info = boundClass<T>();
    if (!info)
        return false;
    T* value = static_cast<T*>(object.get());
    if (findable) {
        if (py::handle known = py::detail::find_registered_python_instance(value, info)) {
            out = py::reinterpret_steal<py::object>(known);
            return true;
        }
    }
    out = py::reinterpret_steal<py::object>(py::detail::make_new_instance(info->type));
    auto* instance = reinterpret_cast<py::detail::instance*>(out.ptr());
    py::detail::value_and_holder slot = instance->get_value_and_holder(info);
    slot.value_ptr() = value;
    instance->owned = true;
    if (findable) {
        py::detail::register_instance(instance, value, info);
        slot.set_instance_registered();
    }
    using Holder = boost::shared_ptr<T>;
    new (std::addressof(slot.holder<Holder>())) Holder(boost::static_pointer_cast<T>(object));
    slot.set_holder_constructed();
    return true;
}

// len(sequence).
Py_ssize_t sequenceLength(PyObject* self) {
    return slotCall([&] { return static_cast<Py_ssize_t>(cppObject<Velm::Sequence>(self).length()); },
                    Py_ssize_t(-1));
}

// iter(model): over a tuple of the model's sequences, made at once, for the few a model read
// from a sequence archive holds; a wrapper at a time for a model loaded whole.
PyObject* modelSequences(PyObject* self) {
    return slotCall(
        [&]() -> PyObject* {
            const auto& list = cppObject<Velm::BioModel>(self).sequences();
            constexpr std::size_t kTupleAtMost = 16;
            if (list.size() > kTupleAtMost)
                return py::cast(ModelSequenceIterator{py::reinterpret_borrow<py::object>(self), 0}).release().ptr();
            py::tuple items(list.size());
            for (std::size_t i = 0; i < list.size(); ++i)
                PyTuple_SET_ITEM(items.ptr(), static_cast<Py_ssize_t>(i), toPython(list[i]).release().ptr());
            return PyObject_GetIter(items.ptr());
        },
        static_cast<PyObject*>(nullptr));
}

PyHeapTypeObject* heapType(py::handle type) {
    auto* object = reinterpret_cast<PyTypeObject*>(type.ptr());
    if (!(object->tp_flags & Py_TPFLAGS_HEAPTYPE))
        throw std::logic_error("a bound class is expected to be a heap type");
    return reinterpret_cast<PyHeapTypeObject*>(object);
}

} // namespace

py::object toPython(const ModelPtr& model) {
    if (!model)
        return py::none();
    py::object out;
    if (castExactly<Velm::SeqModel>(model, out, false) || castExactly<Velm::AlignModel>(model, out, false) ||
        castExactly<Velm::AssemblyModel>(model, out, false))
        return out;
    // Every model class holds sequences: one without a class of its own here is a BioModel.
    if (auto bio = boost::dynamic_pointer_cast<Velm::BioModel>(model))
        return py::cast(bio);
    return py::cast(model);
}

py::object toPython(const SequencePtr& sequence) {
    if (!sequence)
        return py::none();
    py::object out;
    if (castExactly<Velm::NASequence>(sequence, out, true) || castExactly<Velm::Sequence>(sequence, out, true))
        return out;
    return py::cast(sequence);
}

py::object qualitiesArray(const Velm::Sequence& sequence) {
    // Sequences read from files are nucleotide sequences of exactly this class: no cast across
    // the libraries for them.
    const Velm::NASequence* na = typeid(sequence) == typeid(Velm::NASequence)
                                     ? static_cast<const Velm::NASequence*>(&sequence)
                                     : dynamic_cast<const Velm::NASequence*>(&sequence);
    if (!na || !na->hasConfidences()) // an empty read's qualities are an empty array
        return py::none();
    const auto& values = na->confidences();
    return qualitiesArray(values.data(), values.size());
}

py::object qualitiesArray(const unsigned char* values, std::size_t size) {
    // numpy's own constructor, with no shape vectors around it; the array owns its copy, so later
    // changes to the sequence never reach an array handed out before.
    auto& api = py::detail::npy_api::get();
    const Py_intptr_t count = static_cast<Py_intptr_t>(size);
    PyObject* array = api.PyArray_NewFromDescr_(api.PyArray_Type_,
                                                api.PyArray_DescrFromType_(py::detail::npy_api::NPY_UBYTE_),
                                                1, &count, nullptr, nullptr, 0, nullptr);
    if (!array)
        throw py::error_already_set();
    if (size)
        std::memcpy(py::detail::array_proxy(array)->data, values, size);
    return py::reinterpret_steal<py::object>(array);
}

void setQualities(Velm::Sequence& sequence, const py::object& values) {
    auto* na = dynamic_cast<Velm::NASequence*>(&sequence);
    if (values.is_none()) {
        if (na)
            na->dropConfidences(); // none, not an empty set
        return;
    }
    if (!na)
        throw py::value_error(msg::ProteinQualities);
    // Read wide first: a value out of range is refused, not wrapped around into another quality.
    using Wide = py::array_t<long long, py::array::c_style | py::array::forcecast>;
    const Wide wide = Wide::ensure(values);
    if (!wide || wide.ndim() != 1)
        throw py::value_error(msg::QualityValues);
    if (static_cast<std::size_t>(wide.size()) != sequence.length())
        throw py::value_error("qualities must have one value per residue (" +
                              std::to_string(sequence.length()) + "), not " + std::to_string(wide.size()));
    std::vector<unsigned char> qualities(static_cast<std::size_t>(wide.size()));
    const long long* value = wide.data();
    for (unsigned char& quality : qualities) {
        if (*value < 0 || *value > 255)
            throw py::value_error(msg::QualityValues);
        quality = static_cast<unsigned char>(*value++);
    }
    na->setConfidences(std::move(qualities));
}

void addQualities(py::handle sequenceType) {
    static PyGetSetDef qualities = {
        "qualities",
        [](PyObject* self, void*) -> PyObject* {
            return slotCall([&] { return qualitiesArray(cppObject<Velm::Sequence>(self)).release().ptr(); },
                            static_cast<PyObject*>(nullptr));
        },
        [](PyObject* self, PyObject* value, void*) -> int {
            return slotCall(
                [&] {
                    if (!value)
                        throw py::type_error("qualities cannot be deleted; assign None to drop them");
                    setQualities(cppObject<Velm::Sequence>(self), py::reinterpret_borrow<py::object>(value));
                    return 0;
                },
                -1);
        },
        "numpy uint8 array (a new one at each access), one value per residue, or None.",
        nullptr};
    auto* type = reinterpret_cast<PyTypeObject*>(sequenceType.ptr());
    py::object descriptor = py::reinterpret_steal<py::object>(PyDescr_NewGetSet(type, &qualities));
    if (!descriptor || PyObject_SetAttrString(sequenceType.ptr(), qualities.name, descriptor.ptr()) != 0)
        throw py::error_already_set();
}

void fillSequenceSlots(py::handle type) {
    PyHeapTypeObject* heap = heapType(type);
    heap->as_sequence.sq_length = &sequenceLength;
    heap->as_mapping.mp_length = &sequenceLength;
    PyType_Modified(&heap->ht_type);
}

void fillModelSlots(py::handle type) {
    PyHeapTypeObject* heap = heapType(type);
    heap->ht_type.tp_iter = &modelSequences;
    PyType_Modified(&heap->ht_type);
}

void fillIteratorSlots(py::handle type, PyObject* (*next)(PyObject* self)) {
    PyHeapTypeObject* heap = heapType(type);
    heap->ht_type.tp_iternext = next;
    PyType_Modified(&heap->ht_type);
}

} // namespace mfpy
