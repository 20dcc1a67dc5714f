#ifndef MODELFACTORY_PYTHON_OBJECTS_H
#define MODELFACTORY_PYTHON_OBJECTS_H

// Python objects for the library's models and sequences, made without pybind11's general lookups,
// and the few type slots the per-record loops go through, filled with C functions. A loop over a
// million short reads makes several Python objects a read: what each costs is most of the
// binding's share of the time.
#include <contracts/DataModel.h>
#include <contracts/Sequence.h>

#include <pybind11/pybind11.h>

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <new>
#include <stdexcept>

PYBIND11_DECLARE_HOLDER_TYPE(T, boost::shared_ptr<T>)

namespace mfpy {

namespace py = pybind11;

using ModelPtr = boost::shared_ptr<Velm::Model>;
using SequencePtr = boost::shared_ptr<Velm::Sequence>;

/// The Python object of a model new to Python (one an iterator hands out), of its own class
/// (SeqModel, AlignModel, ...); None for an empty pointer. The object shares the model.
py::object toPython(const ModelPtr& model);

/// A model's sequences, one wrapper at a time: a tuple of them all would hold a Python object per
/// sequence for as long as a loop runs. A sequence appended meanwhile is reached too, as in a list.
struct ModelSequenceIterator {
    py::object model;
    std::size_t next = 0;
};
/// The Python object of a sequence (None for an empty pointer); the object shares the sequence.
py::object toPython(const SequencePtr& sequence);

/// The qualities of a sequence as a new numpy uint8 array (one allocation and one copy), or None
/// when it carries none.
py::object qualitiesArray(const Velm::Sequence& sequence);
/// `size` qualities as a new numpy uint8 array.
py::object qualitiesArray(const unsigned char* values, std::size_t size);
/// Sets them from any one-dimensional sequence of integers 0..255 (one per residue), or drops
/// them (None). ValueError for a protein, or a wrong count.
void setQualities(Velm::Sequence& sequence, const py::object& values);

/// Runs `body` inside a C slot function: a C++ exception becomes the Python error it stands for
/// and `failure` is returned; nothing escapes into the interpreter.
template <class Body, class Result>
Result slotCall(Body&& body, Result failure) noexcept {
    try {
        return body();
    } catch (py::error_already_set& e) {
        e.restore();
    } catch (const py::builtin_exception& e) {
        e.set_error();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    }
    return failure;
}

/// pybind11's record of a bound class, looked up once (its casters hash the class's name in two
/// tables each time one is made). Null while the class is not bound; that is not cached.
template <class T>
const py::detail::type_info* boundClass() {
    static const py::detail::type_info* info = nullptr;
    if (!info)
        info = py::detail::get_type_info(typeid(T));
    return info;
}

/// The C++ object behind `self`, or a TypeError when `self` is not (or not yet) one.
template <class T>
T& cppObject(PyObject* self) {
    py::detail::type_caster_generic caster(boundClass<T>());
    T* object = caster.load(self, false) ? static_cast<T*>(caster.value) : nullptr;
    if (!object)
        throw py::type_error("the object holds no modelfactory value");
    return *object;
}

/// Fills `len()` of the Sequence class and its subclasses, iteration over a sequence model's
/// sequences, and next() of the model iterator (`next` returns a new reference, or null at the end
/// with no error set) with C functions. The Sequence class gets its `qualities` attribute here.
void addQualities(py::handle sequenceType);
void fillSequenceSlots(py::handle type);
void fillModelSlots(py::handle type);
void fillIteratorSlots(py::handle type, PyObject* (*next)(PyObject* self));

} // namespace mfpy

#endif
