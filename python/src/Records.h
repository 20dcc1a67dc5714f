#ifndef MODELFACTORY_PYTHON_RECORDS_H
#define MODELFACTORY_PYTHON_RECORDS_H

// modelfactory.Record: what records() hands out for each sequence of a file. A plain C object that
// shares the library's sequence and makes Python values only when they are asked for (no
// pybind11 instance, no per-record dictionary): a loop over a million reads pays for what it
// touches and little else.
#include "Objects.h"

namespace mfpy {

/// Adds the Record class to the module.
void registerRecord(py::module_& module);

/// A new Record sharing `sequence` (a new reference).
PyObject* newRecord(SequencePtr sequence);

} // namespace mfpy

#endif
