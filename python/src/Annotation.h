#ifndef MODELFACTORY_PYTHON_ANNOTATION_H
#define MODELFACTORY_PYTHON_ANNOTATION_H

#include <pybind11/pybind11.h>

namespace mfpy {

/// Adds Location, LocationPart, LocationError and TranslationError to the module, and to the bound
/// Feature and Sequence classes their parsed location, extract(), translate() and
/// reverse_complement(). Called once Feature, Sequence and Error are bound.
void registerAnnotation(pybind11::module_& module);

} // namespace mfpy

#endif
